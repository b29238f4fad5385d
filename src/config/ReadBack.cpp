#include "config/ReadBack.h"

#include "config/ParameterSender.h"
#include "protocol/ParameterBlock.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"
#include "widgets/GaugeBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/TrackBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QTimer>
#include <cmath>

namespace config {

using namespace protocol::params;

namespace {

std::uint16_t be16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
std::uint16_t le16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[1] << 8 | at[0]);
}

// Ends a read-back whatever happened in it: the frames the handlers queued are dropped and the
// poll timer runs again.
class ReadBackEnd {
  public:
    explicit ReadBackEnd(seriallink::PollCycle& link) : link_(link) { link_.PollTimer()->stop(); }
    ~ReadBackEnd() {
        link_.DropSettings();
        link_.PollTimer()->start();
    }
    ReadBackEnd(const ReadBackEnd&) = delete;
    ReadBackEnd& operator=(const ReadBackEnd&) = delete;

  private:
    seriallink::PollCycle& link_;
};

// One channel: the thumb at the place of the value (clamped by the track bar; the label shows the
// value as received), then Tconv, Nconv, NPulse with their labels.
void applyChannel(view::ChannelControls& ch, const std::uint8_t* at) {
    const int value = be16(at);
    // Computed as a signed number, so that a value above the range puts the thumb at the top.
    ch.threshold->setValue(ch.threshold->maximum() - value + ch.threshold->minimum());
    ch.trangeLabel->setText(QString::number(value));
    const struct {
        widgets::GaugeBar* gauge;
        QLabel* label;
        int value;
    } gauges[] = {
        {ch.tconv, ch.tconvLabel, at[2]}, {ch.nconv, ch.nconvLabel, at[3]}, {ch.npulse, ch.npulseLabel, at[4]}};
    for (const auto& g : gauges) {
        g.gauge->setValue(g.value);
        g.label->setText(QString::number(g.value));
    }
}

} // namespace

void ReadBack::ApplyParameters() {
    const ReadBackEnd end(link_);
    ShowRecord(link_.stores().parameters);
}

void ReadBack::ShowRecord(const Record& record) {
    const ParameterSender::Showing quiet(sender_);
    auto flags = [&record] { return RecordFlags(record); };

    // Time AND in whole seconds, halves to the even neighbour; the caption shows the clamped position.
    for (int o = 0; o < 3; ++o) {
        view::OutputControls& out = view_.outputs[static_cast<std::size_t>(o)];
        const int ms = be16(&record[static_cast<std::size_t>(OutputRecordOffset(o))]);
        out.timeAnd->setValue(static_cast<int>(std::nearbyint(ms / 1000.0)));
        out.timeAndLabel->setText(QString::number(out.timeAnd->value()) + QStringLiteral(" sec."));
    }
    // Function: 255 is no function; any other value above the last item selects "AUTO TEST".
    for (int o = 0; o < 3; ++o) {
        const int function = record[static_cast<std::size_t>(OutputRecordOffset(o) + 2)];
        view_.outputs[static_cast<std::size_t>(o)].function->setItemIndex(function == NoFunction ? -1 : function);
    }
    for (int o = 0; o < 3; ++o) {
        view::OutputControls& out = view_.outputs[static_cast<std::size_t>(o)];
        const std::uint8_t outputFlags = record[static_cast<std::size_t>(OutputRecordOffset(o) + 4)];
        const bool enabled = outputFlags & OutputEnabled;
        out.enable->setChecked(enabled);
        out.function->setEnabled(enabled);
        out.ncNo->setEnabled(enabled);
        // Mask and auto-test outputs do not take the technologies into account.
        const int function = out.function->ItemIndex();
        const bool technologies = enabled && function != Mask && function != AutoTest;
        for (QCheckBox* box : {out.mw, out.pirHigh, out.pirDown}) box->setEnabled(technologies);
        out.mw->setChecked(outputFlags & OutputMw);
        out.pirHigh->setChecked(outputFlags & OutputPirHigh);
        out.pirDown->setChecked(outputFlags & OutputPirDown);
    }
    for (int o = 0; o < 3; ++o) {
        const std::uint8_t outputFlags = record[static_cast<std::size_t>(OutputRecordOffset(o) + 4)];
        view_.outputs[static_cast<std::size_t>(o)].ncNo->setItemIndex((outputFlags & OutputNormallyOpen) ? 1 : 0);
    }

    const struct {
        view::ChannelControls* channel;
        int offset;
        QCheckBox* enable;
        std::uint16_t enableMask;
        QCheckBox* noise;
        std::uint16_t noiseMask;
        QCheckBox* extra;
        std::uint16_t extraMask;
    } channels[] = {
        {&view_.mw, 0, view_.enMw, EnableMw, view_.noiseMw, NoiseMw, view_.enMask, EnableMask},
        {&view_.pir1, 6, view_.enPir1, EnablePir1, view_.noisePir1, NoisePir1, view_.enAcc, EnableAcc},
        {&view_.pir2, 12, view_.enPir2, EnablePir2, view_.noisePir2, NoisePir2, view_.autoTest, EnableAutoTest}};
    for (const auto& c : channels) {
        applyChannel(*c.channel, &record[static_cast<std::size_t>(c.offset)]);
        c.enable->setChecked(HasFlags(flags(), c.enableMask));
        c.noise->setChecked(HasFlags(flags(), c.noiseMask));
        c.extra->setChecked(HasFlags(flags(), c.extraMask));
    }

    const QLocale locale;
    const int duty = le16(&record[18]);
    view_.pwmDuty->setValue(duty);
    // Rounded here, halves to even, so that the locale only formats.
    view_.pwmDutyLabel->setText(QStringLiteral("DC:  ") + locale.toString(std::nearbyint(duty * 0.625) / 10, 'f', 1) +
                                QStringLiteral(" %  @10KHz"));
    const int frequencyValue = le16(&record[20]);
    view_.pwmFrequency->setValue(frequencyValue);
    double frequency = frequencyValue * 6.25;
    if (frequency != 0) frequency = 10000 / frequency * 10000; // 16 000 000 / value
    view_.pwmFrequencyLabel->setText(locale.toString(std::nearbyint(frequency), 'f', 0) + QStringLiteral(" KHz"));

    view_.enLed->setChecked(HasFlags(flags(), EnableLed));
    view_.enTamper->setChecked(HasFlags(flags(), EnableTamper));

    // With temperature compensation the detector changes the PIR noise reduction itself.
    const bool tempComp = HasFlags(flags(), EnableTempComp);
    view_.enTempComp->setChecked(tempComp);
    ShowPirNoiseReductionMode(view_, tempComp);
}

void ShowPirNoiseReductionMode(view::ViewControls& view, bool automatic) {
    view.noisePir1->setEnabled(!automatic);
    view.noisePir2->setEnabled(!automatic);
    view.noisePir1->setText(automatic ? QStringLiteral("PIR UP(Auto change N.R.)")
                                      : QStringLiteral("PIR UP(Noise Reduction)"));
    view.noisePir2->setText(automatic ? QStringLiteral("PIR DOWN(Auto change N.R.)")
                                      : QStringLiteral("PIR DOWN(Noise Reduction)"));
}

void ReadBack::ApplyPwmValues() {
    const ParameterSender::Showing quiet(sender_);
    const auto& pwm = link_.stores().pwm;
    const int duty = le16(&pwm[0]);
    view_.pwmDuty->setValue(duty);
    view_.pwmDutyLabel->setText(QString::number(duty));
    const int frequencyValue = le16(&pwm[2]);
    view_.pwmFrequency->setValue(frequencyValue);
    view_.pwmFrequencyLabel->setText(QString::number(frequencyValue));
}

} // namespace config
