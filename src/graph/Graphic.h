// TGraphics, the "View" window: the sweeping oscilloscope picture of the three detector signals.
#pragma once

#include "graph/Graf.h"

#include <QWidget>

class QAction;
class QGroupBox;
class QMenu;

// A widget that shows an image at its top-left corner (one layer of the graph).
class ImageLayer : public QWidget {
    Q_OBJECT
  public:
    ImageLayer(const QImage* image, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const QImage* image_;
};

class TGraphics : public QWidget {
    Q_OBJECT
  public:
    explicit TGraphics(QWidget* mainWindow);

    void FormCreate();
    void FormResize();
    void ClearClick();
    void Direct_ConvertClick();
    bool DirectConvert() const;

    // One status reply's graph work at once: thresholds, samples, frame, labels, sweep advance.
    struct ChannelValues {
        std::uint16_t signal;
        std::uint16_t compensation;
    };
    void FeedStatus(const std::array<ChannelValues, 3>& channels);
    // Shows the screen image as it is now.
    void RepaintScreen();

    GraphState State;
    QImage Screen;     // imgScreen's picture
    QImage Background; // Image2's picture
    QImage Alarm;      // ImageAlarm's picture: transparent, nothing draws on it

    QGroupBox* GroupBox1 = nullptr;
    ImageLayer* Image2 = nullptr;
    ImageLayer* ImageAlarm = nullptr;
    ImageLayer* imgScreen = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Clear1 = nullptr;
    QAction* DirectConvert1 = nullptr;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    static QSize imageSizeFor(const QSize& client);
    void build(bool atCreation);
    bool placed_ = false;
};
