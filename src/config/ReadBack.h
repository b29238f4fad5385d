// The read-back: the settings controls redrawn from the parameters the detector reports (reply 9,
// or a loaded file), and the PWM values of reply 7, without sending anything back.
#pragma once

class PollCycle;
struct ViewControls;

class ReadBack {
  public:
    ReadBack(ViewControls& view, PollCycle& link) : view_(view), link_(link) {}

    // Redraws every settings control and its label from the detector's parameters. The handlers
    // that this runs build frames, but none is sent: the poll timer is stopped meanwhile and the
    // pending frame is dropped at the end, also when a step fails.
    void ApplyParameters();
    // The two PWM values of reply 7 into their (hidden) scroll bars and labels.
    void ApplyPwmValues();

  private:
    ViewControls& view_;
    PollCycle& link_;
};

// The two PIR noise-reduction boxes under temperature compensation (automatic: the detector
// switches them itself, so they are disabled and say so) or without it.
void ShowPirNoiseReductionMode(ViewControls& view, bool automatic);
