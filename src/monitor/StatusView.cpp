#include "monitor/StatusView.h"

#include "graph/GraphWindow.h"
#include "monitor/Texts.h"
#include "protocol/StatusRecord.h"
#include "view/ViewPage.h"
#include "widgets/LevelBar.h"
#include "widgets/PaintPace.h"
#include "widgets/TrackBar.h"

#include <QCheckBox>
#include <QLabel>

namespace monitor {

StatusView::StatusView(view::ViewControls& view, graph::GraphWindow* graphics) : view_(view), graphics_(graphics) {}

void StatusView::SplitFlags(const StatusStore& store) {
    const protocol::StatusRecord s = protocol::DecodeStatus(store.data());
    AlarmFlags = protocol::SplitFlagWord(s.alarmFlags);
    StateFlags = protocol::SplitFlagWord(s.stateFlags);
}

// The channel's threshold trace and newest sample, and on the VIEW tab its level (the selection of
// the threshold track bar rises from the bottom by it) and the plotted signal in its bar and label.
void StatusView::showChannel(StatusStore& store, const protocol::StatusRecord& record, int channel,
                             bool directConvert) {
    const protocol::ChannelStatus& values = record.channels[channel];
    const std::uint16_t signal = protocol::RaiseZeroPlottedSignal(store.data(), channel, directConvert);
    if (graphics_) {
        const auto c = static_cast<graph::Channel>(channel);
        graphics_->FeedChannel(c, signal, values.compensation, directConvert);
    }
    view::ChannelControls& ch = channel == 0 ? view_.mw : channel == 1 ? view_.pir1 : view_.pir2;
    ch.threshold->setSelStart(ch.threshold->maximum() - values.level);
    widgets::SetTextPaced(ch.levelLabel, NumberText(values.level));
    ch.signal->setPosition(signal);
    widgets::SetTextPaced(ch.signalLabel, NumberText(signal));
}

void StatusView::ShowStatus(StatusStore& store) {
    const protocol::StatusRecord before = protocol::DecodeStatus(store.data());
    const bool direct = graphics_ && graphics_->DirectConvert();
    const bool tempComp = view_.enTempComp->isChecked();

    // 1. MW.
    showChannel(store, before, 0, direct);
    view_.mwMaskBar->setPosition(before.mwMask);

    // 2 and 3. The two PIR channels, with their compensation, mask and infrared-noise values.
    const std::array<int, 2> masks{before.mask1, before.mask2};
    const std::array<int, 2> noises{before.irNoise1, before.irNoise2};
    for (int pir = 1; pir <= 2; ++pir) {
        view::ChannelControls& ch = pir == 1 ? view_.pir1 : view_.pir2;
        showChannel(store, before, pir, direct);
        widgets::SetTextPaced(ch.compLabel, tempComp
                                                ? QStringLiteral("(Comp. : ") +
                                                      NumberText(before.channels[pir].compensation) + QLatin1Char(')')
                                                : QStringLiteral("(Comp. : --- )"));
        ch.maskBar->setPosition(masks[pir - 1]);
        widgets::SetTextPaced(ch.maskLabel, NumberText(masks[pir - 1]));
        widgets::SetTextPaced(ch.noiseLabel, NumberText(noises[pir - 1]));
        ch.noiseBar->setPosition(noises[pir - 1]);
        if (indicators_) indicators_->FollowNoiseReduction(pir);
    }

    // 4. The frame of the graph and the channel names beside the newest points (drawn where they
    // changed: the columns around the new samples).
    if (graphics_) graphics_->DrawFrame();

    // 5. Temperature, shown only while temperature compensation is enabled.
    if (tempComp) {
        view_.temperature->setPosition(before.temperature);
        widgets::SetTextPaced(view_.temperatureLabel, DegreesText(before.temperature));
        widgets::SetTextPaced(view_.ntcLabel, NumberText(before.ntc));
    } else {
        widgets::SetTextPaced(view_.temperatureLabel, QStringLiteral("---"));
        widgets::SetTextPaced(view_.ntcLabel, QStringLiteral("---"));
        view_.temperature->setPosition(view_.temperature->minimum());
    }

    // 6. Lamps, noise-reduction captions, output states and the siren.
    if (indicators_) indicators_->ShowIndicators();

    // 7. The sweep moves on; the new frame is shown.
    if (graphics_) {
        graphics_->AdvanceSweep();
        graphics_->RepaintScreen();
    }

    // 8. Tamper axes.
    for (int a = 0; a < 3; ++a) {
        widgets::SetTextPaced(view_.accLabels[a], NumberText(before.acc[a]));
        view_.accBars[a]->setPosition(before.acc[a]);
    }
}

} // namespace monitor
