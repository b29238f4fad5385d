// ReviewPainter: the review view's picture (ReviewPicture.h), for the screen and for the report.
#include "graph/GraphMarks.h"
#include "graph/GraphPainter.h"
#include "graph/ReviewPicture.h"

#include <QFontMetrics>
#include <QLineF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <string_view>

namespace graph {

void ReviewColumn::Add(const std::array<std::uint16_t, 3>& signal, const std::array<std::uint16_t, 3>& threshold,
                       std::uint16_t alarm, std::uint16_t state) {
    for (int c = 0; c < 3; ++c) {
        if (replies == 0 || signal[c] < low[c]) low[c] = signal[c];
        if (replies == 0 || signal[c] > high[c]) high[c] = signal[c];
        if (replies == 0 || threshold[c] < thresholdLow[c]) thresholdLow[c] = threshold[c];
        if (replies == 0 || threshold[c] > thresholdHigh[c]) thresholdHigh[c] = threshold[c];
    }
    alarmFlags |= alarm;
    stateFlags |= state;
    ++replies;
}

void ReviewColumn::Add(const ReviewColumn& other) {
    marks |= other.marks;
    if (other.replies == 0) return;
    for (int c = 0; c < 3; ++c) {
        if (replies == 0 || other.low[c] < low[c]) low[c] = other.low[c];
        if (replies == 0 || other.high[c] > high[c]) high[c] = other.high[c];
        if (replies == 0 || other.thresholdLow[c] < thresholdLow[c]) thresholdLow[c] = other.thresholdLow[c];
        if (replies == 0 || other.thresholdHigh[c] > thresholdHigh[c]) thresholdHigh[c] = other.thresholdHigh[c];
    }
    alarmFlags |= other.alarmFlags;
    stateFlags |= other.stateFlags;
    replies += other.replies;
}

const std::array<ReviewLane, 6>& ReviewLanes() {
    // Detection: the detector's own detection bits; the others light the lamps of the VIEW tab's foot.
    static const std::array<ReviewLane, 6> lanes{{{"Detection", 0x0015, 0},
                                                  {"Outputs", 0, 0x0007},
                                                  {"Tamper", 0x0800, 0},
                                                  {"Mask", 0x0180, 0},
                                                  {"IR noise", 0x3000, 0},
                                                  {"Fault", 0, 0x07C0}}};
    return lanes;
}

ReviewStyle ReviewStyle::Screen(const QFont& font) {
    ReviewStyle s;
    s.background = BackgroundColour;
    s.grid = GridColour;
    s.text = QColor(210, 210, 210);
    s.axis = CaptionGrey;
    for (int c = 0; c < 3; ++c) {
        s.signal[c] = TraceColour[c];
        s.threshold[c] = ThresholdColour[c];
    }
    s.pass = MarkColour(Mark::Kind::Pass);
    s.quiet = MarkColour(Mark::Kind::Quiet);
    s.pause = QColor(90, 90, 140);
    s.cursor = QColor(255, 255, 255);
    s.readout = QColor(25, 25, 25);
    s.lane = {QColor(0, 255, 15),   QColor(255, 40, 40), QColor(253, 131, 9),
              QColor(220, 90, 255), QColor(255, 235, 0), QColor(255, 120, 160)};
    s.font = font;
    return s;
}

ReviewStyle ReviewStyle::Paper(const QFont& font) {
    ReviewStyle s;
    s.background = Qt::white;
    s.grid = QColor(218, 218, 218);
    s.text = Qt::black;
    s.axis = QColor(90, 90, 90);
    s.signal = {QColor(0, 140, 20), QColor(205, 95, 0), QColor(205, 95, 0)};
    s.threshold = {QColor(0, 90, 10), QColor(150, 80, 0), QColor(150, 80, 0)};
    s.pass = QColor(245, 200, 0);
    s.quiet = QColor(80, 140, 255);
    s.pause = QColor(120, 120, 120);
    s.cursor = Qt::black;
    s.readout = QColor(245, 245, 245);
    s.lane = {QColor(0, 140, 20),   QColor(210, 0, 0),   QColor(220, 110, 0),
              QColor(150, 40, 200), QColor(190, 160, 0), QColor(200, 60, 110)};
    s.font = font;
    return s;
}

namespace {

constexpr int LaneCount = 6;
constexpr int RightMargin = 8;
// Two readings this far apart in time are joined by a line across the columns between them; farther
// apart, nothing was recorded between them (a pause, a lost link) and the trace has a gap.
constexpr double JoinMs = 3000;

const char* const BandNames[3] = {"MW", "UP PIR", "DOWN PIR"};

int leftMargin(const QFontMetrics& fm) {
    int widest = fm.horizontalAdvance(QStringLiteral("8000"));
    for (const ReviewLane& lane : ReviewLanes())
        widest = std::max(widest, fm.horizontalAdvance(QString::fromLatin1(lane.name)));
    return widest + 10;
}

// The step between the time axis's ticks: the smallest of these that leaves room for a label.
std::int64_t tickStep(double msPerColumn, int labelWidth) {
    static const std::int64_t steps[] = {10,       20,       50,       100,       200,      500,     1000,
                                         2000,     5000,     10000,    15000,     30000,    60000,   120000,
                                         300000,   600000,   900000,   1800000,   3600000,  7200000, 10800000,
                                         21600000, 43200000, 86400000, 172800000, 604800000};
    for (const std::int64_t s : steps)
        if (double(s) / msPerColumn >= labelWidth) return s;
    // Beyond a week (a recording whose clock jumps by years): whole weeks, still a label's width apart.
    const std::int64_t week = steps[std::size(steps) - 1];
    return week * static_cast<std::int64_t>(std::ceil(labelWidth * msPerColumn / double(week)));
}

QString wallText(const QDateTime& at, std::int64_t step) {
    if (step >= 3600000) return at.toString(QStringLiteral("ddd HH:mm"));
    if (step >= 1000) return at.toString(QStringLiteral("HH:mm:ss"));
    if (step >= 100) return at.toString(QStringLiteral("HH:mm:ss.z")).left(10);
    return at.toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString range(std::uint16_t low, std::uint16_t high) {
    return low == high ? QString::number(low) : QStringLiteral("%1-%2").arg(low).arg(high);
}

QColor withAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

// colour laid over ground at alpha (0 to 255), as one opaque colour: a fill with alpha costs the raster
// engine some 70 us however small, and a picture has hundreds of spans.
QColor over(const QColor& ground, const QColor& colour, int alpha) {
    const auto mix = [alpha](int g, int c) { return (g * (255 - alpha) + c * alpha + 127) / 255; };
    return QColor(mix(ground.red(), colour.red()), mix(ground.green(), colour.green()),
                  mix(ground.blue(), colour.blue()));
}

} // namespace

QString ElapsedText(std::int64_t ms, int decimals) {
    const bool negative = ms < 0;
    const std::int64_t all = std::abs(ms);
    const std::int64_t s = all / 1000, h = s / 3600, m = s / 60 % 60;
    QString text =
        h > 0 ? QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'))
              : QStringLiteral("%1:%2").arg(m).arg(s % 60, 2, 10, QLatin1Char('0'));
    if (decimals >= 3) text += QStringLiteral(".%1").arg(all % 1000, 3, 10, QLatin1Char('0'));
    else if (decimals > 0) text += QStringLiteral(".%1").arg(all / 100 % 10);
    return negative ? QLatin1Char('-') + text : text;
}

ReviewLayout LayoutReview(const QSize& size, const QFont& font) {
    const QFontMetrics fm(font);
    const int line = fm.height();
    ReviewLayout l;
    const int left = leftMargin(fm);
    const int width = std::max(1, size.width() - left - RightMargin);
    l.names = QRect(left, 2, width, line + 2);
    const int axis = 2 * line + 8;
    l.plot = QRect(left, l.names.bottom() + 1, width, std::max(1, size.height() - l.names.bottom() - 1 - axis));
    l.timeAxis = QRect(left, l.plot.bottom() + 1, width, axis);
    const int laneHeight = std::max(6, std::min(line, l.plot.height() / 12));
    const int lanesTop = l.plot.bottom() + 1 - LaneCount * laneHeight;
    for (int i = 0; i < LaneCount; ++i) l.lanes[i] = QRect(left, lanesTop + i * laneHeight, width, laneHeight);
    const int bandsHeight = std::max(3, lanesTop - 4 - l.plot.top());
    // Half a line between two bands: the top value of one and the 0 of the one above stay apart.
    const int gap = std::max(2, line / 2);
    for (int c = 0; c < 3; ++c) {
        const int top = l.plot.top() + c * bandsHeight / 3;
        const int bottom = l.plot.top() + (c + 1) * bandsHeight / 3 - gap;
        l.bands[c] = QRect(QPoint(left, top), QPoint(left + width - 1, std::max(top, bottom)));
    }
    return l;
}

int ReviewColumns(const QSize& size, const QFont& font) {
    return LayoutReview(size, font).plot.width();
}

QString ReviewReading(const ReviewPicture& picture, int column) {
    const int n = static_cast<int>(picture.columns.size());
    if (column < 0 || column >= n) return QString();
    // Between two replies (a close look), the nearest one within reach is read.
    int at = column;
    const int reach = static_cast<int>(JoinMs / picture.msPerColumn);
    for (int d = 1; picture.columns[static_cast<std::size_t>(at)].empty() && d <= reach; ++d) {
        if (column - d >= 0 && !picture.columns[static_cast<std::size_t>(column - d)].empty()) at = column - d;
        else if (column + d < n && !picture.columns[static_cast<std::size_t>(column + d)].empty()) at = column + d;
        else if (column - d < 0 && column + d >= n) break;
    }
    const ReviewColumn& col = picture.columns[static_cast<std::size_t>(at)];
    const auto middle = picture.fromMs + static_cast<std::int64_t>((at + 0.5) * picture.msPerColumn);
    const int decimals = picture.msPerColumn < 10 ? 3 : picture.msPerColumn < 1000 ? 1 : 0;
    QString time = ElapsedText(middle - picture.zeroMs, decimals);
    if (picture.wallAtZero.isValid())
        time = wallText(picture.wallAtZero.addMSecs(middle - picture.zeroMs), decimals == 3 ? 10
                                                                              : decimals    ? 100
                                                                                            : 1000) +
               QStringLiteral(" (%1)").arg(time);
    if (col.empty()) return time + QStringLiteral("\nnothing recorded");
    QStringList values;
    for (int c = 0; c < 3; ++c)
        values << QStringLiteral("%1 %2 / %3")
                      .arg(QString::fromLatin1(BandNames[c]), range(col.low[c], col.high[c]),
                           range(col.thresholdLow[c], col.thresholdHigh[c]));
    QStringList events;
    for (int o = 0; o < 3; ++o)
        if ((col.stateFlags >> o) & 1) events << QStringLiteral("OUT%1").arg(o + 1);
    for (const ReviewLane& lane : ReviewLanes())
        if (std::string_view(lane.name) != "Outputs" &&
            ((col.alarmFlags & lane.alarmBits) || (col.stateFlags & lane.stateBits)))
            events << QString::fromLatin1(lane.name);
    QString text = time + (at != column ? QStringLiteral(", the nearest reply") : QString()) +
                   (col.replies > 1 ? QStringLiteral(", %1 replies").arg(col.replies) : QString()) + QLatin1Char('\n') +
                   values.join(QStringLiteral("   "));
    if (!events.isEmpty()) text += QLatin1Char('\n') + events.join(QStringLiteral(", "));
    return text;
}

void PaintReview(QPainter& p, const QSize& size, const ReviewPicture& picture, const ReviewStyle& style) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(style.font);
    const QFontMetrics fm(style.font);
    const ReviewLayout l = LayoutReview(size, style.font);
    p.fillRect(QRect(QPoint(0, 0), size), style.background);
    const int n = static_cast<int>(picture.columns.size());
    const auto xOf = [&](double column) { return l.plot.left() + column; };
    const QRect bandsArea(l.bands[0].topLeft(), l.bands[2].bottomRight());

    // Passes, quiet stretches and pauses: shaded over the bands, named above them.
    std::vector<std::int64_t> starts;
    for (const ReviewSpan& span : picture.spans) starts.push_back(span.fromMs);
    std::sort(starts.begin(), starts.end());
    int lastNarrow[3] = {-1, -1, -1};
    for (const ReviewSpan& span : picture.spans) {
        double x0 = xOf(picture.columnOf(span.fromMs)), x1 = xOf(picture.columnOf(span.toMs));
        if (x1 < l.plot.left() || x0 > l.plot.right() + 1) continue;
        x0 = std::max<double>(x0, l.plot.left());
        x1 = std::min<double>(std::max(x1, x0 + 1), l.plot.right() + 1);
        const QColor colour = span.kind == ReviewSpan::Kind::Pass    ? style.pass
                              : span.kind == ReviewSpan::Kind::Quiet ? style.quiet
                                                                     : style.pause;
        // A flood of spans narrower than a pixel costs what its pixels cost: each pixel is shaded once.
        const int column = static_cast<int>(x0);
        if (x1 - x0 <= 1 && column == lastNarrow[static_cast<int>(span.kind)]) continue;
        if (x1 - x0 <= 1) lastNarrow[static_cast<int>(span.kind)] = column;
        // Under everything else: the grid and the traces go over it.
        const QRectF shade(x0, bandsArea.top(), x1 - x0, l.plot.bottom() - bandsArea.top() + 1);
        p.fillRect(shade, over(style.background, colour, span.kind == ReviewSpan::Kind::Pause ? 110 : 55));
        if (span.kind == ReviewSpan::Kind::Pause)
            p.fillRect(shade, QBrush(over(style.background, colour, 160), Qt::BDiagPattern));
        p.fillRect(QRectF(x0, l.names.top(), std::max(2.0, std::min(3.0, x1 - x0)), l.names.height()), colour);
        // The name within the span's own width, up to the next span's start (a pause within a pass) and never
        // past the picture's edge: whole, shortened, or its brief.
        double end = x1;
        if (const auto next = std::upper_bound(starts.begin(), starts.end(), span.fromMs); next != starts.end())
            end = std::min(end, xOf(picture.columnOf(*next)));
        const int room = static_cast<int>(end - x0) - 5;
        QString shown;
        if (room < 8) continue; // (no name fits)
        if (fm.horizontalAdvance(span.name) <= room) shown = span.name;
        else if (const QString e = fm.elidedText(span.name, Qt::ElideRight, room); e.size() > span.brief.size() + 3)
            shown = e;
        else if (fm.horizontalAdvance(span.brief) <= room) shown = span.brief;
        if (!shown.isEmpty()) {
            p.setPen(style.text);
            p.drawText(QRectF(x0 + 4, l.names.top(), room + 1, l.names.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       shown);
        }
    }

    // The time axis's ticks and the grid's verticals.
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("00:00:00.000")) + 14;
    const std::int64_t step = tickStep(picture.msPerColumn, labelWidth);
    const std::int64_t first = picture.fromMs - picture.zeroMs;
    std::int64_t tick = (first >= 0 ? (first + step - 1) / step : first / step) * step;
    for (; picture.zeroMs + tick < picture.toMs(); tick += step) {
        const double x = xOf(picture.columnOf(picture.zeroMs + tick));
        if (x < l.plot.left() || x > l.plot.right()) continue;
        p.setPen(style.grid);
        p.drawLine(QLineF(x, l.plot.top(), x, l.plot.bottom()));
        p.setPen(style.axis);
        p.drawLine(QLineF(x, l.timeAxis.top(), x, l.timeAxis.top() + 4));
        QStringList label{ElapsedText(tick, step < 100 ? 3 : step < 1000 ? 1 : 0)};
        if (picture.wallAtZero.isValid()) label << wallText(picture.wallAtZero.addMSecs(tick), step);
        p.setPen(style.text);
        for (int i = 0; i < label.size(); ++i) {
            const int w = fm.horizontalAdvance(label[i]);
            // A label near an edge moves inside rather than being cut.
            const int left = std::clamp(static_cast<int>(x) - w / 2, 0, size.width() - w - 1);
            p.drawText(QRect(left, l.timeAxis.top() + 5 + i * fm.height(), w + 1, fm.height()), Qt::AlignLeft,
                       label[i]);
        }
    }

    // The bands: grid rows, value axes, names.
    for (int c = 0; c < 3; ++c) {
        const QRect& b = l.bands[c];
        p.setPen(style.grid);
        for (int q = 0; q <= 4; ++q) {
            const int y = b.bottom() - q * (b.height() - 1) / 4;
            p.drawLine(b.left(), y, b.right(), y);
        }
        p.setPen(style.axis);
        p.drawLine(b.left() - 1, b.top(), b.left() - 1, b.bottom());
        p.setPen(style.text);
        for (const int v : {0, picture.valueTop / 2, picture.valueTop}) {
            const int y = b.bottom() - static_cast<int>(std::lround(double(v) * (b.height() - 1) / picture.valueTop));
            const QRect cell(0, y - fm.height() / 2, b.left() - 4, fm.height());
            // The top and bottom values stay inside the band.
            p.drawText(cell.translated(0, std::clamp(0, b.top() - cell.top(), std::max(0, b.bottom() - cell.bottom()))),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
        }
    }

    // Marks beyond those named (a flood of them): a tick each where it was made.
    for (int i = 0; i < n; ++i) {
        const std::uint8_t m = picture.columns[static_cast<std::size_t>(i)].marks;
        if (m == 0) continue;
        const QColor colour = (m & MarkPassBit)    ? style.pass
                              : (m & MarkQuietBit) ? style.quiet
                              : (m & MarkPauseBit) ? style.pause
                                                   : style.axis;
        p.fillRect(QRect(static_cast<int>(xOf(i)), l.names.bottom() - 3, 1, 4), colour);
    }

    // Columns a pause of the recording covers: nothing was recorded there, so no trace joins across them.
    std::vector<int> paused(static_cast<std::size_t>(n) + 1, 0); // how many of the columns before each
    {
        std::vector<char> covered(static_cast<std::size_t>(n), 0);
        for (const ReviewSpan& span : picture.spans) {
            if (span.kind != ReviewSpan::Kind::Pause) continue;
            const int from = std::max(0, static_cast<int>(std::ceil(picture.columnOf(span.fromMs))));
            const int to = std::min(n, static_cast<int>(std::floor(picture.columnOf(span.toMs))));
            for (int i = from; i < to; ++i) covered[static_cast<std::size_t>(i)] = 1;
        }
        for (int i = 0; i < n; ++i)
            paused[static_cast<std::size_t>(i) + 1] =
                paused[static_cast<std::size_t>(i)] + covered[static_cast<std::size_t>(i)];
    }
    const auto pauseBetween = [&](int a, int b) {
        return paused[static_cast<std::size_t>(b)] > paused[static_cast<std::size_t>(a) + 1];
    };

    // The signals: each column from its least to its greatest, joined to the column before.
    for (int c = 0; c < 3; ++c) {
        const QRect& b = l.bands[c];
        const auto y = [&](int v) {
            return std::clamp(b.bottom() -
                                  static_cast<int>(std::lround(double(v) * (b.height() - 1) / picture.valueTop)),
                              b.top(), b.bottom());
        };
        std::vector<QLineF> signal, thresholdSteps;
        std::vector<QPointF> thresholdLine;
        std::vector<std::vector<QPointF>> thresholdLines;
        int previous = -1;
        for (int i = 0; i < n; ++i) {
            const ReviewColumn& col = picture.columns[static_cast<std::size_t>(i)];
            if (col.empty()) continue;
            const double x = xOf(i) + 0.5;
            int low = col.low[c], high = col.high[c];
            const bool joined = previous >= 0 && (i - previous) * picture.msPerColumn <= JoinMs + picture.msPerColumn &&
                                !pauseBetween(previous, i);
            if (previous >= 0 && !joined && !thresholdLine.empty())
                thresholdLines.push_back(std::move(thresholdLine)), thresholdLine.clear();
            if (joined) {
                const ReviewColumn& before = picture.columns[static_cast<std::size_t>(previous)];
                if (i - previous == 1) {
                    low = std::min<int>(low, before.high[c]);
                    high = std::max<int>(high, before.low[c]);
                } else {
                    signal.emplace_back(xOf(previous) + 0.5, y((before.low[c] + before.high[c]) / 2), x,
                                        y((col.low[c] + col.high[c]) / 2));
                }
            }
            signal.emplace_back(x, y(high), x, y(low) + 0.01);
            if (col.thresholdLow[c] != col.thresholdHigh[c])
                thresholdSteps.emplace_back(x, y(col.thresholdHigh[c]), x, y(col.thresholdLow[c]));
            thresholdLine.emplace_back(x, y(col.thresholdHigh[c]));
            previous = i;
        }
        if (!thresholdLine.empty()) thresholdLines.push_back(std::move(thresholdLine));
        QPen dashed(style.threshold[c]);
        dashed.setStyle(Qt::DashDotDotLine);
        p.setPen(dashed);
        for (const std::vector<QPointF>& line : thresholdLines) {
            if (line.size() == 1) p.drawPoint(line.front());
            else p.drawPolyline(line.data(), static_cast<int>(line.size()));
        }
        p.setPen(style.threshold[c]);
        p.drawLines(thresholdSteps.data(), static_cast<int>(thresholdSteps.size()));
        p.setPen(style.signal[c]);
        p.drawLines(signal.data(), static_cast<int>(signal.size()));
        // The band's name, over its traces.
        const QString name = QString::fromLatin1(BandNames[c]);
        const QRect cell(b.left() + 3, b.top() + 2, fm.horizontalAdvance(name) + 6, fm.height());
        p.fillRect(cell, withAlpha(style.background, 200));
        p.setPen(style.signal[c]);
        p.drawText(cell, Qt::AlignCenter, name);
    }

    // The events, a lane each: where the bits were set, and a marker where they came on.
    for (int lane = 0; lane < LaneCount; ++lane) {
        const ReviewLane& what = ReviewLanes()[static_cast<std::size_t>(lane)];
        const QRect& r = l.lanes[static_cast<std::size_t>(lane)];
        if (lane % 2 == 0) // (a stripe under the spans' shade would hide it: a line of the grid's colour)
            p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), style.grid);
        p.setPen(style.text);
        p.drawText(QRect(0, r.top(), r.left() - 4, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(what.name));
        const QColor colour = style.lane[static_cast<std::size_t>(lane)];
        int runStart = -1, lastFilled = -1;
        bool lastOn = false;
        for (int i = 0; i <= n; ++i) {
            bool on = false;
            if (i < n) {
                const ReviewColumn& col = picture.columns[static_cast<std::size_t>(i)];
                if (!col.empty()) {
                    on = (col.alarmFlags & what.alarmBits) || (col.stateFlags & what.stateBits);
                    lastOn = on;
                    lastFilled = i;
                } else {
                    // Between two replies (a close look) the event stays as the reply before left it.
                    on = lastOn && lastFilled >= 0 && (i - lastFilled) * picture.msPerColumn <= JoinMs &&
                         !pauseBetween(lastFilled, i + 1);
                }
            }
            if (on && runStart < 0) runStart = i;
            if (!on && runStart >= 0) {
                const int x0 = static_cast<int>(xOf(runStart));
                p.fillRect(QRect(x0, r.top() + 2, std::max(1, i - runStart), std::max(1, r.height() - 4)), colour);
                const QPointF tip(x0 + 0.5, r.top() + 1);
                const QPointF marker[3] = {tip + QPointF(-3, -1), tip + QPointF(3, -1), tip + QPointF(0, 3)};
                p.setPen(Qt::NoPen);
                p.setBrush(colour);
                p.drawPolygon(marker, 3);
                p.setBrush(Qt::NoBrush);
                runStart = -1;
            }
        }
    }
    p.setPen(style.axis);
    p.drawLine(l.plot.left(), l.plot.bottom() + 1, l.plot.right(), l.plot.bottom() + 1);

    bool anything = false;
    for (const ReviewColumn& col : picture.columns) anything = anything || !col.empty();
    if (!anything) {
        p.setPen(style.text);
        p.drawText(bandsArea, Qt::AlignCenter, QStringLiteral("Nothing was recorded here."));
    }
    if (!picture.remark.isEmpty()) {
        const QRect box = fm.boundingRect(QRect(0, 0, l.plot.width() / 2, 1000), Qt::TextWordWrap, picture.remark)
                              .adjusted(-4, -2, 4, 2);
        const QRect at(l.plot.right() - box.width() - 2, bandsArea.top() + 2, box.width(), box.height());
        p.fillRect(at, withAlpha(style.readout, 220));
        p.setPen(style.text);
        p.drawText(at.adjusted(4, 2, -4, -2), Qt::TextWordWrap, picture.remark);
    }

    // The cursor and its reading.
    if (picture.cursorColumn && *picture.cursorColumn >= 0 && *picture.cursorColumn < n) {
        const int x = static_cast<int>(xOf(*picture.cursorColumn));
        p.setPen(QPen(style.cursor, 1, Qt::DotLine));
        p.drawLine(x, l.plot.top(), x, l.plot.bottom());
        const QString text = ReviewReading(picture, *picture.cursorColumn);
        const QRect box = fm.boundingRect(QRect(0, 0, 2000, 1000), 0, text).adjusted(-5, -3, 5, 3);
        QRect at(x + 8, bandsArea.top() + 4, box.width(), box.height());
        if (at.right() > l.plot.right()) at.moveRight(x - 8);
        at.moveLeft(std::max(0, at.left()));
        p.fillRect(at, withAlpha(style.readout, 235));
        p.setPen(style.axis);
        p.drawRect(at.adjusted(0, 0, -1, -1));
        p.setPen(style.text);
        p.drawText(at.adjusted(5, 3, -5, -3), 0, text);
    }
    p.restore();
}

} // namespace graph
