// A progress bar for live levels: a value outside the range shows as a full or an empty bar.
#pragma once

#include <QProgressBar>

class LevelBar : public QProgressBar {
    Q_OBJECT
  public:
    LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent = nullptr);
    // Clamps into the range (plain setValue would ignore an out-of-range value); shown with the
    // window's next paint.
    void setPosition(int value);
    int position() const { return value(); }
};
