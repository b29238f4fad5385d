// The graph window, "View": the sweeping oscilloscope picture of the three detector signals.
#pragma once

#include "graph/GraphPainter.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;

namespace graph {

// A widget that shows an image at its top-left corner (one layer of the graph), painting only the
// parts asked for.
class ImageLayer : public QWidget {
    Q_OBJECT
  public:
    ImageLayer(const QImage* image, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const QImage* image_;
};

class GraphWindow : public QWidget {
    Q_OBJECT
  public:
    // A window of its own, kept with the main window by the window system, and not part of the main
    // window's widget tree (its object names stand apart), unless the main window takes it inside.
    explicit GraphWindow(QWidget* mainWindow);

    void clearGraph();
    void directConvertToggled();
    bool DirectConvert() const;

    // One status reply's graph work at once: thresholds, samples, frame, labels, sweep advance.
    struct ChannelValues {
        std::uint16_t signal;
        std::uint16_t compensation;
    };
    void FeedStatus(const std::array<ChannelValues, 3>& channels);
    // The same for the state alone, nothing drawn (a replay catching up with a place it jumped to).
    void FeedQuietly(const std::array<ChannelValues, 3>& channels);
    // Draws the frame now, as the last reply drew it, and shows it (after feeding quietly, marks added
    // between replies, a clear or Freeze unticked).
    void ShowNow();
    // The same once the events waiting now have been taken in: marks that come many between two replies
    // (a recording's) are shown together, once.
    void ShowSoon();
    // Draws the frame of the state on the screen image where it differs from the one drawn before.
    void DrawFrame();
    // Shows what the frames drawn since the last call changed on the screen image: at the pace of the live
    // readings (PaintPace), or with the window's next paint.
    void RepaintScreen(bool paced = true);
    // Takes the width it had in the last run, and keeps its place and width for the next one.
    void rememberBetweenRuns();
    // Where its frame was left in the last run (or this one), if anywhere.
    std::optional<QPoint> LastPlace() const { return lastPlace_; }
    ~GraphWindow() override;

    // The traces, the sweep position and the marks, as the replies fed them.
    const graph::State& State() const { return state_; }
    const QImage& Screen() const { return screen_; }         // screenLayer's picture
    const QImage& Background() const { return background_; } // backgroundLayer's picture
    const QImage& Alarm() const { return alarm_; }           // alarmLayer's picture: transparent, nothing draws on it

    // The state's steps for a caller that interleaves them with its own work (the status view): one
    // channel's threshold and newest sample (a 0 already raised to 1) ...
    void FeedChannel(graph::Channel channel, std::uint16_t signal, std::uint16_t compensation, bool directConvert);
    // ... and the sweep moving on.
    void AdvanceSweep();
    // Where the next sample goes: column 0 is the left edge.
    void MoveSweepTo(int column);
    // The signal traces back on their baselines, no marks, the sweep at the left edge; nothing drawn (a
    // replay jumping to another place).
    void StartOver();
    // A mark or a pause band at the sweep position (GraphMarks.h), shown with the next frame.
    void AddMark(graph::Mark::Kind kind, const QString& text);
    void AddPause(const QString& text, int columns);

    QGroupBox* frameBox() const { return frameBox_; }
    ImageLayer* backgroundLayer() const { return backgroundLayer_; }
    ImageLayer* alarmLayer() const { return alarmLayer_; }
    ImageLayer* screenLayer() const { return screenLayer_; }
    QMenu* contextMenu() const { return contextMenu_; }
    QAction* clearAction() const { return clearAction_; }
    QAction* directConvertAction() const { return directConvertAction_; }
    QAction* saveImageAction() const { return saveImageAction_; } // "Save Image...": the visible traces as a PNG file
    QAction* closeAction() const { return closeAction_; } // "Close" (Escape), also where it sits inside the main window
    // The size it has: inside the main window it keeps the size (and the traces) it had as a window.
    QSize sizeHint() const override { return size(); }
    // "Freeze": the picture stays as it is while the replies go on feeding the traces; unticked, it
    // shows them as they are now.
    QAction* freezeAction() const { return freezeAction_; }
    bool Frozen() const;
    // "FROZEN" over the picture's top right corner while frozen: wherever the graph shows (its own window,
    // whose title says so too, or inside the main window, which has no title of its own for it).
    QLabel* frozenBadge() const { return frozenBadge_; }
    // The picture is a replay's, kept after it: "Clear" empties it at once (no reply would show it).
    void KeepPicture(bool keep) { keptPicture_ = keep; }
    bool PictureKept() const { return keptPicture_; }
    // Writes the screen image as it is now to a PNG file; false and error when it cannot.
    bool SaveImage(const QString& path, QString& error) const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    bool showSoon_ = false;
    QGroupBox* frameBox_ = nullptr;
    ImageLayer* backgroundLayer_ = nullptr;
    ImageLayer* alarmLayer_ = nullptr;
    ImageLayer* screenLayer_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QAction* clearAction_ = nullptr;
    QAction* directConvertAction_ = nullptr;
    QAction* saveImageAction_ = nullptr;
    QAction* closeAction_ = nullptr;
    QAction* freezeAction_ = nullptr;
    QLabel* frozenBadge_ = nullptr;
    void placeFrozenBadge();
    static QSize imageSizeFor(const QSize& client);
    QPointer<QWidget> mainWindow_;
    void build(bool atCreation);
    // New images at the window's new size, flat traces, and the layers repainted.
    void rebuildAtNewSize();
    void keepPlace();
    graph::State state_;
    QImage screen_;
    QImage background_;
    QImage alarm_; // (one bit a pixel)
    graph::DrawnFrame drawn_;
    QRegion changed_;
    bool remember_ = false;
    std::optional<QPoint> lastPlace_;
    bool keptPicture_ = false;
};

} // namespace graph
