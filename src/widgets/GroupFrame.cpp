#include "widgets/GroupFrame.h"

#include "widgets/Backdrop.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>
#include <algorithm>

namespace widgets {

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

GroupFrame::Strips GroupFrame::cut(const QPixmap& picture) {
    // The largest rectangle of one colour around the middle: grown a row or a column at a time while the
    // next one is of that colour all along.
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width(), h = image.height();
    Strips s;
    if (w < 3 || h < 3) {
        s.top = picture; // too small to have an inside
        return s;
    }
    const QRgb colour = reinterpret_cast<const QRgb*>(image.constScanLine(h / 2))[w / 2];
    auto row = [&](int y, int x0, int x1) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        return std::all_of(line + x0, line + x1 + 1, [colour](QRgb p) { return p == colour; });
    };
    auto column = [&](int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            if (reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] != colour) return false;
        return true;
    };
    int left = w / 2, right = w / 2, top = h / 2, bottom = h / 2;
    for (bool grew = true; grew;) {
        grew = false;
        if (left > 0 && column(left - 1, top, bottom)) {
            --left;
            grew = true;
        }
        if (right < w - 1 && column(right + 1, top, bottom)) {
            ++right;
            grew = true;
        }
        if (top > 0 && row(top - 1, left, right)) {
            --top;
            grew = true;
        }
        if (bottom < h - 1 && row(bottom + 1, left, right)) {
            ++bottom;
            grew = true;
        }
    }
    s.inside = QRect(QPoint(left, top), QPoint(right, bottom));
    s.top = picture.copy(0, 0, w, top);
    s.bottom = picture.copy(0, bottom + 1, w, h - bottom - 1);
    s.left = picture.copy(0, top, left, bottom - top + 1);
    s.right = picture.copy(right + 1, top, w - right - 1, bottom - top + 1);
    s.tile = picture.copy(left, top, std::min(8, s.inside.width()), std::min(8, s.inside.height()));
    return s;
}

void GroupFrame::paintEvent(QPaintEvent* event) {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const qreal ratio = devicePixelRatioF();
    const Key key{size(),      ratio,        option.state,         option.activeSubControls,
                  option.text, font().key(), palette().cacheKey(), style()};
    if (!drawn_ || !(key == key_)) {
        // The frame as the style draws it, on a transparent picture of the box's size.
        QPixmap picture(qCeil(width() * ratio), qCeil(height() * ratio));
        picture.fill(Qt::transparent);
        picture.setDevicePixelRatio(ratio);
        {
            QPainter p(&picture);
            PaintLikeWidget(p, this);
            style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
        }
        // The first paint at a size (the window's first picture, say) shows it whole and cuts nothing:
        // the strips are kept from the second paint on, which is the one that repeats.
        if (!(key == seen_)) {
            seen_ = key;
            drawn_ = false;
            QPainter(this).drawPixmap(0, 0, picture); // (clipped to the region asked)
            return;
        }
        key_ = key;
        drawn_ = true;
        picture.setDevicePixelRatio(1);
        strips_ = cut(picture);
    }
    const Strips& s = strips_;
    const int w = qCeil(width() * ratio);
    const struct {
        QRect at; // in the whole picture, device pixels
        const QPixmap& part;
    } parts[] = {{QRect(0, 0, w, s.top.height()), s.top},
                 {QRect(0, s.inside.bottom() + 1, w, s.bottom.height()), s.bottom},
                 {QRect(0, s.inside.top(), s.left.width(), s.left.height()), s.left},
                 {QRect(s.inside.right() + 1, s.inside.top(), s.right.width(), s.right.height()), s.right}};
    QPainter p(this);
    for (const QRect& r : event->region()) {
        const QRectF asked(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
        auto onWidget = [ratio](const QRectF& d) {
            return QRectF(d.x() / ratio, d.y() / ratio, d.width() / ratio, d.height() / ratio);
        };
        for (const auto& part : parts) {
            const QRectF d = asked & QRectF(part.at);
            if (!d.isEmpty() && !part.part.isNull())
                p.drawPixmap(onWidget(d), part.part, d.translated(-part.at.topLeft()));
        }
        // The inside: its one colour from the tile, stretched.
        if (const QRectF d = asked & QRectF(s.inside); !d.isEmpty() && !s.tile.isNull())
            p.drawPixmap(onWidget(d), s.tile, QRectF(s.tile.rect()));
    }
}

} // namespace widgets

#include "moc_GroupFrame.cpp"
