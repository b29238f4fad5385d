// The pace at which the screen shows what the live readings change: at most every 80 ms, a lamp at once.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <utility>
#include <vector>

class QLabel;
class QWidget;

namespace widgets {

// A status reply comes every 46 ms, and every paint of a window goes through the window system. The
// parts of the windows that replies change (bars, selections, values, the graph's new columns) are
// gathered and painted together with the windows' next paint once 80 ms have passed since the last such
// paint: the readings stay live to the eye at half the replies' rate, while every reply's values are
// already in the widgets (and the graph's picture). A lamp is painted with the window's next paint, and
// what was gathered goes with it.
class PaintPace : public QObject {
    Q_OBJECT
  public:
    static constexpr int IntervalMs = 80;
    // The program's pace (one for all its windows).
    static PaintPace& Instance();

    // Paints region of widget with the windows' next paint once the interval since the last paced paint
    // has passed (at once when it has already).
    void Later(QWidget* widget, const QRegion& region);
    // Paints what was gathered with the windows' next paint, together with the changes made until then.
    void Now();
    // Something is gathered and waits for its paint.
    bool Holding() const { return !held_.empty(); }

  private:
    explicit PaintPace(QObject* parent);
    void release();

    QTimer timer_;
    QElapsedTimer lastRelease_;
    bool now_ = false;
    std::vector<std::pair<QPointer<QWidget>, QRegion>> held_;
};

// Sets a label's text, its paint at the pace of the live readings (a label of a fixed size, whose new
// text changes no layout).
void SetTextPaced(QLabel* label, const QString& text);

} // namespace widgets
