#include "widgets/ColumnFlowLayout.h"

#include <QWidget>
#include <algorithm>
#include <vector>

namespace widgets {

ColumnFlowLayout::ColumnFlowLayout(QWidget* parent, int columnWidth, int spacing)
    : QLayout(parent), columnWidth_(columnWidth) {
    setContentsMargins(0, 0, 0, 0);
    setSpacing(spacing);
}

ColumnFlowLayout::~ColumnFlowLayout() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void ColumnFlowLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

QLayoutItem* ColumnFlowLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int ColumnFlowLayout::columnsFor(int width) const {
    const QMargins m = contentsMargins();
    const int inner = width - m.left() - m.right();
    return std::max(1, (inner + spacing()) / (columnWidth_ + spacing()));
}

int ColumnFlowLayout::widthFor(int columns) const {
    const QMargins m = contentsMargins();
    return columns * columnWidth_ + (columns - 1) * spacing() + m.left() + m.right();
}

int ColumnFlowLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize ColumnFlowLayout::sizeHint() const {
    const QMargins m = contentsMargins();
    const int width = columnWidth_ + m.left() + m.right();
    return QSize(width, heightForWidth(width));
}

QSize ColumnFlowLayout::minimumSize() const {
    // As narrow as one column; the height follows the width (heightForWidth).
    const QMargins m = contentsMargins();
    int widest = 0;
    for (const QLayoutItem* item : items_) widest = std::max(widest, item->minimumSize().width());
    return QSize(std::max(columnWidth_, widest) + m.left() + m.right(), 0);
}

void ColumnFlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int ColumnFlowLayout::arrange(const QRect& rect, bool apply) const {
    const QMargins m = contentsMargins();
    const QRect inner = rect.marginsRemoved(m);
    const int columns = columnsFor(rect.width());
    const int width = std::max(1, (inner.width() - (columns - 1) * spacing()) / columns);
    std::vector<int> heights;
    int total = 0;
    for (const QLayoutItem* item : items_) {
        const int h = item->isEmpty()             ? 0
                      : item->hasHeightForWidth() ? item->heightForWidth(width)
                                                  : item->sizeHint().height();
        heights.push_back(h);
        total += h + (h > 0 ? spacing() : 0);
    }
    // In order, a new column once this one holds its share.
    const int share = (total + columns - 1) / columns;
    int column = 0, y = 0, tallest = 0;
    for (std::size_t i = 0; i < heights.size(); ++i) {
        if (heights[i] == 0) continue;
        if (y > 0 && y + heights[i] > share && column + 1 < columns) {
            ++column;
            y = 0;
        }
        if (apply)
            items_[static_cast<qsizetype>(i)]->setGeometry(
                QRect(inner.left() + column * (width + spacing()), inner.top() + y, width, heights[i]));
        y += heights[i] + spacing();
        tallest = std::max(tallest, y - spacing());
    }
    return tallest + m.top() + m.bottom();
}

} // namespace widgets
