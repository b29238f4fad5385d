// The detector's reply frames, as a pseudo-terminal detector in a test sends them.
#pragma once

#include "protocol/Frames.h"
#include "protocol/ParameterBlock.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// STX, 0, the length of the data, the code, the data, its checksum, ETX.
template <typename Data>
std::vector<std::uint8_t> replyFrame(std::uint8_t code, const Data& data) {
    std::vector<std::uint8_t> f(data.size() + 6);
    f[0] = 0x02;
    f[2] = static_cast<std::uint8_t>(data.size());
    f[3] = code;
    std::copy(data.begin(), data.end(), f.begin() + 4);
    f[f.size() - 2] = protocol::frames::FrameChecksum(data.data(), data.size());
    f[f.size() - 1] = 0x03;
    return f;
}

// The read-back reply (code 9) of a parameter set.
inline std::vector<std::uint8_t> reply9(const protocol::params::Parameters& p) {
    return replyFrame(9, protocol::params::EncodeBlock(p, protocol::params::PwmOrder::LowFirst));
}
