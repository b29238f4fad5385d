#include "commission/ReviewExport.h"

#include "files/RegularFile.h"

#include <QBuffer>
#include <QSaveFile>
#include <QStringList>

namespace commission {

namespace {

QString wallText(const graph::ReviewPicture& p, std::int64_t ms) {
    if (!p.wallAtZero.isValid()) return QString();
    return p.wallAtZero.addMSecs(ms - p.zeroMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString events(std::uint16_t alarm, std::uint16_t state) {
    QStringList lit;
    for (int o = 0; o < 3; ++o)
        if ((state >> o) & 1) lit << QStringLiteral("OUT%1").arg(o + 1);
    for (const graph::ReviewLane& lane : graph::ReviewLanes())
        if (std::string_view(lane.name) != "Outputs" && ((alarm & lane.alarmBits) || (state & lane.stateBits)))
            lit << QString::fromLatin1(lane.name);
    return lit.join(QStringLiteral("; "));
}

// A cell a spreadsheet would read as a formula (= + - @ first) is kept as text.
QString text(const QString& cell) {
    return !cell.isEmpty() && QStringLiteral("=+-@").contains(cell.front()) ? QLatin1Char('\'') + cell : cell;
}

QString hex(std::uint16_t v) {
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0'));
}

} // namespace

QByteArray ReviewCsv(const QString& source, const graph::ReviewPicture& picture, const ReviewDetail* replies) {
    QStringList lines;
    // The source's name is the user's: it goes into the comment only, without a comma or a quote.
    QString name = source;
    name.replace(QLatin1Char(','), QLatin1Char(' ')).replace(QLatin1Char('"'), QLatin1Char('\''));
    const std::int64_t from = picture.fromMs, to = picture.toMs();
    lines << QStringLiteral("# Review of %1 from %2 to %3 (ms %4 to %5 on its clock)%6")
                 .arg(name.simplified(), graph::ElapsedText(from - picture.zeroMs, 1),
                      graph::ElapsedText(to - picture.zeroMs, 1))
                 .arg(from)
                 .arg(to)
                 .arg(replies ? QStringLiteral(": every reply")
                              : QStringLiteral(": a row a column of %1 ms, each value's least and greatest")
                                    .arg(picture.msPerColumn, 0, 'f', picture.msPerColumn < 10 ? 2 : 0));
    if (replies) {
        lines << QStringLiteral("time_ms,elapsed,wall_clock,mw,mw_threshold,up_pir,up_pir_threshold,down_pir,"
                                "down_pir_threshold,alarm_flags,state_flags,events");
        for (const Reading& r : replies->readings) {
            if (r.ms < from || r.ms >= to) continue;
            QStringList cells{QString::number(r.ms), text(graph::ElapsedText(r.ms - picture.zeroMs, 3)),
                              wallText(picture, r.ms)};
            for (int c = 0; c < 3; ++c) cells << QString::number(r.signal[c]) << QString::number(r.threshold[c]);
            cells << hex(r.alarmFlags) << hex(r.stateFlags) << events(r.alarmFlags, r.stateFlags);
            lines << cells.join(QLatin1Char(','));
        }
    } else {
        QStringList head{QStringLiteral("from_ms,to_ms,elapsed,wall_clock,replies")};
        for (const char* c : {"mw", "up_pir", "down_pir"})
            head << QStringLiteral("%1_min,%1_max,%1_threshold_min,%1_threshold_max").arg(QString::fromLatin1(c));
        head << QStringLiteral("alarm_flags,state_flags,events");
        lines << head.join(QLatin1Char(','));
        for (std::size_t i = 0; i < picture.columns.size(); ++i) {
            const graph::ReviewColumn& col = picture.columns[i];
            if (col.empty()) continue;
            const auto start = picture.fromMs + static_cast<std::int64_t>(double(i) * picture.msPerColumn);
            const auto end = picture.fromMs + static_cast<std::int64_t>(double(i + 1) * picture.msPerColumn);
            QStringList cells{QString::number(start), QString::number(end),
                              text(graph::ElapsedText(start - picture.zeroMs, 1)), wallText(picture, start),
                              QString::number(col.replies)};
            for (int c = 0; c < 3; ++c)
                cells << QString::number(col.low[c]) << QString::number(col.high[c])
                      << QString::number(col.thresholdLow[c]) << QString::number(col.thresholdHigh[c]);
            cells << hex(col.alarmFlags) << hex(col.stateFlags) << events(col.alarmFlags, col.stateFlags);
            lines << cells.join(QLatin1Char(','));
        }
    }
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error) {
    if (QString reason; !files::MayReplace(path, reason)) {
        error = QStringLiteral("The file \"%1\" could not be written: %2").arg(path, reason);
        return false;
    }
    QSaveFile file(path);
    // (A write that fails only at flush, a full disk, is caught by the flush before the commit.)
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit())
        return true;
    error = QStringLiteral("The file \"%1\" could not be written: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
}

bool WritePng(const QString& path, const QImage& image, QString& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        error = QStringLiteral("The picture \"%1\" could not be made.").arg(path);
        return false;
    }
    return WriteWhole(path, bytes, error);
}

} // namespace commission
