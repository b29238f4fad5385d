#include "widgets/SmallStatusBar.h"

#include <QHBoxLayout>
#include <QLabel>

SmallStatusBar::SmallStatusBar(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setFixedHeight(19);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 0, 2, 0);
}

void SmallStatusBar::hostLabel(QLabel* label) {
    label->setParent(this);
    label->setText(QStringLiteral("0000"));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout()->addWidget(label);
    label->show();
}
