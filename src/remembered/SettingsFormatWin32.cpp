// The settings file on Windows: an INI file in the user's roaming application data, where Qt's native
// format would write to the registry.
#include "remembered/SettingsFormat.h"

namespace remembered {

QSettings::Format ProgramSettingsFormat() {
    return QSettings::IniFormat;
}

} // namespace remembered
