#include "graph/Graf.h"

#include "app/Fonts.h"

#include <QPainter>
#include <cmath>
#include <cstring>

namespace {
int midRow = 0;

// Lines end one pixel short of their end point, as pen moves do on a canvas.
void hline(QImage& img, int y, int x1, int x2, QRgb c) {
    if (y < 0 || y >= img.height()) return;
    x1 = std::max(x1, 0);
    x2 = std::min(x2, img.width());
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = x1; x < x2; ++x) row[x] = c;
}

void vline(QImage& img, int x, int y1, int y2, QRgb c) {
    if (x < 0 || x >= img.width()) return;
    y1 = std::max(y1, 0);
    y2 = std::min(y2, img.height());
    for (int y = y1; y < y2; ++y) reinterpret_cast<QRgb*>(img.scanLine(y))[x] = c;
}

bool flat(const TraceBuffer& t) {
    for (const TracePoint& p : t)
        if (p.X != t.front().X || p.Y != t.front().Y) return false;
    return true;
}

// Pixels of a pen along a polyline: solid, or dash-dot-dot (9 on, 3 off, 3 on, 3 off, 3 on, 3 off)
// with the gaps painted in the gap colour.
class PenWalker {
  public:
    PenWalker(QImage& img, QRgb colour, bool dashed, QRgb gap)
        : img_(img), colour_(colour), gap_(gap), dashed_(dashed), w_(img.width()), h_(img.height()) {}

    void plot(int x, int y) {
        QRgb c = colour_;
        if (dashed_) {
            static constexpr bool pattern[24] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0,
                                                 1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0};
            c = pattern[phase_] ? colour_ : gap_;
            phase_ = (phase_ + 1) % 24;
        }
        if (x >= 0 && y >= 0 && x < w_ && y < h_) reinterpret_cast<QRgb*>(img_.scanLine(y))[x] = c;
    }

    // Rows [from, to) of one column, in the direction of travel, clipped to what can be seen.
    void column(int x, int from, int to) {
        const int step = to >= from ? 1 : -1;
        const int count = std::abs(to - from);
        if (dashed_ || x < 0 || x >= w_) { // the pattern must advance for unseen pixels too
            for (int i = 0, y = from; i < count; ++i, y += step) plot(x, y);
            return;
        }
        int y0 = from, y1 = to;
        if (step < 0) { // walk upwards: rows to+1 .. from
            y0 = to + 1;
            y1 = from + 1;
        }
        y0 = std::max(y0, 0);
        y1 = std::min(y1, h_);
        for (int y = y0; y < y1; ++y) reinterpret_cast<QRgb*>(img_.scanLine(y))[x] = colour_;
    }

    // A segment without its end point. Trace segments step one column, so the rows of a steep
    // step are split between the two columns at its middle.
    void segment(int x0, int y0, int x1, int y1) {
        const int dx = x1 - x0, dy = y1 - y0;
        if (std::abs(dx) <= 1 && std::abs(dy) > std::abs(dx)) {
            const int mid = y0 + dy / 2;
            column(x0, y0, mid);
            column(x1, mid, y1);
            return;
        }
        // Any other segment: Bresenham.
        int ax = std::abs(dx), ay = -std::abs(dy), sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1, err = ax + ay;
        while (x0 != x1 || y0 != y1) {
            plot(x0, y0);
            const int e2 = 2 * err;
            if (e2 >= ay) {
                err += ay;
                x0 += sx;
            }
            if (e2 <= ax) {
                err += ax;
                y0 += sy;
            }
        }
    }

  private:
    QImage& img_;
    QRgb colour_, gap_;
    bool dashed_;
    int w_, h_;
    int phase_ = 0;
};

void polyline(QImage& img, const TraceBuffer& t, const QColor& colour, bool dashed) {
    if (t.size() < 2 || flat(t)) return; // a blanked trace draws nothing
    PenWalker pen(img, colour.rgb(), dashed, graf::Background.rgb());
    for (std::size_t i = 0; i + 1 < t.size(); ++i) pen.segment(t[i].X, t[i].Y, t[i + 1].X, t[i + 1].Y);
}

// The channel names as drawn: black on a cyan cell, rendered once.
const std::array<QImage, 3>& labelImages() {
    static const std::array<QImage, 3> images = [] {
        static const char* const names[3] = {"MW", "UP PIR", "DOWN PIR"};
        std::array<QImage, 3> out;
        const QFont font = ProgramFont();
        const QFontMetrics fm(font);
        for (int c = 0; c < 3; ++c) {
            const QString text = QString::fromLatin1(names[c]);
            QImage img(fm.horizontalAdvance(text), fm.height(), QImage::Format_RGB32);
            img.fill(graf::LabelCyan);
            QPainter p(&img);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(img.rect(), Qt::AlignLeft | Qt::AlignTop, text);
            out[c] = img;
        }
        return out;
    }();
    return images;
}

void blit(QImage& target, const QImage& source, int left, int top) {
    const int x0 = std::max(0, left), x1 = std::min(target.width(), left + source.width());
    if (x1 <= x0) return;
    for (int y = std::max(0, top); y < std::min(target.height(), top + source.height()); ++y)
        std::memcpy(reinterpret_cast<QRgb*>(target.scanLine(y)) + x0,
                    reinterpret_cast<const QRgb*>(source.constScanLine(y - top)) + (x0 - left),
                    static_cast<std::size_t>(x1 - x0) * sizeof(QRgb));
}
} // namespace

int RoundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

void FloodFillToBorder(QImage& image, int x, int y, const QColor& border, const QColor& fill) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    const QRgb stop = border.rgb() | 0xFF000000u;
    const QRgb paint = fill.rgb() | 0xFF000000u;
    auto at = [&](int px, int py) -> QRgb& { return reinterpret_cast<QRgb*>(image.scanLine(py))[px]; };
    auto open = [&](int px, int py) { return (at(px, py) | 0xFF000000u) != stop && at(px, py) != paint; };
    if (!open(x, y)) return;
    // Scanline fill: fill a run, then seed the runs above and below it.
    std::vector<QPoint> seeds{{x, y}};
    while (!seeds.empty()) {
        const QPoint s = seeds.back();
        seeds.pop_back();
        if (!open(s.x(), s.y())) continue;
        int left = s.x(), right = s.x();
        while (left > 0 && open(left - 1, s.y())) --left;
        while (right + 1 < image.width() && open(right + 1, s.y())) ++right;
        for (int px = left; px <= right; ++px) at(px, s.y()) = paint;
        for (int ny : {s.y() - 1, s.y() + 1}) {
            if (ny < 0 || ny >= image.height()) continue;
            bool inRun = false;
            for (int px = left; px <= right; ++px) {
                const bool o = open(px, ny);
                if (o && !inRun) seeds.push_back({px, ny});
                inRun = o;
            }
        }
    }
}

int GraphMidRow() {
    return midRow;
}

void DrawBackground(QImage& screen, QImage& background) {
    midRow = RoundHalfEven(screen.height() / 2.0);
    FloodFillToBorder(background, 60, 60, graf::Background, graf::Background);
    DrawGrid(background);
    CopyBackground(screen, background);
}

void DrawGrid(QImage& bg) {
    const int W = bg.width(), H = bg.height();
    const double step = W / 100.0;
    const QRgb grid = graf::Grid.rgb();
    for (int y = 10; y <= 480; y += 10) hline(bg, y, 0, W, grid);
    const int x0 = RoundHalfEven(W / 2.0);
    for (int i = 1; i <= 100; ++i) {
        if (i % 5 == 0) hline(bg, 4 * i, x0 - 4, x0 + 5, grid);
        else hline(bg, 4 * i, x0 - 2, x0 + 3, grid);
    }
    for (int i = 1; i <= 16; ++i) vline(bg, RoundHalfEven(i * step * 10), 0, H, grid);
    for (int i = 1; i <= 100; ++i) vline(bg, RoundHalfEven(i * step), midRow - 120, midRow + 120, grid);

    QPainter p(&bg);
    QFont f(SmallFontFamily());
    f.setPointSize(6);
    p.setFont(f);
    p.setPen(graf::CaptionGrey);
    p.setBackgroundMode(Qt::TransparentMode);
    p.drawText(QPoint(10, H - 15 + QFontMetrics(f).ascent()), graf::GraphCaption);
}

void CopyBackground(QImage& screen, const QImage& background) {
    if (screen.size() == background.size() && screen.format() == background.format()) {
        std::memcpy(screen.bits(), background.constBits(), static_cast<std::size_t>(background.sizeInBytes()));
        return;
    }
    QPainter p(&screen);
    p.drawImage(0, 0, background);
}

void SetupGraph(QImage& screen, QImage& background) {
    DrawBackground(screen, background);
    CopyBackground(screen, background);
}

void PlotTraces(const GraphState& state, QImage& screen, const QImage& background) {
    CopyBackground(screen, background);
    for (int c = 0; c < 3; ++c)
        if (state.show[c]) polyline(screen, state.traces[c], graf::TraceColour[c], false);
    for (int c = 0; c < 3; ++c)
        if (state.show[3 + c]) polyline(screen, state.traces[3 + c], graf::ThresholdColour[c], true);
}

void BuildTraces(GraphState& state, int width) {
    state.GraphWidth = std::max(1, width);
    for (int t = 0; t < 6; ++t) {
        state.traces[t].resize(static_cast<std::size_t>(state.GraphWidth));
        for (int i = 0; i < state.GraphWidth; ++i)
            state.traces[t][static_cast<std::size_t>(i)] = {i, TraceBaseline[t % 3]};
    }
    if (state.SweepPosition >= state.GraphWidth) state.SweepPosition = 0;
}

void ResetTraces(GraphState& state) {
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < state.GraphWidth; ++i) state.traces[c][static_cast<std::size_t>(i)] = {i, TraceBaseline[c]};
}

void FeedThreshold(GraphState& state, GraphChannel channel, std::uint16_t compensation, bool directConvert) {
    TraceBuffer& threshold = state.traces[3 + channel];
    const TraceBuffer& signal = state.traces[channel];
    if (directConvert) {
        std::fill(threshold.begin(), threshold.end(), TracePoint{0, 0});
        return;
    }
    const int y = BandTop[channel] + RoundHalfEven((810 - static_cast<int>(compensation)) / 10.0);
    for (std::size_t i = 0; i < threshold.size(); ++i) threshold[i] = {signal[i].X, y};
}

void FeedSample(GraphState& state, GraphChannel channel, std::uint16_t value) {
    state.traces[channel][static_cast<std::size_t>(state.SweepPosition)].Y =
        TraceBaseline[channel] - RoundHalfEven(value / 10.0);
}

void DrawLabels(const GraphState& state, QImage& screen) {
    for (int c = 0; c < 3; ++c) {
        if (!state.show[c]) continue;
        const TracePoint& at = state.traces[c][static_cast<std::size_t>(state.SweepPosition)];
        // The text cell's top-left corner one pixel right of and below the newest point.
        blit(screen, labelImages()[c], at.X + 1, at.Y + 1);
    }
}

void AdvanceSweep(GraphState& state) {
    ++state.SweepPosition;
    if (state.SweepPosition >= state.GraphWidth) state.SweepPosition = 0;
}
