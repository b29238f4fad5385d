// A grid of text cells addressed as (column, row), with one fixed heading row and one fixed column.
#pragma once

#include <QTableWidget>

namespace widgets {

class StringGrid : public QTableWidget {
    Q_OBJECT
  public:
    // The counts include the fixed row 0 and the fixed column 0.
    StringGrid(int colCount, int rowCount, QWidget* parent = nullptr);

    int ColCount() const { return columnCount() + 1; }
    int RowCount() const { return rowCount() + 1; }
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    // Widens the columns whose heading is wider than the default width of 75 pixels.
    void fitHeadings();
    // Widens a column so that each of the texts fits in its cells.
    void fitColumnTo(int col, const QStringList& texts);
    // The cells chosen, one line a row and a tab between cells (for the clipboard); every cell, the
    // headings included, when none or all of them are chosen.
    QString selectedText() const;
    // Every cell, the headings included, as CSV lines (a field with a comma, a quote or a line break
    // quoted, and its quotes doubled).
    QString csv() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString corner_;
};

} // namespace widgets
