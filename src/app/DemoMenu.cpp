#include "app/DemoMenu.h"

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
