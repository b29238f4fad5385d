#include "graph/GraphMarks.h"

#include "graph/Fonts.h"
#include "graph/GraphPainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>

namespace graph {

namespace {

QImage labelImage(const QString& text, const QColor& cell) {
    QFont font = ProgramFont();
    const QFontMetrics fm(font);
    const QString shown = fm.elidedText(text, Qt::ElideRight, 180);
    QImage img(fm.horizontalAdvance(shown) + 4, fm.height(), QImage::Format_RGB32);
    img.fill(cell);
    QPainter p(&img);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(img.rect().adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
    return img;
}

QColor labelColour(Mark::Kind kind) {
    return kind == Mark::Kind::Pause ? MarkColour(kind).lighter(220) : MarkColour(kind);
}

void fill(QImage& screen, const QRect& area, QRgb colour) {
    const QRect r = area & screen.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(screen.scanLine(y));
        std::fill(line + r.left(), line + r.right() + 1, colour);
    }
}

void blitClipped(QImage& screen, const QImage& image, const QPoint& at, const QRect& clip) {
    const QRect area = QRect(at, image.size()) & clip & screen.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y - at.y())) + (area.left() - at.x());
        std::copy(from, from + area.width(), reinterpret_cast<QRgb*>(screen.scanLine(y)) + area.left());
    }
}

} // namespace

QColor MarkColour(Mark::Kind kind) {
    switch (kind) {
    case Mark::Kind::Pass: return {255, 235, 0};
    case Mark::Kind::Quiet: return {110, 170, 255};
    case Mark::Kind::End: return {170, 170, 170};
    case Mark::Kind::Pause: return {60, 60, 95};
    }
    return {255, 255, 255};
}

void AddMark(State& state, Mark::Kind kind, const QString& text) {
    if (state.GraphWidth <= 0) return;
    // (A mark at the sweep position already was made at the same moment: both stand, up to a few.) The marks
    // at the sweep's column are the newest ones: it drops those it had when it comes to a column.
    auto from = state.marks.end();
    while (from != state.marks.begin() && std::prev(from)->column == state.SweepPosition &&
           std::prev(from)->kind != Mark::Kind::Pause)
        --from;
    int labels = 0;
    for (auto it = from; it != state.marks.end(); ++it) {
        if (it->kind == kind && it->text.isEmpty() && text.isEmpty()) return; // its line is there already
        if (!it->text.isEmpty()) ++labels;
    }
    if (!text.isEmpty() && labels >= LabelsPerColumn) // the oldest label of the moment gives way
        state.marks.erase(std::find_if(from, state.marks.end(), [](const Mark& m) { return !m.text.isEmpty(); }));
    state.marks.push_back({kind, state.SweepPosition, 1, text, QImage()});
    ++state.marksVersion;
}

void AddPause(State& state, const QString& text, int columns) {
    if (state.GraphWidth <= 0) return;
    columns = std::clamp(columns, 1, std::max(1, state.GraphWidth / 8));
    // A band that reaches the right edge goes on at the left, as the sweep does.
    for (int left = columns; left > 0;) {
        const bool first = left == columns;
        const int from = state.SweepPosition;
        const int width = std::min(left, state.GraphWidth - from);
        // The columns it covers are swept over: what was there from the sweep before goes.
        for (int x = from; x < from + width; ++x) {
            if (x != from || !first) ForgetMarksAt(state, x);
            for (int c = 0; c < 3; ++c) state.traces[c][static_cast<std::size_t>(x)].Y = TraceBaseline[c];
        }
        state.marks.push_back({Mark::Kind::Pause, from, width, first ? text : QString(), QImage()});
        left -= width;
        state.SweepPosition = (from + width) % state.GraphWidth;
    }
    ForgetMarksAt(state, state.SweepPosition);
    ++state.marksVersion;
}

void RenderLabels(State& state) {
    for (Mark& m : state.marks)
        if (!m.text.isEmpty() && m.label.isNull()) m.label = labelImage(m.text, labelColour(m.kind));
}

void ClearMarks(State& state) {
    if (state.marks.empty()) return;
    state.marks.clear();
    ++state.marksVersion;
}

void ForgetMarksAt(State& state, int column) {
    const auto gone =
        std::remove_if(state.marks.begin(), state.marks.end(), [column](const Mark& m) { return m.column == column; });
    if (gone == state.marks.end()) return;
    state.marks.erase(gone, state.marks.end());
    ++state.marksVersion;
}

void DrawMarks(const State& state, QImage& screen, const QRect& clip) {
    const QRect area = clip & screen.rect();
    if (area.isEmpty()) return;
    for (const Mark& m : state.marks)
        fill(screen, QRect(m.column, 0, m.width, screen.height()) & area, MarkColour(m.kind).rgb());
    // The labels at the foot of the picture, below the lowest trace's baseline, each on the lowest of
    // three rows where it does not cover the label before it (the same rows whatever part is drawn).
    std::vector<Mark> rendered; // (labels a caller has not rendered, for this drawing alone)
    rendered.reserve(state.marks.size());
    std::vector<const Mark*> byColumn;
    for (const Mark& m : state.marks) {
        if (m.text.isEmpty()) continue;
        if (m.label.isNull()) {
            rendered.push_back(m);
            rendered.back().label = labelImage(m.text, labelColour(m.kind));
            byColumn.push_back(&rendered.back());
        } else {
            byColumn.push_back(&m);
        }
    }
    std::stable_sort(byColumn.begin(), byColumn.end(),
                     [](const Mark* a, const Mark* b) { return a->column < b->column; });
    constexpr int Rows = 3;
    int rowEnd[Rows] = {INT_MIN, INT_MIN, INT_MIN};
    for (const Mark* m : byColumn) {
        const int left = m->column + m->width;
        int row = 0;
        while (row < Rows - 1 && rowEnd[row] >= left) ++row;
        if (rowEnd[row] >= left) row = static_cast<int>(std::min_element(rowEnd, rowEnd + Rows) - rowEnd);
        rowEnd[row] = left + m->label.width();
        // Near the right edge a label stands left of its line, whole.
        const int x = left + m->label.width() > screen.width() ? std::max(0, m->column - m->label.width()) : left;
        blitClipped(screen, m->label, QPoint(x, screen.height() - (row + 1) * (m->label.height() + 1)), area);
    }
}

} // namespace graph
