// The settings file on Linux: Qt's native format is a file under $XDG_CONFIG_HOME.
#include "remembered/SettingsFormat.h"

namespace remembered {

QSettings::Format ProgramSettingsFormat() {
    return QSettings::NativeFormat;
}

} // namespace remembered
