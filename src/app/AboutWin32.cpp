// The part of --help that is Windows' own: the ports and the files.
#include "app/About.h"

namespace app {

QString PlatformUsageText(bool inBuildTree) {
    QString text = QStringLiteral("The detector's port is a COM port (SetUp COM lists them, with their adapters'\n"
                                  "names); a port another program holds cannot be opened until it lets go.\n");
    if (inBuildTree) {
        text += QStringLiteral("Run from this build tree, it writes its error log LogError.txt beside the executable\n"
                               "(an installed program writes it in %LOCALAPPDATA%\\ostrevo-setup\\).\n");
    } else {
        text += QStringLiteral("Files: the error log %LOCALAPPDATA%\\ostrevo-setup\\LogError.txt, the settings\n"
                               "%APPDATA%\\ostrevo-setup\\ostrevo-setup.ini.\n");
    }
    return text;
}

} // namespace app
