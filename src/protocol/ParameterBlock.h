// The detector's parameter set in its three shapes: the 40-byte block on the line (settings frame
// and reply 9), the 44-byte record kept in memory and in parameter files, and the 46-byte frame.
#pragma once

#include <array>
#include <cstdint>

namespace protocol::params {

// ParameterFlags bits (the word travels low byte first).
enum ParameterFlag : std::uint16_t {
    EnableMw = 0x0001,
    EnablePir1 = 0x0002,
    EnablePir2 = 0x0004,
    EnableMask = 0x0008,
    EnableAcc = 0x0010,
    EnableTamper = 0x0040,
    EnableLed = 0x0080,
    NoiseMw = 0x0100,
    NoisePir1 = 0x0200,
    NoisePir2 = 0x0400,
    EnableTempComp = 0x0800,
    StoreRequest = 0x4000,
    EnableAutoTest = 0x8000,
};
// The bits the program ever sets, StoreRequest aside.
constexpr std::uint16_t SettableFlags = 0x8FDF;
// The bits without a name that a settings frame still carries as they are (the store request is
// never carried: it goes out only when the user asks for it).
constexpr std::uint16_t UnnamedFlags = 0x3020;

// OutputFlags bits of one relay output.
enum OutputFlag : std::uint8_t {
    OutputEnabled = 0x01,
    OutputMw = 0x02,
    OutputPirHigh = 0x04,
    OutputPirDown = 0x08,
    OutputNormallyOpen = 0x10,
};
constexpr std::uint8_t UnnamedOutputFlags = 0xE0;

// Relay functions; 255 when none is selected.
enum OutputFunction : std::uint8_t { And = 0, Or = 1, AutoOr = 2, Mask = 3, AutoTest = 4, NoFunction = 255 };

struct ChannelSettings {
    std::uint16_t trange = 0;
    std::uint8_t tconv = 0;
    std::uint8_t nconv = 0;
    std::uint8_t npulse = 0;
    bool operator==(const ChannelSettings&) const = default;
};

struct OutputSettings {
    std::uint16_t timeAndMs = 0;
    std::uint8_t function = 0;
    std::uint8_t reserved = 0;
    std::uint8_t flags = 0;
    bool operator==(const OutputSettings&) const = default;
};

// The values of a parameter set, whatever shape they travel in.
struct Parameters {
    std::array<ChannelSettings, 3> channels{}; // MW, PIR1 (HIGH ABOVE), PIR2 (DOWN UNDER)
    std::uint16_t pwmDuty = 0;                 // sixteenths of a percent
    std::uint16_t pwmFrequency = 0;            // 16 000 000 / value is the frequency in hertz
    std::uint16_t flags = 0;                   // ParameterFlags
    std::array<std::uint8_t, 4> reserved{};
    std::array<OutputSettings, 3> outputs{};
    bool operator==(const Parameters&) const = default;
};

// What the settings controls can show and send (a lens preset narrows a PIR channel's Tconv, Nconv
// and threshold ranges): a value outside is shown, and sent with the next change, as the nearest end.
struct ValueRange {
    int min, max;
    bool contains(int v) const { return v >= min && v <= max; }
};
constexpr std::array<ValueRange, 3> ThresholdRange{{{10, 500}, {10, 700}, {10, 700}}}; // MW, PIR1, PIR2
constexpr std::array<ValueRange, 3> TconvRange{{{1, 15}, {1, 50}, {1, 50}}};
constexpr std::array<ValueRange, 3> NconvRange{{{1, 15}, {1, 50}, {1, 50}}};
constexpr ValueRange NPulseRange{1, 5};
constexpr ValueRange PwmDutyRange{1, 160};
constexpr ValueRange PwmFrequencyRange{1600, 16000};
constexpr std::array<ValueRange, 3> TimeAndSecondsRange{{{1, 10}, {1, 5}, {1, 5}}}; // OUT #1, #2, #3
// The pad bytes of the record: zero in every record the detector or this program makes.
constexpr std::array<int, 4> RecordPadOffsets{5, 11, 17, 43};

using Block = std::array<std::uint8_t, 40>;
using Record = std::array<std::uint8_t, 44>;
using Frame = std::array<std::uint8_t, 46>;

// The 40-byte block: PWM words high byte first in a settings frame, low byte first in reply 9.
enum class PwmOrder { HighFirst, LowFirst };
Block EncodeBlock(const Parameters& p, PwmOrder order);
Parameters DecodeBlock(const std::uint8_t* block, PwmOrder order);

// The 44-byte record of memory and files (PWM low byte first, pads after each channel and at the end).
Record EncodeRecord(const Parameters& p);
Parameters DecodeRecord(const Record& r);
// ParameterFlags of a record (its bytes 22 and 23, low byte first), read without decoding the rest.
std::uint16_t RecordFlags(const Record& r);
// Whether a ParameterFlags word has every bit of mask set.
constexpr bool HasFlags(std::uint16_t flags, std::uint16_t mask) {
    return (flags & mask) == mask;
}

// The changes made on base, made again on fresh: each value changed in edited (each bit, in the flag
// words) takes its edited value; every other one is fresh's.
Parameters Rebase(const Parameters& base, const Parameters& edited, const Parameters& fresh);

// A settings frame: 02 00 29 01, the block (PWM high byte first, reserved bytes zero), CHK, 03.
Frame EncodeSettingsFrame(const Parameters& p);

} // namespace protocol::params
