#include "widgets/Backdrop.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>
#include <vector>

namespace widgets {

namespace {

bool paintsAllItsBackground(const QWidget* w) {
    return w->isWindow() || w->testAttribute(Qt::WA_OpaquePaintEvent) ||
           (w->autoFillBackground() && w->palette().brush(w->backgroundRole()).isOpaque());
}

// The widget, its parent, ... up to the nearest ancestor that paints all of its background.
std::vector<const QWidget*> wayUp(const QWidget* widget) {
    std::vector<const QWidget*> way{widget};
    for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget()) {
        way.push_back(w);
        if (paintsAllItsBackground(w)) break;
    }
    return way;
}

QSize devicePixels(const QWidget* widget) {
    const qreal ratio = widget->devicePixelRatioF();
    return {qCeil(widget->width() * ratio), qCeil(widget->height() * ratio)};
}

} // namespace

PictureKey PictureKeyOf(const QWidget* widget) {
    // (Asked at every paint: the place is summed on the way up, as wayUp() goes.)
    QPoint place(0, 0);
    for (const QWidget* w = widget; w->parentWidget(); w = w->parentWidget()) {
        place += w->pos();
        if (paintsAllItsBackground(w->parentWidget())) break;
    }
    return {widget->size(),           widget->devicePixelRatioF(),  place,          widget->isEnabled(),
            widget->isActiveWindow(), widget->palette().cacheKey(), widget->style()};
}

void KeepOpaque(QWidget* widget, const QEvent* event) {
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        widget->setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintLikeWidget(QPainter& painter, const QWidget* widget) {
    painter.setFont(widget->font());
    painter.setPen(widget->palette().color(widget->foregroundRole()));
    painter.setBrush(widget->palette().brush(widget->backgroundRole()));
}

QPixmap PaintBeneath(const QWidget* widget) {
    QPixmap picture(devicePixels(widget));
    picture.setDevicePixelRatio(widget->devicePixelRatioF());
    picture.fill(widget->palette().color(QPalette::Window)); // where nothing paints at all
    const std::vector<const QWidget*> way = wayUp(widget);
    for (std::size_t i = way.size() - 1; i > 0; --i) {
        auto* ancestor = const_cast<QWidget*>(way[i]);
        const QRect area(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
        // The nearest that paints all of its background paints it; those above it paint only themselves.
        ancestor->render(&picture, QPoint(), QRegion(area),
                         i == way.size() - 1 ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
        for (QObject* child : ancestor->children()) {
            if (child == way[i - 1]) break; // those after it lie above
            auto* sibling = qobject_cast<QWidget*>(child);
            if (!sibling || sibling->isWindow() || !sibling->isVisible()) continue;
            const QRect overlap = sibling->geometry() & area;
            if (overlap.isEmpty()) continue;
            QWidget::RenderFlags flags = QWidget::DrawChildren;
            if (paintsAllItsBackground(sibling)) flags |= QWidget::DrawWindowBackground;
            sibling->render(&picture, overlap.topLeft() - area.topLeft(), QRegion(overlap.translated(-sibling->pos())),
                            flags);
        }
    }
    return picture;
}

} // namespace widgets
