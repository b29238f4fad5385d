#include "widgets/ClickThroughGuard.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>

namespace widgets {

ClickThroughGuard::ClickThroughGuard(const QList<QWidget*>& areas)
    : QObject(areas.value(0)), window_(areas.value(0) ? areas.value(0)->window() : nullptr) {
    for (QWidget* area : areas) areas_ << area;
    active_ = window_ && window_->isActiveWindow();
    qApp->installEventFilter(this);
}

int ClickThroughGuard::SettleTimeMs() {
    // At least a double click's time: the second press of one would otherwise count as the user's own.
    return std::max(MinimumSettleMs, QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

bool ClickThroughGuard::Settled() const {
    return active_ && Clock::now() - activeSince_ >= std::chrono::milliseconds(SettleTimeMs());
}

bool ClickThroughGuard::guards(QObject* watched) const {
    if (!window_ || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    for (const QPointer<QWidget>& area : areas_)
        if (area && (widget == area || area->isAncestorOf(widget))) return true;
    return false;
}

bool ClickThroughGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (window_ && watched == window_ && !active_) {
            active_ = true;
            activeSince_ = Clock::now();
        }
        break;
    case QEvent::WindowDeactivate:
        if (window_ && watched == window_) {
            active_ = false;
            focusBefore_ = window_->focusWidget();
            swallowed_ = Qt::NoButton; // (its release may never come here)
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        if (!guards(watched)) break;
        QWidget* window = window_;
        if (active_ && window->isActiveWindow() && Settled()) {
            swallowed_ = Qt::NoButton; // a press let through: whatever was held back is over
            break;
        }
        swallowed_ |= static_cast<QMouseEvent*>(event)->button();
        // Qt has given the pressed control the focus already (the window's focus, when it is not active yet):
        // it goes back where it was, so that the wheel does not move it either.
        if (QWidget* focus = window->focusWidget(); focus && focus != focusBefore_ && guards(focus))
            (focusBefore_ && focusBefore_->window() == window ? focusBefore_.data() : window)
                ->setFocus(Qt::OtherFocusReason);
        window->activateWindow();
        return true;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
        if (!swallowed_ || !guards(watched)) break;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonRelease) swallowed_ &= ~mouse->button();
        swallowed_ &= QGuiApplication::mouseButtons(); // a release that went elsewhere ended it too
        return true;
    }
    default: break;
    }
    return false;
}

} // namespace widgets

#include "moc_ClickThroughGuard.cpp"
