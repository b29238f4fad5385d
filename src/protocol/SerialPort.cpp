#include "protocol/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A device the system names as something other than a terminal (/dev/null, a disk, a watchdog, which
// some opens act on) is never opened; nor is anything but a character device. Pseudo-terminals
// have no entry of the system's and pass, as does a path that does not exist (open says why).
bool knownNotATerminal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISCHR(st.st_mode)) return true;
    const std::string entry =
        "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ':' + std::to_string(minor(st.st_rdev)) + "/subsystem";
    char target[256];
    const ssize_t n = ::readlink(entry.c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    const std::string subsystem(target, static_cast<std::size_t>(n));
    return subsystem.size() < 4 || subsystem.compare(subsystem.size() - 4, 4, "/tty") != 0;
}

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

speed_t speedFor(int baud) {
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

// Reads "COM<digits>": the number, or 0 when the rest is not a plain decimal number.
int comNumber(const std::string& rest) {
    if (rest.empty() || rest.size() > 9) return 0;
    int n = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

// /dev/ptmx (and the multiplexer of a devpts mount) is character device 5, 2: opening it makes a
// new pseudo-terminal pair, whose other end nobody holds, instead of reaching a device.
bool isTerminalMultiplexer(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 5 && minor(st.st_rdev) == 2;
}

} // namespace

SerialError::SerialError(int code, const std::string& text)
    : std::runtime_error("Communication error " + std::to_string(code) + ": " + text), ErrorCode(code) {}

SerialPort::~SerialPort() {
    ClosePort();
}

std::string SerialPort::GetErrorDesc(int code) {
    switch (code) {
    case sOK: return "OK";
    case ErrAlreadyOwned: return "Port owned by other process";
    case ErrAlreadyInUse: return "Instance already in use";
    case ErrWrongParameter: return "Wrong paramter at call";
    case ErrPortNotOpen: return "Instance not yet connected";
    case ErrNoDeviceAnswer: return "No device answer detected";
    case ErrMaxBuffer: return "Maximal buffer length exceeded";
    case ErrTimeout: return "Timeout during operation";
    case ErrNotRead: return "Reading of data failed";
    case ErrFrame: return "Receive framing error";
    case ErrOverrun: return "Receive Overrun Error";
    case ErrRxOver: return "Receive Queue overflow";
    case ErrRxParity: return "Receive Parity Error";
    case ErrTxFull: return "Tranceive Queue is full";
    case ErrNotSerialLine: return "Not a serial line: the pseudo-terminal multiplexer";
    default: return std::strerror(code);
    }
}

std::string SerialPort::DevicePathFor(const std::string& name, int* portNumber) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    const int number = upper.rfind("COM", 0) == 0 ? comNumber(name.substr(3)) - 1 : -1;
    if (portNumber) *portNumber = number;
    return number == -1 ? name : "/dev/ttyS" + std::to_string(number);
}

void SerialPort::setError(int code) {
    ErrorCode = code;
    ErrorText = GetErrorDesc(code);
}

void SerialPort::finish() {
    if (RaiseExcept && ErrorCode != 0) throw SerialError(ErrorCode, ErrorText);
}

void SerialPort::OpenPort(const std::string& name) {
    if (PortOpen) {
        setError(ErrAlreadyInUse);
        return finish();
    }
    setError(sOK);
    LineBuffer.clear();
    DevicePath = DevicePathFor(name, &PortNumber);
    if (isTerminalMultiplexer(DevicePath)) {
        setError(ErrNotSerialLine);
        return finish();
    }

    if (knownNotATerminal(DevicePath)) {
        setError(ENOTTY);
        return finish();
    }
    const int fd = ::open(DevicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(errno);
        return finish();
    }
    if (!::isatty(fd)) {
        ::close(fd);
        setError(ENOTTY);
        return finish();
    }
    // Exclusive use: a second program gets EBUSY instead of stealing our bytes. TIOCEXCL does not
    // bind root, so the port is locked as well; the lock goes with the descriptor.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        setError(errno);
        ::close(fd);
        return finish();
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        setError(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return finish();
    }
    haveSavedTermios_ = ::tcgetattr(fd, &savedTermios_) == 0;
    fd_ = fd;
    PortOpen = true;
    // Modem lines: a pseudo-terminal has none, which is not an error.
    int lines = TIOCM_RTS | TIOCM_DTR;
    ::ioctl(fd_, TIOCMBIS, &lines);
    serial_icounter_struct icount{};
    haveCounters_ = ::ioctl(fd_, TIOCGICOUNT, &icount) == 0;
    if (haveCounters_) counters_ = {icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
    PurgePort();
    finish();
}

void SerialPort::ConfigureLine(int baud, int bits, char parity, int stop, bool softFlow, bool hardFlow) {
    Settings = LineSettings{};
    Settings.baud = baud;
    Settings.dataBits = bits;
    Settings.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parity)));
    Settings.stopBits = stop;
    Settings.softwareFlow = softFlow;
    Settings.hardwareFlow = hardFlow;
    Settings.xonLimit = Settings.xoffLimit = InputQueueSize / 4;
    ApplyLineSettings();
}

void SerialPort::SetInputQueueSize(int bytes) {
    // The tty layer sizes its own queues; the count is remembered for the flow-control limits.
    InputQueueSize = bytes;
    Settings.xonLimit = Settings.xoffLimit = bytes / 4;
    ApplyLineSettings();
}

void SerialPort::ApplyLineSettings() {
    if (fd_ < 0) {
        setError(EBADF);
        return finish();
    }
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) {
        setError(errno);
        return finish();
    }
    ::cfmakeraw(&t);
    const speed_t speed = speedFor(Settings.baud);
    tcflag_t size = 0;
    switch (Settings.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: break;
    }
    const bool parityKnown = std::string("NOEMS").find(Settings.parity) != std::string::npos && Settings.parity;
    if (speed == B0 || size == 0 || !parityKnown || Settings.stopBits < 0 || Settings.stopBits > 2) {
        setError(EINVAL);
        return finish();
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)) | size | CLOCAL | CREAD;
    switch (Settings.parity) {
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'E': t.c_cflag |= PARENB; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (Settings.parity != 'N') t.c_iflag |= INPCK;
    if (Settings.stopBits != 0) t.c_cflag |= CSTOPB; // POSIX has no one and a half: two is nearest
    if (Settings.softwareFlow) t.c_iflag |= IXON | IXOFF;
    if (Settings.hardwareFlow) t.c_cflag |= CRTSCTS;
    // Non-blocking descriptor with VMIN 1: read() says EAGAIN when nothing is queued and 0 only at
    // hang-up, so an empty read can never be mistaken for a lost device or the other way round.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    setError(::tcsetattr(fd_, TCSANOW, &t) == 0 ? sOK : errno);
    finish();
}

void SerialPort::checkLineErrors() {
    if (!haveCounters_ || fd_ < 0) return;
    serial_icounter_struct icount{};
    if (::ioctl(fd_, TIOCGICOUNT, &icount) != 0) return;
    int code = 0;
    if (icount.frame != counters_.frame) code = ErrFrame;
    if (icount.overrun != counters_.overrun) code = ErrOverrun;
    if (icount.buf_overrun != counters_.bufOverrun) code = ErrRxOver;
    if (icount.parity != counters_.parity) code = ErrRxParity;
    counters_ = {icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
    if (code) setError(code);
}

int SerialPort::SendBytes(const std::uint8_t* buffer, int count) {
    return send(buffer, count, DeadlockTimeout);
}

int SerialPort::SendBytes(const std::uint8_t* buffer, int count, int limitMs) {
    return send(buffer, count, std::clamp(limitMs, 0, DeadlockTimeout));
}

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
        const ssize_t n = ::write(fd_, buffer + written, static_cast<std::size_t>(count - written));
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
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r == 0 || msLeft(deadline) == 0) {
            ::tcflush(fd_, TCOFLUSH);
            setError(ErrTimeout);
            break;
        }
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
            setError(EIO);
            break;
        }
    }
    if (written > 0) outputLeaves_ = std::max(Clock::now(), outputLeaves_) + ByteTime() * written;
    if (ErrorCode == 0) checkLineErrors();
    finish();
    return written;
}

// Reads what the driver has queued into the buffer; 0 with ErrorCode set when the device is gone.
int SerialPort::readQueued(std::uint8_t* into, int capacity) {
    for (;;) {
        const ssize_t n = ::read(fd_, into, static_cast<std::size_t>(capacity));
        if (n > 0) return static_cast<int>(n);
        if (n == 0) { // readable, yet nothing to read: the other end hung up
            setError(EIO);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        setError(errno);
        return 0;
    }
}

int SerialPort::ReceiveBytes(std::uint8_t* buffer, int count, int timeoutMs) {
    return receive(buffer, count, timeoutMs, -1);
}

int SerialPort::ReceiveBytes(std::uint8_t* buffer, int count, int timeoutMs, int limitMs) {
    return receive(buffer, count, timeoutMs, std::max(0, limitMs));
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
            if (queuedInput() == 0) {
                if (first) sleepThroughLineTime(std::max(Clock::now(), outputLeaves_), count - stored, deadline);
                else sleepThroughLineTime(Clock::now(), count - stored - 1, deadline);
            }
            for (;;) {
                pollfd p{fd_, POLLIN, 0};
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
                    gotCount = readQueued(scratch, sizeof scratch);
                    if (gotCount == 0 && ErrorCode == 0) continue; // raced with another reader: wait again
                    break;
                }
                // Hang-up or error without data: the device is gone; report it at once.
                setError(EIO);
                break;
            }
            if (ErrorCode == 0) checkLineErrors();
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

std::chrono::nanoseconds SerialPort::ByteTime() const {
    if (Settings.baud <= 0) return std::chrono::nanoseconds(0);
    const int bits = 1 + Settings.dataBits + (Settings.parity != 'N' ? 1 : 0) + (Settings.stopBits == 0 ? 1 : 2);
    return std::chrono::nanoseconds(1'000'000'000LL * bits / Settings.baud);
}

int SerialPort::queuedInput() const {
    int queued = 0;
    return ::ioctl(fd_, FIONREAD, &queued) == 0 ? queued : 0;
}

void SerialPort::sleepThroughLineTime(Clock::time_point from, int bytes, Clock::time_point deadline) {
    const auto lineTime = ByteTime() * bytes;
    if (bytes < 2 || lineTime.count() == 0) return; // a byte or two: not worth a sleep
    const auto until = std::min(from + lineTime, deadline);
    // No events asked for: only a hang-up or an error ends the sleep early, and is reported at once
    // by the wait that follows.
    pollfd p{fd_, 0, 0};
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
    if (fd_ < 0) return dropped;
    const auto limit = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    std::uint8_t scratch[512];
    for (;;) {
        const int wait = std::min(std::max(0, quietMs), msLeft(limit));
        if (wait == 0) break;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLIN)) break; // quiet long enough, or the device is gone
        const ssize_t n = ::read(fd_, scratch, sizeof scratch);
        if (n > 0) dropped += static_cast<int>(n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) break;
    }
    ::tcflush(fd_, TCIFLUSH);
    return dropped;
}

int SerialPort::PendingOutput() {
    if (fd_ < 0) {
        setError(ErrPortNotOpen);
        return 0;
    }
    int queued = 0;
    setError(sOK);
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

void SerialPort::FlushOutput() {
    FlushOutput(DeadlockTimeout);
}

bool SerialPort::FlushOutput(int limitMs) {
    if (fd_ < 0) {
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

void SerialPort::PurgePort() {
    LineBuffer.clear();
    outputLeaves_ = {};
    if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

void SerialPort::ClosePort() {
    if (fd_ >= 0) {
        PurgePort();
        int lines = TIOCM_RTS | TIOCM_DTR;
        ::ioctl(fd_, TIOCMBIC, &lines);
        if (haveSavedTermios_) ::tcsetattr(fd_, TCSANOW, &savedTermios_);
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    haveSavedTermios_ = false;
    haveCounters_ = false;
    PortOpen = false;
    PortNumber = -1;
    setError(sOK);
}
