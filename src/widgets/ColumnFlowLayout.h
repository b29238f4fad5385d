// A layout that puts its widgets one below the other, and in as many columns side by side as its
// width allows (each column at least columnWidth wide), in order, the columns about equally tall:
// a box that gets wider needs less height.
#pragma once

#include <QLayout>
#include <QList>

namespace widgets {

class ColumnFlowLayout : public QLayout {
  public:
    ColumnFlowLayout(QWidget* parent, int columnWidth, int spacing);
    ~ColumnFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override { return items_.value(index); }
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;
    int columnsFor(int width) const;
    // The least width that holds this many columns side by side.
    int widthFor(int columns) const;

  private:
    // Places the items in rect (or only measures, when apply is false); returns the height used.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> items_;
    int columnWidth_;
};

} // namespace widgets
