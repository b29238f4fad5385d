// Blocking byte-level access to one serial port on POSIX termios, with an error code
// and text after every call instead of exceptions.
#pragma once

#include "errorlog/LoggedName.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <vector>

namespace protocol {

// Error codes of the serial layer; the operating system's own codes (errno) are used as they are.
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

class SerialPort {
  public:
    SerialPort() = default;
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // "COM<n>" (any case) opens /dev/ttyS<n-1>; any other name is opened as the path it is. The
    // pseudo-terminal multiplexer is refused (ErrNotSerialLine): it only hands out new terminals.
    // The port is the program's alone while open: another opener gets EBUSY, root included.
    void OpenPort(const std::string& name);
    void ConfigureLine(int baud, int bits, char parity, int stop, bool softFlow, bool hardFlow);
    void SetInputQueueSize(int bytes);
    void ApplyLineSettings();
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
    int ResyncInput(int quietMs, int limitMs);
    // Bytes still queued for output. Virtual so that tests can simulate a stalled transmitter,
    // which a pseudo-terminal never reports.
    virtual int PendingOutput();
    // Waits until the queued output has gone out on the line, for up to the deadlock time-out.
    void FlushOutput();
    // The same for up to limitMs; false (and ErrTimeout) when the queue did not drain in time.
    bool FlushOutput(int limitMs);
    void PurgePort();
    // Closes the port and restores the line settings it had before OpenPort.
    void ClosePort();

    static std::string GetErrorDesc(int code);
    // The device a port name opens: "COM3" -> "/dev/ttyS2", anything else unchanged.
    static std::string DevicePathFor(const std::string& name, int* portNumber = nullptr);

    // The time one byte takes on the line with the settings applied; zero before a speed is set.
    std::chrono::nanoseconds ByteTime() const;

    int handle() const { return fd_; }
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

  private:
    using Clock = std::chrono::steady_clock;
    void setError(int code);
    void finish(); // raises when asked to and the call failed
    void checkLineErrors();
    int readQueued(std::uint8_t* into, int capacity);
    int send(const std::uint8_t* buffer, int count, int limitMs);
    int receive(std::uint8_t* buffer, int count, int timeoutMs, int limitMs);
    // Bytes the driver holds for reading now.
    int queuedInput() const;
    // Sleeps while that many bytes take their time on the line after from, but not past the deadline; a
    // hang-up ends the sleep.
    void sleepThroughLineTime(Clock::time_point from, int bytes, Clock::time_point deadline);

    int fd_ = -1;
    bool haveSavedTermios_ = false;
    termios savedTermios_{};
    struct Counters {
        int frame = 0, overrun = 0, parity = 0, bufOverrun = 0;
    } counters_;
    bool haveCounters_ = false;
    // When the bytes written last will have left the line.
    Clock::time_point outputLeaves_{};
};

} // namespace protocol
