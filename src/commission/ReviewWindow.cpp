#include "commission/ReviewWindow.h"

#include "commission/ReviewExport.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

namespace commission {

namespace {

// The scroll bar counts in steps of a column or coarser, so that its range stays within an int.
constexpr double MostScrollSteps = 1e9;

} // namespace

ReviewWindow::ReviewWindow(QWidget* mainWindow, LiveReview& live) : QWidget(mainWindow, Qt::Window), live_(live) {
    setObjectName(QStringLiteral("ReviewWindow"));
    setWindowTitle(QStringLiteral("Review"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(2);

    bar_ = new QToolBar(this);
    bar_->setObjectName(QStringLiteral("ReviewBar"));
    bar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto make = [this](const char* name, const QString& caption, const QKeySequence& key, const QString& tip) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setToolTip(
            tip + (key.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(key.toString(QKeySequence::NativeText))));
        addAction(a);
        bar_->addAction(a);
        return a;
    };
    openAction_ = make("ReviewOpen", QStringLiteral("&Open Recording..."), QKeySequence(Qt::CTRL | Qt::Key_O),
                       QStringLiteral("Review a walk-test recording"));
    liveAction_ = make("ReviewLive", QStringLiteral("&Live Connection"), QKeySequence(Qt::CTRL | Qt::Key_L),
                       QStringLiteral("Review the status replies since Connect"));
    bar_->addSeparator();
    zoomInAction_ = make("ReviewZoomIn", QStringLiteral("Zoom &In"), QKeySequence(Qt::Key_Plus),
                         QStringLiteral("Half the time across the picture, around the cursor (also Ctrl+wheel)"));
    zoomOutAction_ = make("ReviewZoomOut", QStringLiteral("Zoom O&ut"), QKeySequence(Qt::Key_Minus),
                          QStringLiteral("Twice the time across the picture"));
    wholeAction_ = make("ReviewWhole", QStringLiteral("&Whole"), QKeySequence(Qt::Key_0),
                        QStringLiteral("All of it across the picture"));
    bar_->addSeparator();
    exportPngAction_ = make("ReviewExportPng", QStringLiteral("Export &PNG..."), QKeySequence(),
                            QStringLiteral("The picture of the stretch shown, as a PNG file"));
    exportCsvAction_ = make("ReviewExportCsv", QStringLiteral("Export &CSV..."), QKeySequence(),
                            QStringLiteral("The values of the stretch shown, as CSV: every reply where they are "
                                           "drawn, else each column's least and greatest"));
    // (= is + without Shift on most keyboards.)
    auto* zoomInToo = new QShortcut(QKeySequence(Qt::Key_Equal), this);
    connect(zoomInToo, &QShortcut::activated, zoomInAction_, &QAction::trigger);
    layout->addWidget(bar_);

    auto* stateRow = new QHBoxLayout;
    stateLabel_ = new QLabel(this);
    stateLabel_->setObjectName(QStringLiteral("ReviewState"));
    stateLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // (A long name never widens the window beyond the screen: the label takes the room there is.)
    stateLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stateRow->addWidget(stateLabel_, 1);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ReviewProgress"));
    progressBar_->setRange(0, 100);
    progressBar_->setMaximumWidth(220);
    progressBar_->hide();
    stateRow->addWidget(progressBar_);
    layout->addLayout(stateRow);

    plot_ = new ReviewPlot(this);
    layout->addWidget(plot_, 1);
    scrollBar_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar_->setObjectName(QStringLiteral("ReviewScroll"));
    layout->addWidget(scrollBar_);
    readingLabel_ = new QLabel(this);
    readingLabel_->setObjectName(QStringLiteral("ReviewReading"));
    readingLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    readingLabel_->setMinimumHeight(3 * fontMetrics().height());
    readingLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    readingLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(readingLabel_);

    connect(openAction_, &QAction::triggered, this, &ReviewWindow::chooseRecording);
    connect(liveAction_, &QAction::triggered, this, &ReviewWindow::ShowLive);
    connect(zoomInAction_, &QAction::triggered, this, [this] { plot_->ZoomBy(0.5, plot_->CursorColumn()); });
    connect(zoomOutAction_, &QAction::triggered, this, [this] { plot_->ZoomBy(2, plot_->CursorColumn()); });
    connect(wholeAction_, &QAction::triggered, plot_, &ReviewPlot::ShowWhole);
    connect(exportPngAction_, &QAction::triggered, this, [this] { exportShown(true); });
    connect(exportCsvAction_, &QAction::triggered, this, [this] { exportShown(false); });
    connect(plot_, &ReviewPlot::viewChanged, this, [this] {
        showScroll();
        showState();
    });
    connect(plot_, &ReviewPlot::readingChanged, this, [this] {
        const QString reading = plot_->CursorReading();
        readingLabel_->setText(reading.isEmpty()
                                   ? QStringLiteral("Point at the picture to read the time and the values "
                                                    "there.")
                                   : reading);
    });
    connect(scrollBar_, &QScrollBar::valueChanged, this, &ReviewWindow::scrolled);

    // A size that fits the screen (1366x768 included), at most a comfortable 1100 x 640.
    const QRect room = (mainWindow && mainWindow->screen() ? mainWindow->screen() : QGuiApplication::primaryScreen())
                           ->availableGeometry();
    resize(std::min(1100, room.width() - 40), std::min(640, room.height() - 60));
    ShowLive();
}

ReviewWindow::~ReviewWindow() {
    plot_->setSource(nullptr);
}

void ReviewWindow::closeEvent(QCloseEvent* event) {
    // Closed, it reads nothing more: a recording's reading stops (it is opened anew next time).
    if (recording_) ShowLive();
    QWidget::closeEvent(event);
}

QString ReviewWindow::RecordingPath() const {
    return recording_ ? recording_->Path() : QString();
}

void ReviewWindow::chooseRecording() {
    const QString path = dialogs::GetFileName(this, dialogs::FileDialogKind::Open, QStringLiteral("Review Recording"),
                                              QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) OpenRecording(path);
}

bool ReviewWindow::OpenRecording(const QString& path) {
    auto summary = std::make_unique<RecordingSummary>();
    QString error;
    if (!summary->Open(path, error)) {
        dialogs::ShowWarning(this, error);
        return false;
    }
    plot_->setSource(nullptr);
    recording_ = std::move(summary);
    connect(recording_.get(), &ReviewSource::changed, this, &ReviewWindow::showState);
    plot_->setSource(recording_.get());
    showSource();
    return true;
}

void ReviewWindow::ShowLive() {
    plot_->setSource(&live_);
    recording_.reset(); // its reading stops
    showSource();
}

void ReviewWindow::showSource() {
    setWindowTitle(QStringLiteral("Review - ") + plot_->source()->Title());
    showState();
    showScroll();
    plot_->setFocus();
}

void ReviewWindow::showState() {
    ReviewSource* source = plot_->source();
    if (!source) return;
    QString text = source->Title();
    if (source->StartMs() >= 0) {
        const int decimals = plot_->MsPerColumn() < 1000 ? 1 : 0;
        text +=
            QStringLiteral(", %1 to %2: shown %3 to %4")
                .arg(graph::ElapsedText(plot_->WholeFromMs(), decimals),
                     graph::ElapsedText(plot_->WholeToMs(), decimals), graph::ElapsedText(plot_->FromMs(), decimals),
                     graph::ElapsedText(std::min(plot_->ToMs(), plot_->WholeToMs()), decimals));
    }
    stateLabel_->setText(text);
    if (recording_ && recording_.get() == source) {
        const RecordingSummary::Progress p = recording_->progress();
        progressBar_->setVisible(!p.complete);
        progressBar_->setValue(static_cast<int>(p.read * 100));
        progressBar_->setFormat(QStringLiteral("reading %p%"));
    } else {
        progressBar_->hide();
    }
}

void ReviewWindow::showScroll() {
    const double whole = double(plot_->WholeToMs() - plot_->WholeFromMs());
    const double span = plot_->MsPerColumn() * plot_->Columns();
    scrollScale_ = std::max(plot_->MsPerColumn(), (whole - span) / MostScrollSteps);
    const QSignalBlocker quiet(scrollBar_);
    scrollBar_->setRange(0, static_cast<int>(std::max(0.0, (whole - span) / scrollScale_)));
    scrollBar_->setPageStep(static_cast<int>(std::max(1.0, span / scrollScale_)));
    scrollBar_->setSingleStep(std::max(1, scrollBar_->pageStep() / 10));
    scrollBar_->setValue(static_cast<int>(double(plot_->FromMs() - plot_->WholeFromMs()) / scrollScale_));
}

void ReviewWindow::scrolled(int value) {
    plot_->ScrollTo(plot_->WholeFromMs() + static_cast<std::int64_t>(value * scrollScale_));
}

QString ReviewWindow::shownName() const {
    // "walk 0-42 to 1-03": the source and the stretch, for a file name.
    const QString base = recording_ ? QFileInfo(recording_->Path()).completeBaseName() : QStringLiteral("live");
    return base + QStringLiteral(" %1 to %2")
                      .arg(graph::ElapsedText(plot_->FromMs(), 0), graph::ElapsedText(plot_->ToMs(), 0))
                      .replace(QLatin1Char(':'), QLatin1Char('-'));
}

void ReviewWindow::exportShown(bool png) {
    const QString extension = png ? QStringLiteral("png") : QStringLiteral("csv");
    const QString chosen = dialogs::GetFileName(this, dialogs::FileDialogKind::Save,
                                                png ? QStringLiteral("Export PNG") : QStringLiteral("Export CSV"),
                                                png ? QStringLiteral("PNG (*.png)") : QStringLiteral("CSV (*.csv)"),
                                                dialogs::FileNameFrom(shownName() + QLatin1Char('.') + extension));
    if (chosen.isEmpty()) return;
    const QString path = dialogs::ConfirmReplacing(this, chosen, dialogs::WithExtension(chosen, extension));
    if (path.isEmpty()) return;
    QString error;
    if (!(png ? ExportPng(path, error) : ExportCsv(path, error))) {
        dialogs::ShowWarning(this, error);
        return;
    }
    if (Notice)
        Notice(QStringLiteral("The review's %1 was written to \"%2\".")
                   .arg(png ? QStringLiteral("picture") : QStringLiteral("values"), path));
}

bool ReviewWindow::ExportPng(const QString& path, QString& error) {
    return WritePng(path, plot_->Render(devicePixelRatioF()), error);
}

bool ReviewWindow::ExportCsv(const QString& path, QString& error) {
    const std::shared_ptr<const ReviewDetail> replies = plot_->FromReplies() ? plot_->Replies() : nullptr;
    return WriteWhole(path, ReviewCsv(plot_->source()->Title(), plot_->Picture(), replies.get()), error);
}

} // namespace commission

#include "moc_ReviewWindow.cpp"
