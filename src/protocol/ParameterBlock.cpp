#include "protocol/ParameterBlock.h"

#include "protocol/Frames.h"

#include <algorithm>

namespace protocol::params {
namespace {

void put16(std::uint8_t* at, std::uint16_t v, bool highFirst) {
    at[highFirst ? 0 : 1] = static_cast<std::uint8_t>(v >> 8);
    at[highFirst ? 1 : 0] = static_cast<std::uint8_t>(v & 0xFF);
}

std::uint16_t get16(const std::uint8_t* at, bool highFirst) {
    return highFirst ? static_cast<std::uint16_t>(at[0] << 8 | at[1]) : static_cast<std::uint16_t>(at[1] << 8 | at[0]);
}

void putChannel(std::uint8_t* at, const ChannelSettings& c) {
    put16(at, c.trange, true);
    at[2] = c.tconv;
    at[3] = c.nconv;
    at[4] = c.npulse;
}

ChannelSettings getChannel(const std::uint8_t* at) {
    return {get16(at, true), at[2], at[3], at[4]};
}

void putOutput(std::uint8_t* at, const OutputSettings& o) {
    put16(at, o.timeAndMs, true);
    at[2] = o.function;
    at[3] = o.reserved;
    at[4] = o.flags;
}

OutputSettings getOutput(const std::uint8_t* at) {
    return {get16(at, true), at[2], at[3], at[4]};
}

} // namespace

Block EncodeBlock(const Parameters& p, PwmOrder order) {
    Block b{};
    const bool high = order == PwmOrder::HighFirst;
    for (int c = 0; c < 3; ++c) putChannel(&b[5 * c], p.channels[c]);
    put16(&b[15], p.pwmDuty, high);
    put16(&b[17], p.pwmFrequency, high);
    put16(&b[19], p.flags, false);
    for (int i = 0; i < 4; ++i) b[21 + i] = p.reserved[i];
    for (int o = 0; o < 3; ++o) putOutput(&b[25 + 5 * o], p.outputs[o]);
    return b;
}

Parameters DecodeBlock(const std::uint8_t* b, PwmOrder order) {
    Parameters p;
    const bool high = order == PwmOrder::HighFirst;
    for (int c = 0; c < 3; ++c) p.channels[c] = getChannel(b + 5 * c);
    p.pwmDuty = get16(b + 15, high);
    p.pwmFrequency = get16(b + 17, high);
    p.flags = get16(b + 19, false);
    for (int i = 0; i < 4; ++i) p.reserved[i] = b[21 + i];
    for (int o = 0; o < 3; ++o) p.outputs[o] = getOutput(b + 25 + 5 * o);
    return p;
}

Record EncodeRecord(const Parameters& p) {
    // The record is the read-back block placed around its pads.
    const Block block = EncodeBlock(p, PwmOrder::LowFirst);
    Record r{};
    frames::PlaceParameterBlock(block.data(), r);
    return r;
}

std::uint16_t RecordFlags(const Record& r) {
    return get16(&r[22], false);
}

Parameters DecodeRecord(const Record& r) {
    Block b{};
    std::copy_n(r.begin() + 0, 5, b.begin() + 0);
    std::copy_n(r.begin() + 6, 5, b.begin() + 5);
    std::copy_n(r.begin() + 12, 5, b.begin() + 10);
    std::copy_n(r.begin() + 18, 10, b.begin() + 15);
    std::copy_n(r.begin() + 28, 15, b.begin() + 25);
    return DecodeBlock(b.data(), PwmOrder::LowFirst);
}

Parameters Rebase(const Parameters& base, const Parameters& edited, const Parameters& fresh) {
    auto take = [](const auto& b, const auto& e, const auto& f) { return e == b ? f : e; };
    auto takeBits = [](auto b, auto e, auto f) {
        const auto changed = b ^ e;
        return static_cast<decltype(b)>((f & ~changed) | (e & changed));
    };
    Parameters p = fresh;
    for (std::size_t c = 0; c < 3; ++c) {
        const ChannelSettings &b = base.channels[c], &e = edited.channels[c];
        ChannelSettings& f = p.channels[c];
        f.trange = take(b.trange, e.trange, f.trange);
        f.tconv = take(b.tconv, e.tconv, f.tconv);
        f.nconv = take(b.nconv, e.nconv, f.nconv);
        f.npulse = take(b.npulse, e.npulse, f.npulse);
    }
    p.pwmDuty = take(base.pwmDuty, edited.pwmDuty, fresh.pwmDuty);
    p.pwmFrequency = take(base.pwmFrequency, edited.pwmFrequency, fresh.pwmFrequency);
    p.flags = takeBits(base.flags, edited.flags, fresh.flags);
    p.reserved = take(base.reserved, edited.reserved, fresh.reserved);
    for (std::size_t o = 0; o < 3; ++o) {
        const OutputSettings &b = base.outputs[o], &e = edited.outputs[o];
        OutputSettings& f = p.outputs[o];
        f.timeAndMs = take(b.timeAndMs, e.timeAndMs, f.timeAndMs);
        f.function = take(b.function, e.function, f.function);
        f.reserved = take(b.reserved, e.reserved, f.reserved);
        f.flags = takeBits(b.flags, e.flags, f.flags);
    }
    return p;
}

Frame EncodeSettingsFrame(const Parameters& p) {
    Parameters sent = p;
    sent.reserved = {0, 0, 0, 0};
    const Block block = EncodeBlock(sent, PwmOrder::HighFirst);
    Frame f{};
    f[0] = frames::STX;
    f[1] = 0x00;
    f[2] = 41;
    f[3] = frames::Settings;
    std::copy(block.begin(), block.end(), f.begin() + 4);
    f[44] = frames::FrameChecksum(&f[3], 41);
    f[45] = frames::ETX;
    return f;
}

} // namespace protocol::params
