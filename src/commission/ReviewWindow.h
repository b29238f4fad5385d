// "Review": a walk-test recording, or the live connection so far, drawn to read as a record: the three
// signals and their thresholds on a real time axis (ReviewPlot), a scroll bar over the whole, the
// cursor's reading, and the stretch shown exported as a PNG picture or as CSV. A window of its own
// rather than a tab: it is used beside the main window (a replay on the VIEW tab, the review of the
// same recording here), can be maximised on its own, and leaves the main window's layout alone.
#pragma once

#include "commission/LiveReview.h"
#include "commission/RecordingSummary.h"
#include "commission/ReviewPlot.h"

#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QProgressBar;
class QScrollBar;
class QToolBar;

namespace commission {

class ReviewWindow : public QWidget {
    Q_OBJECT
  public:
    // mainWindow: whose window it goes with; live: the live connection's summary.
    ReviewWindow(QWidget* mainWindow, LiveReview& live);
    ~ReviewWindow() override;

    // Shows a recording: false, and said in a box, when it cannot be read.
    bool OpenRecording(const QString& path);
    // Shows the live connection so far.
    void ShowLive();
    // The recording shown (empty for the live connection).
    QString RecordingPath() const;
    RecordingSummary* recording() const { return recording_.get(); }

    // What the window says without asking (a file written): the main window's status bar.
    std::function<void(const QString&)> Notice;

    ReviewPlot* plot() const { return plot_; }
    QScrollBar* scrollBar() const { return scrollBar_; }
    QLabel* readingLabel() const { return readingLabel_; }
    QLabel* stateLabel() const { return stateLabel_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QAction* openAction() const { return openAction_; }           // "Open Recording..." (Ctrl+O)
    QAction* liveAction() const { return liveAction_; }           // "Live Connection" (Ctrl+L)
    QAction* zoomInAction() const { return zoomInAction_; }       // "Zoom In" (+)
    QAction* zoomOutAction() const { return zoomOutAction_; }     // "Zoom Out" (-)
    QAction* wholeAction() const { return wholeAction_; }         // "Whole" (0)
    QAction* exportPngAction() const { return exportPngAction_; } // "Export PNG..."
    QAction* exportCsvAction() const { return exportCsvAction_; } // "Export CSV..."

    // The stretch shown, written as a picture or as CSV; false with error when it cannot be.
    bool ExportPng(const QString& path, QString& error);
    bool ExportCsv(const QString& path, QString& error);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void chooseRecording();
    void exportShown(bool png);
    void showSource();
    void showState();
    void showScroll();
    void scrolled(int value);
    QString shownName() const;

    LiveReview& live_;
    std::unique_ptr<RecordingSummary> recording_;
    QToolBar* bar_ = nullptr;
    ReviewPlot* plot_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
    QLabel* readingLabel_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* liveAction_ = nullptr;
    QAction* zoomInAction_ = nullptr;
    QAction* zoomOutAction_ = nullptr;
    QAction* wholeAction_ = nullptr;
    QAction* exportPngAction_ = nullptr;
    QAction* exportCsvAction_ = nullptr;
    double scrollScale_ = 1; // ms a step of the scroll bar
};

} // namespace commission
