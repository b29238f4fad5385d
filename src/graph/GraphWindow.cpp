#include "graph/GraphWindow.h"

#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "files/RegularFile.h"
#include "remembered/Remembered.h"
#include "widgets/PaintPace.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QSaveFile>
#include <QSettings>
#include <QShortcut>
#include <QShowEvent>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace graph {

namespace {
constexpr int GraphClientWidth = 992;
constexpr int GraphClientHeight = 294;
// The images sit at (2, 15) in the group box and leave 2 pixels on the right and at the bottom.
const QPoint ImageOrigin(2, 15);
} // namespace

ImageLayer::ImageLayer(const QImage* image, QWidget* parent) : QWidget(parent), image_(image) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ImageLayer::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    for (const QRect& r : event->region()) p.drawImage(r, *image_, r);
}

GraphWindow::GraphWindow(QWidget* mainWindow) : QWidget(nullptr, Qt::Tool), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Graphics"));
    setWindowTitle(QStringLiteral("View"));
    // Height fixed, width up to the design's 1000 pixels of window (992 of client area).
    setFixedHeight(GraphClientHeight);
    setMinimumWidth(100);
    setMaximumWidth(GraphClientWidth);
    resize(GraphClientWidth, GraphClientHeight);

    frameBox_ = new QGroupBox(this);
    frameBox_->setObjectName(QStringLiteral("GroupBox1"));
    backgroundLayer_ = new ImageLayer(&background_, frameBox_);
    backgroundLayer_->setObjectName(QStringLiteral("Image2"));
    alarmLayer_ = new ImageLayer(&alarm_, frameBox_);
    alarmLayer_->setObjectName(QStringLiteral("ImageAlarm"));
    screenLayer_ = new ImageLayer(&screen_, frameBox_);
    // The screen image covers the layers below it whole, so a new frame paints only itself.
    screenLayer_->setAttribute(Qt::WA_OpaquePaintEvent, true);
    screenLayer_->setObjectName(QStringLiteral("imgScreen"));

    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("PopupMenu1"));
    clearAction_ = contextMenu_->addAction(QStringLiteral("Clear"));
    clearAction_->setObjectName(QStringLiteral("Clear1"));
    directConvertAction_ = contextMenu_->addAction(QStringLiteral("Direct Convert"));
    directConvertAction_->setObjectName(QStringLiteral("DirectConvert1"));
    directConvertAction_->setCheckable(true);
    freezeAction_ = contextMenu_->addAction(QStringLiteral("Freeze"));
    freezeAction_->setObjectName(QStringLiteral("Freeze1"));
    freezeAction_->setCheckable(true);
    frozenBadge_ = new QLabel(QStringLiteral("FROZEN"), frameBox_);
    frozenBadge_->setObjectName(QStringLiteral("FrozenBadge"));
    frozenBadge_->setToolTip(QStringLiteral("The picture stays as it is while the replies go on behind it: untick "
                                            "Freeze in the graph's menu to see them"));
    frozenBadge_->setAlignment(Qt::AlignCenter);
    frozenBadge_->setStyleSheet(QStringLiteral("QLabel{background:#c00000;color:white;font-weight:bold;"
                                               "padding:1px 6px;border:1px solid white}"));
    frozenBadge_->hide();
    connect(freezeAction_, &QAction::toggled, this, [this](bool frozen) {
        setWindowTitle(frozen ? QStringLiteral("View (frozen)") : QStringLiteral("View"));
        frozenBadge_->setVisible(frozen);
        placeFrozenBadge();
        if (!frozen) ShowNow(); // what the replies fed meanwhile
    });
    saveImageAction_ = contextMenu_->addAction(QStringLiteral("Save Image..."));
    saveImageAction_->setObjectName(QStringLiteral("SaveImage1"));
    contextMenu_->addSeparator();
    closeAction_ = contextMenu_->addAction(QStringLiteral("Close"));
    closeAction_->setObjectName(QStringLiteral("CloseGraph1"));
    closeAction_->setShortcut(QKeySequence(Qt::Key_Escape));
    closeAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut); // (inside the main window too: only here)
    addAction(closeAction_);
    connect(closeAction_, &QAction::triggered, this, &QWidget::close); // closing only hides it
    connect(saveImageAction_, &QAction::triggered, this, [this] {
        const QString chosen = dialogs::GetFileName(this, dialogs::FileDialogKind::Save, QStringLiteral("Save Image"),
                                                    QStringLiteral("PNG (*.png)"));
        if (chosen.isEmpty()) return;
        const QString path =
            dialogs::ConfirmReplacing(this, chosen, dialogs::WithExtension(chosen, QStringLiteral("png")));
        if (path.isEmpty()) return;
        QString error;
        if (!SaveImage(path, error)) dialogs::ShowWarning(this, error);
    });
    // A checkable item ticks and unticks itself when chosen; the new tick applies at the next reply.
    connect(clearAction_, &QAction::triggered, this, &GraphWindow::clearGraph);
    screenLayer_->setContextMenuPolicy(Qt::CustomContextMenu);
    screenLayer_->setFocusPolicy(Qt::StrongFocus); // so that the menu key and Shift+F10 open the pop-up
    connect(screenLayer_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { contextMenu_->popup(screenLayer_->mapToGlobal(at)); });
    auto* popupKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    popupKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(popupKey, &QShortcut::activated, this,
            [this] { contextMenu_->popup(screenLayer_->mapToGlobal(screenLayer_->rect().center())); });

    build(true);
}

void GraphWindow::rebuildAtNewSize() {
    build(false);
    screenLayer_->update();
    backgroundLayer_->update();
    alarmLayer_->update();
}

QSize GraphWindow::imageSizeFor(const QSize& client) {
    return {std::max(1, client.width() - ImageOrigin.x() - 2), std::max(1, client.height() - ImageOrigin.y() - 2)};
}

void GraphWindow::build(bool atCreation) {
    if (atCreation) state_.show.fill(true);
    frameBox_->setGeometry(rect());
    const QSize imageSize = imageSizeFor(size());
    for (ImageLayer* layer : {backgroundLayer_, alarmLayer_, screenLayer_})
        layer->setGeometry(QRect(ImageOrigin, imageSize));

    // New pictures at the new size: a fresh bitmap is white until the background fill blackens it (the
    // screen is a copy of the background, made below).
    screen_ = QImage(imageSize, QImage::Format_RGB32);
    background_ = QImage(imageSize, QImage::Format_RGB32);
    background_.fill(Qt::white);
    // Covered by the screen image, never seen: one bit a pixel, every one transparent.
    alarm_ = QImage(imageSize, QImage::Format_Mono);
    alarm_.setColorTable({qRgba(0, 0, 0, 0), qRgba(0, 0, 0, 0)});
    alarm_.fill(0);

    // A resize flattens every trace; a sweep position past the new width starts again at 0.
    placeFrozenBadge();
    graph::BuildTraces(state_, screenLayer_->width());
    graph::SetupGraph(screen_, background_);
    drawn_.valid = false; // the screen shows the bare background: the next frame is drawn whole
    changed_ = QRegion();
}

void GraphWindow::placeFrozenBadge() {
    frozenBadge_->adjustSize();
    const QRect picture = screenLayer_->geometry();
    frozenBadge_->move(std::max(picture.left(), picture.right() - frozenBadge_->width() - 4), picture.top() + 4);
    frozenBadge_->raise();
}

bool GraphWindow::SaveImage(const QString& path, QString& error) const {
    if (QString reason; !files::MayReplace(path, reason)) {
        error = QStringLiteral("The image \"%1\" could not be written: %2").arg(path, reason);
        return false;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && screen_.save(&file, "PNG") && file.flush() && file.commit()) return true;
    error = QStringLiteral("The image \"%1\" could not be written: %2").arg(path, file.errorString());
    file.cancelWriting();
    return false;
}

void GraphWindow::clearGraph() {
    graph::ResetTraces(state_);
    graph::ClearMarks(state_);
    screenLayer_->update();
    // A kept replay's picture: no reply comes to show the cleared traces.
    if (std::exchange(keptPicture_, false)) ShowNow();
}

bool GraphWindow::Frozen() const {
    return freezeAction_->isChecked();
}

void GraphWindow::directConvertToggled() {
    directConvertAction_->toggle();
}

bool GraphWindow::DirectConvert() const {
    return directConvertAction_->isChecked();
}

void GraphWindow::FeedStatus(const std::array<ChannelValues, 3>& channels) {
    const bool direct = DirectConvert();
    for (int c = 0; c < 3; ++c) {
        FeedChannel(static_cast<graph::Channel>(c), channels[c].signal == 0 ? 1 : channels[c].signal,
                    channels[c].compensation, direct);
    }
    DrawFrame();
    AdvanceSweep();
    RepaintScreen();
}

void GraphWindow::FeedQuietly(const std::array<ChannelValues, 3>& channels) {
    const bool direct = DirectConvert();
    for (int c = 0; c < 3; ++c) {
        FeedChannel(static_cast<graph::Channel>(c), channels[c].signal == 0 ? 1 : channels[c].signal,
                    channels[c].compensation, direct);
    }
    AdvanceSweep();
}

void GraphWindow::FeedChannel(graph::Channel channel, std::uint16_t signal, std::uint16_t compensation,
                              bool directConvert) {
    graph::FeedThreshold(state_, channel, compensation, directConvert);
    graph::FeedSample(state_, channel, signal);
}

void GraphWindow::AdvanceSweep() {
    graph::AdvanceSweep(state_);
}

void GraphWindow::MoveSweepTo(int column) {
    state_.SweepPosition = column >= 0 && column < state_.GraphWidth ? column : 0;
}

void GraphWindow::StartOver() {
    graph::ResetTraces(state_);
    graph::ClearMarks(state_);
    state_.SweepPosition = 0;
}

void GraphWindow::AddMark(graph::Mark::Kind kind, const QString& text) {
    graph::AddMark(state_, kind, text);
}

void GraphWindow::AddPause(const QString& text, int columns) {
    graph::AddPause(state_, text, columns);
}

void GraphWindow::ShowNow() {
    if (Frozen() || state_.GraphWidth <= 0) return;
    graph::RenderLabels(state_);
    // As the last reply drew it: the channel names beside the newest samples, before the sweep moved on.
    graph::State last = state_;
    last.SweepPosition = (state_.SweepPosition + state_.GraphWidth - 1) % state_.GraphWidth;
    changed_ |= graph::DrawFrame(last, screen_, background_, drawn_);
    RepaintScreen(false);
}

void GraphWindow::ShowSoon() {
    if (std::exchange(showSoon_, true)) return;
    QTimer::singleShot(0, this, [this] {
        showSoon_ = false;
        ShowNow();
    });
}

void GraphWindow::DrawFrame() {
    if (Frozen()) return; // the picture on the screen stays; the state goes on
    if (state_.marksVersion != drawn_.marksVersion) graph::RenderLabels(state_);
    changed_ |= graph::DrawFrame(state_, screen_, background_, drawn_);
}

void GraphWindow::RepaintScreen(bool paced) {
    if (changed_.isEmpty()) return;
    // Every reply's columns are drawn on the picture at once; paced, the screen shows them 80 ms at a time.
    if (paced) widgets::PaintPace::Instance().Later(screenLayer_, changed_);
    else screenLayer_->update(changed_);
    changed_ = QRegion();
}

void GraphWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Qt also sends a resize when the window is first shown, with no change of size: the traces
    // fed while the window was hidden must survive that. Only a new image size rebuilds them.
    if (imageSizeFor(event->size()) != screen_.size()) rebuildAtNewSize();
    else frameBox_->setGeometry(rect());
}

void GraphWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) update(); // FormActivate
}

GraphWindow::~GraphWindow() {
    keepPlace();
}

void GraphWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A tool window of the main window for the window system: it stays above it and goes with it.
    if (isWindow() && mainWindow_ && windowHandle() && mainWindow_->windowHandle())
        windowHandle()->setTransientParent(mainWindow_->windowHandle());
}

void GraphWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    keepPlace();
}

void GraphWindow::rememberBetweenRuns() {
    remember_ = true;
    const QSettings settings;
    if (settings.contains(QStringLiteral("graph/x")))
        lastPlace_ = QPoint(settings.value(QStringLiteral("graph/x")).toInt(),
                            settings.value(QStringLiteral("graph/y")).toInt());
    resize(std::clamp(settings.value(QStringLiteral("graph/width"), width()).toInt(), minimumWidth(), maximumWidth()),
           height());
}

void GraphWindow::keepPlace() {
    // Only a window of its own has a place; inside the main window it goes with that.
    if (!isWindow() || !testAttribute(Qt::WA_WState_Created)) return;
    lastPlace_ = pos();
    if (!remember_) return;
    QSettings settings;
    settings.setValue(QStringLiteral("graph/x"), pos().x());
    settings.setValue(QStringLiteral("graph/y"), pos().y());
    settings.setValue(QStringLiteral("graph/width"), width());
    remembered::Sync(settings);
}

} // namespace graph

#include "moc_GraphWindow.cpp"
