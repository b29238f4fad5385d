#include "widgets/LabelPlace.h"

#include <QLabel>

namespace widgets {

LabelPlace::LabelPlace(QWidget* parent, const QMargins& margins) : QFrame(parent), margins_(margins) {}

LabelPlace::LabelPlace(QLabel* label, QWidget* parent) : QFrame(parent) {
    setSizePolicy(label->sizePolicy());
    place(label);
}

void LabelPlace::place(QLabel* label) {
    label_ = label;
    labelHint_ = label->sizeHint().expandedTo(label->minimumSize()).boundedTo(label->maximumSize());
    labelMinimumHint_ = label->minimumSizeHint().expandedTo(label->minimumSize()).boundedTo(label->maximumSize());
    label->setParent(this);
    label->setGeometry(contentsRect().marginsRemoved(margins_));
    label->setFixedSize(label->size());
    label->show();
    updateGeometry();
}

QSize LabelPlace::around(QSize labelSize) const {
    const QMargins frame = contentsMargins() + margins_;
    return labelSize.grownBy(frame);
}

QSize LabelPlace::sizeHint() const {
    return around(label_ ? labelHint_ : QSize(0, 0));
}

QSize LabelPlace::minimumSizeHint() const {
    return around(label_ ? labelMinimumHint_ : QSize(0, 0));
}

void LabelPlace::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (!label_) return;
    const QRect r = contentsRect().marginsRemoved(margins_);
    label_->setFixedSize(r.size());
    label_->move(r.topLeft());
}

} // namespace widgets

#include "moc_LabelPlace.cpp"
