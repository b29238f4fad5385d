// The detector's events during a walk test, from the status flag bits: each time the tamper, a mask, the
// infrared noise or a fault came on, how long it lasted and what else lit meanwhile (the outputs the
// tamper switched, ...). The installation report lists them as the tests the installer made.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

namespace commission {

struct EventEpisode {
    enum class Kind { Tamper, Mask1, Mask2, IrNoise1, IrNoise2, LowVoltage, MwFault, Pir1Fault, Pir2Fault, CpuFault };
    Kind kind = Kind::Tamper;
    std::int64_t fromMs = 0, toMs = 0;                     // the first reply it was on in, the last
    bool open = false;                                     // still on at the last reply
    std::uint16_t alarmFlags = 0, stateFlags = 0;          // every bit set meanwhile
    bool isTest() const { return kind <= Kind::IrNoise2; } // the tamper, mask and noise tests; else a fault
};
// "Tamper", "Mask 1", "IR noise 2", "MW fault", ...
QString EpisodeName(EventEpisode::Kind kind);
// What lit during it besides itself: "OUT3, Tamper", by the lamps' names.
QStringList LitDuring(const EventEpisode& e);

class EventEpisodes {
  public:
    // Episodes kept with their times; beyond them, each kind is only counted.
    static constexpr std::size_t MaxKept = 200;

    void Reply(std::int64_t ms, std::uint16_t alarmFlags, std::uint16_t stateFlags);
    // (A pause of the recording with the bit on before and after it is one episode.)
    const std::vector<EventEpisode>& Episodes() const { return kept_; }
    // How many of each kind there were in all, kept or not.
    int Count(EventEpisode::Kind kind) const { return counts_[static_cast<std::size_t>(kind)]; }
    std::size_t LeftOut() const { return leftOut_; }

  private:
    std::vector<EventEpisode> kept_;
    std::array<int, 10> counts_{};
    std::array<int, 10> openAt_{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}; // index in kept_, or -2: open, not kept
    std::size_t leftOut_ = 0;
};

} // namespace commission
