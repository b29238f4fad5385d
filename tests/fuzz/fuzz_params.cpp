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

const params::Record& recordBytesUsed() {
    static const params::Record used = [] {
        params::Record ones;
        ones.fill(0xFF);
        return params::EncodeRecord(params::DecodeRecord(ones));
    }();
    return used;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A parameter file: its first 44 bytes are the record (zeros after a short input).
    params::Record record{};
    std::copy_n(data, std::min(size, record.size()), record.begin());
    const params::Parameters p = params::DecodeRecord(record);
    const params::Record again = params::EncodeRecord(p);
    for (std::size_t i = 0; i < record.size(); ++i) check(again[i] == (recordBytesUsed()[i] ? record[i] : 0));
    check(params::DecodeRecord(again) == p);
    check(params::RecordFlags(record) == p.flags);

    // The block of reply 9 (and of a settings frame), in both byte orders of the PWM words.
    params::Block block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    for (params::PwmOrder order : {params::PwmOrder::HighFirst, params::PwmOrder::LowFirst})
        check(params::EncodeBlock(params::DecodeBlock(block.data(), order), order) == block);
    params::Record placed{};
    frames::PlaceParameterBlock(block.data(), placed);
    check(params::DecodeRecord(placed) == params::DecodeBlock(block.data(), params::PwmOrder::LowFirst));

    // What the program would send for these values.
    const params::Frame frame = params::EncodeSettingsFrame(p);
    check(frame[0] == frames::STX && frame[1] == 0 && frame[2] == 41 && frame[3] == frames::Settings);
    check(frame[45] == frames::ETX);
    unsigned sum = 0;
    for (std::size_t i = 3; i <= 44; ++i) sum += frame[i];
    check(sum % 256 == 0);
    params::Parameters sent = p;
    sent.reserved = {0, 0, 0, 0};
    check(params::DecodeBlock(frame.data() + 4, params::PwmOrder::HighFirst) == sent);
    return 0;
}
