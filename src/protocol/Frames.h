// Byte layout of the detector's command and reply frames, the checksum, and dispatch by reply code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace protocol::frames {

constexpr std::uint8_t STX = 0x02;
constexpr std::uint8_t ETX = 0x03;

// Command codes; a reply carries the code of the data it holds.
enum FrameCommand : std::uint8_t {
    Settings = 1,
    PwmValues = 7,
    Status = 8,
    ParameterReadBack = 9,
    Code10 = 10,
    EventLog = 12,
};

// Total reply lengths (LEN + 6) of the polls the program makes, and of the codes it accepts.
constexpr int StatusReplyLength = 64;
constexpr int ParameterReplyLength = 46;
constexpr int EventLogReplyLength = 226;
constexpr int PwmReplyLength = 10;
constexpr int Code10ReplyLength = 26;

// Payload sizes of the reply records (reply total minus 6).
constexpr std::size_t PwmRecordSize = 4;
constexpr std::size_t StatusRecordSize = 58;
constexpr std::size_t ParameterBlockSize = 40;
constexpr std::size_t DetectorParametersSize = 44;
constexpr std::size_t Reply10RecordSize = 20;
constexpr std::size_t EventLogRecordSize = 220;

constexpr std::size_t ReceiveBufferSize = 257;
using ReceiveBuffer = std::array<std::uint8_t, ReceiveBufferSize>;

// (256 - the 8-bit sum of the bytes) mod 256: a run of bytes followed by its checksum sums to 0.
std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t count);

// Total reply length for a reply code the program knows, or 0 for any other code.
int ReplyTotalLength(std::uint8_t code);

// Checks the checksum of a reply: over frame[4] .. frame[LEN + 3] against frame[LEN + 4].
// LEN is read from the frame, so the caller checks it first; in a ReceiveBuffer both indices fit.
bool ReplyChecksumOk(const ReceiveBuffer& frame);

// The one six-byte poll request (02 00 01 CMD CHK 03) and the length of the reply it asks for.
class PollRequest {
  public:
    void ArmPoll(std::uint8_t code, int expectedTotal);
    const std::array<std::uint8_t, 6>& bytes() const { return bytes_; }
    std::uint8_t code() const { return bytes_[3]; }
    int ExpectedReplyLength() const { return expectedReplyLength_; }

  private:
    std::array<std::uint8_t, 6> bytes_{STX, 0x00, 0x01, Status, 0x00, ETX};
    int expectedReplyLength_ = StatusReplyLength;
};

// Outcome of the frame check, in the order the conditions are tested.
enum class FrameCheck { Good, BadStx, BadZeroByte, BadLength, BadChecksum, BadEtx, BadLengthForCode };

// Checks a received reply against the armed length: STX, zero byte, LEN, checksum, ETX; then that
// a code the program knows comes with its own length (a short frame labelled 12 would otherwise
// fill the event memory with its checksum, ETX and zeros). Codes it does not know pass.
FrameCheck CheckReplyFrame(const ReceiveBuffer& frame, int expectedReplyLength);

// What a failed check says in the error log ("Frame check failed: checksum"); "OK" for Good.
const char* FrameCheckText(FrameCheck check);

// Where the payloads of the replies are kept between replies.
struct ReplyStores {
    std::array<std::uint8_t, PwmRecordSize> pwm{};
    std::array<std::uint8_t, StatusRecordSize> status{};
    std::array<std::uint8_t, DetectorParametersSize> parameters{};
    std::array<std::uint8_t, Reply10RecordSize> reply10{};
    std::array<std::uint8_t, EventLogRecordSize> eventLog{};
};

// Copies the 40-byte parameter block of reply 9 into the 44-byte record, leaving its pads alone.
void PlaceParameterBlock(const std::uint8_t* block40, std::array<std::uint8_t, DetectorParametersSize>& params);

// Copies the payload of a well-formed reply into the store of its own code (the fixed payload
// length of that code, not the LEN byte) and returns the code. Codes outside the table copy nothing.
std::uint8_t DispatchReply(const ReceiveBuffer& frame, ReplyStores& stores);

} // namespace protocol::frames
