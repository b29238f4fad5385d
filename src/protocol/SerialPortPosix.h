// SerialPort's own state on Linux, shared by its two source files (SerialPortPosix.cpp, SerialTransferPosix.cpp).
#pragma once

#include "protocol/SerialPort.h"

#include <termios.h>

namespace protocol {

struct SerialPort::Native {
    explicit Native(SerialPort& owner) : port(owner) {}

    // Reads the kernel's counts of line errors and reports a new one as the port's error.
    void checkLineErrors();
    // Reads what the driver has queued into the buffer; 0 with ErrorCode set when the device is gone.
    int readQueued(std::uint8_t* into, int capacity);
    // Bytes the driver holds for reading now.
    int queuedInput() const;
    // Sleeps while that many bytes take their time on the line after from, but not past the deadline; a
    // hang-up ends the sleep.
    void sleepThroughLineTime(Clock::time_point from, int bytes, Clock::time_point deadline);

    SerialPort& port;
    int fd = -1;
    bool haveSavedTermios = false;
    termios savedTermios{};
    struct Counters {
        int frame = 0, overrun = 0, parity = 0, bufOverrun = 0;
    } counters;
    bool haveCounters = false;
    // When the bytes written last will have left the line.
    Clock::time_point outputLeaves{};
};

} // namespace protocol
