#include "widgets/LevelBar.h"

#include <algorithm>

LevelBar::LevelBar(Qt::Orientation orientation, int min, int max, QWidget* parent) : QProgressBar(parent) {
    setOrientation(orientation);
    setRange(min, max);
    setValue(min);
    setTextVisible(false);
}

void LevelBar::setPosition(int value) {
    setValue(std::clamp(value, minimum(), maximum()));
}
