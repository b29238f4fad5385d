#include "protocol/Frames.h"

#include <algorithm>

namespace protocol::frames {

std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return static_cast<std::uint8_t>(0x100 - sum);
}

int ReplyTotalLength(std::uint8_t code) {
    switch (code) {
    case PwmValues: return PwmReplyLength;
    case Status: return StatusReplyLength;
    case ParameterReadBack: return ParameterReplyLength;
    case Code10: return Code10ReplyLength;
    case EventLog: return EventLogReplyLength;
    default: return 0;
    }
}

bool ReplyChecksumOk(const ReceiveBuffer& frame) {
    const std::size_t len = frame[2];
    return FrameChecksum(frame.data() + 4, len) == frame[len + 4];
}

void PollRequest::ArmPoll(std::uint8_t code, int expectedTotal) {
    bytes_[3] = code;
    bytes_[4] = FrameChecksum(&bytes_[3], 1);
    expectedReplyLength_ = expectedTotal;
}

FrameCheck CheckReplyFrame(const ReceiveBuffer& frame, int expectedReplyLength) {
    if (frame[0] != STX) return FrameCheck::BadStx;
    if (frame[1] != 0x00) return FrameCheck::BadZeroByte;
    // The length test comes before the checksum, which trusts LEN to index the buffer.
    if (static_cast<int>(frame[2]) != expectedReplyLength - 6) return FrameCheck::BadLength;
    if (!ReplyChecksumOk(frame)) return FrameCheck::BadChecksum;
    if (frame[frame[2] + 5] != ETX) return FrameCheck::BadEtx;
    const int codeLength = ReplyTotalLength(frame[3]);
    if (codeLength != 0 && codeLength != expectedReplyLength) return FrameCheck::BadLengthForCode;
    return FrameCheck::Good;
}

const char* FrameCheckText(FrameCheck check) {
    switch (check) {
    case FrameCheck::Good: return "OK";
    case FrameCheck::BadStx: return "Frame check failed: start (no STX)";
    case FrameCheck::BadZeroByte: return "Frame check failed: zero byte";
    case FrameCheck::BadLength: return "Frame check failed: length";
    case FrameCheck::BadChecksum: return "Frame check failed: checksum";
    case FrameCheck::BadEtx: return "Frame check failed: end (no ETX)";
    case FrameCheck::BadLengthForCode: return "Frame check failed: length for its code";
    }
    return "Frame check failed";
}

void PlaceParameterBlock(const std::uint8_t* block, std::array<std::uint8_t, DetectorParametersSize>& params) {
    // Five pieces: the three channels, PWM/flags/reserved, the three outputs; pads stay as they are.
    std::copy_n(block + 0, 5, params.begin() + 0);
    std::copy_n(block + 5, 5, params.begin() + 6);
    std::copy_n(block + 10, 5, params.begin() + 12);
    std::copy_n(block + 15, 10, params.begin() + 18);
    std::copy_n(block + 25, 15, params.begin() + 28);
}

std::uint8_t DispatchReply(const ReceiveBuffer& frame, ReplyStores& stores) {
    const std::uint8_t code = frame[3];
    const std::uint8_t* payload = frame.data() + 4;
    switch (code) {
    case PwmValues: std::copy_n(payload, stores.pwm.size(), stores.pwm.begin()); break;
    case Status: std::copy_n(payload, stores.status.size(), stores.status.begin()); break;
    case ParameterReadBack: PlaceParameterBlock(payload, stores.parameters); break;
    case Code10: std::copy_n(payload, stores.reply10.size(), stores.reply10.begin()); break;
    case EventLog: std::copy_n(payload, stores.eventLog.size(), stores.eventLog.begin()); break;
    default: break;
    }
    return code;
}

} // namespace protocol::frames
