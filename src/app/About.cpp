#include "app/About.h"

#include "errorlog/ErrorLog.h"

#include "BuildInfo.h" // generated at build time: OSTREVO_VERSION, OSTREVO_BUILD_COMMIT, OSTREVO_BUILD_DATE

#include <cstdio>
#include <cstring>

namespace app {

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

QString UsageText(bool inBuildTree) {
    return QStringLiteral(
               "Usage: ostrevo-setup [OPTION]\n"
               "Sets up and watches an exterior triple-technology intrusion detector over a serial line.\n"
               "\n"
               "  --demo         start with a virtual detector to train and demonstrate on, without hardware:\n"
               "                 it is connected at once, and the Demo menu makes things happen\n"
               "  -h, --help     print this help and exit\n"
               "  -v, --version  print the version and exit\n"
               "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
               "\n") +
           PlatformUsageText(inBuildTree);
}

QString NoDisplayText(bool inBuildTree) {
    const QString what = QStringLiteral("ostrevo-setup: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
                                        "are unset); ");
    return what + (inBuildTree
                       ? QStringLiteral("run it from a desktop session, or start it with scripts/run, which "
                                        "provides a private local view in a browser when there is no display.\n")
                       : QStringLiteral("start it from a desktop session: its menu entry Ostrevo SetUp, or "
                                        "ostrevo-setup in a terminal there (ostrevo-setup --demo for the "
                                        "training detector).\n"));
}

bool RunFromBuildTree() {
    return errorlog::IsBuildTree(errorlog::ProgramFolder());
}

int AnswerInfoOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print(UsageText(RunFromBuildTree()));
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            print(VersionText());
            return 0;
        }
    }
    return -1;
}

} // namespace app
