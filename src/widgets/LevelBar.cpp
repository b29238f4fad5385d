#include "widgets/LevelBar.h"

#include "widgets/PaintPace.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

namespace widgets {

namespace {

// A range in which "almost full" fills the whole length for any bar, and its half.
constexpr int DrawingRange = 1 << 20;

// What a screen reader learns of a level bar: a progress bar with its value in its range. A reading,
// which it cannot set.
class LevelBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit LevelBarAccessible(QWidget* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text what) const override {
        if (what == QAccessible::Value) return QString::number(bar()->value());
        return QAccessibleWidget::text(what);
    }
    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }

  private:
    const LevelBar* bar() const { return static_cast<const LevelBar*>(widget()); }
};

QAccessibleInterface* accessibleLevelBar(const QString& className, QObject* object) {
    if (className == QLatin1String(LevelBar::staticMetaObject.className()) && object && object->isWidgetType())
        return new LevelBarAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

LevelBar::LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent)
    : QWidget(parent), orientation_(orientation), minimum_(min), maximum_(std::max(min, max)), value_(min) {
    static const bool accessible = (QAccessible::installFactory(accessibleLevelBar), true);
    Q_UNUSED(accessible);
    // As a progress bar's: long along the bar, of the style's thickness across it.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (orientation == Qt::Vertical) policy.transpose();
    setSizePolicy(policy);
    setAttribute(Qt::WA_WState_OwnSizePolicy, false);
}

void LevelBar::initStyleOption(QStyleOptionProgressBar* option) const {
    option->initFrom(this);
    if (orientation_ == Qt::Horizontal) option->state |= QStyle::State_Horizontal;
    option->minimum = minimum_;
    option->maximum = maximum_;
    option->progress = value_;
    option->textAlignment = Qt::AlignLeft;
    option->textVisible = false;
    option->invertedAppearance = false;
    option->bottomToTop = false;
}

QSize LevelBar::sizeHint() const {
    ensurePolished();
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    const int chunk = style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &option, this);
    QSize size(std::max(9, chunk) * 7 + fontMetrics().horizontalAdvance(QLatin1Char('0')) * 4,
               fontMetrics().height() + 8);
    if (orientation_ == Qt::Vertical) size.transpose();
    return style()->sizeFromContents(QStyle::CT_ProgressBar, &option, size, this);
}

QSize LevelBar::minimumSizeHint() const {
    const int thickness = fontMetrics().height() + 2;
    return orientation_ == Qt::Horizontal ? QSize(sizeHint().width(), thickness)
                                          : QSize(thickness, sizeHint().height());
}

void LevelBar::setPosition(int value) {
    value = std::clamp(value, minimum_, maximum_);
    const int before = value_;
    if (value == before) return;
    value_ = value;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, value);
        QAccessible::updateAccessibility(&event);
    }
    // Only the strip whose fill changed, at the pace of the live readings.
    PaintPace::Instance().Later(this, changedArea(before, value));
}

QRect LevelBar::changedArea(int from, int to) const {
    const bool partial = from > minimum_ && from < maximum_ && to > minimum_ && to < maximum_;
    if (!partial || filled_.isNull() || !(PictureKeyOf(this) == key_)) return rect();
    // The strip between the two fills, in device pixels, out to whole pixels of the widget.
    const QRect strip = part(std::min(from, to), false) & part(std::max(from, to), true);
    const qreal ratio = empty_.devicePixelRatio();
    const QPoint topLeft(qFloor(strip.left() / ratio), qFloor(strip.top() / ratio));
    const QPoint bottomRight(qCeil((strip.right() + 1) / ratio) - 1, qCeil((strip.bottom() + 1) / ratio) - 1);
    return QRect(topLeft, bottomRight);
}

void LevelBar::drawPictures() {
    beneath_ = PaintBeneath(this);
    empty_ = drawn(0);
    filled_ = full_ = QPixmap();
    length_ = orientation_ == Qt::Vertical ? empty_.height() : empty_.width();
}

QPixmap LevelBar::drawn(int progress) const {
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.minimum = 0;
    option.maximum = DrawingRange;
    option.progress = progress;
    QPixmap picture = beneath_;
    QPainter p(&picture);
    PaintLikeWidget(p, this);
    style()->drawControl(QStyle::CE_ProgressBar, &option, &p, this);
    return picture;
}

void LevelBar::drawFilledPictures() {
    if (!filled_.isNull()) return;
    filled_ = drawn(DrawingRange - 1);
    full_ = drawn(DrawingRange);
    // Where the style ends the filled share of a bar at half its range, against the plain proportion,
    // seen along the bar's middle.
    const QImage empty = empty_.toImage();
    const QImage half = drawn(DrawingRange / 2).toImage();
    const bool vertical = orientation_ == Qt::Vertical;
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
    beneath_ = QPixmap(); // (all drawn)
}

bool LevelBar::fillsFromFarEnd() const {
    // A vertical bar fills from the bottom, a horizontal one from the left (the right, right to left).
    if (orientation_ == Qt::Vertical) return true;
    return layoutDirection() == Qt::RightToLeft;
}

int LevelBar::filledLength(int value) const {
    const qint64 steps = qint64(value) - minimum_;
    const qint64 range = std::max<qint64>(1, qint64(maximum_) - minimum_);
    return std::clamp(static_cast<int>(steps * length_ / range) + overhang_, 0, length_);
}

QRect LevelBar::part(int value, bool filled) const {
    const int length = filled ? filledLength(value) : length_ - filledLength(value);
    const QRect all(QPoint(0, 0), empty_.size());
    const bool vertical = orientation_ == Qt::Vertical;
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
    if (value_ > minimum_) drawFilledPictures();
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
    if (value_ <= minimum_ || value_ >= maximum_) {
        copy(value_ <= minimum_ ? empty_ : full_, QRect(QPoint(0, 0), empty_.size()));
        return;
    }
    copy(empty_, part(value_, false));
    copy(filled_, part(value_, true));
}

bool LevelBar::event(QEvent* event) {
    const bool done = QWidget::event(event);
    KeepOpaque(this, event);
    return done;
}

} // namespace widgets

#include "moc_LevelBar.cpp"
