// SerialPort's sending and receiving on Linux: bytes out within a deadline, replies in with the line's own pace.
#include "protocol/SerialPortPosix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace protocol {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

int SerialPort::send(const std::uint8_t* buffer, int count, int limitMs) {
    if (!PortOpen) {
        setError(ErrPortNotOpen);
        finish();
        return 0;
    }
    setError(sOK);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    int written = 0;
    while (written < count) {
        const ssize_t n = ::write(native_->fd, buffer + written, static_cast<std::size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            setError(errno);
            break;
        }
        // The driver's queue is full, or its output stopped: wait for room, but not past the limit.
        pollfd p{native_->fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r == 0 || msLeft(deadline) == 0) {
            ::tcflush(native_->fd, TCOFLUSH);
            setError(ErrTimeout);
            break;
        }
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
            setError(EIO);
            break;
        }
    }
    if (written > 0) native_->outputLeaves = std::max(Clock::now(), native_->outputLeaves) + ByteTime() * written;
    if (ErrorCode == 0) native_->checkLineErrors();
    finish();
    return written;
}

int SerialPort::Native::readQueued(std::uint8_t* into, int capacity) {
    for (;;) {
        const ssize_t n = ::read(fd, into, static_cast<std::size_t>(capacity));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) { // readable, yet nothing to read: the other end hung up
            port.setError(EIO);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        port.setError(errno);
        return 0;
    }
}

// limitMs < 0: no limit on the whole receive.
int SerialPort::receive(std::uint8_t* buffer, int count, int timeoutMs, int limitMs) {
    if (!PortOpen) {
        setError(ErrPortNotOpen);
        finish();
        return 0;
    }
    setError(sOK);
    const auto start = Clock::now();
    const auto overall = start + std::chrono::milliseconds(std::max(0, timeoutMs));
    const auto limit = start + std::chrono::milliseconds(std::max(0, limitMs));
    std::uint8_t scratch[4096];
    std::vector<std::uint8_t> held;
    int stored = 0;
    bool first = true;
    while (stored < count && ErrorCode == 0) {
        const std::uint8_t* got = scratch;
        int gotCount = 0;
        if (!LineBuffer.empty()) {
            held.swap(LineBuffer);
            got = held.data();
            gotCount = static_cast<int>(held.size());
        } else {
            int wait = InterPacketTimeout ? std::max(0, timeoutMs) : msLeft(overall);
            if (limitMs >= 0) wait = std::min(wait, msLeft(limit));
            const auto deadline = Clock::now() + std::chrono::milliseconds(wait);
            // The bytes still to come need their time on the line: sleep through it rather than wake for
            // every byte. Before the first has come, that is after what was sent has gone out (a reply
            // cannot begin before its request has ended), and all of them are read at once; after a
            // part, the sleep wakes a byte early so that the end is seen as it comes. Bytes already
            // waiting are taken at once.
            if (native_->queuedInput() == 0) {
                if (first)
                    native_->sleepThroughLineTime(std::max(Clock::now(), native_->outputLeaves), count - stored,
                                                  deadline);
                else native_->sleepThroughLineTime(Clock::now(), count - stored - 1, deadline);
            }
            for (;;) {
                pollfd p{native_->fd, POLLIN, 0};
                const int r = ::poll(&p, 1, msLeft(deadline));
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) {
                    setError(errno);
                    break;
                }
                if (r == 0) {
                    setError(ErrTimeout);
                    break;
                }
                if (p.revents & POLLNVAL) {
                    setError(EBADF);
                    break;
                }
                if (p.revents & POLLIN) {
                    gotCount = native_->readQueued(scratch, sizeof scratch);
                    if (gotCount == 0 && ErrorCode == 0) continue; // raced with another reader: wait again
                    break;
                }
                // Hang-up or error without data: the device is gone; report it at once.
                setError(EIO);
                break;
            }
            if (ErrorCode == 0) native_->checkLineErrors();
        }
        first = false;
        const int take = std::min(gotCount, count - stored);
        std::copy_n(got, take, buffer + stored);
        stored += take;
        if (take < gotCount) LineBuffer.assign(got + take, got + gotCount);
        held.clear();
    }
    finish();
    return stored;
}

int SerialPort::Native::queuedInput() const {
    int queued = 0;
    return ::ioctl(fd, FIONREAD, &queued) == 0 ? queued : 0;
}

void SerialPort::Native::sleepThroughLineTime(Clock::time_point from, int bytes, Clock::time_point deadline) {
    const auto lineTime = port.ByteTime() * bytes;
    if (bytes < 2 || lineTime.count() == 0) return; // a byte or two: not worth a sleep
    const auto until = std::min(from + lineTime, deadline);
    // No events asked for: only a hang-up or an error ends the sleep early, and is reported at once
    // by the wait that follows.
    pollfd p{fd, 0, 0};
    for (;;) {
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) return;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec t{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        const int r = ::ppoll(&p, 1, &t, nullptr);
        if (r != 0 && !(r < 0 && errno == EINTR)) return;
    }
}

int SerialPort::ResyncInput(int quietMs, int limitMs) {
    int dropped = static_cast<int>(LineBuffer.size());
    LineBuffer.clear();
    if (native_->fd < 0) return dropped;
    const auto limit = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    std::uint8_t scratch[512];
    for (;;) {
        const int wait = std::min(std::max(0, quietMs), msLeft(limit));
        if (wait == 0) break;
        pollfd p{native_->fd, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLIN)) break; // quiet long enough, or the device is gone
        const ssize_t n = ::read(native_->fd, scratch, sizeof scratch);
        if (n > 0) dropped += static_cast<int>(n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) break;
    }
    ::tcflush(native_->fd, TCIFLUSH);
    return dropped;
}

int SerialPort::PendingOutput() {
    if (native_->fd < 0) {
        setError(ErrPortNotOpen);
        return 0;
    }
    int queued = 0;
    setError(sOK);
    if (::ioctl(native_->fd, TIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

bool SerialPort::FlushOutput(int limitMs) {
    if (native_->fd < 0) {
        setError(ErrPortNotOpen);
        finish();
        return false;
    }
    setError(sOK);
    // Wait for the queue to drain, bounded: a stalled line must not hang the program. (Not
    // tcdrain: it waits without a limit.)
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    while (PendingOutput() > 0) {
        if (msLeft(deadline) == 0) {
            setError(ErrTimeout);
            finish();
            return false;
        }
        ::poll(nullptr, 0, 1);
    }
    finish();
    return true;
}

} // namespace protocol
