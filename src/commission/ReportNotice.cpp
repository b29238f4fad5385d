#include "commission/ReportNotice.h"

#include "dialogs/DesktopOpen.h"
#include "dialogs/UserDialogs.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>

namespace commission {

ReportNotice::ReportNotice(QWidget& window) : QFrame(&window), window_(window) {
    setObjectName(QStringLiteral("ReportNotice"));
    setFrameShape(QFrame::StyledPanel);
    // In the colours of a tooltip: it stands out from the window it lies over.
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("ReportNoticeText"));
    layout->addWidget(text_, 1);
    open_ = new QPushButton(QStringLiteral("&Open"), this);
    open_->setObjectName(QStringLiteral("ReportNoticeOpen"));
    open_->setToolTip(QStringLiteral("Open the report in the desktop's PDF viewer"));
    folder_ = new QPushButton(QStringLiteral("Show in &Folder"), this);
    folder_->setObjectName(QStringLiteral("ReportNoticeFolder"));
    folder_->setToolTip(QStringLiteral("Open the folder that holds the report"));
    close_ = new QPushButton(QStringLiteral("\u00D7"), this);
    close_->setObjectName(QStringLiteral("ReportNoticeClose"));
    close_->setToolTip(QStringLiteral("Close this notice (the report stays in Messages)"));
    close_->setFlat(true);
    for (QPushButton* b : {open_, folder_, close_}) {
        b->setAutoDefault(false);
        layout->addWidget(b);
    }
    connect(open_, &QPushButton::clicked, this, [this] { open(false); });
    connect(folder_, &QPushButton::clicked, this, [this] { open(true); });
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    hide_.setSingleShot(true);
    hide_.setInterval(ShownMs);
    connect(&hide_, &QTimer::timeout, this, &QWidget::hide);
    window_.installEventFilter(this);
    hide();
}

void ReportNotice::ShowFor(const QString& path) {
    path_ = path;
    const QString name = QFileInfo(path).fileName();
    text_->setText(QStringLiteral("The report was written: %1").arg(name));
    text_->setToolTip(path);
    show();
    raise();
    place();
    hide_.start();
}

void ReportNotice::open(bool folder) {
    const QFileInfo file(path_);
    const QString target = folder ? file.absolutePath() : file.absoluteFilePath();
    if (!dialogs::OpenOnDesktop(QUrl::fromLocalFile(target)))
        dialogs::ShowWarning(&window_, QStringLiteral("Nothing on this desktop could open \"%1\".").arg(target));
}

void ReportNotice::place() {
    if (!isVisible()) return;
    adjustSize();
    const int width = std::min(sizeHint().width(), window_.width() - 16);
    resize(width, sizeHint().height());
    // Over the window's foot, right above its status bar.
    int bottom = window_.height() - 4;
    for (const QStatusBar* bar : window_.findChildren<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
        if (bar->isVisible()) bottom = bar->geometry().top() - 4;
    move(window_.width() - width - 8, bottom - height());
}

bool ReportNotice::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) place();
    return QFrame::eventFilter(watched, event);
}

} // namespace commission

#include "moc_ReportNotice.cpp"
