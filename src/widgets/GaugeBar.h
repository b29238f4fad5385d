// A gauge bar: an integer slider with arrow buttons (a scroll bar whose thumb is the value).
#pragma once

#include <QScrollBar>

class QPainter;

namespace widgets {

class GaugeBar : public QScrollBar {
    Q_OBJECT
  public:
    GaugeBar(Qt::Orientation orientation, int min, int max, int position, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A frame in the highlight colour around a control that has the keyboard focus.
void PaintFocusFrame(QWidget* control);
void PaintFocusFrame(QPainter& painter, const QWidget* control);

} // namespace widgets
