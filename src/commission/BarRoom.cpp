#include "commission/BarRoom.h"

#include <QScreen>
#include <QToolBar>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace commission {

namespace {
const char* const GrownBy = "ostrevoGrownBy";
const char* const MovedUpBy = "ostrevoMovedUpBy";
} // namespace

void ShowBarWithRoom(QWidget& window, QToolBar* bar, bool show) {
    if (show == !bar->isHidden()) return;
    const bool free = !(window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    if (show) {
        bar->show();
        const int grow = bar->sizeHint().height();
        QScreen* screen = window.screen();
        const bool room = screen && window.frameGeometry().height() + grow <= screen->availableGeometry().height();
        const bool grows = free && window.isVisible() && room;
        int movedUp = 0;
        if (grows) {
            window.resize(window.width(), window.height() + grow);
            // Grown past the screen's foot, the window moves up so that its status bar stays in sight.
            const QRect area = screen->availableGeometry();
            const QRect frame = window.frameGeometry();
            movedUp = std::clamp(frame.top() + frame.height() + grow - (area.bottom() + 1), 0,
                                 std::max(0, frame.top() - area.top()));
            if (movedUp > 0) window.move(window.x(), window.y() - movedUp);
        }
        bar->setProperty(GrownBy, grows ? grow : 0);
        bar->setProperty(MovedUpBy, movedUp);
        return;
    }
    bar->hide();
    const int grown = bar->property(GrownBy).toInt();
    const int movedUp = bar->property(MovedUpBy).toInt();
    bar->setProperty(GrownBy, 0);
    bar->setProperty(MovedUpBy, 0);
    if (free && grown > 0) window.resize(window.width(), std::max(window.minimumHeight(), window.height() - grown));
    if (free && movedUp > 0) window.move(window.x(), window.y() + movedUp);
}

} // namespace commission
