// What the program remembers between runs (the last port and time-out, the windows' places, the report's
// details) reaches its settings file or the user is told, once, that it did not.
#pragma once

#include <QString>
#include <functional>

class QSettings;

namespace remembered {

using Notice = std::function<void(const QString& text)>;

// Who is told when the settings file cannot be written (the main window's status bar); a new listener
// has not been told yet. Without one, nobody is.
void SetNotice(Notice notice);
// Writes what settings holds to its file now. When that fails (a full or read-only home), says once a
// run, through the notice, that they could not be remembered. True when written.
bool Sync(QSettings& settings);

} // namespace remembered
