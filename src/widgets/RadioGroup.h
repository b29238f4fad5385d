// A captioned group of radio buttons with an ItemIndex (-1 when nothing is selected).
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace widgets {

class RadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr, int columns = 1);

    int ItemIndex() const;
    // Selects an item from code as a click would (the change signal fires); a negative index clears
    // the selection, an index past the last item selects the last item.
    void setItemIndex(int index);
    int count() const { return static_cast<int>(group_->buttons().size()); }
    QString itemText(int index) const;
    QSize minimumSizeHint() const override; // its whole caption, whatever the font

  signals:
    void itemIndexChanged(int index);

  private:
    QButtonGroup* group_;
};

} // namespace widgets
