#include "config/ParameterText.h"

#include <QStringList>
#include <cmath>

namespace config {

using namespace protocol::params;

namespace {

QString functionName(int output, std::uint8_t f) {
    switch (f) {
    case And: return QStringLiteral("AND");
    case Or: return QStringLiteral("OR");
    case AutoOr: return QStringLiteral("AUTO OR");
    case Mask: return output == 0 ? QStringLiteral("Mask #1-# 2") : QStringLiteral("Mask #1-#2");
    case NoFunction: return QStringLiteral("none");
    case AutoTest: return QStringLiteral("AUTO TEST");
    default: return QStringLiteral("AUTO TEST (%1)").arg(f); // (shown so; the value itself is kept)
    }
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

std::vector<ParameterLine> DescribeParameters(const Parameters& p) {
    std::vector<ParameterLine> lines;
    const QString channels[3] = {QStringLiteral("MW"), QStringLiteral("PIR HIGH ABOVE"),
                                 QStringLiteral("PIR DOWN UNDER")};
    for (int c = 0; c < 3; ++c) {
        const ChannelSettings& ch = p.channels[static_cast<std::size_t>(c)];
        lines.push_back({channels[c], QStringLiteral("Threshold"), QString::number(ch.trange)});
        lines.push_back({channels[c], QStringLiteral("Rate (Tconv)"), QString::number(ch.tconv)});
        lines.push_back({channels[c], QStringLiteral("Speed (Nconv)"), QString::number(ch.nconv)});
        lines.push_back({channels[c], QStringLiteral("Pulses"), QString::number(ch.npulse)});
    }
    const struct {
        std::uint16_t mask;
        const char* name;
    } flags[] = {{EnableMw, "MW"},
                 {EnablePir1, "PIR (HIGH ABOVE)"},
                 {EnablePir2, "PIR (DOWN UNDER)"},
                 {EnableMask, "MASK"},
                 {EnableAcc, "Mask #1-2"},
                 {EnableTamper, "Tamper"},
                 {EnableLed, "LED"},
                 {EnableTempComp, "Temp. Comp."},
                 {EnableAutoTest, "AutoTest (24h)"},
                 {NoiseMw, "MW Noise Reduction"},
                 {NoisePir1, "PIR HIGH Noise Reduction"},
                 {NoisePir2, "PIR DOWN Noise Reduction"}};
    for (const auto& f : flags)
        lines.push_back({QStringLiteral("Enable"), QString::fromLatin1(f.name), onOff((p.flags & f.mask) == f.mask)});
    for (int o = 0; o < 3; ++o) {
        const OutputSettings& out = p.outputs[static_cast<std::size_t>(o)];
        const QString group = QStringLiteral("OUT #%1").arg(o + 1);
        lines.push_back({group, QStringLiteral("Enabled"), onOff(out.flags & OutputEnabled)});
        lines.push_back({group, QStringLiteral("Function"), functionName(o, out.function)});
        lines.push_back({group, QStringLiteral("Contact"), (out.flags & OutputNormallyOpen) ? "NO" : "NC"});
        // In seconds, as the screen shows it, but exact.
        lines.push_back({group, QStringLiteral("Time AND"), QStringLiteral("%1 s").arg(out.timeAndMs / 1000.0)});
        QStringList technologies;
        if (out.flags & OutputMw) technologies << QStringLiteral("MW");
        if (out.flags & OutputPirHigh) technologies << QStringLiteral("PIR HIGH");
        if (out.flags & OutputPirDown) technologies << QStringLiteral("PIR DOWN");
        lines.push_back({group, QStringLiteral("Technologies"),
                         technologies.isEmpty() ? QStringLiteral("none") : technologies.join(QStringLiteral(", "))});
    }
    lines.push_back({QStringLiteral("MW Pw"), QStringLiteral("PWM duty value"), QString::number(p.pwmDuty)});
    lines.push_back({QStringLiteral("MW Pw"), QStringLiteral("PWM frequency value"), QString::number(p.pwmFrequency)});
    return lines;
}

std::vector<ParameterDifference> CompareParameters(const Parameters& file, const Parameters& detector) {
    const auto a = DescribeParameters(file);
    const auto b = DescribeParameters(detector);
    std::vector<ParameterDifference> out;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].value != b[i].value)
            out.push_back({a[i].group + QLatin1Char(' ') + a[i].name, a[i].value, b[i].value});

    // Then every other bit a settings frame carries: those without a name go out too.
    auto bits = [&out](const QString& word, unsigned fileWord, unsigned detectorWord, unsigned mask) {
        for (int bit = 0; bit < 16; ++bit) {
            const unsigned m = 1u << bit;
            if (!(mask & m) || (fileWord & m) == (detectorWord & m)) continue;
            out.push_back({QStringLiteral("%1 bit %2").arg(word).arg(bit), (fileWord & m) ? "1" : "0",
                           (detectorWord & m) ? "1" : "0"});
        }
    };
    bits(QStringLiteral("flags word"), file.flags, detector.flags, UnnamedFlags);
    auto hex = [](unsigned v) {
        return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
    };
    for (std::size_t o = 0; o < 3; ++o) {
        const QString group = QStringLiteral("OUT #%1").arg(o + 1);
        const OutputSettings& f = file.outputs[o];
        const OutputSettings& d = detector.outputs[o];
        if (f.reserved != d.reserved)
            out.push_back({group + QStringLiteral(" reserved byte"), hex(f.reserved), hex(d.reserved)});
        bits(group + QStringLiteral(" flags"), f.flags, d.flags, UnnamedOutputFlags);
    }
    return out;
}

std::vector<QString> ValuesOutsideTheControls(const Parameters& p) {
    std::vector<QString> lines;
    auto check = [&lines](const QString& name, int value, ValueRange range) {
        if (!range.contains(value))
            lines.push_back(
                QStringLiteral("%1 %2 (the controls take %3..%4)").arg(name).arg(value).arg(range.min).arg(range.max));
    };
    const QString channels[3] = {QStringLiteral("MW"), QStringLiteral("PIR HIGH ABOVE"),
                                 QStringLiteral("PIR DOWN UNDER")};
    for (std::size_t c = 0; c < 3; ++c) {
        const ChannelSettings& ch = p.channels[c];
        check(channels[c] + QStringLiteral(" Threshold"), ch.trange, ThresholdRange[c]);
        check(channels[c] + QStringLiteral(" Rate (Tconv)"), ch.tconv, TconvRange[c]);
        check(channels[c] + QStringLiteral(" Speed (Nconv)"), ch.nconv, NconvRange[c]);
        check(channels[c] + QStringLiteral(" Pulses"), ch.npulse, NPulseRange);
    }
    check(QStringLiteral("MW Pw PWM duty value"), p.pwmDuty, PwmDutyRange);
    check(QStringLiteral("MW Pw PWM frequency value"), p.pwmFrequency, PwmFrequencyRange);
    for (std::size_t o = 0; o < 3; ++o) {
        const OutputSettings& out = p.outputs[o];
        const QString group = QStringLiteral("OUT #%1").arg(o + 1);
        // The gauge shows whole seconds; the value itself is kept until the gauge is moved.
        const int seconds = static_cast<int>(std::nearbyint(out.timeAndMs / 1000.0));
        if (!TimeAndSecondsRange[o].contains(seconds))
            lines.push_back(QStringLiteral("%1 Time AND %2 ms (the controls take %3..%4 s)")
                                .arg(group)
                                .arg(out.timeAndMs)
                                .arg(TimeAndSecondsRange[o].min)
                                .arg(TimeAndSecondsRange[o].max));
        if (out.function > AutoTest && out.function != NoFunction)
            lines.push_back(
                QStringLiteral("%1 Function %2 (the controls show it as AUTO TEST)").arg(group).arg(out.function));
    }
    return lines;
}

} // namespace config
