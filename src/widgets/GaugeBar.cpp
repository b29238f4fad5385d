#include "widgets/GaugeBar.h"

#include "widgets/WheelNeedsFocus.h"

#include <QPainter>

namespace widgets {

GaugeBar::GaugeBar(Qt::Orientation orientation, int min, int max, int position, QWidget* parent)
    : QScrollBar(orientation, parent) {
    setRange(min, max);
    setSingleStep(1);
    setPageStep(1);
    setValue(position);
    WheelNeedsFocus::Install(this); // Tab or a click gives it the focus; the arrow keys move it
}

void GaugeBar::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (hasFocus()) PaintFocusFrame(this);
}

void PaintFocusFrame(QWidget* control) {
    QPainter p(control);
    PaintFocusFrame(p, control);
}

void PaintFocusFrame(QPainter& painter, const QWidget* control) {
    painter.setPen(QPen(control->palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(control->rect().adjusted(1, 1, -1, -1));
}

} // namespace widgets

#include "moc_GaugeBar.cpp"
