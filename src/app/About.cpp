#include "app/About.h"

#include "BuildInfo.h" // generated at build time: OSTREVO_VERSION, OSTREVO_BUILD_COMMIT, OSTREVO_BUILD_DATE

#include <cstdio>
#include <cstring>

namespace {

QString buildLine() {
    const QString commit = QStringLiteral(OSTREVO_BUILD_COMMIT);
    return commit.isEmpty() ? QStringLiteral("Build %1 of %2").arg(ProgramVersion(), QStringLiteral(OSTREVO_BUILD_DATE))
                            : QStringLiteral("Build %1 (commit %2) of %3")
                                  .arg(ProgramVersion(), commit, QStringLiteral(OSTREVO_BUILD_DATE));
}

QString qtLine() {
    return QStringLiteral("Qt %1 (built with Qt %2)")
        .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
}

void print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

QString ProgramVersion() {
    return QStringLiteral(OSTREVO_VERSION);
}

QString AboutText() {
    return QStringLiteral("Ostrevo SetUp %1\n"
                          "Sets up and watches an exterior triple-technology intrusion detector over a serial line.\n"
                          "\n%2\n%3\n")
        .arg(ProgramVersion(), buildLine(), qtLine());
}

QString VersionText() {
    return QStringLiteral("ostrevo-setup %1\n%2\n%3\n").arg(ProgramVersion(), buildLine(), qtLine());
}

QString UsageText() {
    return QStringLiteral(
        "Usage: ostrevo-setup [OPTION]\n"
        "Sets up and watches an exterior triple-technology intrusion detector over a serial line.\n"
        "\n"
        "  -h, --help     print this help and exit\n"
        "  -v, --version  print the version and exit\n"
        "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
        "\n"
        "It needs a desktop session: with none of DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM set it\n"
        "exits with status 1 (in the source tree, scripts/run shows it in a browser on this machine).\n"
        "The error log LogError.txt is written beside the executable, or in\n"
        "$XDG_STATE_HOME/ostrevo-setup/ (by default ~/.local/state/ostrevo-setup/) when that folder\n"
        "cannot be written.\n");
}

int AnswerInfoOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print(UsageText());
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            print(VersionText());
            return 0;
        }
    }
    return -1;
}
