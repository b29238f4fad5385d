// Where the main window and the graph show: on the screen, remembered between runs, the graph inside or beside.
#include "app/MainWindow.h"

#include "app/About.h"
#include "app/MessageHistory.h"
#include "commission/Commissioning.h"
#include "config/ConfigFile.h"
#include "config/FileMode.h"
#include "config/ParameterSender.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphPlace.h"
#include "graph/GraphWindow.h"
#include "monitor/EventLog.h"
#include "monitor/LiveMarks.h"
#include "monitor/Siren.h"
#include "remembered/Remembered.h"
#include "seriallink/PortDialog.h"
#include "widgets/Artwork.h"
#include "widgets/ColumnFlowLayout.h"
#include "widgets/LevelBar.h"
#include "widgets/NoticeLabel.h"
#include "widgets/PlainText.h"
#include "widgets/SmallStatusBar.h"
#include "widgets/StringGrid.h"
#include "widgets/WindowPlatform.h"

#include <malloc.h>

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace app {

namespace {

// The off-screen platforms have no real screen, only a made-up size: nothing is placed by it there.
bool realScreen() {
    static const bool real =
        !QStringList{QStringLiteral("offscreen"), QStringLiteral("minimal")}.contains(QGuiApplication::platformName());
    return real;
}

} // namespace

QRect PlaceOnScreen(const QRect& area, const QSize& wanted, const QSize& least, const QSize& frame) {
    const QSize room = area.size() - frame;
    const QSize size = wanted.expandedTo(least).boundedTo(room);
    const QSize whole = size + frame;
    // Centred; where it is as large as the screen, its title bar and menu stay on it.
    const int x = area.left() + std::max(0, (area.width() - whole.width()) / 2);
    const int y = area.top() + std::max(0, (area.height() - whole.height()) / 2);
    return QRect(QPoint(x, y) + QPoint(frame.width() / 2, frame.height() - frame.width() / 2), size);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return; // restored from the task bar, not shown by the program
    QScreen* screen = this->screen();
    if (screen && realScreen()) {
        QSize frame = frameGeometry().size() - size();
        if (frame.width() <= 0 && frame.height() <= 0) frame = QSize(8, 32); // not decorated yet: a guess
        const QRect area = screen->availableGeometry();
        const QRect place =
            PlaceOnScreen(area, geometryRestored_ ? size() : firstSize(area.size() - frame), minimumSize(), frame);
        setMinimumSize(minimumSize().boundedTo(place.size()));
        // Where the user left it last (Qt keeps it on a screen), else centred; a second copy of the
        // program opens a little lower and to the right, not exactly over the first.
        QRect at = geometryRestored_ ? geometry() : place;
        if (instance_ > 0 && !isMaximized()) {
            const QPoint step = QPoint(32, 32) * (instance_ % 8);
            at.moveTopLeft(QPoint(std::min(at.left() + step.x(), area.right() - frame.width() / 2 - at.width()),
                                  std::min(at.top() + step.y(), area.bottom() - frame.width() / 2 - at.height())));
        }
        if (!isMaximized()) setGeometry(at);
    } else if (screen) {
        move(screen->availableGeometry().center() - rect().center());
    }
    startShowing();
    // A first start: the port panel says where to choose the port until one is chosen (a notice could
    // be replaced by the next at once).
    showPort();
    if (portDialog_ && PortName().isEmpty()) messages_->add(ChoosePortHint);
}

// The design's size, or where the screen has room, a larger one that shows the whole SETUP box: wide
// enough for its groups in two (or three) columns side by side, and tall enough for them.
QSize MainWindow::firstSize(const QSize& room) {
    auto* setup = findChild<QScrollArea*>(QStringLiteral("ScrollBox_Setup"));
    auto* flow =
        setup && setup->widget() ? dynamic_cast<widgets::ColumnFlowLayout*>(setup->widget()->layout()) : nullptr;
    if (!flow) return size();
    layout()->activate();
    const QSize shown = setup->viewport()->size();
    // The four group boxes of the VIEW tab share extra width about equally.
    constexpr int SharingBoxes = 4;
    for (int columns = 1; columns <= 3; ++columns) {
        const int width = std::max(shown.width(), flow->widthFor(columns));
        const QSize wanted = size() + QSize(SharingBoxes * (width - shown.width()),
                                            std::max(0, flow->heightForWidth(width) - shown.height()));
        if (wanted.width() <= room.width() && wanted.height() <= room.height()) return wanted;
    }
    return size();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // Grown (a bar of the walk test, say) under the graph window: the graph goes where it covers nothing.
    if (graphics_ && graphics_->isWindow() && graphics_->isVisible() && !placingGraph_)
        QTimer::singleShot(0, this, [this] {
            if (!graphics_->isWindow() || !graphics_->isVisible() ||
                !graphics_->frameGeometry().intersects(frameGeometry()))
                return;
            placingGraph_ = true;
            placeGraph(false);
            graphics_->show();
            placingGraph_ = false;
        });
}

void MainWindow::showGraph() {
    if (!graphics_) return;
    placeGraph();
    graphics_->show();
    if (graphics_->isWindow()) {
        graphics_->raise();
        graphics_->activateWindow();
    }
    graphics_->screenLayer()->setFocus();
}

bool MainWindow::GraphInside() const {
    return graphics_ && !graphics_->isWindow();
}

void MainWindow::placeGraph(bool keepOpenWindow) {
    bool noRoom = false;
    const bool floatingNow = graphics_->isWindow() && graphics_->isVisible();
    // A graph window already open stays where the user has it.
    if (!graphInsideChosen_ && !(floatingNow && keepOpenWindow) && realScreen() && widgets::PlatformPlacesWindows() &&
        screen()) {
        if (isMaximized() || isFullScreen()) {
            noRoom = true;
        } else {
            // The graph's frame as the window manager draws it; before it was first shown, like the main
            // window's (the graph's title bar is no taller).
            const QSize decoration = frameGeometry().size() - size();
            const QSize graphFrame = graphics_->size() + (graphics_->testAttribute(Qt::WA_WState_Created)
                                                              ? graphics_->frameGeometry().size() - graphics_->size()
                                                              : decoration);
            const auto last = graphics_->LastPlace();
            // Where the user left it is kept on whichever screen it lies (a second monitor, say).
            QRect area = screen()->availableGeometry();
            if (last)
                for (const QScreen* other : QGuiApplication::screens())
                    if (other->availableGeometry().contains(QRect(*last, graphFrame)))
                        area = other->availableGeometry();
            graph::GraphPlace place =
                graph::PlaceGraph(area, frameGeometry(), graphFrame, last ? QRect(*last, graphFrame) : QRect());
            if (place.where != graph::GraphPlace::Where::Kept && area != screen()->availableGeometry())
                place = graph::PlaceGraph(screen()->availableGeometry(), frameGeometry(), graphFrame);
            noRoom = place.where == graph::GraphPlace::Where::InMainWindow;
            if (!noRoom) {
                if (place.main.topLeft() != frameGeometry().topLeft()) move(place.main.topLeft());
                undockGraph();
                graphics_->move(place.graph.topLeft());
                // A window manager may still place a new window by rules of its own, or the frames turn out
                // other than guessed: once both are on the screen, a graph over this window is moved again.
                if (keepOpenWindow)
                    QTimer::singleShot(400, this, [this] {
                        if (graphics_->isWindow() && graphics_->isVisible() &&
                            graphics_->frameGeometry().intersects(frameGeometry())) {
                            placeGraph(false);
                            graphics_->show();
                        }
                    });
            }
        }
    }
    if (graphInsideChosen_ || noRoom) dockGraph();
    else undockGraph();
    graphInsideForRoom_ = noRoom;
    graphInsideAction_->setChecked(GraphInside());
}

void MainWindow::dockGraph() {
    if (graphics_->isWindow()) {
        graphics_->setParent(graphHost_, Qt::Widget);
        graphHost_->layout()->addWidget(graphics_);
        graphHost_->layout()->setAlignment(graphics_, Qt::AlignHCenter);
    }
}

void MainWindow::undockGraph() {
    if (graphics_->isWindow()) return;
    graphHost_->layout()->removeWidget(graphics_);
    graphics_->setParent(nullptr, graphFlags_); // a window of its own again
    fitDockedGraph(false);
}

// The window grows by the graph's height while it shows inside (as far as the screen lets it), so that
// the tabs keep theirs, and gives that height back when it goes.
void MainWindow::fitDockedGraph(bool shown) {
    graphHost_->setVisible(shown);
    if (isMaximized() || isFullScreen()) return;
    if (shown && grownBy_ == 0) {
        int room = graphics_->height() + centralWidget()->layout()->spacing();
        const bool onScreen = screen() && realScreen();
        const QRect area = onScreen ? screen()->availableGeometry() : QRect();
        if (onScreen) room = std::min(room, area.height() - frameGeometry().height());
        if (room <= 0) return;
        grownBy_ = room;
        resize(width(), height() + room);
        // Grown past the screen's foot, the window moves up so that its status bar stays in sight.
        if (onScreen) {
            const int past = frameGeometry().top() + frameGeometry().height() + room - (area.bottom() + 1);
            movedUpBy_ = std::clamp(past, 0, std::max(0, frameGeometry().top() - area.top()));
            if (movedUpBy_ > 0) move(x(), y() - movedUpBy_);
        }
    } else if (!shown && grownBy_ > 0) {
        const int by = grownBy_;
        grownBy_ = 0;
        resize(width(), std::max(minimumHeight(), height() - by));
        if (movedUpBy_ > 0) move(x(), y() + std::exchange(movedUpBy_, 0));
    }
}

void MainWindow::graphInsideChosen(bool inside) {
    graphInsideChosen_ = inside;
    if (remember_) {
        QSettings settings;
        settings.setValue(QStringLiteral("graph/inMainWindow"), inside);
        remembered::Sync(settings);
    }
    if (!graphics_) return;
    const bool shown = graphics_->isVisible();
    graphInsideForRoom_ = false;
    if (inside) {
        dockGraph();
        if (shown) showGraph();
    } else if (!shown) {
        undockGraph();
    } else {
        graphics_->hide();
        undockGraph();
        showGraph();
        if (GraphInside())
            ShowNotice(QStringLiteral("The screen has no room for the graph beside the main window: it stays in the "
                                      "main window."));
    }
    graphInsideAction_->setChecked(GraphInside());
}

void MainWindow::rememberBetweenRuns(int instance) {
    remember_ = instance == 0; // the first copy keeps what it had; later ones only read
    instance_ = instance;
    const QSettings settings;
    graphInsideChosen_ = settings.value(QStringLiteral("graph/inMainWindow"), false).toBool();
    graphInsideAction_->setChecked(graphInsideChosen_);
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    geometryRestored_ = !geometry.isEmpty() && restoreGeometry(geometry);
}

void MainWindow::keepGeometry() {
    if (!remember_) return;
    // Without the height the graph inside took on: it opens again only when asked for.
    if (grownBy_ > 0 && !isMaximized() && !isFullScreen()) {
        resize(width(), height() - grownBy_);
        grownBy_ = 0;
    }
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    remembered::Sync(settings);
    remember_ = false; // once
}

} // namespace app
