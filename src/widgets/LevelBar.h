// A progress bar for live levels: a value outside the range shows as a full or an empty bar.
#pragma once

#include "widgets/Backdrop.h"

#include <QProgressBar>

class LevelBar : public QProgressBar {
    Q_OBJECT
  public:
    LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent = nullptr);
    // Clamps into the range (plain setValue would ignore an out-of-range value); shown with the
    // window's next paint, which paints only the strip whose fill changed.
    void setPosition(int value);
    int position() const { return value(); }

  protected:
    bool event(QEvent* event) override;
    // Opaque, from pictures the style drew once for the size: the empty bar, the full one, and a bar
    // filled to its far end but not complete, whose share for the value is copied over the empty one.
    // (Only the end of a partly filled bar is square where the style would round it.)
    void paintEvent(QPaintEvent* event) override;

  private:
    void drawPictures();
    // Whether the bar fills from its bottom or right end rather than its top or left one.
    bool fillsFromFarEnd() const;
    // Device pixels along the bar, from the end it fills from, that the value fills.
    int filledLength(int value) const;
    // The part of the bar, in device pixels, that value fills (from) or leaves empty (not from).
    QRect part(int value, bool filled) const;
    // What changes on the screen from one value to another.
    QRect changedArea(int from, int to) const;

    PictureKey key_;
    QPixmap empty_, filled_, full_;
    int length_ = 0;   // the bar's length in device pixels
    int overhang_ = 0; // what the style fills beyond the plain share of the length, in device pixels
};
