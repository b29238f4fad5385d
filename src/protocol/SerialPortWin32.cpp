// SerialPort on Windows: a COM port through the Win32 communications API, opened for this program alone and
// for overlapped requests. Every request is waited for before the call returns, each within its own limit:
// a receive waits for the first bytes with an overlapped ReadFile whose time-outs carry the reply time-out,
// then takes what the driver holds; a send waits for its WriteFile no longer than its deadline.
#include "protocol/SerialPort.h"

#include "errorlog/TextWin32.h"
#include "protocol/PortList.h"

#include <algorithm>
#include <utility>
#include <windows.h>

#include <mmsystem.h>

namespace protocol {

using errorlog::win32::Wide;

std::string SystemErrorText(int code) {
    return errorlog::win32::SystemErrorText(static_cast<DWORD>(code));
}

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A request that was cancelled has this long to report its end before the handle is given up on.
constexpr DWORD CancelWaitMs = 1000;
// A driver read ends by its own time-out; this much longer, and the driver is taken not to answer.
constexpr int DriverSlackMs = 250;

} // namespace

struct SerialPort::Native {
    explicit Native(SerialPort& owner) : port(owner) {
        readDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        writeDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~Native() {
        ::CloseHandle(readDone);
        ::CloseHandle(writeDone);
    }
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;

    bool open() const { return handle != INVALID_HANDLE_VALUE; }

    // The driver's error flags and queues; flags seen by a look at the queues are kept for the next check.
    bool status(COMSTAT& queues) {
        DWORD errors = 0;
        if (!::ClearCommError(handle, &errors, &queues)) return false;
        lineErrors |= errors;
        return true;
    }

    // A line error the driver reported since the last check becomes the port's error; when several are
    // set, the last of framing, overrun, queue overflow, parity, transmit queue full wins.
    void checkLineErrors() {
        COMSTAT queues{};
        status(queues);
        const DWORD errors = std::exchange(lineErrors, 0);
        int code = 0;
        if (errors & CE_FRAME) code = ErrFrame;
        if (errors & CE_OVERRUN) code = ErrOverrun;
        if (errors & CE_RXOVER) code = ErrRxOver;
        if (errors & CE_RXPARITY) code = ErrRxParity;
        if (errors & CE_TXFULL) code = ErrTxFull;
        if (code) port.setError(code);
    }

    int queuedInput() {
        COMSTAT queues{};
        return status(queues) ? static_cast<int>(queues.cbInQue) : 0;
    }

    // The read time-out: a read ends when its count has come or waitMs has passed, whichever is first.
    // Set only when it changes.
    bool readWaiting(int waitMs) {
        if (waitMs == readWaitMs) return true;
        COMMTIMEOUTS t{};
        t.ReadTotalTimeoutConstant = static_cast<DWORD>(std::max(0, waitMs));
        if (!::SetCommTimeouts(handle, &t)) return false;
        readWaitMs = waitMs;
        return true;
    }

    // Waits for an overlapped request that is under way, no longer than waitMs. On a time-out the request
    // is aborted (purge) and cancelled, and its end waited for, so that its OVERLAPPED is free again.
    // Returns the bytes moved; timedOut says whether it ran out of time, error the system's code.
    DWORD await(OVERLAPPED& request, HANDLE done, DWORD waitMs, DWORD purge, bool& timedOut, DWORD& error) {
        DWORD moved = 0;
        error = 0;
        timedOut = ::WaitForSingleObject(done, waitMs) != WAIT_OBJECT_0;
        if (timedOut) {
            ::PurgeComm(handle, purge);
            ::CancelIoEx(handle, &request);
            if (::WaitForSingleObject(done, CancelWaitMs) != WAIT_OBJECT_0) {
                // The driver never ends it: the handle goes, and the request with it.
                ::CloseHandle(handle);
                handle = INVALID_HANDLE_VALUE;
                error = ERROR_GEN_FAILURE;
                return 0;
            }
        }
        if (!::GetOverlappedResult(handle, &request, &moved, FALSE) && !timedOut) error = ::GetLastError();
        return moved;
    }

    // One overlapped ReadFile of count bytes, ended by the driver when they have come or waitMs has passed.
    // 0 bytes when the time ran out; error set when the device failed.
    int readFile(std::uint8_t* into, int count, int waitMs, DWORD& error) {
        error = 0;
        if (!readWaiting(waitMs)) {
            error = ::GetLastError();
            return 0;
        }
        OVERLAPPED request{};
        request.hEvent = readDone;
        ::ResetEvent(readDone);
        DWORD got = 0;
        if (::ReadFile(handle, into, static_cast<DWORD>(count), &got, &request)) return static_cast<int>(got);
        error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return 0;
        // The driver ends the read by its own time-out; the wait guards against one that never does.
        bool timedOut = false;
        const int guard = std::min(port.DeadlockTimeout, waitMs + DriverSlackMs);
        got = await(request, readDone, static_cast<DWORD>(guard), PURGE_RXABORT, timedOut, error);
        // A read that ran out of time is no failure of the device (wine reports it as ERROR_TIMEOUT).
        if (error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT) error = 0;
        return static_cast<int>(got);
    }

    // One driver read: up to waitMs for the first bytes, then everything queued, up to capacity. 0 with the
    // port's error set when nothing came (ErrTimeout) or the device failed (its own code). The first byte
    // is waited for alone, so that the read ends as it arrives; what came with it is then read by its
    // count, which the driver has at once.
    int read(std::uint8_t* into, int capacity, int waitMs) {
        if (!open()) {
            port.setError(DeviceGoneError());
            return 0;
        }
        DWORD error = 0;
        int got = 0;
        int queued = queuedInput();
        if (queued == 0 && waitMs > 0) {
            got = readFile(into, 1, waitMs, error);
            queued = error == 0 && got > 0 ? queuedInput() : 0;
        }
        // (Read with the time-out already set when there is one: the bytes are there, and the driver is not
        // asked to change it twice an exchange.)
        if (const int take = std::min(queued, capacity - got); take > 0 && error == 0)
            got += readFile(into + got, take, readWaitMs > 0 ? readWaitMs : DriverSlackMs, error);
        if (error != 0) port.setError(static_cast<int>(error));
        else if (got == 0) port.setError(ErrTimeout);
        return got;
    }

    // Sleeps while that many bytes take their time on the line after from, but not past the deadline, and
    // never through more bytes than half the driver's input queue holds (the rest would be lost).
    void sleepThroughLineTime(Clock::time_point from, int bytes, Clock::time_point deadline) {
        bytes = std::min(bytes, std::max(1, port.InputQueueSize / 2));
        const auto lineTime = port.ByteTime() * bytes;
        if (bytes < 2 || lineTime.count() == 0) return; // a byte or two: not worth a sleep
        const auto until = std::min(from + lineTime, deadline);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left > 0) ::Sleep(static_cast<DWORD>(left)); // (whole milliseconds: a little early, never late)
    }

    SerialPort& port;
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE readDone = nullptr;
    HANDLE writeDone = nullptr;
    DCB saved{};
    bool haveSaved = false;
    DWORD lineErrors = 0;
    int readWaitMs = -1; // the read time-out set in the driver; -1: not set yet
    // When the bytes written last will have left the line.
    Clock::time_point outputLeaves{};
};

SerialPort::SerialPort() : native_(std::make_unique<Native>(*this)) {}

SerialPort::~SerialPort() {
    ClosePort();
}

int SerialPort::DeviceGoneError() {
    return ERROR_GEN_FAILURE;
}

std::intptr_t SerialPort::handle() const {
    return native_->open() ? reinterpret_cast<std::intptr_t>(native_->handle) : -1;
}

int SerialPort::NoSuchPortError() {
    return ERROR_FILE_NOT_FOUND;
}

int SerialPort::BadHandleError() {
    return ERROR_INVALID_HANDLE;
}

void SerialPort::SharpenSleeps() {
    // Windows' timers tick every 15.6 ms unless asked for 1 ms: a 10 ms pause would last 15 or 16.
    static const bool sharpened = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)sharpened;
}

std::string SerialPort::DevicePathFor(const std::string& name, int* portNumber) {
    const int number = ComNumber(name) - 1;
    if (portNumber) *portNumber = number;
    // \\.\COM<n>: the device itself, which the plain name reaches only up to COM9.
    return number == -1 ? name : "\\\\.\\COM" + std::to_string(number + 1);
}

bool SerialPort::DevicePresent(const std::string& name) {
    // A port whose adapter is unplugged has no configuration to give.
    return ProbePort(name);
}

void SerialPort::OpenPort(const std::string& name) {
    if (PortOpen) {
        setError(ErrAlreadyInUse);
        return finish();
    }
    setError(sOK);
    LineBuffer.clear();
    DevicePath = DevicePathFor(name, &PortNumber);
    const std::wstring path = Wide(DevicePath);
    // A file or a folder of that name is no port, and is left alone.
    if (const DWORD attributes = ::GetFileAttributesW(path.c_str());
        attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DEVICE)) {
        setError(ERROR_INVALID_FUNCTION);
        return finish();
    }
    // Read and write, shared with nobody (a second program is refused the port while it is ours).
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        setError(static_cast<int>(::GetLastError()));
        return finish();
    }
    // Only a communications device has line settings.
    DCB saved{};
    saved.DCBlength = sizeof saved;
    if (::GetFileType(handle) != FILE_TYPE_CHAR || !::GetCommState(handle, &saved)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        setError(error ? static_cast<int>(error) : ERROR_INVALID_FUNCTION);
        return finish();
    }
    Native& n = *native_;
    n.handle = handle;
    n.saved = saved;
    n.haveSaved = true;
    n.lineErrors = 0;
    n.readWaitMs = -1;
    // No events, the driver's queues, and reads that return at once with what is queued (until a receive
    // sets its own time-out). Writes have no driver time-out: each send waits within its own deadline.
    ::SetCommMask(handle, 0);
    ::SetupComm(handle, static_cast<DWORD>(InputQueueSize), static_cast<DWORD>(InputQueueSize));
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (::SetCommTimeouts(handle, &timeouts)) n.readWaitMs = 0;
    PortOpen = true;
    // Modem lines: a line without them (wine's pseudo-terminals) is not an error.
    ::EscapeCommFunction(handle, SETRTS);
    ::EscapeCommFunction(handle, SETDTR);
    PurgePort();
    finish();
}

void SerialPort::SetInputQueueSize(int bytes) {
    InputQueueSize = bytes;
    Settings.xonLimit = Settings.xoffLimit = bytes / 4;
    // A request only: the driver may keep a queue of its own size.
    if (native_->open()) ::SetupComm(native_->handle, static_cast<DWORD>(bytes), static_cast<DWORD>(bytes));
    ApplyLineSettings();
}

void SerialPort::ApplyLineSettings() {
    if (!native_->open()) {
        setError(ERROR_INVALID_HANDLE);
        return finish();
    }
    const std::string parities = "NOEMS";
    const auto parity = parities.find(Settings.parity);
    if (Settings.baud <= 0 || Settings.dataBits < 5 || Settings.dataBits > 8 || parity == std::string::npos ||
        !Settings.parity || Settings.stopBits < 0 || Settings.stopBits > 2) {
        setError(ERROR_INVALID_PARAMETER);
        return finish();
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(Settings.baud);
    dcb.ByteSize = static_cast<BYTE>(Settings.dataBits);
    dcb.Parity = static_cast<BYTE>(parity);              // NOPARITY 0, ODD 1, EVEN 2, MARK 3, SPACE 4
    dcb.StopBits = static_cast<BYTE>(Settings.stopBits); // ONESTOPBIT 0, ONE5STOPBITS 1, TWOSTOPBITS 2
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.XonLim = static_cast<WORD>(std::clamp(Settings.xonLimit, 0, 0xFFFF));
    dcb.XoffLim = static_cast<WORD>(std::clamp(Settings.xoffLimit, 0, 0xFFFF));
    dcb.fBinary = TRUE;
    dcb.fParity = Settings.parity != 'N';
    dcb.fOutX = dcb.fInX = Settings.softwareFlow;
    dcb.fOutxCtsFlow = Settings.hardwareFlow;
    // RTS and DTR stay raised as the port was opened with them (some adapters power the line from them);
    // with hardware flow, RTS is the handshake.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = Settings.hardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    setError(::SetCommState(native_->handle, &dcb) ? sOK : static_cast<int>(::GetLastError()));
    finish();
}

int SerialPort::send(const std::uint8_t* buffer, int count, int limitMs) {
    if (!PortOpen) {
        setError(ErrPortNotOpen);
        finish();
        return 0;
    }
    setError(sOK);
    Native& n = *native_;
    if (!n.open()) {
        setError(DeviceGoneError());
        finish();
        return 0;
    }
    OVERLAPPED request{};
    request.hEvent = n.writeDone;
    ::ResetEvent(n.writeDone);
    DWORD written = 0;
    if (!::WriteFile(n.handle, buffer, static_cast<DWORD>(count), &written, &request)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            // A transmitter that stops taking bytes holds the send no longer than its limit.
            bool timedOut = false;
            written = n.await(request, n.writeDone, static_cast<DWORD>(std::max(0, limitMs)),
                              PURGE_TXABORT | PURGE_TXCLEAR, timedOut, error);
            if (timedOut && error == 0) error = ErrTimeout;
        }
        if (error != 0) setError(static_cast<int>(error));
    }
    if (written > 0) n.outputLeaves = std::max(Clock::now(), n.outputLeaves) + ByteTime() * written;
    if (ErrorCode == 0) n.checkLineErrors();
    finish();
    return static_cast<int>(written);
}

int SerialPort::receive(std::uint8_t* buffer, int count, int timeoutMs, int limitMs) {
    if (!PortOpen) {
        setError(ErrPortNotOpen);
        finish();
        return 0;
    }
    setError(sOK);
    Native& n = *native_;
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
            // As on Linux: the bytes still to come take their time on the line, slept through rather than
            // woken for byte by byte; before the first, after what was sent has gone out.
            if (n.open() && n.queuedInput() == 0) {
                if (first) n.sleepThroughLineTime(std::max(Clock::now(), n.outputLeaves), count - stored, deadline);
                else n.sleepThroughLineTime(Clock::now(), count - stored - 1, deadline);
            }
            gotCount = n.read(scratch, static_cast<int>(sizeof scratch), msLeft(deadline));
            if (ErrorCode == 0) n.checkLineErrors();
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

int SerialPort::ResyncInput(int quietMs, int limitMs) {
    int dropped = static_cast<int>(LineBuffer.size());
    LineBuffer.clear();
    Native& n = *native_;
    if (!n.open()) return dropped;
    // The failure's code and text stay: what is thrown away here is no news.
    const int code = ErrorCode;
    const std::string text = ErrorText;
    const auto limit = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    std::uint8_t scratch[512];
    for (;;) {
        const int wait = std::min(std::max(0, quietMs), msLeft(limit));
        if (wait == 0) break;
        const int got = n.read(scratch, static_cast<int>(sizeof scratch), wait);
        if (got <= 0) break; // quiet long enough, or the device is gone
        dropped += got;
    }
    if (n.open()) ::PurgeComm(n.handle, PURGE_RXCLEAR);
    ErrorCode = code;
    ErrorText = text;
    return dropped;
}

int SerialPort::PendingOutput() {
    if (!native_->open()) {
        setError(ErrPortNotOpen);
        return 0;
    }
    setError(sOK);
    COMSTAT queues{};
    return native_->status(queues) ? static_cast<int>(queues.cbOutQue) : 0;
}

bool SerialPort::FlushOutput(int limitMs) {
    if (!native_->open()) {
        setError(ErrPortNotOpen);
        finish();
        return false;
    }
    setError(sOK);
    // Bounded, unlike FlushFileBuffers: a stalled line must not hang the program.
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    while (PendingOutput() > 0) {
        if (msLeft(deadline) == 0) {
            setError(ErrTimeout);
            finish();
            return false;
        }
        ::Sleep(1);
    }
    finish();
    return true;
}

void SerialPort::PurgePort() {
    LineBuffer.clear();
    native_->outputLeaves = {};
    if (native_->open()) ::PurgeComm(native_->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void SerialPort::ClosePort() {
    Native& n = *native_;
    if (n.open()) {
        PurgePort();
        ::EscapeCommFunction(n.handle, CLRRTS);
        ::EscapeCommFunction(n.handle, CLRDTR);
        if (n.haveSaved) ::SetCommState(n.handle, &n.saved);
        ::CloseHandle(n.handle);
    }
    n.handle = INVALID_HANDLE_VALUE;
    n.haveSaved = false;
    PortOpen = false;
    PortNumber = -1;
    setError(sOK);
}

} // namespace protocol
