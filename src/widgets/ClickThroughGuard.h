// A click that only brings a window forward moves no control in it: a press on a guarded control while
// its window is not active, or in the moment it became active, activates the window and goes no further
// (nor does its release). The installer's next click is their own.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <chrono>

class QWidget;

namespace widgets {

class ClickThroughGuard : public QObject {
    Q_OBJECT
  public:
    // How long after its window became active a press still counts as the one that activated it (the
    // window system may tell of the activation just before the click that caused it): at least this, and
    // at least a double click's time.
    static constexpr int MinimumSettleMs = 300;
    static int SettleTimeMs();

    // Guards the areas (of one window) and everything inside them; watches the whole application for it.
    explicit ClickThroughGuard(const QList<QWidget*>& areas);
    // The window has been active long enough that a press is taken as meant.
    bool Settled() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using Clock = std::chrono::steady_clock;
    bool guards(QObject* watched) const;

    QPointer<QWidget> window_;
    QList<QPointer<QWidget>> areas_;
    // The window's focus when it was last left: Qt moves the focus for a press before any filter sees it,
    // and a press that only activates the window gives it back (a gauge with the focus takes the wheel).
    QPointer<QWidget> focusBefore_;
    Clock::time_point activeSince_ = Clock::time_point::min(); // min: long ago (or not active)
    bool active_ = false;
    Qt::MouseButtons swallowed_ = Qt::NoButton; // pressed to activate: their releases go too
};

} // namespace widgets
