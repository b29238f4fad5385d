#include "monitor/Indicators.h"

#include "config/ReadBack.h"
#include "graph/GraphPainter.h"
#include "monitor/Siren.h"
#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"
#include "widgets/Lamp.h"

#include <QCheckBox>
#include <QSignalBlocker>

namespace monitor {

using namespace protocol;

namespace {
const QColor Grey(128, 128, 128);
const QColor Red(255, 0, 0);
} // namespace

Indicators::Indicators(view::ViewControls& view, const StatusView& status, const seriallink::PollCycle& link,
                       Siren* siren)
    : view_(view), status_(status), link_(link), siren_(siren) {}

void Indicators::FollowNoiseReduction(int pir) {
    const bool on = status_.StateFlags[pir == 1 ? StateNoisePir1 : StateNoisePir2];
    if (follower_) return follower_(pir, on);
    QCheckBox* box = pir == 1 ? view_.noisePir1 : view_.noisePir2;
    const QSignalBlocker quiet(box);
    box->setChecked(on);
}

void Indicators::ShowIndicators() {
    const auto& alarm = status_.AlarmFlags;
    const auto& state = status_.StateFlags;

    // 1. Manual or automatic noise reduction, as the detector's parameters last said (not the box).
    const std::uint16_t flags =
        parameterFlags_ ? parameterFlags_() : protocol::params::RecordFlags(link_.stores().parameters);
    const bool automatic = protocol::params::HasFlags(flags, protocol::params::EnableTempComp);
    config::ShowPirNoiseReductionMode(view_, automatic);

    // 2. Detections, masks, infrared noise and the tamper, each repainted at once.
    const QColor& mwColour = graph::TraceColour[graph::MwTrace];
    const QColor& upColour = graph::TraceColour[graph::UpPirTrace];
    const QColor& downColour = graph::TraceColour[graph::DownPirTrace];
    const struct {
        widgets::Lamp* lamp;
        int bit;
        const QColor& colour;
    } detections[] = {
        {view_.mw.detection, AlarmMw, mwColour},           {view_.pir1.detection, AlarmPir1, upColour},
        {view_.pir2.detection, AlarmPir2, downColour},     {view_.pir1.maskLamp, AlarmMask1, downColour},
        {view_.pir2.maskLamp, AlarmMask2, downColour},     {view_.pir1.noiseLamp, AlarmIrNoise1, downColour},
        {view_.pir2.noiseLamp, AlarmIrNoise2, downColour}, {view_.tamper, AlarmTamper, downColour}};
    for (const auto& d : detections) d.lamp->setBrushColorNow(alarm[d.bit] ? d.colour : Grey);

    // 3. The 24-hour auto test: the field behind the fault lamps turns red, else the window's own colour.
    view_.diagnosticOn->setBrushColorNow(state[StateAutoTest] ? Red
                                                              : view_.diagnosticOn->palette().color(QPalette::Button));

    // 4. Faults.
    const struct {
        widgets::Lamp* lamp;
        int bit;
    } faults[] = {{view_.ledPowerFail, StateLowVoltage},
                  {view_.ledMwFault, StateMwFault},
                  {view_.ledPir1Fault, StatePir1Fault},
                  {view_.ledPir2Fault, StatePir2Fault},
                  {view_.ledCpuFault, StateCpuFault}};
    for (const auto& f : faults) f.lamp->setBrushColorNow(state[f.bit] ? downColour : Grey);

    // 5. The relays, with the window's next paint.
    for (int o = 0; o < 3; ++o)
        view_.outputs[static_cast<std::size_t>(o)].state->setBrushColor(state[StateOut1 + o] ? Red : Grey);

    // The summary beside the tabs: the same replies, in the same colours.
    if (view_.summary[view::SummaryOut1]) {
        const bool fault = state[StateLowVoltage] || state[StateMwFault] || state[StatePir1Fault] ||
                           state[StatePir2Fault] || state[StateCpuFault];
        const struct {
            int lamp;
            bool lit;
            const QColor& colour;
        } summary[] = {{view::SummaryOut1, state[StateOut1], Red},
                       {view::SummaryOut2, state[StateOut2], Red},
                       {view::SummaryOut3, state[StateOut3], Red},
                       {view::SummaryTamper, alarm[AlarmTamper], downColour},
                       {view::SummaryMask1, alarm[AlarmMask1], downColour},
                       {view::SummaryMask2, alarm[AlarmMask2], downColour},
                       {view::SummaryFault, fault, downColour}};
        for (const auto& l : summary)
            view_.summary[static_cast<std::size_t>(l.lamp)]->setBrushColor(l.lit ? l.colour : Grey);
    }

    // 6. An output, the tamper or a mask sounds the siren; detections and faults alone never do.
    const bool alarmState = state[StateOut1] || state[StateOut2] || state[StateOut3] || alarm[AlarmTamper] ||
                            alarm[AlarmMask1] || alarm[AlarmMask2];
    if (alarmState && sirenAllowed_ && siren_ && !siren_->Playing()) siren_->StartSiren();
}

} // namespace monitor
