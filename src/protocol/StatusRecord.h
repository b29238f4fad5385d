// The status record of reply 8 (58 bytes) and the detector's event memory of reply 12 (220 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace protocol {

// AlarmFlags and StateFlags bits the program shows.
enum AlarmBit : int {
    AlarmMw = 0,
    AlarmPir1 = 2,
    AlarmPir2 = 4,
    AlarmMask1 = 7,
    AlarmMask2 = 8,
    AlarmTamper = 11,
    AlarmIrNoise1 = 12,
    AlarmIrNoise2 = 13,
};
enum StateBit : int {
    StateOut1 = 0,
    StateOut2 = 1,
    StateOut3 = 2,
    StateNoisePir1 = 4,
    StateNoisePir2 = 5,
    StateLowVoltage = 6,
    StateMwFault = 7,
    StatePir1Fault = 8,
    StatePir2Fault = 9,
    StateCpuFault = 10,
    StateAutoTest = 14,
};

// One detection channel's live values.
struct ChannelStatus {
    std::uint16_t signal = 0;       // shown and plotted
    std::uint16_t level = 0;        // on the threshold scale
    std::uint16_t direct = 0;       // direct-conversion signal
    std::uint16_t compensation = 0; // temperature-compensated threshold
    bool operator==(const ChannelStatus&) const = default;
};

struct StatusRecord {
    std::array<ChannelStatus, 3> channels{}; // MW, PIR1, PIR2
    std::uint16_t mwMask = 0;
    std::uint16_t mask1 = 0, mask2 = 0;
    std::uint16_t irNoise1 = 0, irNoise2 = 0;
    std::uint16_t ntc = 0;
    std::int16_t temperature = 0; // whole degrees Celsius
    std::uint16_t alarmFlags = 0;
    std::uint16_t stateFlags = 0;
    std::array<std::int8_t, 3> acc{}; // X, Y, Z
    bool operator==(const StatusRecord&) const = default;
};

using StatusBytes = std::array<std::uint8_t, 58>;
StatusBytes EncodeStatus(const StatusRecord& s);
StatusRecord DecodeStatus(const std::uint8_t* data);

// The graph cannot plot a signal of 0: the plotted one (the direct-conversion signal when direct is
// true) of a channel (0 MW, 1 PIR1, 2 PIR2) that is 0 in the status bytes becomes 1 there, before
// anything shows or records them. Returns the plotted value.
std::uint16_t RaiseZeroPlottedSignal(std::uint8_t* data, int channel, bool direct);

// 16 booleans, element n being bit n of the word.
std::array<bool, 16> SplitFlagWord(std::uint16_t word);

// One entry of the event memory.
struct EventRecord {
    std::uint16_t eventType = 0;          // flags, named by the lowest set bit
    std::array<std::uint16_t, 7> peaks{}; // MW, PIR1, PIR2, Mask 1, Mask 2, IR noise 1, IR noise 2
    std::int16_t temperature = 0;
    std::uint16_t extra1 = 0, extra2 = 0; // not shown
    bool operator==(const EventRecord&) const = default;
};
using EventLog = std::array<EventRecord, 10>;
using EventLogBytes = std::array<std::uint8_t, 220>;
EventLogBytes EncodeEventLog(const EventLog& log);
EventLog DecodeEventLog(const std::uint8_t* data);

// The name of an event: the text of its lowest set bit, empty when no bit is set.
std::string EventTypeText(std::uint16_t eventType);

} // namespace protocol
