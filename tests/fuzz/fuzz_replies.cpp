// The decoders of the detector's replies: the status record (reply 8) and the event memory
// (reply 12). Oracles: decoding then encoding gives back every byte the record uses (and zeros
// where it uses none), decoding that again gives the same values, and the reply framed around
// the bytes passes the frame check, its checksum summing to zero, and lands in its store whole.
#include "protocol/Frames.h"
#include "protocol/StatusRecord.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// The bytes of the status record that carry a value: those an all-ones record gives back.
const protocol::StatusBytes& statusBytesUsed() {
    static const protocol::StatusBytes used = [] {
        protocol::StatusBytes ones;
        ones.fill(0xFF);
        return protocol::EncodeStatus(protocol::DecodeStatus(ones.data()));
    }();
    return used;
}

template <std::size_t N>
void checkFramed(std::uint8_t code, const std::array<std::uint8_t, N>& payload) {
    protocol::frames::ReceiveBuffer frame{};
    frame[0] = protocol::frames::STX;
    frame[2] = static_cast<std::uint8_t>(N);
    frame[3] = code;
    std::copy(payload.begin(), payload.end(), frame.begin() + 4);
    frame[N + 4] = protocol::frames::FrameChecksum(payload.data(), N);
    frame[N + 5] = protocol::frames::ETX;
    check(protocol::frames::CheckReplyFrame(frame, static_cast<int>(N) + 6) == protocol::frames::FrameCheck::Good);
    unsigned sum = 0;
    for (std::size_t i = 4; i <= N + 4; ++i) sum += frame[i];
    check(sum % 256 == 0);
    protocol::frames::ReplyStores stores;
    check(protocol::frames::DispatchReply(frame, stores) == code);
    if (code == protocol::frames::Status) check(std::equal(payload.begin(), payload.end(), stores.status.begin()));
    if (code == protocol::frames::EventLog) check(std::equal(payload.begin(), payload.end(), stores.eventLog.begin()));
    // One byte spoilt: the check must notice.
    frame[4 + (sum + N) % N] ^= 0x01;
    check(protocol::frames::CheckReplyFrame(frame, static_cast<int>(N) + 6) ==
          protocol::frames::FrameCheck::BadChecksum);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The status record from the first 58 bytes, the event memory from the first 220 (zeros after the input).
    protocol::StatusBytes status{};
    std::copy_n(data, std::min(size, status.size()), status.begin());
    const protocol::StatusRecord s = protocol::DecodeStatus(status.data());
    const protocol::StatusBytes again = protocol::EncodeStatus(s);
    for (std::size_t i = 0; i < status.size(); ++i) check(again[i] == (statusBytesUsed()[i] ? status[i] : 0));
    check(protocol::DecodeStatus(again.data()) == s);
    for (std::uint16_t word : {s.alarmFlags, s.stateFlags}) {
        const std::array<bool, 16> bits = protocol::SplitFlagWord(word);
        std::uint16_t rebuilt = 0;
        for (int n = 0; n < 16; ++n) rebuilt = static_cast<std::uint16_t>(rebuilt | (bits[n] ? 1u << n : 0u));
        check(rebuilt == word);
    }
    checkFramed(protocol::frames::Status, status);

    protocol::EventLogBytes events{};
    std::copy_n(data, std::min(size, events.size()), events.begin());
    const protocol::EventLog log = protocol::DecodeEventLog(events.data());
    check(protocol::EncodeEventLog(log) == events); // every byte of the memory carries a value
    for (const protocol::EventRecord& r : log) {
        const std::uint16_t lowest = static_cast<std::uint16_t>(r.eventType & (~r.eventType + 1));
        check(protocol::EventTypeText(r.eventType) == protocol::EventTypeText(lowest));
        check(protocol::EventTypeText(r.eventType).empty() == (r.eventType == 0));
    }
    checkFramed(protocol::frames::EventLog, events);
    return 0;
}
