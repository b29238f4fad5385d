#include "app/DemoMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <cstdio>
#include <cstring>

namespace app {

const std::vector<DemoMenuEntry>& DemoMenuEntries() {
    static const std::vector<DemoMenuEntry> entries{
        {"DemoIntruder", "&Intruder Walk", {QStringLiteral("intruder")}, {}, nullptr},
        {"DemoPeriodicWalk",
         "&Periodic Walk",
         {QStringLiteral("periodic-walk on")},
         {QStringLiteral("periodic-walk off")},
         nullptr,
         true},
        {"DemoTamper", "&Tamper", {QStringLiteral("tamper on")}, {QStringLiteral("tamper off")}, nullptr},
        {"DemoMask",
         "&Mask",
         {QStringLiteral("mask1 on"), QStringLiteral("mask2 on")},
         {QStringLiteral("mask1 off"), QStringLiteral("mask2 off")},
         nullptr},
        {"DemoNoise",
         "Infrared &Noise",
         {QStringLiteral("noise1 on"), QStringLiteral("noise2 on")},
         {QStringLiteral("noise1 off"), QStringLiteral("noise2 off")},
         nullptr},
        {"DemoFaultMw", "&Microwave", {QStringLiteral("fault mw on")}, {QStringLiteral("fault mw off")}, "&Fault"},
        {"DemoFaultPir1", "PIR &1", {QStringLiteral("fault pir1 on")}, {QStringLiteral("fault pir1 off")}, "&Fault"},
        {"DemoFaultPir2", "PIR &2", {QStringLiteral("fault pir2 on")}, {QStringLiteral("fault pir2 off")}, "&Fault"},
        {"DemoFaultCpu", "&Processor", {QStringLiteral("fault cpu on")}, {QStringLiteral("fault cpu off")}, "&Fault"},
        {"DemoFaultAccelerometer",
         "&Accelerometer",
         {QStringLiteral("fault lis302 on")},
         {QStringLiteral("fault lis302 off")},
         "&Fault"},
        {"DemoFaultLowVoltage",
         "&Low Voltage",
         {QStringLiteral("fault lowvoltage on")},
         {QStringLiteral("fault lowvoltage off")},
         "&Fault"},
        {"DemoSilence", "&Silent for 3 s", {QStringLiteral("silent 3000")}, {}, nullptr},
        {"DemoUnplug", "&Unplug for 5 s", {QStringLiteral("unplug 5000")}, {}, nullptr},
    };
    return entries;
}

QMenu* BuildDemoMenu(QMenuBar* bar, const QString& port, QObject* sender,
                     const std::function<void(const QString&)>& send) {
    auto* menu = new QMenu(QStringLiteral("&Demo"), bar);
    menu->setObjectName(QStringLiteral("DemoMenu"));
    if (auto* help = bar->findChild<QMenu*>(QStringLiteral("Help1"))) bar->insertMenu(help->menuAction(), menu);
    else bar->addMenu(menu);
    QAction* where = menu->addAction(QStringLiteral("Virtual detector on %1").arg(port));
    where->setEnabled(false);
    menu->addSeparator();
    QMenu* faults = nullptr;
    for (const DemoMenuEntry& entry : DemoMenuEntries()) {
        QMenu* into = menu;
        if (entry.submenu) {
            if (!faults) faults = menu->addMenu(QString::fromLatin1(entry.submenu));
            into = faults;
        } else if (faults && into->actions().last() == faults->menuAction()) {
            menu->addSeparator(); // the world above, the line below
        }
        QAction* action = into->addAction(QString::fromLatin1(entry.caption));
        action->setObjectName(QString::fromLatin1(entry.name));
        if (entry.offCommands.isEmpty()) {
            QObject::connect(action, &QAction::triggered, sender, [send, entry] {
                for (const QString& c : entry.onCommands) send(c);
            });
        } else {
            action->setCheckable(true);
            action->setChecked(entry.checkedAtStart); // (before it sends anything)
            QObject::connect(action, &QAction::toggled, sender, [send, entry](bool on) {
                for (const QString& c : on ? entry.onCommands : entry.offCommands) send(c);
            });
        }
    }
    return menu;
}

bool DemoRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--demo") == 0) return true;
    return false;
}

void PrintDemoLine(const QString& text) {
    std::fprintf(stdout, "ostrevo-setup: %s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace app
