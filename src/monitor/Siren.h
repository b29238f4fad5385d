// The alarm siren: SIREN1.WAV from the program's folder (or, installed on Linux, from its data folder), played
// once per alarm without holding up the poll.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

namespace monitor {

// The folders the program's siren file is looked for in, in this order: the executable's, then on Linux the
// data folder of an installation (<prefix>/share/ostrevo-setup: beside the executable's bin folder, at the
// prefix it was built for, and in the XDG data folders). On Windows the executable's alone: the siren is
// installed beside the program.
QStringList SirenFolders();
// The path of the siren file in the first of folders that holds it; empty when none does.
QString SirenFileLookup(const QStringList& folders = SirenFolders());

// What the siren needs of a sound player. The program plays through its sound module (below); tests use
// a fake. Every signal is delivered on the thread the player lives in (the UI thread).
class SirenPlayer : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~SirenPlayer() override = default;

    // Gets ready to play the sound in path, if it can do so without the caller waiting; says nothing.
    virtual void prepare(const QString& path) { Q_UNUSED(path); }
    // Puts the sound in path in place for play(); loading may go on in the background. A file that
    // cannot be played, or a machine without sound output, is reported through failed(), at once or later.
    virtual void load(const QString& path) = 0;
    // Starts one play of the loaded sound and returns at once.
    virtual void play() = 0;
    // Ends the current play, if any, without a finished() for it.
    virtual void stop() = 0;
    // The loaded sound's length in milliseconds, or -1 while it is not known.
    virtual int durationMs() const { return -1; }

  signals:
    // A play ended by itself: played to its end, or ended by the sound system.
    void finished();
    // The sound cannot be played on this machine: damaged file, no sound device, refused play.
    void failed(const QString& reason);
};

// The length of a PCM WAV file from its header in milliseconds, or -1 when the header does not tell.
int WavLengthMs(const QString& path);

// The platform's player: on Linux the sound module (ModulePlayer() below), on Windows the Windows sound API
// (waveOut: the WAV played from memory, stopped at once, its end reported by the sound system).
std::unique_ptr<SirenPlayer> PlatformPlayer();

// Linux: the sound module (ostrevo-sound.so, with Qt Multimedia, which the program itself does not link) is
// looked for in these folders, in this order: the executable's, then the program's library folder of
// an installation (beside the executable's bin folder, and at the prefix it was built for).
QStringList SoundModuleFolders();
inline constexpr const char* SoundModuleFile = "ostrevo-sound.so";
// Whether the machine has something to play a sound on: a sound server (PulseAudio or PipeWire) or a
// sound card's playback device. Without, the sound module is not loaded.
bool SoundOutputLikely();
// The program's player: the sound module of the first of folders that holds it, loaded in a thread of
// its own while soundOutput() says there is something to play on (never where there is not), when
// asked to prepare or to load. A play asked for meanwhile starts once it is loaded; the caller never
// waits for it.
std::unique_ptr<SirenPlayer> ModulePlayer(const QStringList& folders = SoundModuleFolders(),
                                          std::function<bool()> soundOutput = SoundOutputLikely);

// Plays the siren file once per call of StartSiren and tells when it has ended. A machine that cannot
// play it (a sound device unplugged, a sound server restarting) is told once through unavailableNow();
// the siren rests for a minute and is tried again at the next alarm after that, and availableAgain()
// says when it has played to its end once more. The monitoring goes on meanwhile: nothing here
// throws, blocks or shows a box.
class Siren : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* FileName = "SIREN1.WAV";
    // Time allowed beyond the sound's length (or beyond UnknownLengthMs) before a play that has not
    // reported its end counts as ended. Generous: a busy sound server may take a second or two longer.
    static constexpr int EndMarginMs = 5000;
    static constexpr int UnknownLengthMs = 5000;
    // How long a siren that failed rests before the next alarm tries it again.
    static constexpr int RetryAfterMs = 60000;

    // The siren SirenFileLookup() finds (beside the executable first), played through the platform's player.
    explicit Siren(QObject* parent = nullptr);
    // The siren of folder, played through player (none: through PlatformPlayer()). The file is looked
    // for here, once; without it the siren stays unavailable for the whole run, silently.
    explicit Siren(const QString& folder, std::unique_ptr<SirenPlayer> player = nullptr, QObject* parent = nullptr);
    ~Siren() override;

    // Gets the player ready for the first alarm without holding anyone up (the program's window calls it
    // after its first paint).
    void Prepare();

    // Plays the siren once from its start (a play still going on is stopped first), sets the playing
    // flag and returns at once. Does nothing while the siren is unavailable.
    void StartSiren();
    // The play has ended (played out, stopped, failed or timed out): clears the playing flag.
    void playEnded();

    // There is a siren file, and the siren is not resting after a failure.
    bool Available() const;
    // For tests: a shorter rest after a failure.
    void setRetryAfterMs(int ms) { retryAfterMs_ = ms; }
    bool Playing() const { return playing_; }
    // The siren file's path; empty when there was no file at start-up.
    QString FilePath() const { return filePath_; }

  signals:
    // The siren has just failed; emitted once until it works again, from the event loop after the
    // call that found the fault, so the receiver never runs inside the poll tick. reason is a sentence
    // for the status bar: "The siren is off (no sound output device); the next alarm after a minute
    // tries it again."
    void unavailableNow(const QString& reason);
    // A play has ended normally after a failure was told: the siren works again.
    void availableAgain();

  private:
    void playerFailed(const QString& reason);
    void playFinished();
    void playTimedOut();

    QString filePath_;
    bool failed_ = false;
    QElapsedTimer failedAt_;
    int retryAfterMs_ = RetryAfterMs;
    bool playing_ = false;
    bool reported_ = false;
    std::unique_ptr<SirenPlayer> player_;
    QTimer endTimer_;
};

} // namespace monitor
