#include "widgets/GroupFrame.h"

#include "widgets/Backdrop.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>

GroupFrame::GroupFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

void GroupFrame::paintEvent(QPaintEvent* event) {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const qreal ratio = devicePixelRatioF();
    const Key key{size(),      ratio,        option.state,         option.activeSubControls,
                  option.text, font().key(), palette().cacheKey(), style()};
    if (picture_.isNull() || !(key == key_)) {
        key_ = key;
        picture_ = QPixmap(qCeil(width() * ratio), qCeil(height() * ratio));
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::transparent);
        QPainter p(&picture_);
        PaintLikeWidget(p, this);
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
    }
    QPainter p(this);
    for (const QRect& r : event->region()) {
        const QRectF source(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
        p.drawPixmap(QRectF(r), picture_, source);
    }
}
