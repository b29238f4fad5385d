// The review view's picture of a stretch of a recording (or of the live connection): the three signals and
// their thresholds on a time axis with wall-clock times, value axes, passes, quiet stretches and pauses as
// shaded spans with their names, the detector's events (outputs, tamper, mask, IR noise, faults) in lanes
// below, and a cursor that reads the values. Drawn the same on the screen and in the report (ReviewPainter).
#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QPainter;

namespace graph {

// What one column of the picture holds: the replies of its stretch of time, summed up. The same type
// is a cell of the summary the columns are made from.
struct ReviewColumn {
    std::uint32_t replies = 0;                                    // none: nothing was recorded in it
    std::array<std::uint16_t, 3> low{}, high{};                   // each signal's least and greatest
    std::array<std::uint16_t, 3> thresholdLow{}, thresholdHigh{}; // each threshold's (compensation value)
    std::uint16_t alarmFlags = 0, stateFlags = 0;                 // every bit that was set in one of the replies
    std::uint8_t marks = 0;                                       // MarkBit: the marks made in it

    bool empty() const { return replies == 0; }
    // One reply taken in.
    void Add(const std::array<std::uint16_t, 3>& signal, const std::array<std::uint16_t, 3>& threshold,
             std::uint16_t alarm, std::uint16_t state);
    // Another column (or cell) taken in.
    void Add(const ReviewColumn& other);
};
enum MarkBit : std::uint8_t { MarkPassBit = 1, MarkQuietBit = 2, MarkEndBit = 4, MarkPauseBit = 8 };

// A pass, a quiet stretch or a pause of the recording, on its clock.
struct ReviewSpan {
    enum class Kind { Pass, Quiet, Pause };
    Kind kind = Kind::Pass;
    std::int64_t fromMs = 0, toMs = 0;
    QString name;  // "Pass 2: 10 m, left to right", "Quiet 1", "Paused 3.2 s (LOGS tab)"
    QString brief; // what fits a narrow span: "P2", "Q1"
};

// The events the lanes below the signals show, each from the status flag bits.
struct ReviewLane {
    const char* name;
    std::uint16_t alarmBits, stateBits;
};
const std::array<ReviewLane, 6>& ReviewLanes();

struct ReviewPicture {
    std::int64_t fromMs = 0;   // the first column's start, on the recording's clock
    double msPerColumn = 1000; // each column's stretch of time
    std::vector<ReviewColumn> columns;
    std::int64_t zeroMs = 0;       // the time the elapsed times on the axis count from (the first reply)
    QDateTime wallAtZero;          // the wall-clock time of zeroMs; invalid when not known
    std::vector<ReviewSpan> spans; // those that reach into the picture
    int valueTop = 800;            // the value axes run from 0 to it
    QString remark;                // said in the picture's corner ("estimated from samples: 40 % read")
    std::optional<int> cursorColumn;

    std::int64_t toMs() const { return fromMs + static_cast<std::int64_t>(msPerColumn * double(columns.size())); }
    double columnOf(std::int64_t ms) const { return double(ms - fromMs) / msPerColumn; }
};

struct ReviewStyle {
    QColor background, grid, text, axis;
    std::array<QColor, 3> signal, threshold;
    QColor pass, quiet, pause, cursor, readout;
    std::array<QColor, 6> lane;
    QFont font;
    static ReviewStyle Screen(const QFont& font); // the live graph's colours
    static ReviewStyle Paper(const QFont& font);  // for print: dark on white
};

// Where the parts of a picture of size go.
struct ReviewLayout {
    QRect plot;                 // the columns: the bands and the lanes share it
    QRect names;                // above the plot: the spans' names
    std::array<QRect, 3> bands; // MW, UP PIR, DOWN PIR
    std::array<QRect, 6> lanes;
    QRect timeAxis;
};
ReviewLayout LayoutReview(const QSize& size, const QFont& font);
// The number of columns a picture of size holds: one a pixel of the plot.
int ReviewColumns(const QSize& size, const QFont& font);

// Draws the picture into the rectangle (0, 0, size) of the painter.
void PaintReview(QPainter& painter, const QSize& size, const ReviewPicture& picture, const ReviewStyle& style);

// The cursor's reading of a column: "14:03:27.3 (0:42.3)  MW 123 / 300  UP PIR 40-52 / 350 ...".
QString ReviewReading(const ReviewPicture& picture, int column);
// A time on the recording's clock as the axis writes it: "1:02:03", with 1 decimal ("0:42.3") or 3
// ("0:42.310").
QString ElapsedText(std::int64_t ms, int decimals);

} // namespace graph
