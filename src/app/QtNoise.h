// Qt's notices that a normal start and exit of the program must not print: each is about a condition
// that is handled without the user, and none tells the user anything to do.
#pragma once

#include <QString>

namespace app {

// True for such a notice:
//  - "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to ..." (a session without the variable, as
//    under su or a plain ssh): Qt makes and uses the private folder it names, which is all it needs;
//  - "PulseAudioService: ..." from Qt Multimedia's PulseAudio back end where no sound server runs: the
//    siren already says once, in the status bar, that it is off for the run.
bool IsQtNoise(const QString& message);
// Keeps those notices off stderr from now on; every other message is passed on as before. Call it
// before the application object exists.
void KeepQtNoiseQuiet();

} // namespace app
