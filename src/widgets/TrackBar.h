// A slider with a selection range drawn beside its groove, like the detector's threshold track bars.
#pragma once

#include "widgets/Backdrop.h"

#include <QSlider>
#include <QStyle>

class QStyleOptionSlider;

namespace widgets {

class TrackBar : public QSlider {
    Q_OBJECT
  public:
    // A vertical track bar has its minimum at the top.
    explicit TrackBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    // A new selection repaints only the strip beside the groove that it changes, at the pace of the live
    // readings (PaintPace).
    void setSelStart(int v);
    void setSelEnd(int v);

  protected:
    bool event(QEvent* event) override;
    // Opaque: the slider as the style drew it for its size, value and state, with the selection on top.
    void paintEvent(QPaintEvent* event) override;

  private:
    QStyleOptionSlider sliderOption() const;
    QRect selectionRect() const;
    void selectionChanged(const QRect& before);

    // Where the style puts the groove and the handle, asked again only when the slider changed.
    struct Geometry {
        QSize size;
        int position = 0, minimum = 0, maximum = 0;
        bool vertical = false, upsideDown = false;
        const void* style = nullptr;
        QRect groove, handle;
        bool sameSlider(const Geometry& other) const {
            return size == other.size && position == other.position && minimum == other.minimum &&
                   maximum == other.maximum && vertical == other.vertical && upsideDown == other.upsideDown &&
                   style == other.style;
        }
    };
    const Geometry& geometryNow() const;
    mutable Geometry geometry_;

    struct BodyKey {
        PictureKey picture;
        QStyle::State state;
        QStyle::SubControls active;
        int position, minimum, maximum, tickInterval;
        bool upsideDown;
        bool operator==(const BodyKey&) const = default;
    };
    BodyKey bodyKey_{};
    QPixmap body_;
    int selStart_ = 0;
    int selEnd_ = 0;
};

} // namespace widgets
