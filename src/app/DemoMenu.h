// The Demo menu's entries and the demo's lines on standard output, the same for the virtual detector in a
// process of its own (Linux) and in the program's (Windows).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QMenu;
class QObject;
class QMenuBar;

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
// Builds the Demo menu into bar, before its Help menu: where the detector is (port), then the entries, each
// giving its commands to send (while sender lives).
QMenu* BuildDemoMenu(QMenuBar* bar, const QString& port, QObject* sender,
                     const std::function<void(const QString&)>& send);

// True when argv asks for the demo (--demo).
bool DemoRequested(int argc, char** argv);

// "ostrevo-setup: <text>" on standard output, at once: for whoever runs the demo from a script.
void PrintDemoLine(const QString& text);

} // namespace app
