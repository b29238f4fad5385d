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

// The settings frame (command 1) of a parameter set, written out byte by byte from the frame's layout,
// not through the program's encoder (which the virtual detector shares): STX, 0, LEN 41, command 1; per
// channel the threshold high byte first, Tconv, Nconv, pulses; the PWM duty and frequency high byte first;
// the flags word low byte first; four reserved bytes sent as zero; per output its Time AND high byte first,
// function, reserved byte, flags; the checksum of bytes 3..43; ETX.
inline std::vector<std::uint8_t> settingsFrameByLayout(const protocol::params::Parameters& p) {
    std::vector<std::uint8_t> f{0x02, 0x00, 41, 0x01};
    auto word = [&f](unsigned v) {
        f.push_back(static_cast<std::uint8_t>(v >> 8));
        f.push_back(static_cast<std::uint8_t>(v & 0xFF));
    };
    for (const auto& c : p.channels) {
        word(c.trange);
        f.insert(f.end(), {c.tconv, c.nconv, c.npulse});
    }
    word(p.pwmDuty);
    word(p.pwmFrequency);
    f.push_back(static_cast<std::uint8_t>(p.flags & 0xFF));
    f.push_back(static_cast<std::uint8_t>(p.flags >> 8));
    f.insert(f.end(), {0, 0, 0, 0});
    for (const auto& o : p.outputs) {
        word(o.timeAndMs);
        f.insert(f.end(), {o.function, o.reserved, o.flags});
    }
    unsigned sum = 0;
    for (std::size_t i = 3; i < f.size(); ++i) sum += f[i];
    f.push_back(static_cast<std::uint8_t>((256 - sum % 256) % 256));
    f.push_back(0x03);
    return f;
}
