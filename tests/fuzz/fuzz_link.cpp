// Feeds arbitrary bytes through the serial receive path and the frame check, as a detector
// gone mad would: the first byte picks the armed poll, the rest arrives on a pseudo-terminal.
#include "link/Frames.h"
#include "link/synaser.h"

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Line {
    int master = -1;
    int slave = -1;
    TBlockSerial serial;
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

void checkAndDispatch(const frames::ReceiveBuffer& buffer, int expected, frames::ReplyStores& stores) {
    if (frames::CheckReplyFrame(buffer, expected) == frames::FrameCheck::Good) frames::DispatchReply(buffer, stores);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Line line;
    static frames::ReplyStores stores;
    if (size == 0) return 0;
    static const int lengths[] = {frames::StatusReplyLength, frames::ParameterReplyLength, frames::EventLogReplyLength,
                                  frames::PwmReplyLength};
    const int expected = lengths[data[0] % 4];
    ++data;
    --size;

    // The frame check on its own, over a whole buffer of the input.
    frames::ReceiveBuffer direct{};
    for (std::size_t i = 0; i < size && i < direct.size(); ++i) direct[i] = data[i];
    checkAndDispatch(direct, expected, stores);

    // The same bytes through the pseudo-terminal and the receive path, exchange after exchange.
    const std::size_t chunk = size < 3000 ? size : 3000;
    if (chunk > 0 && write(line.master, data, chunk) < 0) return 0;
    pollfd p{line.slave, POLLIN, 0};
    poll(&p, 1, 20);
    for (;;) {
        frames::ReceiveBuffer buffer{};
        const int n = line.serial.ReceiveBytes(buffer.data(), expected, 1);
        if (n == expected && line.serial.ErrorCode == 0 && buffer[0] == frames::STX)
            checkAndDispatch(buffer, expected, stores);
        if (n < expected || line.serial.ErrorCode != 0) break;
    }
    line.serial.PurgePort();
    return 0;
}
