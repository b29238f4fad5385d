#include "widgets/SmallStatusBar.h"

#include <QLabel>

namespace widgets {

SmallStatusBar::SmallStatusBar(QWidget* parent) : LabelPlace(parent, QMargins(3, 0, 2, 0)) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setFixedHeight(19);
}

void SmallStatusBar::hostLabel(QLabel* label) {
    label->setText(QStringLiteral("0000"));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(label);
}

} // namespace widgets

#include "moc_SmallStatusBar.cpp"
