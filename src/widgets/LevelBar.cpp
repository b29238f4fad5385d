#include "widgets/LevelBar.h"

#include <QPaintEvent>
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
    const int before = this->value();
    if (value == before) return;
    // QProgressBar::setValue repaints at once (a status reply would wait for the bar to be drawn, and
    // the window flushed): with updates held off for the call, nothing is painted, and the bar is shown
    // with the window's next paint, which paints only the strip whose fill changed. (Held off for this
    // bar alone, which has no child widgets: QWidget::setUpdatesEnabled(true) would update all of it.)
    const bool held = testAttribute(Qt::WA_UpdatesDisabled);
    setAttribute(Qt::WA_UpdatesDisabled, true);
    setValue(value);
    setAttribute(Qt::WA_UpdatesDisabled, held);
    update(changedArea(before, value));
}

QRect LevelBar::changedArea(int from, int to) const {
    const bool partial = from > minimum() && from < maximum() && to > minimum() && to < maximum();
    if (!partial || empty_.isNull() || !(PictureKeyOf(this) == key_)) return rect();
    // The strip between the two fills, in device pixels, out to whole pixels of the widget.
    const QRect strip = part(std::min(from, to), false) & part(std::max(from, to), true);
    const qreal ratio = empty_.devicePixelRatio();
    const QPoint topLeft(qFloor(strip.left() / ratio), qFloor(strip.top() / ratio));
    const QPoint bottomRight(qCeil((strip.right() + 1) / ratio) - 1, qCeil((strip.bottom() + 1) / ratio) - 1);
    return QRect(topLeft, bottomRight);
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

QRect LevelBar::part(int value, bool filled) const {
    const int length = filled ? filledLength(value) : length_ - filledLength(value);
    const QRect all(QPoint(0, 0), empty_.size());
    const bool vertical = orientation() == Qt::Vertical;
    // The filled part lies at the end the bar fills from, the empty one at the other.
    const bool atFarEnd = fillsFromFarEnd() == filled;
    QRect r = vertical ? QRect(0, 0, all.width(), length) : QRect(0, 0, length, all.height());
    if (atFarEnd) r.moveBottomRight(all.bottomRight());
    return r;
}

void LevelBar::paintEvent(QPaintEvent* event) {
    const PictureKey key = PictureKeyOf(this);
    if (empty_.isNull() || !(key == key_)) {
        key_ = key;
        drawPictures();
    }
    QPainter p(this);
    const qreal ratio = empty_.devicePixelRatio();
    // Only what is asked for, in device pixels.
    const QRect asked(qFloor(event->rect().x() * ratio), qFloor(event->rect().y() * ratio),
                      qCeil(event->rect().width() * ratio), qCeil(event->rect().height() * ratio));
    auto copy = [&](const QPixmap& picture, const QRect& from) {
        const QRect r = from & asked;
        if (r.isEmpty()) return;
        p.drawPixmap(QRectF(r.x() / ratio, r.y() / ratio, r.width() / ratio, r.height() / ratio), picture, r);
    };
    if (value() <= minimum() || value() >= maximum()) {
        copy(value() <= minimum() ? empty_ : full_, QRect(QPoint(0, 0), empty_.size()));
        return;
    }
    copy(empty_, part(value(), false));
    copy(filled_, part(value(), true));
}

bool LevelBar::event(QEvent* event) {
    const bool done = QProgressBar::event(event);
    KeepOpaque(this, event);
    return done;
}
