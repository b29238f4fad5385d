// A group box whose frame and caption are drawn once for its size and state, then copied: the frame
// the style draws (a stretched picture) is costly, and it is painted again under every change of a
// label inside the box. Only the strips along its edges are kept: inside, the style's frame is one
// colour (a faint tint), copied from a small tile.
#pragma once

#include <QGroupBox>
#include <QPixmap>
#include <QStyle>

namespace widgets {

class GroupFrame : public QGroupBox {
    Q_OBJECT
  public:
    explicit GroupFrame(const QString& caption, QWidget* parent = nullptr);
    // Wide enough for its whole caption as the style draws it: a larger font grows the layout.
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Key {
        QSize size;
        qreal pixelRatio = 0;
        QStyle::State state;
        QStyle::SubControls active;
        QString caption;
        QString font;
        qint64 palette = 0;
        const void* style = nullptr;
        bool operator==(const Key&) const = default;
    };
    // The frame as the style draws it, in device pixels: the strips above, below, left and right of its
    // inside, and a tile of the inside's colour.
    struct Strips {
        QRect inside;
        QPixmap top, bottom, left, right, tile;
    };
    static Strips cut(const QPixmap& picture);
    Key seen_; // of the last paint
    Key key_;  // of the strips kept
    Strips strips_;
    bool drawn_ = false;
};

// The least size of a group box that shows its whole caption as the style lays it out (some styles
// draw it in a larger or bold font), given the size the box asks for otherwise.
QSize WithWholeCaption(const QGroupBox* box, QSize hint);

} // namespace widgets
