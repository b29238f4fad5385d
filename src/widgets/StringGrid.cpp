#include "widgets/StringGrid.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>

namespace widgets {

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

QString StringGrid::selectedText() const {
    int left = 0, top = 0, right = ColCount() - 1, bottom = RowCount() - 1;
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    // (One range: the selection is contiguous.) Every cell chosen is the whole grid: its headings too.
    if (!ranges.isEmpty() && (ranges.front().rowCount() < rowCount() || ranges.front().columnCount() < columnCount())) {
        left = ranges.front().leftColumn() + 1;
        right = ranges.front().rightColumn() + 1;
        top = ranges.front().topRow() + 1;
        bottom = ranges.front().bottomRow() + 1;
    }
    QStringList lines;
    for (int row = top; row <= bottom; ++row) {
        QStringList cells;
        for (int col = left; col <= right; ++col) cells << cell(col, row).trimmed();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

QString StringGrid::csv() const {
    QString out;
    for (int row = 0; row < RowCount(); ++row) {
        QStringList fields;
        for (int col = 0; col < ColCount(); ++col) {
            QString field = cell(col, row).trimmed();
            if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
                field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r')))
                field = QLatin1Char('"') + field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
            fields << field;
        }
        out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return out;
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

} // namespace widgets

#include "moc_StringGrid.cpp"
