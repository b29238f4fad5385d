#include "widgets/TrackBar.h"

#include "widgets/GaugeBar.h"
#include "widgets/WheelNeedsFocus.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>

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
    const QRect before = selectionRect(sliderOption());
    selStart_ = v;
    selectionChanged(before);
}

void TrackBar::setSelEnd(int v) {
    if (v == selEnd_) return;
    const QRect before = selectionRect(sliderOption());
    selEnd_ = v;
    selectionChanged(before);
}

void TrackBar::selectionChanged(const QRect& before) {
    const QRect after = selectionRect(sliderOption());
    if (after != before) update(QRegion(before) | QRegion(after));
}

QStyleOptionSlider TrackBar::sliderOption() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks) option.subControls |= QStyle::SC_SliderTickmarks;
    return option;
}

// The selection beside the groove, empty when there is none to show.
QRect TrackBar::selectionRect(const QStyleOptionSlider& option) const {
    const int lo = std::max(minimum(), std::min(selStart_, selEnd_));
    const int hi = std::min(maximum(), std::max(selStart_, selEnd_));
    if (hi <= lo) return {};
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (orientation() == Qt::Vertical) {
        const int span = groove.height() - handle.height();
        const int top = groove.top() + handle.height() / 2;
        const int y1 = top + QStyle::sliderPositionFromValue(minimum(), maximum(), lo, span, option.upsideDown);
        const int y2 = top + QStyle::sliderPositionFromValue(minimum(), maximum(), hi, span, option.upsideDown);
        return QRect(groove.center().x() - 1, std::min(y1, y2), 3, std::abs(y2 - y1));
    }
    const int span = groove.width() - handle.width();
    const int left = groove.left() + handle.width() / 2;
    const int x1 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), lo, span, option.upsideDown);
    const int x2 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), hi, span, option.upsideDown);
    return QRect(std::min(x1, x2), groove.center().y() - 1, std::abs(x2 - x1), 3);
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
    const QRect selection = selectionRect(option);
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
