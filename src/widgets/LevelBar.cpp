#include "widgets/LevelBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

namespace {

// A range in which "almost full" fills the whole length for any bar, and its half.
constexpr int DrawingRange = 1 << 20;

} // namespace

LevelBar::LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent) : QProgressBar(parent) {
    setOrientation(orientation);
    setRange(min, max);
    setValue(min);
    setTextVisible(false);
}

void LevelBar::setPosition(int value) {
    value = std::clamp(value, minimum(), maximum());
    if (value == this->value()) return;
    // QProgressBar repaints at once on a visible change; a live bar is shown with the window's next
    // paint instead, so that a status reply never waits for the bars to be drawn.
    setUpdatesEnabled(false);
    setValue(value);
    setUpdatesEnabled(true);
}

void LevelBar::drawPictures() {
    const QPixmap beneath = PaintBeneath(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.minimum = 0;
    option.maximum = DrawingRange;
    auto draw = [&](int progress) {
        QPixmap picture = beneath;
        QPainter p(&picture);
        PaintLikeWidget(p, this);
        option.progress = progress;
        style()->drawControl(QStyle::CE_ProgressBar, &option, &p, this);
        return picture;
    };
    empty_ = draw(0);
    filled_ = draw(DrawingRange - 1);
    full_ = draw(DrawingRange);

    // Where the style ends the filled share of a bar at half its range, against the plain proportion,
    // seen along the bar's middle.
    const QImage empty = empty_.toImage();
    const QImage half = draw(DrawingRange / 2).toImage();
    const bool vertical = orientation() == Qt::Vertical;
    length_ = vertical ? empty.height() : empty.width();
    int first = length_, last = -1;
    for (int along = 0; along < length_; ++along) {
        const int x = vertical ? empty.width() / 2 : along;
        const int y = vertical ? along : empty.height() / 2;
        if (empty.pixel(x, y) == half.pixel(x, y)) continue;
        first = std::min(first, along);
        last = along;
    }
    const int reach = last < 0 ? 0 : fillsFromFarEnd() ? length_ - first : last + 1;
    overhang_ = reach > 0 ? reach - length_ / 2 : 0;
}

bool LevelBar::fillsFromFarEnd() const {
    // A vertical bar fills from the bottom, a horizontal one from the left (the right, right to left).
    if (orientation() == Qt::Vertical) return !invertedAppearance();
    return (layoutDirection() == Qt::RightToLeft) != invertedAppearance();
}

int LevelBar::filledLength(int value) const {
    const qint64 steps = qint64(value) - minimum();
    const qint64 range = std::max<qint64>(1, qint64(maximum()) - minimum());
    return std::clamp(static_cast<int>(steps * length_ / range) + overhang_, 0, length_);
}

void LevelBar::paintEvent(QPaintEvent*) {
    const PictureKey key = PictureKeyOf(this);
    if (empty_.isNull() || !(key == key_)) {
        key_ = key;
        drawPictures();
    }
    QPainter p(this);
    if (value() <= minimum() || value() >= maximum()) {
        p.drawPixmap(0, 0, value() <= minimum() ? empty_ : full_);
        return;
    }
    const int filled = filledLength(value());
    const QRect all(QPoint(0, 0), empty_.size());
    const bool vertical = orientation() == Qt::Vertical;
    const bool fromFar = fillsFromFarEnd();
    QRect filledPart = vertical ? QRect(0, 0, all.width(), filled) : QRect(0, 0, filled, all.height());
    if (fromFar) filledPart.moveBottomRight(all.bottomRight());
    const QRect emptyPart = vertical ? QRect(0, fromFar ? 0 : filled, all.width(), all.height() - filled)
                                     : QRect(fromFar ? 0 : filled, 0, all.width() - filled, all.height());
    const qreal ratio = empty_.devicePixelRatio();
    auto logical = [ratio](const QRect& r) {
        return QRectF(r.x() / ratio, r.y() / ratio, r.width() / ratio, r.height() / ratio);
    };
    p.drawPixmap(logical(emptyPart), empty_, emptyPart);
    p.drawPixmap(logical(filledPart), filled_, filledPart);
}

bool LevelBar::event(QEvent* event) {
    const bool done = QProgressBar::event(event);
    KeepOpaque(this, event);
    return done;
}
