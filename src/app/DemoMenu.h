// The Demo menu's entries and the demo's lines on standard output, the same for the virtual detector in a
// process of its own (Linux) and in the program's (Windows).
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace app {

// One entry of the Demo menu: the commands its action gives the virtual detector.
struct DemoMenuEntry {
    const char* name; // objectName of its action
    const char* caption;
    QStringList onCommands;
    QStringList offCommands;     // empty: a plain entry
    const char* submenu;         // nullptr: in the Demo menu itself
    bool checkedAtStart = false; // what the virtual detector does when it starts
};
const std::vector<DemoMenuEntry>& DemoMenuEntries();

// True when argv asks for the demo (--demo).
bool DemoRequested(int argc, char** argv);

// "ostrevo-setup: <text>" on standard output, at once: for whoever runs the demo from a script.
void PrintDemoLine(const QString& text);

} // namespace app
