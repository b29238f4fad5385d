// The serial layer's face on every platform: error codes and texts, the line settings asked for, the
// COM names, and the calls that only hand on to the platform's own code.
#include "protocol/SerialPort.h"

#include <algorithm>
#include <cctype>

namespace protocol {

// The system's text for one of its own error codes (SerialPortPosix.cpp, SerialPortWin32.cpp).
std::string SystemErrorText(int code);

SerialError::SerialError(int code, const std::string& text)
    : std::runtime_error("Communication error " + std::to_string(code) + ": " + text), ErrorCode(code) {}

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
    default: return SystemErrorText(code);
    }
}

int SerialPort::ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 12) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[static_cast<std::size_t>(i)])) != "COM"[i]) return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

void SerialPort::setError(int code) {
    ErrorCode = code;
    ErrorText = GetErrorDesc(code);
}

void SerialPort::finish() {
    if (RaiseExcept && ErrorCode != 0) throw SerialError(ErrorCode, ErrorText);
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

int SerialPort::SendBytes(const std::uint8_t* buffer, int count) {
    return send(buffer, count, DeadlockTimeout);
}

int SerialPort::SendBytes(const std::uint8_t* buffer, int count, int limitMs) {
    return send(buffer, count, std::clamp(limitMs, 0, DeadlockTimeout));
}

int SerialPort::ReceiveBytes(std::uint8_t* buffer, int count, int timeoutMs) {
    return receive(buffer, count, timeoutMs, -1);
}

int SerialPort::ReceiveBytes(std::uint8_t* buffer, int count, int timeoutMs, int limitMs) {
    return receive(buffer, count, timeoutMs, std::max(0, limitMs));
}

void SerialPort::FlushOutput() {
    FlushOutput(DeadlockTimeout);
}

std::chrono::nanoseconds SerialPort::ByteTime() const {
    if (Settings.baud <= 0) return std::chrono::nanoseconds(0);
    const int bits = 1 + Settings.dataBits + (Settings.parity != 'N' ? 1 : 0) + (Settings.stopBits == 0 ? 1 : 2);
    return std::chrono::nanoseconds(1'000'000'000LL * bits / Settings.baud);
}

} // namespace protocol
