#include "widgets/ClickThroughGuard.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace widgets {

ClickThroughGuard::ClickThroughGuard(QWidget* area) : QObject(area), area_(area) {
    active_ = area->window()->isActiveWindow();
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        focusBefore_ = old;
        focusNow_ = now;
    });
}

bool ClickThroughGuard::Settled() const {
    return active_ && Clock::now() - activeSince_ >= std::chrono::milliseconds(SettleMs);
}

bool ClickThroughGuard::guards(QObject* watched) const {
    if (!area_ || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    return widget == area_ || area_->isAncestorOf(widget);
}

bool ClickThroughGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (area_ && watched == area_->window() && !active_) {
            active_ = true;
            activeSince_ = Clock::now();
        }
        break;
    case QEvent::WindowDeactivate:
        if (area_ && watched == area_->window()) active_ = false;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        if (!guards(watched)) break;
        QWidget* window = area_->window();
        if (active_ && window->isActiveWindow() && Settled()) break;
        swallowed_ |= static_cast<QMouseEvent*>(event)->button();
        if (QWidget* focus = QApplication::focusWidget(); focus && focus == focusNow_ && guards(focus)) {
            if (focusBefore_ && focusBefore_->window() == window) focusBefore_->setFocus(Qt::OtherFocusReason);
            else focus->clearFocus();
        }
        window->activateWindow();
        return true;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
        if (!swallowed_ || !guards(watched)) break;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonRelease) swallowed_ &= ~mouse->button();
        return true;
    }
    default: break;
    }
    return false;
}

} // namespace widgets

#include "moc_ClickThroughGuard.cpp"
