#include "app/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace app {

const int QuitOnSignal::Signals[3] = {SIGTERM, SIGINT, SIGHUP};

namespace {

// The pipe from the handler to the event loop; the handler only writes one byte to it.
int pipeFds[2] = {-1, -1};
struct sigaction previous[3];

extern "C" void onSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &number, 1);
    // Once asked, a second signal is not held up should the event loop be stuck.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    errno = savedErrno;
}

} // namespace

QuitOnSignal::QuitOnSignal(std::function<void()> beforeQuit, Quit quit, QObject* parent)
    : QObject(parent), beforeQuit_(std::move(beforeQuit)), quit_(std::move(quit)) {
    if (!quit_) quit_ = [](int signal) { QCoreApplication::exit(128 + signal); };
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("QuitOnSignal: no pipe for the signal handlers (%s)", pipeFds[0] >= 0 ? "in use" : strerror(errno));
        return;
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignal::arrived);
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(Signals[i], &action, &previous[i]);
}

QuitOnSignal::~QuitOnSignal() {
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i) ::sigaction(Signals[i], &previous[i], nullptr);
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void QuitOnSignal::arrived() {
    unsigned char number = 0;
    if (::read(pipeFds[0], &number, 1) != 1 || done_) return;
    done_ = true;
    if (beforeQuit_) beforeQuit_();
    quit_(number);
}

} // namespace app

#include "moc_QuitOnSignal.cpp"
