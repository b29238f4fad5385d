// A window's poll timer held by its test: it stays running, so the link counts as polling, but its
// time-outs are kept back, so that the link polls only when the test calls tick(). (A tick starts the
// timer again for the pause before the next poll: left to itself, it would poll a test's silent port
// in the background, fail, and read the parameters again, as the machine's load decides.)
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>

class HeldPollTimer : public QObject {
  public:
    explicit HeldPollTimer(QTimer* timer) : timer_(timer) { timer_->installEventFilter(this); }
    ~HeldPollTimer() override {
        if (timer_) timer_->removeEventFilter(this);
    }
    HeldPollTimer(const HeldPollTimer&) = delete;
    HeldPollTimer& operator=(const HeldPollTimer&) = delete;

  protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }

  private:
    QPointer<QTimer> timer_;
};
