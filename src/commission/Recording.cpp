#include "commission/Recording.h"

#include <QStringList>
#include <limits>

namespace recording {
namespace {

// The fields of a line after the time, in order.
const char* const Fields[] = {"mw_signal",   "mw_level",    "mw_direct",   "pir1_signal", "pir1_level",
                              "pir1_direct", "pir2_signal", "pir2_level",  "pir2_direct", "mw_mask",
                              "mask1",       "mask2",       "ir_noise1",   "ir_noise2",   "ntc",
                              "temperature", "mw_comp",     "pir1_comp",   "pir2_comp",   "alarm_flags",
                              "state_flags", "acc_x",       "acc_y",       "acc_z"};
constexpr int FieldCount = sizeof Fields / sizeof Fields[0];

} // namespace

QString CsvHeader() {
    QStringList names{QStringLiteral("time_ms")};
    for (const char* f : Fields) names << QString::fromLatin1(f);
    return names.join(QLatin1Char(','));
}

QString CsvLine(std::int64_t ms, const monitor::StatusRecord& s) {
    QStringList v{QString::number(ms)};
    for (const monitor::ChannelStatus& c : s.channels)
        v << QString::number(c.signal) << QString::number(c.level) << QString::number(c.direct);
    v << QString::number(s.mwMask) << QString::number(s.mask1) << QString::number(s.mask2)
      << QString::number(s.irNoise1) << QString::number(s.irNoise2) << QString::number(s.ntc)
      << QString::number(s.temperature);
    for (const monitor::ChannelStatus& c : s.channels) v << QString::number(c.compensation);
    v << QStringLiteral("0x%1").arg(s.alarmFlags, 4, 16, QLatin1Char('0'))
      << QStringLiteral("0x%1").arg(s.stateFlags, 4, 16, QLatin1Char('0'));
    for (std::int8_t a : s.acc) v << QString::number(a);
    return v.join(QLatin1Char(','));
}

bool ParseLine(const QString& line, std::int64_t& ms, monitor::StatusRecord& s, QString& error) {
    const QStringList cells = line.trimmed().split(QLatin1Char(','));
    if (cells.size() != FieldCount + 1) {
        error = QStringLiteral("it has %1 fields, not %2").arg(cells.size()).arg(FieldCount + 1);
        return false;
    }
    bool ok = false;
    ms = cells[0].toLongLong(&ok);
    if (!ok || ms < 0) {
        error = QStringLiteral("time_ms \"%1\" is not a time").arg(cells[0]);
        return false;
    }
    long values[FieldCount];
    for (int i = 0; i < FieldCount; ++i) {
        const QString& cell = cells[i + 1];
        const bool hex = cell.startsWith(QLatin1String("0x"));
        const long v = hex ? cell.mid(2).toLong(&ok, 16) : cell.toLong(&ok, 10);
        // The limits of the record's own fields: 16 bits unsigned, the temperature signed 16, the axes signed 8.
        const QString name = QString::fromLatin1(Fields[i]);
        long lo = 0, hi = 0xFFFF;
        if (name == QLatin1String("temperature")) lo = -32768, hi = 32767;
        else if (name.startsWith(QLatin1String("acc_"))) lo = -128, hi = 127;
        if (!ok || v < lo || v > hi) {
            error = QStringLiteral("%1 \"%2\" is not a value from %3 to %4").arg(name, cell).arg(lo).arg(hi);
            return false;
        }
        values[i] = v;
    }
    int i = 0;
    for (monitor::ChannelStatus& c : s.channels) {
        c.signal = static_cast<std::uint16_t>(values[i++]);
        c.level = static_cast<std::uint16_t>(values[i++]);
        c.direct = static_cast<std::uint16_t>(values[i++]);
    }
    s.mwMask = static_cast<std::uint16_t>(values[i++]);
    s.mask1 = static_cast<std::uint16_t>(values[i++]);
    s.mask2 = static_cast<std::uint16_t>(values[i++]);
    s.irNoise1 = static_cast<std::uint16_t>(values[i++]);
    s.irNoise2 = static_cast<std::uint16_t>(values[i++]);
    s.ntc = static_cast<std::uint16_t>(values[i++]);
    s.temperature = static_cast<std::int16_t>(values[i++]);
    for (monitor::ChannelStatus& c : s.channels) c.compensation = static_cast<std::uint16_t>(values[i++]);
    s.alarmFlags = static_cast<std::uint16_t>(values[i++]);
    s.stateFlags = static_cast<std::uint16_t>(values[i++]);
    for (std::int8_t& a : s.acc) a = static_cast<std::int8_t>(values[i++]);
    return true;
}

} // namespace recording

bool WalkRecorder::Start(const QString& path, QString& error) {
    Stop();
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text | QIODevice::Unbuffered)) {
        error = QStringLiteral("The recording \"%1\" could not be created: %2").arg(path, file_.errorString());
        return false;
    }
    lines_ = 0;
    const QByteArray header = recording::CsvHeader().toUtf8() + '\n';
    if (file_.write(header) != header.size()) {
        error = QStringLiteral("The recording \"%1\" could not be written: %2").arg(path, file_.errorString());
        file_.close();
        return false;
    }
    clock_.start();
    return true;
}

void WalkRecorder::Stop() {
    if (file_.isOpen()) file_.close();
    clock_.invalidate();
}

bool WalkRecorder::Record(const std::uint8_t* status58, QString& error) {
    if (!file_.isOpen()) return true;
    // One write call per line on an unbuffered file: the line is with the system at once.
    const QByteArray line = recording::CsvLine(clock_.elapsed(), monitor::DecodeStatus(status58)).toUtf8() + '\n';
    if (file_.write(line) != line.size()) {
        error = QStringLiteral("The recording \"%1\" stopped: %2").arg(file_.fileName(), file_.errorString());
        Stop();
        return false;
    }
    ++lines_;
    return true;
}
