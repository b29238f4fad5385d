// A slider with a selection range drawn beside its groove, like the detector's threshold track bars.
#pragma once

#include <QSlider>

class TrackBar : public QSlider {
    Q_OBJECT
  public:
    // A vertical track bar has its minimum at the top.
    explicit TrackBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    void setSelStart(int v);
    void setSelEnd(int v);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int selStart_ = 0;
    int selEnd_ = 0;
};
