// A one-panel status bar at the foot of a group box that hosts a value label.
#pragma once

#include "widgets/LabelPlace.h"

namespace widgets {

class SmallStatusBar : public LabelPlace {
    Q_OBJECT
  public:
    explicit SmallStatusBar(QWidget* parent = nullptr);
    // Moves the label into the panel, with the text "0000".
    void hostLabel(QLabel* label);
};

} // namespace widgets
