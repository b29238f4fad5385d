#include "widgets/Lamp.h"

#include "widgets/PaintPace.h"

#include <QPainter>

namespace widgets {

Lamp::Lamp(Shape shape, QColor colour, QWidget* parent) : QWidget(parent), shape_(shape), colour_(colour) {}

void Lamp::setBrushColor(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    update();
    // The live readings gathered meanwhile go to the screen with it.
    PaintPace::Instance().Now();
}

void Lamp::setBrushColorNow(const QColor& colour) {
    setBrushColor(colour);
}

QSize Lamp::sizeHint() const {
    return shape_ == Circle ? QSize(16, 16) : QSize(40, 8);
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(colour_);
    if (shape_ == Circle) {
        p.setRenderHint(QPainter::Antialiasing);
        const int d = std::min(width(), height()) - 1;
        p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
    } else {
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace widgets

#include "moc_Lamp.cpp"
