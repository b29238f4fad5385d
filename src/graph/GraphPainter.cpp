#include "graph/GraphPainter.h"

#include "graph/BackgroundRows.h"
#include "graph/Fonts.h"

#include <QPainter>
#include <cmath>
#include <cstring>

namespace graph {
namespace {

bool flat(const TraceBuffer& t) {
    for (const TracePoint& p : t)
        if (p.X != t.front().X || p.Y != t.front().Y) return false;
    return true;
}

// Pixels of a pen along a polyline: solid, or dash-dot-dot (9 on, 3 off, 3 on, 3 off, 3 on, 3 off)
// with the gaps painted in the gap colour. Only pixels inside the clip are written; the dash pattern
// advances for the others too.
constexpr bool DashPattern[24] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0};

class PenWalker {
  public:
    PenWalker(QImage& img, QRgb colour, bool dashed, QRgb gap, const QRect& clip)
        : bits_(img.bits()), stride_(img.bytesPerLine()), colour_(colour), gap_(gap), dashed_(dashed),
          clip_(clip & img.rect()) {}

    void plot(int x, int y) {
        QRgb c = colour_;
        if (dashed_) {
            c = DashPattern[phase_] ? colour_ : gap_;
            phase_ = (phase_ + 1) % 24;
        }
        if (clip_.contains(x, y)) at(x, y) = c;
    }

    // Rows [from, to) of one column, in the direction of travel, clipped to what can be seen.
    void column(int x, int from, int to) {
        const int step = to >= from ? 1 : -1;
        const int count = std::abs(to - from);
        if (dashed_) { // the pattern must advance for unseen pixels too
            for (int i = 0, y = from; i < count; ++i, y += step) plot(x, y);
            return;
        }
        if (x < clip_.left() || x > clip_.right()) return;
        int y0 = from, y1 = to;
        if (step < 0) { // walk upwards: rows to+1 .. from
            y0 = to + 1;
            y1 = from + 1;
        }
        y0 = std::max(y0, clip_.top());
        y1 = std::min(y1, clip_.bottom() + 1);
        for (int y = y0; y < y1; ++y) at(x, y) = colour_;
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
    QRgb& at(int x, int y) { return reinterpret_cast<QRgb*>(bits_ + static_cast<std::ptrdiff_t>(y) * stride_)[x]; }

    uchar* bits_;
    qsizetype stride_;
    QRgb colour_, gap_;
    bool dashed_;
    QRect clip_;
    int phase_ = 0;
};

void polyline(QImage& img, const TraceBuffer& t, const QColor& colour, bool dashed, const QRect& clip) {
    if (t.size() < 2 || flat(t)) return; // a blanked trace draws nothing
    PenWalker pen(img, colour.rgb(), dashed, BackgroundColour.rgb(), clip);
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
            img.fill(LabelCyan);
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

void blit(QImage& target, const QImage& source, int left, int top, const QRect& clip) {
    const QRect area = QRect(left, top, source.width(), source.height()) & clip & target.rect();
    if (area.isEmpty()) return;
    const int x0 = area.left(), x1 = area.right() + 1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memcpy(reinterpret_cast<QRgb*>(target.scanLine(y)) + x0,
                    reinterpret_cast<const QRgb*>(source.constScanLine(y - top)) + (x0 - left),
                    static_cast<std::size_t>(x1 - x0) * sizeof(QRgb));
}

using TraceFacts = DrawnFrame::Facts;

TraceFacts factsOf(const TraceBuffer& t) {
    TraceFacts f{t.size() < 2 || flat(t), true, true};
    for (std::size_t i = 0; i < t.size(); ++i) {
        f.indexed = f.indexed && t[i].X == static_cast<std::int32_t>(i);
        f.level = f.level && t[i].Y == t.front().Y;
    }
    return f;
}

bool samePoints(const TraceBuffer& a, const TraceBuffer& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(TracePoint)) == 0;
}

// Where the channel's name is drawn beside its newest point.
QRect labelCell(const State& state, int c, const QImage& screen) {
    const TracePoint& at = state.traces[c][static_cast<std::size_t>(state.SweepPosition)];
    return QRect(QPoint(at.X + 1, at.Y + 1), labelImages()[c].size()) & screen.rect();
}

// What the two segments at point i of an indexed trace can touch.
QRect aroundPoint(const TraceBuffer& t, std::size_t i) {
    int top = t[i].Y, bottom = t[i].Y;
    if (i > 0) top = std::min(top, t[i - 1].Y), bottom = std::max(bottom, t[i - 1].Y);
    if (i + 1 < t.size()) top = std::min(top, t[i + 1].Y), bottom = std::max(bottom, t[i + 1].Y);
    const int x = static_cast<int>(i);
    return QRect(QPoint(x - 1, top), QPoint(x + 1, bottom));
}

// The frame within r, in the order the whole frame is drawn: background, signals, thresholds, labels.
void redraw(const State& state, QImage& screen, const QImage& background, const QRect& r,
            const std::array<TraceFacts, 6>& facts) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        CopyBackgroundRow(reinterpret_cast<QRgb*>(screen.scanLine(y)) + r.left(), background, y, r.left(), r.width());
    for (int c = 0; c < 3; ++c) {
        const TraceBuffer& t = state.traces[c];
        if (!state.show[c] || facts[c].blank) continue;
        PenWalker pen(screen, TraceColour[c].rgb(), false, BackgroundColour.rgb(), r);
        // Only the segments that reach into r (all of them, were the trace not indexed).
        const int last = static_cast<int>(t.size()) - 1;
        const int from = facts[c].indexed ? std::clamp(r.left() - 1, 0, last) : 0;
        const int to = facts[c].indexed ? std::clamp(r.right() + 1, 0, last) : last;
        for (int i = from; i < to; ++i) pen.segment(t[i].X, t[i].Y, t[i + 1].X, t[i + 1].Y);
    }
    for (int c = 0; c < 3; ++c) {
        const TraceBuffer& t = state.traces[3 + c];
        if (!state.show[3 + c] || facts[3 + c].blank) continue;
        if (!facts[3 + c].indexed || !facts[3 + c].level) {
            polyline(screen, t, ThresholdColour[c], true, r);
            continue;
        }
        // A level line: segment i is the one pixel (i, row), the dash pattern at its place i.
        const int row = t.front().Y;
        if (row < r.top() || row > r.bottom()) continue;
        const QRgb on = ThresholdColour[c].rgb(), off = BackgroundColour.rgb();
        auto* line = reinterpret_cast<QRgb*>(screen.scanLine(row));
        const int end = std::min(r.right(), static_cast<int>(t.size()) - 2);
        for (int x = std::max(r.left(), 0); x <= end; ++x) line[x] = DashPattern[x % 24] ? on : off;
    }
    DrawMarks(state, screen, r);
    for (int c = 0; c < 3; ++c) {
        if (!state.show[c]) continue;
        const TracePoint& at = state.traces[c][static_cast<std::size_t>(state.SweepPosition)];
        blit(screen, labelImages()[c], at.X + 1, at.Y + 1, r);
    }
}

} // namespace

void PlotTraces(const State& state, QImage& screen, const QImage& background) {
    CopyBackground(screen, background);
    for (int c = 0; c < 3; ++c)
        if (state.show[c]) polyline(screen, state.traces[c], TraceColour[c], false, screen.rect());
    for (int c = 0; c < 3; ++c)
        if (state.show[3 + c]) polyline(screen, state.traces[3 + c], ThresholdColour[c], true, screen.rect());
}

void DrawLabels(const State& state, QImage& screen) {
    for (int c = 0; c < 3; ++c) {
        if (!state.show[c]) continue;
        const TracePoint& at = state.traces[c][static_cast<std::size_t>(state.SweepPosition)];
        // The text cell's top-left corner one pixel right of and below the newest point.
        blit(screen, labelImages()[c], at.X + 1, at.Y + 1, screen.rect());
    }
}

QRegion DrawFrame(const State& state, QImage& screen, const QImage& background, DrawnFrame& drawn) {
    const auto whole = [&] {
        PlotTraces(state, screen, background);
        DrawMarks(state, screen, screen.rect());
        DrawLabels(state, screen);
        drawn.marksVersion = state.marksVersion;
        drawn.traces = state.traces;
        for (int t = 0; t < 6; ++t) drawn.facts[t] = factsOf(state.traces[t]);
        drawn.show = state.show;
        drawn.size = screen.size();
        for (int c = 0; c < 3; ++c) drawn.labels[c] = state.show[c] ? labelCell(state, c, screen) : QRect();
        drawn.valid = true;
        return QRegion(screen.rect());
    };
    if (!drawn.valid || drawn.size != screen.size() || drawn.show != state.show ||
        drawn.marksVersion != state.marksVersion || !CopiesOnto(background, screen) ||
        state.SweepPosition >= static_cast<int>(state.traces[0].size()))
        return whole();

    // A change of a few points of a signal is redrawn around them; a threshold that moved is
    // redrawn on its old and its new row; anything else (a cleared graph) is drawn whole.
    constexpr int MostPointsRedrawn = 32;
    std::array<TraceFacts, 6> facts = drawn.facts;
    QRegion changed;
    std::array<std::vector<std::size_t>, 3> changedPoints;
    for (int t = 0; t < 6; ++t) {
        const TraceBuffer& now = state.traces[t];
        const TraceBuffer& before = drawn.traces[t];
        if (samePoints(now, before)) continue;
        if (now.size() != before.size()) return whole();
        if (t < 3) {
            // Points that keep their columns keep the facts of the trace drawn.
            if (facts[t].blank || !facts[t].indexed) return whole();
            for (std::size_t i = 0; i < now.size(); ++i) {
                if (now[i].X != before[i].X) return whole();
                if (now[i].Y == before[i].Y) continue;
                if (changedPoints[t].size() == MostPointsRedrawn) return whole();
                changedPoints[t].push_back(i);
                changed |= aroundPoint(before, i).united(aroundPoint(now, i));
            }
        } else {
            facts[t] = factsOf(now);
            for (const auto& [f, trace] : {std::pair{drawn.facts[t], &before}, std::pair{facts[t], &now}}) {
                if (f.blank) continue;
                if (!f.indexed || !f.level) return whole();
                changed |= QRect(0, trace->front().Y, screen.width(), 1);
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        const QRect cell = state.show[c] ? labelCell(state, c, screen) : QRect();
        if (cell == drawn.labels[c]) continue;
        changed |= drawn.labels[c];
        changed |= cell;
    }
    changed &= screen.rect();
    for (const QRect& r : changed) redraw(state, screen, background, r, facts);

    for (int c = 0; c < 3; ++c)
        for (std::size_t i : changedPoints[c]) drawn.traces[c][i] = state.traces[c][i];
    for (int t = 3; t < 6; ++t)
        if (!samePoints(state.traces[t], drawn.traces[t])) drawn.traces[t] = state.traces[t];
    drawn.facts = facts;
    for (int c = 0; c < 3; ++c) drawn.labels[c] = state.show[c] ? labelCell(state, c, screen) : QRect();
    return changed;
}

} // namespace graph
