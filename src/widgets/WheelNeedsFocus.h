// Keeps the mouse wheel from changing a setting by accident: a control that carries this filter
// takes the wheel only while it has the keyboard focus; otherwise the wheel goes on to the box
// around it, which scrolls.
#pragma once

#include <QObject>

class QWidget;

namespace widgets {

class WheelNeedsFocus : public QObject {
    Q_OBJECT
  public:
    // Installs the filter on the control, which then takes the focus by Tab or a click (never by
    // the wheel itself).
    static void Install(QWidget* control);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using QObject::QObject;
};

} // namespace widgets
