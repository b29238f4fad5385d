// The replay's controls, a bar of the main window while a replay runs and after its end: pause and
// resume, one reply back or forward, the recorded time on a slider to seek with, the speed.
#pragma once

#include <QToolBar>

class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

namespace commission {

class ReplayBar : public QToolBar {
    Q_OBJECT
  public:
    explicit ReplayBar(QWidget* parent);

    // The speeds offered, slowest first.
    static constexpr double Speeds[] = {0.5, 1, 2, 4, 8};

    QToolButton* playButton = nullptr; // "Pause" while playing, "Play" otherwise
    QToolButton* backButton = nullptr;
    QToolButton* forwardButton = nullptr;
    QSlider* position = nullptr; // tenths of a second from the recording's first reply
    QLabel* timeLabel = nullptr;
    QComboBox* speed = nullptr;
    QToolButton* closeButton = nullptr;

    // The recording's length and the place shown, in ms from its first reply (the slider does not move
    // while the user drags it).
    void ShowPlace(std::int64_t ms, std::int64_t lengthMs);
    void ShowPlaying(bool playing);
    double Speed() const;
    // "1:05.3": minutes, seconds and tenths.
    static QString TimeText(std::int64_t ms);
};

} // namespace commission
