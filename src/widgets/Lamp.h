// A coloured lamp: a rectangle or a circle filled with one colour.
#pragma once

#include <QColor>
#include <QWidget>

class Lamp : public QWidget {
    Q_OBJECT
  public:
    enum Shape { Rectangle, Circle };
    explicit Lamp(Shape shape, QColor colour, QWidget* parent = nullptr);

    QColor brushColor() const { return colour_; }
    void setBrushColor(const QColor& colour);
    // Sets the colour and paints at once, not with the window's next paint.
    void setBrushColorNow(const QColor& colour);

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Shape shape_;
    QColor colour_;
};
