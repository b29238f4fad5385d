#include "widgets/GroupFrame.h"

#include "widgets/Backdrop.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>

GroupFrame::GroupFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

QSize WithWholeCaption(const QGroupBox* box, QSize hint) {
    if (box->title().isEmpty()) return hint;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.lineWidth = 1;
    option.textAlignment = box->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.features = box->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
    // Laid out in a box wide enough for any caption: where it starts, and how wide it is.
    option.rect = QRect(0, 0, 4096, std::max(box->height(), hint.height()));
    const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const int text = box->fontMetrics().horizontalAdvance(box->title()) + 2;
    hint.setWidth(std::max(hint.width(), std::max(label.left(), 0) * 2 + std::max(label.width(), text)));
    return hint;
}

QSize GroupFrame::minimumSizeHint() const {
    return WithWholeCaption(this, QGroupBox::minimumSizeHint());
}

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
