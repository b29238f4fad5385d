// Feeds arbitrary bytes through the serial receive path and the frame check, as a detector
// gone mad would: the first byte picks the armed poll and how the exchange ends, the rest
// arrives on a pseudo-terminal. Oracles: a frame that passes the check has its parts where they
// belong and sums to zero with its checksum, and dispatch copies its payload to its store.
#include "protocol/Frames.h"
#include "protocol/ParameterBlock.h"
#include "protocol/SerialPort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Line {
    int master = -1;
    int slave = -1;
    protocol::SerialPort serial;
    Line() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, name, &raw, nullptr) != 0) std::abort();
        fcntl(master, F_SETFL, O_NONBLOCK);
        serial.OpenPort(name);
        serial.ConfigureLine(19200, 8, 'N', 0, false, false);
        if (serial.ErrorCode != 0) std::abort();
    }
};

void check(bool condition) {
    if (!condition) std::abort();
}

void checkAndDispatch(const protocol::frames::ReceiveBuffer& buffer, int expected,
                      protocol::frames::ReplyStores& stores) {
    const protocol::frames::FrameCheck result = protocol::frames::CheckReplyFrame(buffer, expected);
    check(std::strlen(protocol::frames::FrameCheckText(result)) > 0);
    if (result != protocol::frames::FrameCheck::Good) return;
    const std::size_t len = buffer[2];
    check(buffer[0] == protocol::frames::STX && buffer[1] == 0 && static_cast<int>(len) == expected - 6);
    check(buffer[len + 5] == protocol::frames::ETX);
    unsigned sum = 0;
    for (std::size_t i = 4; i <= len + 4; ++i) sum += buffer[i];
    check(sum % 256 == 0);
    const std::uint8_t code = protocol::frames::DispatchReply(buffer, stores);
    check(code == buffer[3]);
    const std::uint8_t* payload = buffer.data() + 4;
    switch (code) {
    case protocol::frames::Status: check(std::equal(stores.status.begin(), stores.status.end(), payload)); break;
    case protocol::frames::EventLog: check(std::equal(stores.eventLog.begin(), stores.eventLog.end(), payload)); break;
    case protocol::frames::PwmValues: check(std::equal(stores.pwm.begin(), stores.pwm.end(), payload)); break;
    case protocol::frames::ParameterReadBack:
        check(protocol::params::DecodeRecord(stores.parameters) ==
              protocol::params::DecodeBlock(payload, protocol::params::PwmOrder::LowFirst));
        break;
    default: break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Line line;
    static protocol::frames::ReplyStores stores;
    if (size == 0) return 0;
    static const int lengths[] = {protocol::frames::StatusReplyLength, protocol::frames::ParameterReplyLength,
                                  protocol::frames::EventLogReplyLength, protocol::frames::PwmReplyLength};
    const int expected = lengths[data[0] % 4];
    const bool limited = data[0] & 4; // the whole receive bounded, as the poll cycle does it
    const bool resync = data[0] & 8;  // after the last receive: back in step, or a plain purge
    ++data;
    --size;

    // The frame check on its own, over a whole buffer of the input.
    protocol::frames::ReceiveBuffer direct{};
    for (std::size_t i = 0; i < size && i < direct.size(); ++i) direct[i] = data[i];
    checkAndDispatch(direct, expected, stores);

    // The same bytes through the pseudo-terminal and the receive path, exchange after exchange.
    const std::size_t chunk = size < 3000 ? size : 3000;
    if (chunk > 0 && write(line.master, data, chunk) < 0) return 0;
    pollfd p{line.slave, POLLIN, 0};
    poll(&p, 1, 20);
    for (;;) {
        protocol::frames::ReceiveBuffer buffer{};
        const int n = limited ? line.serial.ReceiveBytes(buffer.data(), expected, 1, 2)
                              : line.serial.ReceiveBytes(buffer.data(), expected, 1);
        check(n >= 0 && n <= expected);
        check(n == expected || line.serial.ErrorCode != 0); // a short count comes with an error
        if (n == expected && line.serial.ErrorCode == 0 && buffer[0] == protocol::frames::STX)
            checkAndDispatch(buffer, expected, stores);
        if (n < expected || line.serial.ErrorCode != 0) break;
    }
    if (resync) {
        const int code = line.serial.ErrorCode;
        check(line.serial.ResyncInput(1, 2) >= 0);
        check(line.serial.ErrorCode == code && line.serial.LineBuffer.empty());
    } else {
        line.serial.PurgePort();
    }
    return 0;
}
