// What the siren's sound module (ostrevo-sound.so, with Qt Multimedia) gives the program, which loads it
// at run time: Qt Multimedia and the sound libraries behind it come into the process only where a siren
// can sound.
#pragma once

#include <QString>
#include <functional>

namespace monitor {

// One sound played once at a time. Every call, and every callback, on the user-interface thread.
class SoundOutput {
  public:
    virtual ~SoundOutput() = default;
    // Puts the sound in path in place for play(); loading may go on in the background. A file that cannot
    // be played, or a machine without sound output, is reported through failed, at once or later.
    virtual void load(const QString& path) = 0;
    // Starts one play of the loaded sound and returns at once.
    virtual void play() = 0;
    // Ends the current play, if any, without a finished for it.
    virtual void stop() = 0;

    // A play ended by itself: played to its end, or ended by the sound system.
    std::function<void()> finished;
    // The sound cannot be played on this machine: damaged file, no sound device, refused play.
    std::function<void(const QString& reason)> failed;
};

// The module's one entry point, by this name: a new output, owned by the caller.
using MakeSoundOutput = SoundOutput* (*)();
inline constexpr const char* MakeSoundOutputName = "ostrevo_make_sound_output";

} // namespace monitor
