#include "widgets/NoticeLabel.h"

#include "widgets/PlainText.h"

#include <QMouseEvent>

namespace widgets {

NoticeLabel::NoticeLabel(QWidget* parent) : QLabel(parent) {
    setIndent(3);
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Notice"));
    setAccessibleDescription(QStringLiteral("Click for the earlier messages (Window > Messages)."));
}

void NoticeLabel::setNotice(const QString& text) {
    notice_ = text;
    fit();
}

void NoticeLabel::fit() {
    // One line: a notice with line breaks shows them as spaces.
    QString line = notice_;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int room = std::max(0, contentsRect().width() - 2 * indent());
    const QString shown = fontMetrics().elidedText(line, Qt::ElideRight, room);
    elided_ = shown != line;
    QLabel::setText(shown);
    setToolTip(PlainToolTip(notice_));
}

QSize NoticeLabel::sizeHint() const {
    return minimumSizeHint();
}

QSize NoticeLabel::minimumSizeHint() const {
    const QSize line = QLabel::minimumSizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("M\u2026")) + 2 * indent(), line.height()};
}

void NoticeLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void NoticeLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

} // namespace widgets

#include "moc_NoticeLabel.cpp"
