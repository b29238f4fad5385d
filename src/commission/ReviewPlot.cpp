#include "commission/ReviewPlot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace commission {

namespace {

// The closest look: a fifth of a millisecond a column (a 200 ms stretch across 1000 pixels).
constexpr double MinMsPerColumn = 0.2;
// A stretch of at most so many replies is drawn from the replies themselves even where the summary
// is exact, so that Export CSV writes them.
constexpr double RepliesAlwaysRead = 20000;

} // namespace

ReviewPlot::ReviewPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ReviewPlot"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(360, 300);
    setToolTip(QStringLiteral("Ctrl+wheel or + and - zoom, the wheel and the arrow keys scroll, 0 shows the whole"));
}

void ReviewPlot::setSource(ReviewSource* source) {
    if (source_) disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    replies_.reset();
    askedFrom_ = askedTo_ = -1;
    if (source_) {
        connect(source_, &ReviewSource::changed, this, &ReviewPlot::sourceChanged);
        connect(source_, &ReviewSource::detailReady, this, [this] {
            if (const auto d = source_->LastDetail(); d && d->whole) askedTo_ = std::min(askedTo_, d->toMs);
            dirty_ = true;
            update();
            emit readingChanged();
        });
    }
    ShowWhole();
}

int ReviewPlot::Columns() const {
    return std::max(1, graph::ReviewColumns(size(), font()));
}

std::int64_t ReviewPlot::WholeFromMs() const {
    return source_ && source_->StartMs() >= 0 ? source_->StartMs() : 0;
}

std::int64_t ReviewPlot::WholeToMs() const {
    return source_ && source_->EndMs() >= 0 ? source_->EndMs() + 1 : WholeFromMs() + 1000;
}

void ReviewPlot::setView(double fromMs, double msPerColumn) {
    const int n = Columns();
    const double whole = double(WholeToMs() - WholeFromMs());
    msPerColumn = std::clamp(msPerColumn, MinMsPerColumn, std::max(MinMsPerColumn, whole / n));
    if (source_ && msPerColumn >= double(source_->CellMs())) msPerColumn = source_->ExactWidth(msPerColumn);
    const double span = msPerColumn * n;
    fromMs =
        span >= whole ? double(WholeFromMs()) : std::clamp(fromMs, double(WholeFromMs()), double(WholeToMs()) - span);
    if (source_ && msPerColumn >= double(source_->CellMs()))
        fromMs = double(source_->ExactFrom(static_cast<std::int64_t>(std::floor(fromMs)), msPerColumn));
    fromMs_ = fromMs;
    msPerColumn_ = msPerColumn;
    wholeShown_ = false;
    following_ = fromMs_ + span >= double(WholeToMs()) - msPerColumn_;
    dirty_ = true;
    update();
    emit viewChanged();
    emit readingChanged();
}

void ReviewPlot::ShowWhole() {
    setView(double(WholeFromMs()), double(WholeToMs() - WholeFromMs()) / Columns());
    wholeShown_ = true;
}

void ReviewPlot::ZoomBy(double factor, std::optional<int> aroundColumn) {
    const int n = Columns();
    const double at = std::clamp<double>(aroundColumn.value_or(n / 2), 0, n);
    const double ms = fromMs_ + at * msPerColumn_;
    const double width = std::max(MinMsPerColumn, msPerColumn_ * factor);
    setView(ms - at * width, width);
}

void ReviewPlot::ScrollBy(double columns) {
    setView(fromMs_ + columns * msPerColumn_, msPerColumn_);
}

void ReviewPlot::ScrollTo(std::int64_t fromMs) {
    setView(double(fromMs), msPerColumn_);
}

void ReviewPlot::ShowStretch(std::int64_t fromMs, std::int64_t toMs) {
    setView(double(fromMs), double(std::max<std::int64_t>(1, toMs - fromMs)) / Columns());
}

void ReviewPlot::sourceChanged() {
    // More of the recording (or of the live connection): the whole grows; a live view that showed
    // the end goes on showing it.
    const double span = msPerColumn_ * Columns();
    if (wholeShown_) ShowWhole();
    else if (following_) setView(double(WholeToMs()) - span, msPerColumn_);
    else setView(fromMs_, msPerColumn_);
}

void ReviewPlot::rebuild() {
    if (!dirty_) return;
    dirty_ = false;
    const int n = Columns();
    picture_ = graph::ReviewPicture();
    picture_.fromMs = FromMs();
    picture_.msPerColumn = msPerColumn_;
    picture_.columns.assign(static_cast<std::size_t>(n), {});
    exact_ = fromReplies_ = false;
    replies_.reset();
    if (!source_) {
        picture_.remark = QStringLiteral("Open a recording, or the live connection.");
        return;
    }
    picture_.wallAtZero = source_->WallAtZero();
    picture_.valueTop = source_->ValueTop();
    picture_.remark = source_->Remark();
    const std::int64_t from = picture_.fromMs, to = picture_.toMs();
    source_->Fill(from, msPerColumn_, n, picture_.columns, exact_);
    picture_.spans = source_->Spans(from, to);
    // The replies themselves, where the summary's cells are wider than a column or the stretch is short.
    const std::int64_t shownTo = std::min<std::int64_t>(to, WholeToMs());
    const auto d = source_->LastDetail();
    if (d && d->whole && d->fromMs <= from && d->toMs >= shownTo) {
        std::vector<graph::ReviewColumn> columns(static_cast<std::size_t>(n));
        for (const Reading& r : d->readings) {
            const double i = std::floor(double(r.ms - from) / msPerColumn_);
            if (i >= 0 && i < n)
                columns[static_cast<std::size_t>(i)].Add(r.signal, r.threshold, r.alarmFlags, r.stateFlags);
        }
        for (int i = 0; i < n; ++i)
            columns[static_cast<std::size_t>(i)].marks = picture_.columns[static_cast<std::size_t>(i)].marks;
        picture_.columns = std::move(columns);
        exact_ = fromReplies_ = true;
        replies_ = d;
        return;
    }
    const double expected = double(shownTo - from) / std::max(0.01, source_->MsPerReply());
    // (A long stretch the summary will hold exactly once read is not read twice.)
    const bool narrow = msPerColumn_ < double(source_->CellMs());
    const bool wanted = expected <= double(source_->DetailLimitReplies()) && (narrow || expected <= RepliesAlwaysRead);
    if (!wanted) return;
    if (askedFrom_ > from || askedTo_ < shownTo) {
        // Half a screen more on each side, so that a short scroll needs no new reading.
        const std::int64_t margin = (to - from) / 2;
        askedFrom_ = std::max(WholeFromMs(), from - margin);
        askedTo_ = std::min(WholeToMs(), to + margin);
        source_->RequestDetail(askedFrom_, askedTo_);
    }
    if (!exact_)
        picture_.remark = (picture_.remark.isEmpty() ? QString() : picture_.remark + QStringLiteral(" ")) +
                          QStringLiteral("Reading every reply of this stretch...");
}

const graph::ReviewPicture& ReviewPlot::Picture() {
    rebuild();
    return picture_;
}

bool ReviewPlot::Exact() {
    rebuild();
    return exact_;
}

bool ReviewPlot::FromReplies() {
    rebuild();
    return fromReplies_;
}

std::shared_ptr<const ReviewDetail> ReviewPlot::Replies() {
    rebuild();
    return replies_;
}

void ReviewPlot::setCursorColumn(std::optional<int> column) {
    if (column == cursor_) return;
    cursor_ = column;
    update();
    emit readingChanged();
}

QString ReviewPlot::CursorReading() {
    if (!cursor_) return QString();
    return graph::ReviewReading(Picture(), *cursor_);
}

QImage ReviewPlot::Render(qreal scale) {
    QImage image(size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    graph::PaintReview(p, size(), Picture(), graph::ReviewStyle::Screen(font()));
    return image;
}

void ReviewPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    graph::ReviewPicture picture = Picture();
    picture.cursorColumn = cursor_;
    graph::PaintReview(p, size(), picture, graph::ReviewStyle::Screen(font()));
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void ReviewPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The same stretch across the new width.
    const double span = msPerColumn_ * std::max(1, graph::ReviewColumns(event->oldSize(), font()));
    if (event->oldSize().isValid() && !wholeShown_) setView(fromMs_, span / Columns());
    else ShowWhole();
}

std::optional<int> ReviewPlot::columnAt(int x) const {
    const QRect plot = graph::LayoutReview(size(), font()).plot;
    if (x < plot.left() || x > plot.right()) return std::nullopt;
    return x - plot.left();
}

void ReviewPlot::mouseMoveEvent(QMouseEvent* event) {
    setCursorColumn(columnAt(event->position().toPoint().x()));
}

void ReviewPlot::leaveEvent(QEvent*) {
    setCursorColumn(std::nullopt);
}

void ReviewPlot::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const double steps = double(delta.y() != 0 ? delta.y() : delta.x()) / 120;
    if (steps == 0) return;
    if (event->modifiers() & Qt::ControlModifier)
        ZoomBy(std::pow(0.8, steps), columnAt(event->position().toPoint().x()));
    else ScrollBy(-steps * Columns() / 10);
    event->accept();
}

void ReviewPlot::keyPressEvent(QKeyEvent* event) {
    const int n = Columns();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomBy(0.5, cursor_); break;
    case Qt::Key_Minus: ZoomBy(2, cursor_); break;
    case Qt::Key_0: ShowWhole(); break;
    case Qt::Key_Left: ScrollBy(-n / 10.0); break;
    case Qt::Key_Right: ScrollBy(n / 10.0); break;
    case Qt::Key_PageUp: ScrollBy(-n * 0.9); break;
    case Qt::Key_PageDown: ScrollBy(n * 0.9); break;
    case Qt::Key_Home: ScrollTo(WholeFromMs()); break;
    case Qt::Key_End: ScrollTo(WholeToMs()); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

} // namespace commission

#include "moc_ReviewPlot.cpp"
