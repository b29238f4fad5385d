// A click that only brings a window forward moves no control in it: a press on a guarded control while
// its window is not active, or in the moment it became active, activates the window and goes no further
// (nor does its release). The installer's next click is their own.
#pragma once

#include <QObject>
#include <QPointer>
#include <chrono>

class QWidget;

namespace widgets {

class ClickThroughGuard : public QObject {
    Q_OBJECT
  public:
    // How long after its window became active a press still counts as the one that activated it: the
    // window system may tell of the activation just before the click that caused it.
    static constexpr int SettleMs = 300;

    // Guards area and everything inside it; watches the whole application for it.
    explicit ClickThroughGuard(QWidget* area);
    // The window has been active long enough that a press is taken as meant.
    bool Settled() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using Clock = std::chrono::steady_clock;
    bool guards(QObject* watched) const;

    QPointer<QWidget> area_;
    // The last focus change, which Qt makes for a press before any filter sees it: taken back when the
    // press is the one that activated the window (a gauge with the focus takes the wheel).
    QPointer<QWidget> focusBefore_, focusNow_;
    Clock::time_point activeSince_ = Clock::time_point::min(); // min: long ago (or not active)
    bool active_ = false;
    Qt::MouseButtons swallowed_ = Qt::NoButton; // pressed to activate: their releases go too
};

} // namespace widgets
