// The VIEW tab's live values from one status reply: bars, threshold selections, labels, temperature,
// tamper axes, and the graph feed of the "View" window.
#pragma once

#include "protocol/Frames.h"
#include "protocol/StatusRecord.h"

#include <array>
#include <cstdint>

namespace view {
struct ViewControls;
} // namespace view
namespace graph {
class GraphWindow;
} // namespace graph

namespace monitor {

// What the alarm indicators add to a status reply: each PIR noise-reduction box at the end of its
// channel's step, and the lamps and the siren after the graph is drawn, before the sweep moves on.
class IndicatorSteps {
  public:
    virtual ~IndicatorSteps() = default;
    // pir is 1 (HIGH ABOVE) or 2 (DOWN UNDER).
    virtual void FollowNoiseReduction(int pir) = 0;
    virtual void ShowIndicators() = 0;
};

using StatusStore = std::array<std::uint8_t, protocol::frames::StatusRecordSize>;

class StatusView {
  public:
    // graphics may be null (no graph window): the VIEW tab is still shown.
    StatusView(view::ViewControls& view, graph::GraphWindow* graphics);

    void setGraphics(graph::GraphWindow* graphics) { graphics_ = graphics; }
    void setIndicators(IndicatorSteps* indicators) { indicators_ = indicators; }

    // AlarmFlags and StateFlags of the last status reply, bit n at element n.
    std::array<bool, 16> AlarmFlags{};
    std::array<bool, 16> StateFlags{};
    // Splits the two flag words of the stored record into AlarmFlags and StateFlags.
    void SplitFlags(const StatusStore& store);

    // Shows the stored status record. A shown signal of 0 becomes 1 in the store itself, so that
    // the bar, its label and the trace all show the same value.
    void ShowStatus(StatusStore& store);

  private:
    void showChannel(StatusStore& store, const protocol::StatusRecord& record, int channel, bool directConvert);

    view::ViewControls& view_;
    graph::GraphWindow* graphics_;
    IndicatorSteps* indicators_ = nullptr;
};

} // namespace monitor
