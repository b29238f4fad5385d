// The detector's replies as they leave for the line: framed (STX, 0, LEN, CODE, data, CHK over the
// data, ETX) and, when asked to for a test or a demo, left out, spoiled or followed by surplus bytes.
#pragma once

#include "protocol/Frames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace detector {

class ReplyWriter {
  public:
    long dropEvery = 0;    // leave out every Nth reply
    long corruptEvery = 0; // spoil the checksum of every Nth reply
    long surplusEvery = 0; // add this many bytes to every reply
    long surplusOnce = 0;  // ... or to the next one only
    long lengthen = 0;     // every reply a well-formed frame this many data bytes longer (another firmware's)

    // Spoils the checksum of the next reply of this code that goes out; each call spoils one more.
    void CorruptNext(std::uint8_t code) { ++corruptNext_[code]; }
    int pendingCorruptions(std::uint8_t code) const { return corruptNext_[code]; }

    // The well-formed reply frame.
    static std::vector<std::uint8_t> Frame(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
        std::vector<std::uint8_t> bytes(payload.size() + 6);
        bytes[0] = protocol::frames::STX;
        bytes[1] = 0x00;
        bytes[2] = static_cast<std::uint8_t>(payload.size());
        bytes[3] = code;
        std::copy(payload.begin(), payload.end(), bytes.begin() + 4);
        bytes[payload.size() + 4] = protocol::frames::FrameChecksum(payload.data(), payload.size());
        bytes[payload.size() + 5] = protocol::frames::ETX;
        return bytes;
    }

    // The bytes that go out as the count-th reply (counted from 1), or nothing when it is left out.
    // A reply left out does not use up a pending corrupt-next of its code.
    std::optional<std::vector<std::uint8_t>> Write(long count, std::uint8_t code,
                                                   const std::vector<std::uint8_t>& payload) {
        if (dropEvery > 0 && count % dropEvery == 0) return std::nullopt;
        std::vector<std::uint8_t> data = payload;
        if (lengthen > 0)
            data.resize(std::min<std::size_t>(data.size() + static_cast<std::size_t>(lengthen), 255), 0x77);
        std::vector<std::uint8_t> bytes = Frame(code, data);
        bool spoil = corruptEvery > 0 && count % corruptEvery == 0;
        if (corruptNext_[code] > 0) {
            --corruptNext_[code];
            spoil = true;
        }
        if (spoil) bytes[bytes.size() - 2] ^= 0x5A;
        const long surplus = surplusEvery + surplusOnce;
        surplusOnce = 0;
        if (surplus > 0) bytes.insert(bytes.end(), static_cast<std::size_t>(surplus), 0x55);
        return bytes;
    }

  private:
    std::array<int, 256> corruptNext_{};
};

} // namespace detector

// The virtual detector's program, its tests and the benchmarks call it by its own name.
using detector::ReplyWriter;
