// What a window shows beneath one of its widgets, for widgets that paint opaquely from pictures drawn
// once: the boxes and frames around a live bar are then not painted again under each of its changes.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QSize>

class QEvent;
class QPainter;
class QWidget;

namespace widgets {

// What the pictures of a widget depend on besides its own value: when any of it changes (a new size,
// place, display scale, state, palette or style), they are drawn again.
struct PictureKey {
    QSize size;
    qreal pixelRatio = 0;
    QPoint place; // in the nearest ancestor that paints all of its background
    bool enabled = false;
    bool active = false;
    qint64 palette = 0;
    const void* style = nullptr;
    bool operator==(const PictureKey&) const = default;
};
PictureKey PictureKeyOf(const QWidget* widget);

// The widget's ancestors up to the nearest that paints all of its background, and on each level the
// siblings below the way down, painted into a picture of the widget's size at its device pixel ratio.
QPixmap PaintBeneath(const QWidget* widget);

// Keeps the widget marked as painting all of its area, after the style polished it (Fusion unmarks
// sliders and bars, which it draws with rounded corners): the boxes around it are then not painted
// under it. Call from the widget's event() with every event, after the base class.
void KeepOpaque(QWidget* widget, const QEvent* event);

// Sets up a painter on a picture as one on the widget itself starts: the widget's font, pen and brush.
void PaintLikeWidget(QPainter& painter, const QWidget* widget);

} // namespace widgets
