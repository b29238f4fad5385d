#include "widgets/TrackBar.h"

#include "widgets/GaugeBar.h"
#include "widgets/WheelNeedsFocus.h"

#include <QPainter>
#include <QStyle>
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
    selStart_ = v;
    update();
}

void TrackBar::setSelEnd(int v) {
    if (v == selEnd_) return;
    selEnd_ = v;
    update();
}

void TrackBar::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (hasFocus()) PaintFocusFrame(this);
    const int lo = std::max(minimum(), std::min(selStart_, selEnd_));
    const int hi = std::min(maximum(), std::max(selStart_, selEnd_));
    if (hi <= lo) return;

    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    QPainter p(this);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 120, 215));
    if (orientation() == Qt::Vertical) {
        const int span = groove.height() - handle.height();
        const int top = groove.top() + handle.height() / 2;
        const int y1 = top + QStyle::sliderPositionFromValue(minimum(), maximum(), lo, span, opt.upsideDown);
        const int y2 = top + QStyle::sliderPositionFromValue(minimum(), maximum(), hi, span, opt.upsideDown);
        p.drawRect(QRect(groove.center().x() - 1, std::min(y1, y2), 3, std::abs(y2 - y1)));
    } else {
        const int span = groove.width() - handle.width();
        const int left = groove.left() + handle.width() / 2;
        const int x1 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), lo, span, opt.upsideDown);
        const int x2 = left + QStyle::sliderPositionFromValue(minimum(), maximum(), hi, span, opt.upsideDown);
        p.drawRect(QRect(std::min(x1, x2), groove.center().y() - 1, std::abs(x2 - x1), 3));
    }
}
