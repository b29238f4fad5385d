#include "widgets/TrackBar.h"

#include "widgets/GaugeBar.h"
#include "widgets/PaintPace.h"
#include "widgets/WheelNeedsFocus.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>

namespace widgets {

TrackBar::TrackBar(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
    setInvertedAppearance(orientation == Qt::Vertical);
    setInvertedControls(orientation == Qt::Vertical);
    setTickPosition(QSlider::TicksBothSides);
    // The groove stays plain so that the selection range is what stands out on it.
    QPalette pal = palette();
    pal.setColor(QPalette::Highlight, pal.color(QPalette::Mid));
    setPalette(pal);
    WheelNeedsFocus::Install(this);
}

void TrackBar::setSelStart(int v) {
    if (v == selStart_) return;
    const QRect before = selectionRect();
    selStart_ = v;
    selectionChanged(before);
}

void TrackBar::setSelEnd(int v) {
    if (v == selEnd_) return;
    const QRect before = selectionRect();
    selEnd_ = v;
    selectionChanged(before);
}

void TrackBar::selectionChanged(const QRect& before) {
    const QRect after = selectionRect();
    // (The selection follows the detector's level: painted at the pace of the live readings.)
    if (after != before) PaintPace::Instance().Later(this, QRegion(before) | QRegion(after));
}

QStyleOptionSlider TrackBar::sliderOption() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks) option.subControls |= QStyle::SC_SliderTickmarks;
    return option;
}

const TrackBar::Geometry& TrackBar::geometryNow() const {
    Geometry now;
    now.size = size();
    now.position = sliderPosition();
    now.minimum = minimum();
    now.maximum = maximum();
    now.vertical = orientation() == Qt::Vertical;
    // As QSlider tells the style: a vertical slider has its minimum at the bottom unless inverted.
    now.upsideDown = orientation() == Qt::Horizontal ? invertedAppearance() != (layoutDirection() == Qt::RightToLeft)
                                                     : !invertedAppearance();
    now.style = style();
    if (!now.sameSlider(geometry_) || geometry_.groove.isNull()) {
        const QStyleOptionSlider option = sliderOption();
        now.groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        now.handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        geometry_ = now;
    }
    return geometry_;
}

// The selection beside the groove, empty when there is none to show.
QRect TrackBar::selectionRect() const {
    const int lo = std::max(minimum(), std::min(selStart_, selEnd_));
    const int hi = std::min(maximum(), std::max(selStart_, selEnd_));
    if (hi <= lo) return {};
    const Geometry& g = geometryNow();
    if (orientation() == Qt::Vertical) {
        const int span = g.groove.height() - g.handle.height();
        const int top = g.groove.top() + g.handle.height() / 2;
        const int y1 = top + QStyle::sliderPositionFromValue(minimum(), maximum(), lo, span, g.upsideDown);
        const int y2 = top + QStyle::sliderPositionFromValue(minimum(), maximum(), hi, span, g.upsideDown);
        return QRect(g.groove.center().x() - 1, std::min(y1, y2), 3, std::abs(y2 - y1));
    }
    const int span = g.groove.width() - g.handle.width();
    const int left = g.groove.left() + g.handle.width() / 2;
    const int x1 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), lo, span, g.upsideDown);
    const int x2 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), hi, span, g.upsideDown);
    return QRect(std::min(x1, x2), g.groove.center().y() - 1, std::abs(x2 - x1), 3);
}

void TrackBar::paintEvent(QPaintEvent* event) {
    const QStyleOptionSlider option = sliderOption();
    const BodyKey key{PictureKeyOf(this), option.state,   option.activeSubControls, option.sliderPosition,
                      option.minimum,     option.maximum, option.tickInterval,      option.upsideDown};
    if (body_.isNull() || !(key == bodyKey_)) {
        bodyKey_ = key;
        body_ = PaintBeneath(this);
        // Fusion draws the tick marks darker the first time it draws a groove of a size and state (while
        // it fills its own picture cache): drawn once aside first, they look as on every later paint.
        QPixmap aside = body_;
        for (QPixmap* picture : {&aside, &body_}) {
            QPainter bp(picture);
            PaintLikeWidget(bp, this);
            style()->drawComplexControl(QStyle::CC_Slider, &option, &bp, this);
            if (hasFocus()) PaintFocusFrame(bp, this);
        }
    }
    QPainter p(this);
    const qreal ratio = body_.devicePixelRatio();
    for (const QRect& r : event->region()) {
        const QRectF source(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
        p.drawPixmap(QRectF(r), body_, source);
    }
    const QRect selection = selectionRect();
    if (selection.isEmpty()) return;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 120, 215));
    p.drawRect(selection);
}

bool TrackBar::event(QEvent* event) {
    const bool done = QSlider::event(event);
    KeepOpaque(this, event);
    return done;
}

} // namespace widgets

#include "moc_TrackBar.cpp"
