// The alarm and fault lamps of the VIEW tab, the PIR noise-reduction boxes that follow the detector,
// and the siren trigger: the indicator steps of every status reply.
#pragma once

#include "monitor/StatusView.h"

#include <cstdint>
#include <functional>

namespace seriallink {
class PollCycle;
} // namespace seriallink
namespace view {
struct ViewControls;
} // namespace view

namespace monitor {

class Siren;

class Indicators : public IndicatorSteps {
  public:
    // siren may be null (no siren at all).
    Indicators(view::ViewControls& view, const StatusView& status, const seriallink::PollCycle& link, Siren* siren);

    void setSiren(Siren* siren) { siren_ = siren; }
    // While off (a replay of a recording), the lamps still follow but the siren never starts.
    void setSirenAllowed(bool allowed) { sirenAllowed_ = allowed; }

    // Who makes the PIR noise-reduction boxes follow the detector (and tells it when its parameters
    // say otherwise); without one the boxes just follow.
    void setNoiseReductionFollower(std::function<void(int pir, bool on)> follower) { follower_ = std::move(follower); }
    // Where the parameters that decide manual or automatic noise reduction come from, when not from
    // the detector's last read-back (a parameter file open on the controls).
    void setParameterFlags(std::function<std::uint16_t()> flags) { parameterFlags_ = std::move(flags); }
    // The box is checked exactly while the detector reports that channel's noise reduction on.
    void FollowNoiseReduction(int pir) override;
    void ShowIndicators() override;

  private:
    view::ViewControls& view_;
    const StatusView& status_;
    const seriallink::PollCycle& link_;
    Siren* siren_;
    bool sirenAllowed_ = true;
    std::function<void(int pir, bool on)> follower_;
    std::function<std::uint16_t()> parameterFlags_;
};

} // namespace monitor
