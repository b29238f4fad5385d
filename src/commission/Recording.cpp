#include "commission/Recording.h"

#include <QRegularExpression>
#include <QStringList>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

namespace commission {

namespace recording {
namespace {

// The fields of a line after the time, in order.
const char* const Fields[] = {"mw_signal",   "mw_level",    "mw_direct",   "pir1_signal", "pir1_level", "pir1_direct",
                              "pir2_signal", "pir2_level",  "pir2_direct", "mw_mask",     "mask1",      "mask2",
                              "ir_noise1",   "ir_noise2",   "ntc",         "temperature", "mw_comp",    "pir1_comp",
                              "pir2_comp",   "alarm_flags", "state_flags", "acc_x",       "acc_y",      "acc_z"};
constexpr int FieldCount = sizeof Fields / sizeof Fields[0];

} // namespace

QString CsvHeader() {
    QStringList names{QStringLiteral("time_ms")};
    for (const char* f : Fields) names << QString::fromLatin1(f);
    return names.join(QLatin1Char(','));
}

QByteArray CsvLineBytes(std::int64_t ms, const protocol::StatusRecord& s) {
    // Written for every reply while recording: put together in place, with no string per field.
    char line[256];
    char* at = line;
    char* const end = line + sizeof line;
    auto number = [&](std::int64_t v) {
        if (at != line) *at++ = ',';
        at = std::to_chars(at, end, v).ptr;
    };
    auto flags = [&](std::uint16_t v) {
        *at++ = ',';
        *at++ = '0';
        *at++ = 'x';
        char digits[4];
        const char* const last = std::to_chars(digits, digits + 4, v, 16).ptr;
        at = std::fill_n(at, 4 - (last - digits), '0');
        at = std::copy(static_cast<const char*>(digits), last, at);
    };
    number(ms);
    for (const protocol::ChannelStatus& c : s.channels) {
        number(c.signal);
        number(c.level);
        number(c.direct);
    }
    for (const int v : {s.mwMask, s.mask1, s.mask2, s.irNoise1, s.irNoise2, s.ntc}) number(v);
    number(s.temperature);
    for (const protocol::ChannelStatus& c : s.channels) number(c.compensation);
    flags(s.alarmFlags);
    flags(s.stateFlags);
    for (std::int8_t a : s.acc) number(a);
    return QByteArray(line, at - line);
}

QString CsvLine(std::int64_t ms, const protocol::StatusRecord& s) {
    return QString::fromLatin1(CsvLineBytes(ms, s));
}

bool ParseLine(const QString& line, std::int64_t& ms, protocol::StatusRecord& s, QString& error) {
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
    for (protocol::ChannelStatus& c : s.channels) {
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
    for (protocol::ChannelStatus& c : s.channels) c.compensation = static_cast<std::uint16_t>(values[i++]);
    s.alarmFlags = static_cast<std::uint16_t>(values[i++]);
    s.stateFlags = static_cast<std::uint16_t>(values[i++]);
    for (std::int8_t& a : s.acc) a = static_cast<std::int8_t>(values[i++]);
    return true;
}

bool ParseWrittenLine(QByteArrayView line, std::int64_t& ms, protocol::StatusRecord& s) {
    // A replay and a summary read every line of recordings that may hold millions: the form the recorder
    // writes is read here without a string per field (several times faster than ParseLine).
    const char* at = line.data();
    const char* const end = at + line.size();
    long long values[FieldCount + 1];
    for (int i = 0; i <= FieldCount; ++i) {
        if (i > 0) {
            if (at == end || *at != ',') return false;
            ++at;
        }
        const bool hex = end - at > 2 && at[0] == '0' && at[1] == 'x';
        if (hex) at += 2;
        const char* const start = at;
        if (!hex && at != end && *at == '-') ++at;
        const char* const digits = at;
        while (at != end && (hex ? std::isxdigit(static_cast<unsigned char>(*at)) : *at >= '0' && *at <= '9')) ++at;
        if (at == digits || at - digits > 18) return false;
        const auto read = std::from_chars(start, at, values[i], hex ? 16 : 10);
        if (read.ec != std::errc() || read.ptr != at) return false;
    }
    if (at != end || values[0] < 0) return false;
    for (int i = 0; i < FieldCount; ++i) {
        const char* const name = Fields[i];
        long long lo = 0, hi = 0xFFFF;
        if (std::strcmp(name, "temperature") == 0) lo = -32768, hi = 32767;
        else if (std::strncmp(name, "acc_", 4) == 0) lo = -128, hi = 127;
        if (values[i + 1] < lo || values[i + 1] > hi) return false;
    }
    ms = values[0];
    const long long* v = values + 1;
    for (protocol::ChannelStatus& c : s.channels) {
        c.signal = static_cast<std::uint16_t>(*v++);
        c.level = static_cast<std::uint16_t>(*v++);
        c.direct = static_cast<std::uint16_t>(*v++);
    }
    s.mwMask = static_cast<std::uint16_t>(*v++);
    s.mask1 = static_cast<std::uint16_t>(*v++);
    s.mask2 = static_cast<std::uint16_t>(*v++);
    s.irNoise1 = static_cast<std::uint16_t>(*v++);
    s.irNoise2 = static_cast<std::uint16_t>(*v++);
    s.ntc = static_cast<std::uint16_t>(*v++);
    s.temperature = static_cast<std::int16_t>(*v++);
    for (protocol::ChannelStatus& c : s.channels) c.compensation = static_cast<std::uint16_t>(*v++);
    s.alarmFlags = static_cast<std::uint16_t>(*v++);
    s.stateFlags = static_cast<std::uint16_t>(*v++);
    for (std::int8_t& a : s.acc) a = static_cast<std::int8_t>(*v++);
    return true;
}

QString CleanNote(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        // Direction and zero-width controls go: "\u202Eevil\u202C" would print reversed on the graph and in
        // the report, as "live".
        if (c.category() == QChar::Other_Format) continue;
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            s += QLatin1Char(' ');
        else if (c == QLatin1Char('"'))
            s += QLatin1Char('\''); // a quote would open a cell to a spreadsheet, swallowing the lines after it
        else s += c;
    }
    s = s.simplified();
    // A spreadsheet opening the recording splits the note at its commas: a cell that would begin with
    // = + - or @ (a formula to it) begins with an apostrophe instead, and is shown as text.
    for (qsizetype at = s.indexOf(QLatin1Char(',')); at >= 0; at = s.indexOf(QLatin1Char(','), at + 1)) {
        qsizetype cell = at + 1;
        while (cell < s.size() && s.at(cell) == QLatin1Char(' ')) ++cell;
        if (cell < s.size() && QStringLiteral("=+-@").contains(s.at(cell))) s.insert(cell, QLatin1Char('\''));
    }
    // Cut after the apostrophes are in: a note read back is then the same note (cut before them, one added
    // made it longer than a note may be, and reading it again cut it anew).
    if (s.size() > MaxNoteLength)
        s.truncate(s.at(MaxNoteLength - 1).isHighSurrogate() ? MaxNoteLength - 1 : MaxNoteLength);
    return s.trimmed();
}

QString MarkLine(const Mark& m) {
    const QString at = QStringLiteral(" at %1 ms").arg(m.ms);
    const QString note = m.text.isEmpty() ? QString() : QStringLiteral(": ") + m.text;
    switch (m.kind) {
    case Mark::Kind::Pass: return QStringLiteral("# pass %1").arg(m.number) + at + note;
    case Mark::Kind::Quiet: return QStringLiteral("# quiet %1").arg(m.number) + at + note;
    case Mark::Kind::End: return QStringLiteral("# end") + at;
    case Mark::Kind::Paused: {
        const std::int64_t tenths = (m.lengthMs + 50) / 100;
        return QStringLiteral("# paused %1.%2 s").arg(tenths / 10).arg(tenths % 10) + at + note;
    }
    case Mark::Kind::Parameters:
        return QStringLiteral("# parameters") + at + QStringLiteral(": ") +
               QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(m.parameters.data()),
                                              static_cast<qsizetype>(m.parameters.size()))
                                       .toHex());
    }
    return QString();
}

Comment ParseComment(const QString& line, Mark& m, QString& error) {
    static const QRegularExpression keyword(QStringLiteral("^#\\s*([a-z]+)\\b"));
    static const QRegularExpression segment(
        QStringLiteral("^# (pass|quiet) (\\d{1,9}) at (\\d{1,15}) ms(?::\\s*(.*))?$"));
    static const QRegularExpression end(QStringLiteral("^# end at (\\d{1,15}) ms$"));
    static const QRegularExpression paused(
        QStringLiteral("^# paused (\\d{1,9})(?:\\.(\\d))? s at (\\d{1,15}) ms(?::\\s*(.*))?$"));
    static const QRegularExpression parameters(QStringLiteral("^# parameters at (\\d{1,15}) ms: ([0-9a-fA-F]{88})$"));
    const QString s = line.trimmed();
    const QString word = keyword.match(s).captured(1);
    const QStringList words{QStringLiteral("pass"), QStringLiteral("quiet"), QStringLiteral("end"),
                            QStringLiteral("paused"), QStringLiteral("parameters")};
    if (!words.contains(word)) return Comment::Other;
    Mark read;
    QRegularExpressionMatch match;
    if ((match = segment.match(s)).hasMatch()) {
        read.kind = match.captured(1) == QLatin1String("pass") ? Mark::Kind::Pass : Mark::Kind::Quiet;
        read.number = match.captured(2).toInt();
        read.ms = match.captured(3).toLongLong();
        read.text = CleanNote(match.captured(4));
    } else if ((match = end.match(s)).hasMatch()) {
        read.kind = Mark::Kind::End;
        read.ms = match.captured(1).toLongLong();
    } else if ((match = paused.match(s)).hasMatch()) {
        read.kind = Mark::Kind::Paused;
        read.lengthMs = match.captured(1).toLongLong() * 1000 + match.captured(2).toInt() * 100;
        read.ms = match.captured(3).toLongLong();
        read.text = CleanNote(match.captured(4));
    } else if ((match = parameters.match(s)).hasMatch()) {
        read.kind = Mark::Kind::Parameters;
        read.ms = match.captured(1).toLongLong();
        const QByteArray bytes = QByteArray::fromHex(match.captured(2).toLatin1());
        std::copy(bytes.begin(), bytes.end(), read.parameters.begin());
    } else {
        const char* const forms[] = {"# pass <n> at <ms> ms: <note>", "# quiet <n> at <ms> ms: <note>",
                                     "# end at <ms> ms", "# paused <s.s> s at <ms> ms: <cause>",
                                     "# parameters at <ms> ms: <88 hex digits>"};
        error = QStringLiteral("it is not a mark as this program writes it (%1)")
                    .arg(QString::fromLatin1(forms[words.indexOf(word)]));
        return Comment::Bad;
    }
    m = read;
    return Comment::Mark;
}

} // namespace recording

} // namespace commission
