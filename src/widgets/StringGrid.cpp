#include "widgets/StringGrid.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>

// Row 0 lives in the horizontal header, column 0 in the vertical header and cell (0, 0) on the
// corner button, so the headings stay fixed and the user can resize rows and columns by them.
StringGrid::StringGrid(int colCount, int rowCount, QWidget* parent) : QTableWidget(rowCount - 1, colCount - 1, parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultSectionSize(75);
    verticalHeader()->setDefaultSectionSize(24);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setMinimumWidth(75);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    for (int c = 0; c < columnCount(); ++c) setHorizontalHeaderItem(c, new QTableWidgetItem);
    for (int r = 0; r < this->rowCount(); ++r) {
        setVerticalHeaderItem(r, new QTableWidgetItem);
        for (int c = 0; c < columnCount(); ++c) setItem(r, c, new QTableWidgetItem);
    }
    if (auto* corner = findChild<QAbstractButton*>()) corner->installEventFilter(this);
}

void StringGrid::fitHeadings() {
    // The headers take the grid's font, as the fixed cells of a grid do.
    horizontalHeader()->setFont(font());
    verticalHeader()->setFont(font());
    const QFontMetrics fm(font());
    for (int c = 0; c < columnCount(); ++c) {
        const int needed = fm.horizontalAdvance(horizontalHeaderItem(c)->text()) + 12;
        horizontalHeader()->resizeSection(c, std::max(75, needed));
    }
}

void StringGrid::fitColumnTo(int col, const QStringList& texts) {
    if (col < 1 || col >= ColCount()) return;
    const QFontMetrics fm(font());
    int needed = horizontalHeader()->sectionSize(col - 1);
    for (const QString& t : texts) needed = std::max(needed, fm.horizontalAdvance(t) + 12);
    horizontalHeader()->resizeSection(col - 1, needed);
}

QString StringGrid::cell(int col, int row) const {
    if (col == 0 && row == 0) return corner_;
    if (row == 0) return horizontalHeaderItem(col - 1)->text();
    if (col == 0) return verticalHeaderItem(row - 1)->text();
    return item(row - 1, col - 1)->text();
}

void StringGrid::setCell(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return;
    if (col == 0 && row == 0) {
        corner_ = text;
        if (auto* corner = findChild<QAbstractButton*>()) corner->update();
    } else if (row == 0) {
        horizontalHeaderItem(col - 1)->setText(text);
    } else if (col == 0) {
        verticalHeaderItem(row - 1)->setText(text);
    } else {
        item(row - 1, col - 1)->setText(text);
    }
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint) return QTableWidget::eventFilter(watched, event);
    auto* corner = static_cast<QWidget*>(watched);
    QStyleOptionHeader opt;
    opt.initFrom(corner);
    opt.rect = corner->rect();
    opt.text = corner_;
    opt.textAlignment = Qt::AlignCenter;
    opt.position = QStyleOptionHeader::OnlyOneSection;
    QPainter p(corner);
    p.setFont(font());
    corner->style()->drawControl(QStyle::CE_Header, &opt, &p, corner);
    return true;
}
