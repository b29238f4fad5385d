#include "widgets/LevelBar.h"

#include <algorithm>

LevelBar::LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent) : QProgressBar(parent) {
    setOrientation(orientation);
    setRange(min, max);
    setValue(min);
    setTextVisible(false);
}

void LevelBar::setPosition(int value) {
    value = std::clamp(value, minimum(), maximum());
    if (value == this->value()) return;
    // QProgressBar repaints at once on a visible change; a live bar is shown with the window's next
    // paint instead, so that a status reply never waits for the bars to be drawn.
    setUpdatesEnabled(false);
    setValue(value);
    setUpdatesEnabled(true);
}
