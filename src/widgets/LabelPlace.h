// A place in a layout for a label whose text changes with every reply. The label fills the place at a
// fixed size, so that a new text asks no layout for room: each would otherwise lay out the boxes
// around it and the window again, though the place keeps its size.
#pragma once

#include <QFrame>

class QLabel;

namespace widgets {

class LabelPlace : public QFrame {
    Q_OBJECT
  public:
    // An empty place; margins are kept between its frame and the label.
    explicit LabelPlace(QWidget* parent = nullptr, const QMargins& margins = QMargins());
    // A place that takes the label in, with the sizes the label asks for.
    explicit LabelPlace(QLabel* label, QWidget* parent = nullptr);

    // Moves the label into the place, which asks the layout for the room the label asks for now.
    void place(QLabel* label);
    QLabel* label() const { return label_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QSize around(QSize labelSize) const;

    QLabel* label_ = nullptr;
    QMargins margins_;
    // What the label asked for before the place fixed its size (a label of a fixed size asks for it).
    QSize labelHint_, labelMinimumHint_;
};

} // namespace widgets
