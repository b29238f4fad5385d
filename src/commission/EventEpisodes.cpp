#include "commission/EventEpisodes.h"

#include "protocol/StatusRecord.h"

#include <array>

namespace commission {

namespace {

struct Source {
    bool state; // a StateFlags bit, else an AlarmFlags bit
    int bit;
    const char* name;
};
// In the order of EventEpisode::Kind.
constexpr std::array<Source, 10> Sources{{{false, protocol::AlarmTamper, "Tamper"},
                                          {false, protocol::AlarmMask1, "Mask 1"},
                                          {false, protocol::AlarmMask2, "Mask 2"},
                                          {false, protocol::AlarmIrNoise1, "IR noise 1"},
                                          {false, protocol::AlarmIrNoise2, "IR noise 2"},
                                          {true, protocol::StateLowVoltage, "Low voltage"},
                                          {true, protocol::StateMwFault, "MW fault"},
                                          {true, protocol::StatePir1Fault, "PIR H fault"},
                                          {true, protocol::StatePir2Fault, "PIR D fault"},
                                          {true, protocol::StateCpuFault, "CPU fault"}}};

} // namespace

QString EpisodeName(EventEpisode::Kind kind) {
    return QString::fromLatin1(Sources[static_cast<std::size_t>(kind)].name);
}

QStringList LitDuring(const EventEpisode& e) {
    QStringList lit;
    for (int o = 0; o < 3; ++o)
        if ((e.stateFlags >> (protocol::StateOut1 + o)) & 1) lit << QStringLiteral("OUT%1").arg(o + 1);
    static const struct {
        int bit;
        const char* name;
    } detections[] = {{protocol::AlarmMw, "MW detection"},
                      {protocol::AlarmPir1, "PIR HIGH detection"},
                      {protocol::AlarmPir2, "PIR DOWN detection"}};
    for (const auto& d : detections)
        if ((e.alarmFlags >> d.bit) & 1) lit << QString::fromLatin1(d.name);
    for (std::size_t k = 0; k < Sources.size(); ++k) {
        if (k == static_cast<std::size_t>(e.kind)) continue;
        const Source& s = Sources[k];
        if (((s.state ? e.stateFlags : e.alarmFlags) >> s.bit) & 1) lit << QString::fromLatin1(s.name);
    }
    return lit;
}

void EventEpisodes::Reply(std::int64_t ms, std::uint16_t alarmFlags, std::uint16_t stateFlags) {
    for (std::size_t k = 0; k < Sources.size(); ++k) {
        const Source& s = Sources[k];
        const bool on = ((s.state ? stateFlags : alarmFlags) >> s.bit) & 1;
        int& open = openAt_[k];
        if (on && open == -1) {
            ++counts_[k];
            if (kept_.size() < MaxKept) {
                EventEpisode e;
                e.kind = static_cast<EventEpisode::Kind>(k);
                e.fromMs = ms;
                kept_.push_back(e);
                open = static_cast<int>(kept_.size()) - 1;
            } else {
                ++leftOut_;
                open = -2;
            }
        }
        if (open >= 0) {
            EventEpisode& e = kept_[static_cast<std::size_t>(open)];
            if (on) {
                e.toMs = ms;
                e.alarmFlags |= alarmFlags;
                e.stateFlags |= stateFlags;
            }
            e.open = on;
        }
        if (!on) open = -1;
    }
}

} // namespace commission
