// SerialPort on Linux: a terminal device opened with termios, exclusive and locked, its line settings saved
// and restored. (Its sending and receiving are in SerialTransferPosix.cpp.)
#include "protocol/SerialPortPosix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace protocol {

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

// /dev/ptmx (and the multiplexer of a devpts mount) is character device 5, 2: opening it makes a
// new pseudo-terminal pair, whose other end nobody holds, instead of reaching a device.
bool isTerminalMultiplexer(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 5 && minor(st.st_rdev) == 2;
}

} // namespace

std::string SystemErrorText(int code) {
    return std::strerror(code);
}

SerialPort::SerialPort() : native_(std::make_unique<Native>(*this)) {}

SerialPort::~SerialPort() {
    ClosePort();
}

int SerialPort::DeviceGoneError() {
    return EIO;
}

std::intptr_t SerialPort::handle() const {
    return native_->fd;
}

int SerialPort::NoSuchPortError() {
    return ENOENT;
}

int SerialPort::BadHandleError() {
    return EBADF;
}

void SerialPort::SharpenSleeps() {
    // The kernel would let each sleep run up to 50 us late, to wake the thread together with others.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
}

bool SerialPort::DevicePresent(const std::string& name) {
    struct stat st {};
    return ::stat(DevicePathFor(name).c_str(), &st) == 0;
}

std::string SerialPort::DevicePathFor(const std::string& name, int* portNumber) {
    const int number = ComNumber(name) - 1;
    if (portNumber) *portNumber = number;
    return number == -1 ? name : "/dev/ttyS" + std::to_string(number);
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
    native_->haveSavedTermios = ::tcgetattr(fd, &native_->savedTermios) == 0;
    native_->fd = fd;
    PortOpen = true;
    // Modem lines: a pseudo-terminal has none, which is not an error.
    int lines = TIOCM_RTS | TIOCM_DTR;
    ::ioctl(native_->fd, TIOCMBIS, &lines);
    serial_icounter_struct icount{};
    native_->haveCounters = ::ioctl(native_->fd, TIOCGICOUNT, &icount) == 0;
    if (native_->haveCounters) native_->counters = {icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
    PurgePort();
    finish();
}

void SerialPort::SetInputQueueSize(int bytes) {
    // The tty layer sizes its own queues; the count is remembered for the flow-control limits.
    InputQueueSize = bytes;
    Settings.xonLimit = Settings.xoffLimit = bytes / 4;
    ApplyLineSettings();
}

void SerialPort::ApplyLineSettings() {
    if (native_->fd < 0) {
        setError(EBADF);
        return finish();
    }
    termios t{};
    if (::tcgetattr(native_->fd, &t) != 0) {
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
    setError(::tcsetattr(native_->fd, TCSANOW, &t) == 0 ? sOK : errno);
    finish();
}

void SerialPort::Native::checkLineErrors() {
    if (!haveCounters || fd < 0) return;
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) return;
    int code = 0;
    if (icount.frame != counters.frame) code = ErrFrame;
    if (icount.overrun != counters.overrun) code = ErrOverrun;
    if (icount.buf_overrun != counters.bufOverrun) code = ErrRxOver;
    if (icount.parity != counters.parity) code = ErrRxParity;
    counters = {icount.frame, icount.overrun, icount.parity, icount.buf_overrun};
    if (code) port.setError(code);
}

void SerialPort::PurgePort() {
    LineBuffer.clear();
    native_->outputLeaves = {};
    if (native_->fd >= 0) ::tcflush(native_->fd, TCIOFLUSH);
}

void SerialPort::ClosePort() {
    if (native_->fd >= 0) {
        PurgePort();
        int lines = TIOCM_RTS | TIOCM_DTR;
        ::ioctl(native_->fd, TIOCMBIC, &lines);
        if (native_->haveSavedTermios) ::tcsetattr(native_->fd, TCSANOW, &native_->savedTermios);
        ::ioctl(native_->fd, TIOCNXCL);
        ::close(native_->fd);
    }
    native_->fd = -1;
    native_->haveSavedTermios = false;
    native_->haveCounters = false;
    PortOpen = false;
    PortNumber = -1;
    setError(sOK);
}

} // namespace protocol
