// What the program says about itself: --help, --version and the Help -> About box.
#pragma once

#include <QString>

namespace app {

// The program's version, as in the project ("1.0.0").
QString ProgramVersion();
// For the About box: the program's name and version, what it does, the build (commit and date) and
// the Qt version it runs on and was built with. Lines end with '\n'.
QString AboutText();
// For --version: "ostrevo-setup 1.0.0", then the build and the Qt version.
QString VersionText();
// For --help: how to start the program, its options and files. The installed program speaks of itself;
// one run from its build tree (inBuildTree) of the scripts beside it and of its files there.
QString UsageText(bool inBuildTree);
// The platform's part of it: the ports, the display and the files (AboutPosix.cpp, AboutWin32.cpp).
QString PlatformUsageText(bool inBuildTree);
// The one line printed when there is no display, as UsageText chooses its reader.
QString NoDisplayText(bool inBuildTree);
// True when the running program is its build tree's (see IsBuildTree in errorlog/ErrorLog.h).
bool RunFromBuildTree();

// Answers --help and --version on stdout without creating anything of Qt's and returns the exit
// status (0); returns -1 when argv asks for neither, and the program starts as usual.
int AnswerInfoOptions(int argc, char** argv);

} // namespace app
