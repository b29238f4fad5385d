// The graph's state (six traces, sweep position) and its drawing on images: the background
// grid, the traces of one frame, the labels, and how one status reply feeds them (GraphTraces.cpp feeds,
// GraphBackground.cpp draws the grid, GraphPainter.cpp the frames).
#pragma once

#include "graph/GraphMarks.h"

#include <QColor>
#include <QImage>
#include <QRegion>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace graph {

struct TracePoint {
    std::int32_t X;
    std::int32_t Y;
};
using TraceBuffer = std::vector<TracePoint>;

// The three detection channels, in the order they are fed and drawn.
enum class Channel { Microwave = 0, UpperPir = 1, LowerPir = 2 };
// The six traces, as indices of State::traces: the three signals, then their three thresholds (a
// signal's index is also its channel's, in the colour tables).
constexpr int MwTrace = 0, UpPirTrace = 1, DownPirTrace = 2;
constexpr int MwThreshold = 3, UpPirThreshold = 4, DownPirThreshold = 5;

constexpr std::array<int, 3> TraceBaseline{80, 160, 240};
constexpr std::array<int, 3> BandTop{0, 80, 160};

struct State {
    std::array<TraceBuffer, 6> traces;
    int GraphWidth = 0;
    int SweepPosition = 0;
    std::array<bool, 6> show{};
    std::vector<Mark> marks;        // passes, quiet stretches, pauses (GraphMarks.h)
    std::uint64_t marksVersion = 0; // counts their changes
};

// Colours of the drawing; the signal colours are also the lamp colours of the main window.
const QColor BackgroundColour(0, 0, 0);
const QColor GridColour(40, 40, 40);
const QColor CaptionGrey(128, 128, 128);
const QColor LabelCyan(0, 255, 255);
const std::array<QColor, 3> TraceColour{QColor(0, 255, 15), QColor(253, 131, 9), QColor(253, 131, 9)};
const std::array<QColor, 3> ThresholdColour{QColor(0, 255, 15), QColor(207, 128, 0), QColor(253, 131, 9)};
// The product's address, written in the corner of the grid.
inline const QString Caption = QStringLiteral("www.ostrevo.example");

// Nearest integer, a half going to the even neighbour.
int RoundHalfEven(double v);

// Fills with colour every pixel 4-connected to (x, y) that is not of the border colour.
void FloodFillToBorder(QImage& image, int x, int y, const QColor& border, const QColor& fill);

// The mid row of the last DrawBackground: the screen's height / 2, halves to even.
int MidRow();

// The background drawn afresh, then kept at 8 bits a pixel where that loses nothing (grey pixels only).
void DrawBackground(QImage& screen, QImage& background);
void DrawGrid(QImage& background);
void CopyBackground(QImage& screen, const QImage& background);
void SetupGraph(QImage& screen, QImage& background);
// One frame: the background, then the shown signal traces, then the shown threshold traces.
void PlotTraces(const State& state, QImage& screen, const QImage& background);

// Sizes the six traces to the width, every point on its trace's baseline, and the sweep inside (the
// marks go with the old columns).
void BuildTraces(State& state, int width);
// Puts the three signal traces back on their baselines; thresholds and the sweep stay.
void ResetTraces(State& state);

// The graph steps of one status reply, in the order the reply applies them:
// the channel's threshold trace from its compensation value (hidden under Direct Convert) ...
void FeedThreshold(State& state, Channel channel, std::uint16_t compensation, bool directConvert);
// ... its newest sample (a 0 must already have become 1) ...
void FeedSample(State& state, Channel channel, std::uint16_t value);
// ... after PlotTraces, the channel names beside the newest points ...
void DrawLabels(const State& state, QImage& screen);
// ... and last the sweep moves on, back to 0 at the end, over any mark at its new column.
void AdvanceSweep(State& state);

// The frame last drawn on a screen image, so that the next one is drawn only where it differs.
struct DrawnFrame {
    // What decides how a part of a trace is drawn again.
    struct Facts {
        bool blank = true;    // draws nothing (a blanked threshold)
        bool indexed = false; // point i lies in column i: segment i touches columns i and i + 1 only
        bool level = false;   // every point on the same row
    };
    std::array<TraceBuffer, 6> traces;
    std::array<Facts, 6> facts{};
    std::array<bool, 6> show{};
    std::array<QRect, 3> labels{}; // the channel names' cells
    QSize size;
    std::uint64_t marksVersion = 0;
    bool valid = false; // false: the screen holds no frame (a new image), draw it whole
};

// One frame, the picture PlotTraces and then DrawLabels give, drawn only where it differs from the
// frame drawn before: the columns around a new sample, the old and new label cells, a moved
// threshold's rows (the whole frame the first time). Returns the part of the screen that changed.
QRegion DrawFrame(const State& state, QImage& screen, const QImage& background, DrawnFrame& drawn);

} // namespace graph
