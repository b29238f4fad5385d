#include "widgets/RadioGroup.h"

#include "widgets/GroupFrame.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QRadioButton>

namespace widgets {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent, int columns)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout->addWidget(button, i % rows, i / rows);
    }
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit itemIndexChanged(id);
    });
}

QSize RadioGroup::minimumSizeHint() const {
    return WithWholeCaption(this, QGroupBox::minimumSizeHint());
}

int RadioGroup::ItemIndex() const {
    return group_->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (index >= count()) index = count() - 1; // past the last item: the last item
    if (index == ItemIndex()) return;
    if (index < 0) {
        // An exclusive group cannot be emptied by unchecking its button; lift that for a moment.
        group_->setExclusive(false);
        if (auto* b = group_->checkedButton()) b->setChecked(false);
        group_->setExclusive(true);
        emit itemIndexChanged(-1);
        return;
    }
    group_->button(index)->setChecked(true);
}

QString RadioGroup::itemText(int index) const {
    auto* b = group_->button(index);
    return b ? b->text() : QString();
}

} // namespace widgets

#include "moc_RadioGroup.cpp"
