#include "widgets/GaugeBar.h"

GaugeBar::GaugeBar(Qt::Orientation orientation, int min, int max, int position, QWidget* parent)
    : QScrollBar(orientation, parent) {
    setRange(min, max);
    setSingleStep(1);
    setPageStep(1);
    setValue(position);
    setFocusPolicy(Qt::StrongFocus); // Tab reaches it, the arrow keys move it
}
