#include "commission/BarRoom.h"

#include <QScreen>
#include <QToolBar>
#include <QVariant>
#include <QWidget>

namespace {
const char* const GrownBy = "ostrevoGrownBy";
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
        if (grows) window.resize(window.width(), window.height() + grow);
        bar->setProperty(GrownBy, grows ? grow : 0);
        return;
    }
    bar->hide();
    const int grown = bar->property(GrownBy).toInt();
    bar->setProperty(GrownBy, 0);
    if (free && grown > 0) window.resize(window.width(), std::max(window.minimumHeight(), window.height() - grown));
}
