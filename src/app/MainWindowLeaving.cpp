// Leaving: Exit and the close button, the question about changes not stored in the flash, the fade out.
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

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window runs Exit instead, so the close button and the Exit action behave alike.
    event->ignore();
    exitProgram();
}

void MainWindow::fadeStep() {
    SetWindowAlpha(fadeAlpha_);
    // 51 steps of 5, one a millisecond by the clock: where a step takes longer (each is a round trip to
    // the window system), the next one is the step due by then. At least one step a tick, and the last
    // one (250, or 5 on the way out) is always shown.
    const int done = fadeIn_ ? fadeAlpha_ / 5 : (255 - fadeAlpha_) / 5;
    int next = static_cast<int>(std::clamp<qint64>(fadeClock_.elapsed(), done + 1, 51));
    if (done < 50) next = std::min(next, 50);
    fadeAlpha_ = fadeIn_ ? 5 * next : 255 - 5 * next;
    if (fadeIn_ && fadeAlpha_ >= 255) {
        fadeTimer_->stop();
    } else if (!fadeIn_ && fadeAlpha_ <= 0) {
        fadeTimer_->stop();
        endProcess_(0);
    }
}

void MainWindow::exitProgram() {
    if (!exiting_ && !configFiles_->mayLeaveFile(QStringLiteral("Save them before leaving?"))) return;
    if (!exiting_ && !confirmLeaving([this] { exitProgram(); })) return;
    if (!exiting_) keepGeometry();
    exiting_ = true;
    link_->Exit();
    pollTimer_->stop();
    fadeIn_ = false;
    fadeAlpha_ = 255;
    if (portDialog_ && portDialog_->isVisible()) portDialog_->hide();
    fadeClock_.start();
    fadeTimer_->start();
}

} // namespace app
