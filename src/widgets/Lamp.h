// A coloured lamp: a rectangle or a circle filled with one colour.
#pragma once

#include <QColor>
#include <QWidget>

namespace widgets {

class Lamp : public QWidget {
    Q_OBJECT
  public:
    enum Shape { Rectangle, Circle };
    explicit Lamp(Shape shape, QColor colour, QWidget* parent = nullptr);

    QColor brushColor() const { return colour_; }
    // Shown with the window's next paint, and with it the live readings that wait for their pace
    // (PaintPace).
    void setBrushColor(const QColor& colour);
    // An alarm or fault lamp that must be seen at once: shown with the window's next paint, which
    // comes in the pause right after the reply that set it, before the next request goes out. (A
    // paint inside the poll tick would paint and flush the whole window while the detector waits.)
    void setBrushColorNow(const QColor& colour);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Shape shape_;
    QColor colour_;
};

} // namespace widgets
