// The detector's parameter set in the shapes it arrives in from outside: the 44-byte record of a
// parameter file (and of memory), the 40-byte block of reply 9, and the settings frame made from
// them. Oracles: decode then encode gives back every byte that carries a value (the pads come
// back as zeros), both byte orders of the block round-trip, the reply-9 block placed into a record
// decodes to the same values, and a settings frame is well formed with a checksum summing to zero.
#include "protocol/Frames.h"
#include "protocol/ParameterBlock.h"

#include <algorithm>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

const protocol::params::Record& recordBytesUsed() {
    static const protocol::params::Record used = [] {
        protocol::params::Record ones;
        ones.fill(0xFF);
        return protocol::params::EncodeRecord(protocol::params::DecodeRecord(ones));
    }();
    return used;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A parameter file: its first 44 bytes are the record (zeros after a short input).
    protocol::params::Record record{};
    std::copy_n(data, std::min(size, record.size()), record.begin());
    const protocol::params::Parameters p = protocol::params::DecodeRecord(record);
    const protocol::params::Record again = protocol::params::EncodeRecord(p);
    for (std::size_t i = 0; i < record.size(); ++i) check(again[i] == (recordBytesUsed()[i] ? record[i] : 0));
    check(protocol::params::DecodeRecord(again) == p);
    check(protocol::params::RecordFlags(record) == p.flags);

    // The block of reply 9 (and of a settings frame), in both byte orders of the PWM words.
    protocol::params::Block block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    for (protocol::params::PwmOrder order :
         {protocol::params::PwmOrder::HighFirst, protocol::params::PwmOrder::LowFirst})
        check(protocol::params::EncodeBlock(protocol::params::DecodeBlock(block.data(), order), order) == block);
    protocol::params::Record placed{};
    protocol::frames::PlaceParameterBlock(block.data(), placed);
    check(protocol::params::DecodeRecord(placed) ==
          protocol::params::DecodeBlock(block.data(), protocol::params::PwmOrder::LowFirst));

    // What the program would send for these values.
    const protocol::params::Frame frame = protocol::params::EncodeSettingsFrame(p);
    check(frame[0] == protocol::frames::STX && frame[1] == 0 && frame[2] == 41 &&
          frame[3] == protocol::frames::Settings);
    check(frame[45] == protocol::frames::ETX);
    unsigned sum = 0;
    for (std::size_t i = 3; i <= 44; ++i) sum += frame[i];
    check(sum % 256 == 0);
    protocol::params::Parameters sent = p;
    sent.reserved = {0, 0, 0, 0};
    check(protocol::params::DecodeBlock(frame.data() + 4, protocol::params::PwmOrder::HighFirst) == sent);
    return 0;
}
