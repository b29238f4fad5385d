// Ends the program cleanly when it is told to stop (SIGTERM, SIGINT, SIGHUP): the signal is
// handed to the event loop, which releases the port and then quits, so that a program killed
// while connected still restores the line and gives up its claim on the port.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace app {

class QuitOnSignal : public QObject {
    Q_OBJECT
  public:
    using Quit = std::function<void(int signal)>;

    // Installs the handlers; at most one object at a time. On the first of these signals,
    // beforeQuit runs (on the event loop, never in the handler), then quit: by default
    // QCoreApplication::exit with 128 + the signal's number, as a shell reports a killed program.
    // A second signal while the first is still waiting for the event loop ends the program at once.
    explicit QuitOnSignal(std::function<void()> beforeQuit, Quit quit = {}, QObject* parent = nullptr);
    // Restores the handlers there were before.
    ~QuitOnSignal() override;
    QuitOnSignal(const QuitOnSignal&) = delete;
    QuitOnSignal& operator=(const QuitOnSignal&) = delete;

    static const int Signals[3];

  private:
    void arrived();

    std::function<void()> beforeQuit_;
    Quit quit_;
    QSocketNotifier* notifier_ = nullptr;
    bool done_ = false;
};

} // namespace app
