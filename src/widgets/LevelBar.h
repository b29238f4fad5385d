// A bar for live levels, drawn as the style draws a progress bar: a value outside the range shows as a
// full or an empty bar.
#pragma once

#include "widgets/Backdrop.h"

#include <QWidget>

class QStyleOptionProgressBar;

namespace widgets {

// A plain widget rather than a QProgressBar, which formats its text and asks the style where its groove
// lies at every new value. Screen readers see it as a progress bar all the same, with its value and range.
class LevelBar : public QWidget {
    Q_OBJECT
  public:
    LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent = nullptr);
    // Clamps into the range; shown at the pace of the live readings (PaintPace), which paints only the
    // strip whose fill changed.
    void setPosition(int value);
    int position() const { return value_; }
    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    Qt::Orientation orientation() const { return orientation_; }

    // As the style sizes a progress bar without text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    bool event(QEvent* event) override;
    // Opaque, from pictures the style drew once for the size: the empty bar, the full one, and a bar
    // filled to its far end but not complete, whose share for the value is copied over the empty one.
    // (Only the end of a partly filled bar is square where the style would round it.)
    void paintEvent(QPaintEvent* event) override;

  private:
    void initStyleOption(QStyleOptionProgressBar* option) const;
    // The empty bar, at once; the filled ones when a value first needs them (a bar at its minimum, as
    // every reading before a detector answers, shows the empty one alone).
    void drawPictures();
    void drawFilledPictures();
    QPixmap drawn(int progress) const; // over what lies beneath, filled to progress (of 2^20)
    // Whether the bar fills from its bottom or right end rather than its top or left one.
    bool fillsFromFarEnd() const;
    // Device pixels along the bar, from the end it fills from, that the value fills.
    int filledLength(int value) const;
    // The part of the bar, in device pixels, that value fills (from) or leaves empty (not from).
    QRect part(int value, bool filled) const;
    // What changes on the screen from one value to another.
    QRect changedArea(int from, int to) const;

    Qt::Orientation orientation_;
    int minimum_, maximum_, value_;
    PictureKey key_;
    QPixmap empty_, filled_, full_;
    QPixmap beneath_; // kept until the filled pictures are drawn over it
    int length_ = 0;   // the bar's length in device pixels
    int overhang_ = 0; // what the style fills beyond the plain share of the length, in device pixels
};

} // namespace widgets
