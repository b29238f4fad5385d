#include "commission/ReplayBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

namespace commission {

ReplayBar::ReplayBar(QWidget* parent) : QToolBar(QStringLiteral("Replay"), parent) {
    setObjectName(QStringLiteral("ReplayBar"));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::TabFocus);
        addWidget(b);
        return b;
    };
    playButton = button("ReplayPlay", QStringLiteral("&Pause"), QStringLiteral("Pause or go on (Space)"));
    playButton->setMinimumWidth(playButton->fontMetrics().horizontalAdvance(QStringLiteral("Pause")) + 16);
    backButton = button("ReplayBack", QStringLiteral("\u25C0"), QStringLiteral("One reply back (Left)"));
    position = new QSlider(Qt::Horizontal, this);
    position->setObjectName(QStringLiteral("ReplayPosition"));
    position->setMinimumWidth(260);
    position->setPageStep(100); // 10 s
    position->setSingleStep(10);
    position->setFocusPolicy(Qt::StrongFocus);
    position->setToolTip(QStringLiteral("The recorded time: drag, click or use Page Up, Page Down, Home and End "
                                        "to go to another place"));
    addWidget(position);
    forwardButton = button("ReplayForward", QStringLiteral("\u25B6"), QStringLiteral("One reply forward (Right)"));
    timeLabel = new QLabel(this);
    timeLabel->setObjectName(QStringLiteral("ReplayTime"));
    timeLabel->setContentsMargins(6, 0, 6, 0);
    addWidget(timeLabel);
    auto* speedLabel = new QLabel(QStringLiteral("Spee&d:"), this);
    speedLabel->setContentsMargins(6, 0, 2, 0);
    addWidget(speedLabel);
    speed = new QComboBox(this);
    speed->setObjectName(QStringLiteral("ReplaySpeed"));
    for (double s : Speeds) speed->addItem(QStringLiteral("\u00D7%1").arg(s), s);
    speed->setCurrentIndex(1);
    speed->setToolTip(QStringLiteral("How fast the recording plays"));
    speedLabel->setBuddy(speed);
    addWidget(speed);
    addSeparator();
    closeButton = button("ReplayClose", QStringLiteral("C&lose Replay"),
                         QStringLiteral("End the replay; what it shows stays until you connect, replay again or "
                                        "clear the graph"));
    ShowPlace(0, 0);
}

QString ReplayBar::TimeText(std::int64_t ms) {
    const std::int64_t tenths = std::max<std::int64_t>(0, ms) / 100;
    return QStringLiteral("%1:%2.%3").arg(tenths / 600).arg(tenths / 10 % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
}

void ReplayBar::ShowPlace(std::int64_t ms, std::int64_t lengthMs) {
    const int length = static_cast<int>(std::clamp<std::int64_t>(lengthMs / 100, 0, INT32_MAX));
    if (position->maximum() != length) {
        const QSignalBlocker quiet(position);
        position->setRange(0, length);
    }
    if (!position->isSliderDown()) {
        const QSignalBlocker quiet(position);
        position->setValue(static_cast<int>(std::clamp<std::int64_t>(ms / 100, 0, length)));
    }
    const QString text = TimeText(ms) + QStringLiteral(" of ") + TimeText(lengthMs);
    if (timeLabel->text() != text) timeLabel->setText(text);
}

void ReplayBar::ShowPlaying(bool playing) {
    playButton->setText(playing ? QStringLiteral("&Pause") : QStringLiteral("&Play"));
}

double ReplayBar::Speed() const {
    return speed->currentData().toDouble();
}

} // namespace commission

#include "moc_ReplayBar.cpp"
