// The format of the program's settings file on this platform.
#pragma once

#include <QSettings>

namespace remembered {

// NativeFormat on Linux ($XDG_CONFIG_HOME/ostrevo-setup/ostrevo-setup.conf); IniFormat on Windows
// (%APPDATA%\ostrevo-setup\ostrevo-setup.ini: a file in the user's application data, never the registry
// and never beside the program).
QSettings::Format ProgramSettingsFormat();

} // namespace remembered
