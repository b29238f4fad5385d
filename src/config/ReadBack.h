// The read-back: the settings controls redrawn from the parameters the detector reports (reply 9,
// or a loaded file), and the PWM values of reply 7, without sending anything back.
#pragma once

#include "protocol/ParameterBlock.h"

namespace seriallink {
class PollCycle;
} // namespace seriallink
namespace view {
struct ViewControls;
} // namespace view

namespace config {

class ParameterSender;

class ReadBack {
  public:
    ReadBack(view::ViewControls& view, seriallink::PollCycle& link, ParameterSender& sender)
        : view_(view), link_(link), sender_(sender) {}

    // Redraws every settings control and its label from the detector's parameters. Showing a value
    // changes nothing: the handlers stay quiet, so the parameters keep what the detector (or the
    // file) said until the user moves a control, and no frame is built. The poll timer is stopped
    // meanwhile and nothing is left pending at the end, also when a step fails.
    void ApplyParameters();
    // Shows a record on the settings controls as ApplyParameters does, leaving the link alone: a
    // parameter file opened without a detector.
    void ShowRecord(const protocol::params::Record& record);
    // The two PWM values of reply 7 into their (hidden) scroll bars and labels, without sending them.
    void ApplyPwmValues();

  private:
    view::ViewControls& view_;
    seriallink::PollCycle& link_;
    ParameterSender& sender_;
};

// The two PIR noise-reduction boxes under temperature compensation (automatic: the detector
// switches them itself, so they are disabled and say so) or without it.
void ShowPirNoiseReductionMode(view::ViewControls& view, bool automatic);

} // namespace config
