#include "protocol/StatusRecord.h"

namespace protocol {
namespace {

void putBE(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v >> 8);
    at[1] = static_cast<std::uint8_t>(v & 0xFF);
}
void putLE(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v & 0xFF);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint16_t getBE(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
std::uint16_t getLE(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[1] << 8 | at[0]);
}

// Where each channel's values sit: signal, level, direct conversion, compensation.
constexpr int SignalAt[3] = {0, 6, 12};
constexpr int CompensationAt[3] = {46, 42, 44};

} // namespace

StatusBytes EncodeStatus(const StatusRecord& s) {
    StatusBytes b{};
    for (int c = 0; c < 3; ++c) {
        putBE(&b[SignalAt[c]], s.channels[c].signal);
        putBE(&b[SignalAt[c] + 2], s.channels[c].level);
        putBE(&b[SignalAt[c] + 4], s.channels[c].direct);
        putBE(&b[CompensationAt[c]], s.channels[c].compensation);
    }
    putBE(&b[18], s.mwMask);
    putBE(&b[28], s.mask1);
    putBE(&b[30], s.mask2);
    putBE(&b[32], s.irNoise1);
    putBE(&b[34], s.irNoise2);
    putBE(&b[36], s.ntc);
    putBE(&b[38], static_cast<std::uint16_t>(s.temperature));
    putLE(&b[48], s.alarmFlags);
    putLE(&b[50], s.stateFlags);
    for (int a = 0; a < 3; ++a) b[52 + 2 * a] = static_cast<std::uint8_t>(s.acc[a]);
    return b;
}

StatusRecord DecodeStatus(const std::uint8_t* b) {
    StatusRecord s;
    for (int c = 0; c < 3; ++c)
        s.channels[c] = {getBE(b + SignalAt[c]), getBE(b + SignalAt[c] + 2), getBE(b + SignalAt[c] + 4),
                         getBE(b + CompensationAt[c])};
    s.mwMask = getBE(b + 18);
    s.mask1 = getBE(b + 28);
    s.mask2 = getBE(b + 30);
    s.irNoise1 = getBE(b + 32);
    s.irNoise2 = getBE(b + 34);
    s.ntc = getBE(b + 36);
    s.temperature = static_cast<std::int16_t>(getBE(b + 38));
    s.alarmFlags = getLE(b + 48);
    s.stateFlags = getLE(b + 50);
    for (int a = 0; a < 3; ++a) s.acc[a] = static_cast<std::int8_t>(b[52 + 2 * a]);
    return s;
}

std::uint16_t RaiseZeroPlottedSignal(std::uint8_t* data, int channel, bool direct) {
    std::uint8_t* at = data + SignalAt[channel] + (direct ? 4 : 0);
    if (getBE(at) == 0) putBE(at, 1);
    return getBE(at);
}

std::array<bool, 16> SplitFlagWord(std::uint16_t word) {
    std::array<bool, 16> flags{};
    for (int n = 0; n < 16; ++n) flags[n] = (word >> n) & 1;
    return flags;
}

EventLogBytes EncodeEventLog(const EventLog& log) {
    EventLogBytes b{};
    for (int k = 0; k < 10; ++k) {
        std::uint8_t* e = &b[22 * k];
        const EventRecord& r = log[k];
        putLE(e, r.eventType);
        for (int i = 0; i < 7; ++i) putBE(e + 2 + 2 * i, r.peaks[i]);
        putBE(e + 16, static_cast<std::uint16_t>(r.temperature));
        putBE(e + 18, r.extra1);
        putBE(e + 20, r.extra2);
    }
    return b;
}

EventLog DecodeEventLog(const std::uint8_t* b) {
    EventLog log;
    for (int k = 0; k < 10; ++k) {
        const std::uint8_t* e = b + 22 * k;
        EventRecord& r = log[k];
        r.eventType = getLE(e);
        for (int i = 0; i < 7; ++i) r.peaks[i] = getBE(e + 2 + 2 * i);
        r.temperature = static_cast<std::int16_t>(getBE(e + 16));
        r.extra1 = getBE(e + 18);
        r.extra2 = getBE(e + 20);
    }
    return log;
}

std::string EventTypeText(std::uint16_t eventType) {
    static const char* const names[16] = {
        "MW",     "UP PIR",      "DOWN PIR", "MASK",     "BL 1",    "BL 2",        "Gen Alarm",     "Bs On",
        "TAMPER", "Fail Lis302", "NTC",      "LowPower", "Fail Mw", "Fail UP PIR", "Fail DOWN PIR", "---"};
    for (int n = 0; n < 16; ++n)
        if (eventType & (1u << n)) return names[n];
    return {};
}

} // namespace protocol
