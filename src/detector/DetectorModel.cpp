#include "detector/DetectorModel.h"

#include "protocol/Frames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace detector {

using namespace protocol::params;
using namespace protocol;

namespace {

constexpr double OutputHoldSeconds = 2.0;
constexpr std::array<int, 3> TRangeMax{500, 700, 700};
constexpr std::array<int, 3> ConvMax{15, 50, 50};
constexpr std::array<std::uint16_t, 3> ChannelEnable{EnableMw, EnablePir1, EnablePir2};
constexpr std::array<int, 3> AlarmBitOf{AlarmMw, AlarmPir1, AlarmPir2};

template <class T>
T clampTo(T v, int lo, int hi) {
    return static_cast<T>(std::clamp<int>(v, lo, hi));
}

double bump(double t, double centre, double width) {
    const double d = (t - centre) / width;
    return std::exp(-d * d);
}

} // namespace

DetectorModel::DetectorModel(std::string flashPath, unsigned seed, EventMemory memory)
    : flashPath_(std::move(flashPath)), params_(FactoryDefaults()), random_(seed) {
    if (memory == EventMemory::Seeded) events_ = SeededEvents();
    if (flashPath_.empty()) return;
    std::ifstream in(flashPath_, std::ios::binary);
    Record r{};
    if (in.read(reinterpret_cast<char*>(r.data()), r.size())) {
        params_ = Clamp(DecodeRecord(r));
        params_.reserved = OwnReserved;
    }
}

EventLog DetectorModel::SeededEvents() {
    // Peaks: MW, PIR1, PIR2, Mask 1, Mask 2, IR noise 1, IR noise 2; the quiet values are those of
    // the world's own noise, the raised ones those its conditions give.
    auto entry = [](std::uint16_t bits, std::array<std::uint16_t, 7> peaks, std::int16_t temperature) {
        EventRecord e;
        e.eventType = bits;
        e.peaks = peaks;
        e.temperature = temperature;
        return e;
    };
    constexpr std::uint16_t IntruderPass = 0x0001 | 0x0002 | 0x0004 | 0x0040; // MW, UP PIR, DOWN PIR, Gen Alarm
    EventLog log{};
    log[0] = entry(IntruderPass, {480, 600, 540, 27, 24, 13, 12}, 19);
    log[1] = entry(1u << 11, {38, 41, 36, 25, 26, 12, 11}, 17);  // LowPower
    log[2] = entry(1u << 4, {42, 44, 39, 26, 25, 164, 14}, 23);  // BL 1: the upper PIR blinded
    log[3] = entry(1u << 3, {41, 39, 37, 322, 317, 12, 13}, 20); // MASK
    log[4] = entry(1u << 8, {45, 40, 38, 26, 24, 12, 12}, 21);   // TAMPER
    log[5] = entry(IntruderPass, {455, 575, 512, 24, 25, 11, 13}, 18);
    return log; // the older slots have never been written
}

Parameters DetectorModel::FactoryDefaults() {
    Parameters p;
    p.channels = {ChannelSettings{300, 8, 8, 1}, ChannelSettings{380, 10, 8, 2}, ChannelSettings{380, 10, 8, 2}};
    p.pwmDuty = 160;       // 10 %
    p.pwmFrequency = 1600; // 10 kHz
    p.flags = EnableMw | EnablePir1 | EnablePir2 | EnableAcc | EnableTamper | EnableLed | EnableTempComp;
    p.reserved = OwnReserved;
    p.outputs = {OutputSettings{2000, And, 0, OutputEnabled | OutputMw | OutputPirHigh | OutputPirDown},
                 OutputSettings{1000, Mask, 0, OutputEnabled | OutputNormallyOpen},
                 OutputSettings{1000, Or, 0, OutputMw}};
    return p;
}

Parameters DetectorModel::Clamp(Parameters p) {
    for (int c = 0; c < 3; ++c) {
        ChannelSettings& ch = p.channels[c];
        ch.trange = clampTo(ch.trange, 10, TRangeMax[c]);
        ch.tconv = clampTo(ch.tconv, 1, ConvMax[c]);
        ch.nconv = clampTo(ch.nconv, 1, ConvMax[c]);
        ch.npulse = clampTo(ch.npulse, 1, 5);
    }
    p.pwmDuty = clampTo(p.pwmDuty, 1, 160);
    p.pwmFrequency = clampTo(p.pwmFrequency, 1600, 16000);
    p.flags &= SettableFlags; // the store request is a command, not a setting
    for (int o = 0; o < 3; ++o) {
        OutputSettings& out = p.outputs[o];
        out.timeAndMs = clampTo(out.timeAndMs, 1000, o == 0 ? 10000 : 5000);
        if (out.function != NoFunction) out.function = clampTo(out.function, 0, AutoTest);
        out.flags &= 0x1F;
    }
    return p;
}

bool DetectorModel::ApplySettings(const std::uint8_t* block40) {
    const Parameters received = DecodeBlock(block40, PwmOrder::HighFirst);
    Parameters stored = Clamp(received);
    stored.reserved = params_.reserved; // the host sends zeros here; the detector keeps its own
    if ((stored.flags & EnableTempComp) && !takesNoiseReductionBits) {
        constexpr std::uint16_t own = NoisePir1 | NoisePir2;
        stored.flags = static_cast<std::uint16_t>((stored.flags & ~own) | (params_.flags & own));
    }
    params_ = stored;
    return (received.flags & StoreRequest) ? storeToFlash() : true;
}

Block DetectorModel::ReadBackBlock() const {
    return EncodeBlock(params_, PwmOrder::LowFirst);
}

std::array<std::uint8_t, 4> DetectorModel::PwmValues() const {
    return {static_cast<std::uint8_t>(params_.pwmDuty & 0xFF), static_cast<std::uint8_t>(params_.pwmDuty >> 8),
            static_cast<std::uint8_t>(params_.pwmFrequency & 0xFF),
            static_cast<std::uint8_t>(params_.pwmFrequency >> 8)};
}

bool DetectorModel::Answers(std::uint8_t code) {
    return code == protocol::frames::PwmValues || code == protocol::frames::Status ||
           code == protocol::frames::ParameterReadBack || code == protocol::frames::EventLog;
}

std::optional<std::vector<std::uint8_t>> DetectorModel::Answer(std::uint8_t code, double nowSeconds) {
    auto bytes = [](const auto& a) { return std::vector<std::uint8_t>(a.begin(), a.end()); };
    switch (code) {
    case protocol::frames::PwmValues: return bytes(PwmValues());
    case protocol::frames::Status: Advance(nowSeconds); return bytes(EncodeStatus(status_));
    case protocol::frames::ParameterReadBack: return bytes(ReadBackBlock());
    case protocol::frames::EventLog: Advance(nowSeconds); return bytes(EncodeEventLog(events_));
    default: return std::nullopt;
    }
}

bool DetectorModel::storeToFlash() {
    flashError_.clear();
    if (flashPath_.empty()) return true; // no flash file: the store is accepted and forgotten
    // Written beside and renamed over, so that a failed write never leaves half a flash.
    const std::string temporary = flashPath_ + ".new";
    const Record r = EncodeRecord(params_);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(r.data()), r.size());
        out.flush();
        if (!out) {
            flashError_ = "cannot write " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), flashPath_.c_str()) != 0) {
        flashError_ = "cannot replace " + flashPath_;
        return false;
    }
    return true;
}

double DetectorModel::noise(double spread) {
    return std::normal_distribution<double>(0.0, spread)(random_);
}

void DetectorModel::TriggerIntruder(double nowSeconds, double strength) {
    lastIntruder_ = nowSeconds;
    intruderStrength_ = strength;
}

void DetectorModel::Advance(double now) {
    if (periodicWalk && intruderPeriod > 0 && now - lastIntruder_ >= intruderPeriod) TriggerIntruder(now);
    const double walk = now - lastIntruder_;
    // The intruder crosses the microwave field first, then the high and the low infrared beams.
    const double k = intruderStrength_;
    const std::array<double, 3> peak{k * 520 * bump(walk, 1.0, 0.35), k * 620 * bump(walk, 1.6, 0.3),
                                     k * 560 * bump(walk, 2.2, 0.3)};
    const Parameters& p = params_;
    StatusRecord s;
    s.temperature = static_cast<std::int16_t>(std::lround(21 + 4 * std::sin(now * 2 * M_PI / 600)));
    s.ntc = static_cast<std::uint16_t>(2048 - 20 * s.temperature);
    const bool tempComp = p.flags & EnableTempComp;
    std::uint16_t alarm = 0, state = 0;
    for (int c = 0; c < 3; ++c) {
        const double level = std::max(0.0, 35 + noise(6) + peak[c]);
        ChannelStatus& ch = s.channels[c];
        ch.signal = static_cast<std::uint16_t>(level);
        ch.direct = static_cast<std::uint16_t>(std::max(0.0, level + noise(12)));
        ch.level = static_cast<std::uint16_t>(std::min<double>(level, TRangeMax[c]));
        const int compensated = p.channels[c].trange + (tempComp ? 3 * (s.temperature - 20) : 0);
        ch.compensation = static_cast<std::uint16_t>(std::clamp(compensated, 0, 810));
        if ((p.flags & ChannelEnable[c]) && ch.signal >= p.channels[c].trange) {
            alarm |= 1u << AlarmBitOf[c];
            lastDetection_[c] = now;
        }
    }
    s.mwMask = static_cast<std::uint16_t>(std::max(0.0, 40 + noise(4)));
    s.mask1 = static_cast<std::uint16_t>(std::max(0.0, (conditions.mask1 ? 320 : 25) + noise(5)));
    s.mask2 = static_cast<std::uint16_t>(std::max(0.0, (conditions.mask2 ? 310 : 25) + noise(5)));
    s.irNoise1 = static_cast<std::uint16_t>(std::max(0.0, (conditions.irNoise1 ? 160 : 12) + noise(3)));
    s.irNoise2 = static_cast<std::uint16_t>(std::max(0.0, (conditions.irNoise2 ? 170 : 12) + noise(3)));
    if ((p.flags & EnableAcc) && s.mask1 > 200) alarm |= 1u << AlarmMask1;
    if ((p.flags & EnableAcc) && s.mask2 > 200) alarm |= 1u << AlarmMask2;
    if (s.irNoise1 > 100) alarm |= 1u << AlarmIrNoise1;
    if (s.irNoise2 > 100) alarm |= 1u << AlarmIrNoise2;
    const double shake = conditions.tamper ? 90 : 2;
    s.acc = {static_cast<std::int8_t>(std::clamp(noise(shake), -127.0, 127.0)),
             static_cast<std::int8_t>(std::clamp(noise(shake), -127.0, 127.0)),
             static_cast<std::int8_t>(std::clamp(64 + noise(shake), -127.0, 127.0))};
    if ((p.flags & EnableTamper) && conditions.tamper) alarm |= 1u << AlarmTamper;

    // The relays, each by its function and the technologies it takes part in.
    for (int o = 0; o < 3; ++o) {
        const OutputSettings& out = p.outputs[o];
        if (!(out.flags & OutputEnabled)) continue;
        const std::array<bool, 3> takesPart{bool(out.flags & OutputMw), bool(out.flags & OutputPirHigh),
                                            bool(out.flags & OutputPirDown)};
        bool trigger = false;
        bool any = false, all = true;
        for (int c = 0; c < 3; ++c) {
            if (!takesPart[c]) continue;
            any = any || (alarm & (1u << AlarmBitOf[c]));
            all = all && now - lastDetection_[c] <= out.timeAndMs / 1000.0;
        }
        const bool anyTakesPart = takesPart[0] || takesPart[1] || takesPart[2];
        switch (out.function) {
        case And: trigger = anyTakesPart && all; break;
        case Or:
        case AutoOr: trigger = any; break;
        case Mask: trigger = alarm & ((1u << AlarmMask1) | (1u << AlarmMask2)); break;
        case AutoTest: trigger = conditions.autoTest; break;
        default: break;
        }
        if (trigger) outputUntil_[o] = now + OutputHoldSeconds;
        if (now < outputUntil_[o]) state |= 1u << (StateOut1 + o);
    }
    // Noise reduction by the parameters, or by itself with the noise under temperature compensation.
    const bool byParameters = !tempComp || takesNoiseReductionBits;
    if ((byParameters && (p.flags & NoisePir1)) || (tempComp && s.irNoise1 > 100) || conditions.noiseReduction1)
        state |= 1u << StateNoisePir1;
    if ((byParameters && (p.flags & NoisePir2)) || (tempComp && s.irNoise2 > 100) || conditions.noiseReduction2)
        state |= 1u << StateNoisePir2;
    if (conditions.lowVoltage) state |= 1u << StateLowVoltage;
    if (conditions.mwFault) state |= 1u << StateMwFault;
    if (conditions.pir1Fault) state |= 1u << StatePir1Fault;
    if (conditions.pir2Fault) state |= 1u << StatePir2Fault;
    if (conditions.cpuFault) state |= 1u << StateCpuFault;
    // The detector runs its auto test only when the settings enable it.
    if (conditions.autoTest && (p.flags & EnableAutoTest)) state |= 1u << StateAutoTest;
    s.alarmFlags = alarm;
    s.stateFlags = state;
    status_ = s;
    recordEvents(now);
}

// An event opens when a detection, an output, the tamper, a mask, an infrared blinding or a fault
// sets in, gathers what sets in while it lasts with the peak values seen, and closes after a quiet
// spell. The newest event is entry 0.
void DetectorModel::recordEvents(double now) {
    constexpr double QuietSeconds = 1.5;
    const StatusRecord& s = status_;
    std::uint16_t bits = 0;
    for (int c = 0; c < 3; ++c)
        if (s.alarmFlags & (1u << AlarmBitOf[c])) bits |= 1u << c;
    if (s.stateFlags & 0x7) bits |= 1u << 6; // "Gen Alarm": a relay went off
    if (s.alarmFlags & ((1u << AlarmMask1) | (1u << AlarmMask2))) bits |= 1u << 3;
    if (s.alarmFlags & (1u << AlarmIrNoise1)) bits |= 1u << 4;
    if (s.alarmFlags & (1u << AlarmIrNoise2)) bits |= 1u << 5;
    if (s.alarmFlags & (1u << AlarmTamper)) bits |= 1u << 8;
    if (conditions.lis302Fault) bits |= 1u << 9;
    if (s.stateFlags & (1u << StateLowVoltage)) bits |= 1u << 11;
    if (s.stateFlags & (1u << StateMwFault)) bits |= 1u << 12;
    if (s.stateFlags & (1u << StatePir1Fault)) bits |= 1u << 13;
    if (s.stateFlags & (1u << StatePir2Fault)) bits |= 1u << 14;

    if (eventOpen_ && now - lastEventActivity_ > QuietSeconds) eventOpen_ = false;
    if (bits) {
        if (!eventOpen_) {
            std::rotate(events_.rbegin(), events_.rbegin() + 1, events_.rend());
            events_[0] = EventRecord{};
            events_[0].temperature = s.temperature;
            eventOpen_ = true;
        }
        lastEventActivity_ = now;
    }
    if (!eventOpen_) return;
    EventRecord& e = events_[0];
    e.eventType |= bits;
    const std::array<std::uint16_t, 7> values{
        s.channels[0].signal, s.channels[1].signal, s.channels[2].signal, s.mask1, s.mask2, s.irNoise1, s.irNoise2};
    for (int i = 0; i < 7; ++i) e.peaks[i] = std::max(e.peaks[i], values[i]);
}

} // namespace detector
