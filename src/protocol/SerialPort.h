// Blocking byte-level access to one serial port, with an error code and text after every call instead of
// exceptions. The face is the same on every platform; each platform's own state and code are in its own file
// (SerialPortPosix.cpp with termios, SerialPortWin32.cpp with the Win32 communications API), chosen by the build.
#pragma once

#include "errorlog/LoggedName.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace protocol {

// Error codes of the serial layer; the operating system's own codes (errno on Linux, the system's error
// codes on Windows) are used as they are.
enum SerialErrorCode : int {
    sOK = 0,
    ErrAlreadyOwned = 9991,
    ErrAlreadyInUse = 9992,
    ErrWrongParameter = 9993,
    ErrPortNotOpen = 9994,
    ErrNoDeviceAnswer = 9995,
    ErrMaxBuffer = 9996,
    ErrTimeout = 9997,
    ErrNotRead = 9998,
    ErrFrame = 9999,
    ErrOverrun = 10000,
    ErrRxOver = 10001,
    ErrRxParity = 10002,
    ErrTxFull = 10003,
    ErrNotSerialLine = 10004, // a device that is no serial line though it is a terminal (/dev/ptmx)
};

// Raised only while RaiseExcept is set: "Communication error %d: %s". The error log names it
// "ESynaSerError", as it always has.
class SerialError : public std::runtime_error, public errorlog::LoggedName {
  public:
    SerialError(int code, const std::string& text);
    const char* loggedClassName() const override { return "ESynaSerError"; }
    int ErrorCode;
};

// The line settings handed to the driver (the program's equivalent of a device control block).
struct LineSettings {
    int baud = 0;
    int dataBits = 8;
    char parity = 'N'; // N, O, E, M, S
    int stopBits = 0;  // 0 one, 1 one and a half, 2 two
    bool softwareFlow = false;
    bool hardwareFlow = false;
    int xonLimit = 0;
    int xoffLimit = 0;
};

// The port's operations are virtual so that a port of another kind (the demo's virtual detector, a test's
// stalled transmitter) can stand in for the platform's own behind the same face.
class SerialPort {
  public:
    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "COM<n>" (any case) opens the platform's n-th serial port (/dev/ttyS<n-1> on Linux, \\.\COM<n> on
    // Windows); any other name is opened as the path it is. On Linux the pseudo-terminal multiplexer is
    // refused (ErrNotSerialLine): it only hands out new terminals. The port is the program's alone while
    // open: another opener is refused (EBUSY on Linux, root included; access denied on Windows).
    virtual void OpenPort(const std::string& name);
    void ConfigureLine(int baud, int bits, char parity, int stop, bool softFlow, bool hardFlow);
    virtual void SetInputQueueSize(int bytes);
    virtual void ApplyLineSettings();
    int SendBytes(const std::uint8_t* buffer, int count);
    // The same, but the send gives up (ErrTimeout) limitMs after it began: a transmitter that stops
    // taking bytes cannot hold the caller for long.
    int SendBytes(const std::uint8_t* buffer, int count, int limitMs);
    // Gathers count bytes, waiting up to timeoutMs for each chunk; a short count comes with an error.
    // The bytes answer what was sent before: they cannot all be there before that has left the line
    // and they have taken their own time on it, and the receive sleeps until then before it reads.
    int ReceiveBytes(std::uint8_t* buffer, int count, int timeoutMs);
    // The same, but the whole receive also ends limitMs after it began (ErrTimeout), however
    // steadily the bytes come: a device that dribbles cannot hold the caller for longer.
    int ReceiveBytes(std::uint8_t* buffer, int count, int timeoutMs, int limitMs);
    // Back in step after a failed exchange: reads and throws away what still arrives until the
    // line has been quiet for quietMs (but for no longer than limitMs in all), then empties
    // LineBuffer and the input queue. Returns the bytes thrown away; ErrorCode and ErrorText stay
    // those of the failure.
    virtual int ResyncInput(int quietMs, int limitMs);
    // Bytes still queued for output. Virtual so that tests can simulate a stalled transmitter,
    // which a pseudo-terminal never reports.
    virtual int PendingOutput();
    // Waits until the queued output has gone out on the line, for up to the deadlock time-out.
    void FlushOutput();
    // The same for up to limitMs; false (and ErrTimeout) when the queue did not drain in time.
    virtual bool FlushOutput(int limitMs);
    virtual void PurgePort();
    // Closes the port and restores the line settings it had before OpenPort.
    virtual void ClosePort();
    // Whether the device a port name opens is there now (an adapter plugged in again), without opening it.
    virtual bool DevicePresent(const std::string& name);

    static std::string GetErrorDesc(int code);
    // The device a port name opens: "COM3" -> "/dev/ttyS2" on Linux, "\\.\COM3" on Windows; anything
    // else unchanged.
    static std::string DevicePathFor(const std::string& name, int* portNumber = nullptr);
    // The number of a "COM<n>" name (any case), or 0 when the name is not one.
    static int ComNumber(const std::string& name);
    // The operating system's code for a device that has gone (an adapter pulled out): EIO on Linux,
    // ERROR_GEN_FAILURE on Windows.
    static int DeviceGoneError();
    // The operating system's code for a port that is not there: ENOENT on Linux, ERROR_FILE_NOT_FOUND on
    // Windows.
    static int NoSuchPortError();
    // The operating system's code for an operation on a port that is not open: EBADF on Linux,
    // ERROR_INVALID_HANDLE on Windows.
    static int BadHandleError();
    // Lets the calling thread's short sleeps end when they should: the exchange sleeps through the line
    // time of a reply, and the pause between two exchanges is 10 ms.
    static void SharpenSleeps();

    // The time one byte takes on the line with the settings applied; zero before a speed is set.
    std::chrono::nanoseconds ByteTime() const;
    // The platform's own handle of the open port (a file descriptor on Linux, a HANDLE on Windows), for a
    // test that looks at the device itself; -1 while the port is closed.
    std::intptr_t handle() const;

    bool PortOpen = false;
    std::string DevicePath;
    int PortNumber = -1;
    int ErrorCode = 0;
    std::string ErrorText = "OK";
    bool RaiseExcept = false;
    int DeadlockTimeout = 30000;
    bool InterPacketTimeout = true;
    std::vector<std::uint8_t> LineBuffer;
    int InputQueueSize = 4096;
    bool TestDSR = false;
    bool TestCTS = false;
    LineSettings Settings;

  protected:
    using Clock = std::chrono::steady_clock;
    void setError(int code);
    void finish(); // raises when asked to and the call failed
    // limitMs: the whole send's limit. limitMs < 0 in receive: no limit on the whole receive.
    virtual int send(const std::uint8_t* buffer, int count, int limitMs);
    virtual int receive(std::uint8_t* buffer, int count, int timeoutMs, int limitMs);

  private:
    // The platform's own state: a descriptor and its saved termios on Linux, a handle and its overlapped
    // requests on Windows (SerialPortPosix.cpp, SerialPortWin32.cpp).
    struct Native;
    std::unique_ptr<Native> native_;
};

} // namespace protocol
