#include "widgets/WheelNeedsFocus.h"

#include <QEvent>
#include <QWidget>

namespace widgets {

void WheelNeedsFocus::Install(QWidget* control) {
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new WheelNeedsFocus(control));
}

bool WheelNeedsFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus()) return false;
    // Not taken here: an ignored wheel event goes on to the parent widgets.
    event->ignore();
    return true;
}

} // namespace widgets

#include "moc_WheelNeedsFocus.cpp"
