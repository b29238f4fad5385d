// The part of --help that is Linux's own: the serial ports' group, the display, the files.
#include "app/About.h"

namespace app {

QString PlatformUsageText(bool inBuildTree) {
    QString text =
        QStringLiteral("A serial port may be opened only by members of the dialout group: add yourself with\n"
                       "  sudo adduser $USER dialout\n"
                       "and log in again.\n"
                       "It needs a desktop session: with none of DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM set it\n"
                       "exits with status 1.\n");
    if (inBuildTree) {
        text += QStringLiteral(
            "From the source tree, scripts/run starts it (with a private view in a browser on this machine\n"
            "when there is no display), and scripts/run --demo with the virtual detector.\n"
            "Run from this build tree, it writes its error log LogError.txt beside the executable (an\n"
            "installed program writes it in $XDG_STATE_HOME/ostrevo-setup/).\n");
    } else {
        text += QStringLiteral(
            "Files: the error log $XDG_STATE_HOME/ostrevo-setup/LogError.txt (by default in\n"
            "~/.local/state/ostrevo-setup/), the settings $XDG_CONFIG_HOME/ostrevo-setup/ostrevo-setup.conf\n"
            "(by default in ~/.config/ostrevo-setup/). See ostrevo-setup(1).\n");
    }
    return text;
}

} // namespace app
