#include "config/Settings.h"

#include "app/ViewPage.h"
#include "link/PollCycle.h"
#include "widgets/GaugeBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <algorithm>

using namespace params;

namespace {

// A lens preset: the ranges it gives a PIR channel's Tconv, Nconv and threshold controls, and the
// values it sets (none for "User", which only gives the full ranges back).
struct LensPreset {
    int tconvMin, tconvMax, nconvMin, nconvMax, trangeMin, trangeMax;
    bool setsValues;
    int tconv, nconv, trange;
};
constexpr LensPreset LensPresets[4] = {{1, 50, 1, 50, 10, 700, false, 0, 0, 0},     // "User"
                                       {8, 22, 8, 12, 200, 440, true, 10, 8, 380},  // "Angle"
                                       {8, 27, 8, 12, 100, 440, true, 10, 8, 380},  // "Horizontal Curtain"
                                       {8, 30, 8, 12, 100, 440, true, 10, 8, 380}}; // "Vertical Curtain"

// The track bars are vertical with their minimum at the top, so the value grows as the thumb rises.
int thresholdValue(const TrackBar* bar) {
    return bar->minimum() + bar->maximum() - bar->value();
}
int thumbFor(const TrackBar* bar, int value) {
    return std::clamp(bar->minimum() + bar->maximum() - value, bar->minimum(), bar->maximum());
}

std::uint8_t lowByte(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

} // namespace

Settings::Settings(ViewControls& view, PollCycle& link, QObject* parent) : QObject(parent), view_(view), link_(link) {}

void Settings::wire(QAction* storeToFlash) {
    storeToFlash_ = storeToFlash;
    if (storeToFlash_) connect(storeToFlash_, &QAction::triggered, this, &Settings::Action4Execute);
    // A store request is kept until a frame carrying it has gone out on the line.
    connect(&link_, &PollCycle::settingsSent, this, [this](const std::array<std::uint8_t, 46>& frame) {
        if (frame[24] & (StoreRequest >> 8)) storePending_ = false;
    });

    auto change = [this] { SettingChange(); };
    for (QCheckBox* box :
         {view_.enMw, view_.enPir1, view_.enPir2, view_.enMask, view_.enAcc, view_.enTamper, view_.enTempComp,
          view_.enLed, view_.autoTest, view_.noiseMw, view_.noisePir1, view_.noisePir2})
        connect(box, &QCheckBox::toggled, this, change);
    for (ChannelControls* ch : {&view_.mw, &view_.pir1, &view_.pir2}) {
        connect(ch->threshold, &QSlider::valueChanged, this, change);
        for (GaugeBar* g : {ch->tconv, ch->nconv, ch->npulse}) connect(g, &QScrollBar::valueChanged, this, change);
    }
    for (GaugeBar* g : {view_.pwmDuty, view_.pwmFrequency}) connect(g, &QScrollBar::valueChanged, this, change);
    connect(view_.pir1.lens, &QComboBox::currentIndexChanged, this, &Settings::ComboBox_Pir1_LensChange);
    connect(view_.pir2.lens, &QComboBox::currentIndexChanged, this, &Settings::ComboBox_Pir2_LensChange);

    for (int o = 0; o < 3; ++o) {
        OutputControls& out = view_.outputs[static_cast<std::size_t>(o)];
        const struct {
            QCheckBox* box;
            std::uint8_t mask;
        } flagBoxes[] = {{out.enable, OutputEnabled},
                         {out.mw, OutputMw},
                         {out.pirHigh, OutputPirHigh},
                         {out.pirDown, OutputPirDown}};
        for (const auto& f : flagBoxes)
            connect(f.box, &QCheckBox::toggled, this,
                    [this, o, mask = f.mask](bool checked) { OutputFlagClick(o, mask, checked); });
        connect(out.ncNo, &RadioGroup::itemIndexChanged, this,
                [this, o](int index) { OutputFlagClick(o, OutputNormallyOpen, index != 0); });
        connect(out.function, &RadioGroup::itemIndexChanged, this, change);
        connect(out.timeAnd, &QScrollBar::valueChanged, this, [this, o] { ScrollBar_TimeAndChange(o); });
    }
}

// Changes are sent only to a detector whose own parameters have been read: until then the
// controls hold the program's defaults, and a frame built from them would overwrite its set-up.
bool Settings::mayChange() const {
    return link_.LinkActive() && link_.ParametersKnown;
}

void Settings::requestReadBack() {
    link_.PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
}

Parameters Settings::fromControls() const {
    Parameters p;
    const ChannelControls* channels[3] = {&view_.mw, &view_.pir1, &view_.pir2};
    for (int c = 0; c < 3; ++c) {
        const ChannelControls& ch = *channels[c];
        p.channels[static_cast<std::size_t>(c)] = {static_cast<std::uint16_t>(thresholdValue(ch.threshold)),
                                                   lowByte(ch.tconv->value()), lowByte(ch.nconv->value()),
                                                   lowByte(ch.npulse->value())};
    }
    p.pwmDuty = static_cast<std::uint16_t>(view_.pwmDuty->value());
    p.pwmFrequency = static_cast<std::uint16_t>(view_.pwmFrequency->value());
    const struct {
        const QCheckBox* box;
        std::uint16_t mask;
    } boxes[] = {{view_.enMw, EnableMw},
                 {view_.enPir1, EnablePir1},
                 {view_.enPir2, EnablePir2},
                 {view_.enMask, EnableMask},
                 {view_.enAcc, EnableAcc},
                 {view_.enTamper, EnableTamper},
                 {view_.enTempComp, EnableTempComp},
                 {view_.enLed, EnableLed},
                 {view_.noiseMw, NoiseMw},
                 {view_.noisePir1, NoisePir1},
                 {view_.noisePir2, NoisePir2},
                 {view_.autoTest, EnableAutoTest}};
    for (const auto& b : boxes)
        if (b.box->isChecked()) p.flags |= b.mask;
    // Time AND, the reserved byte and the output flags come from the detector's parameters, as
    // the output controls have edited them; the function from its radio group (none: 255).
    const Parameters record = DecodeRecord(link_.Stores.parameters);
    for (int o = 0; o < 3; ++o) {
        p.outputs[static_cast<std::size_t>(o)] = record.outputs[static_cast<std::size_t>(o)];
        p.outputs[static_cast<std::size_t>(o)].function =
            lowByte(view_.outputs[static_cast<std::size_t>(o)].function->ItemIndex());
    }
    return p;
}

void Settings::BuildSettingsFrame() {
    if (FlagAccumulator & StoreRequest) storePending_ = true;
    Parameters p = fromControls();
    p.flags |= FlagAccumulator;
    if (storePending_) p.flags |= StoreRequest;
    FlagAccumulator = 0;
    link_.SettingsFrame = EncodeSettingsFrame(p);
    link_.PendingSettings = true;
}

void Settings::SettingChange() {
    if (!mayChange()) return;
    BuildSettingsFrame();
    requestReadBack();
}

void Settings::OutputFlagClick(int output, std::uint8_t mask, bool set) {
    if (!mayChange()) return;
    std::uint8_t& flags = link_.Stores.parameters[static_cast<std::size_t>(OutputRecordOffset(output) + 4)];
    flags = set ? (flags | mask) : (flags & ~mask);
    BuildSettingsFrame();
    requestReadBack();
}

void Settings::ScrollBar_TimeAndChange(int output) {
    if (!mayChange()) return;
    const int ms = view_.outputs[static_cast<std::size_t>(output)].timeAnd->value() * 1000;
    auto* at = &link_.Stores.parameters[static_cast<std::size_t>(OutputRecordOffset(output))];
    at[0] = static_cast<std::uint8_t>(ms >> 8 & 0xFF);
    at[1] = static_cast<std::uint8_t>(ms & 0xFF);
    BuildSettingsFrame();
    requestReadBack();
}

void Settings::ComboBox_Pir1_LensChange() {
    applyLens(1);
}

void Settings::ComboBox_Pir2_LensChange() {
    applyLens(2);
}

// The preset's ranges, then its values. Every position that moves runs its control's handler, so
// a preset queues one frame with the new values. A range change keeps the threshold value the
// detector has, instead of the thumb position (which would change the value sent next).
void Settings::applyLens(int pir) {
    ChannelControls& ch = pir == 1 ? view_.pir1 : view_.pir2;
    const int index = ch.lens->currentIndex();
    if (index < 0 || index > 3) return;
    const LensPreset& preset = LensPresets[index];
    const int keptValue = thresholdValue(ch.threshold);
    ch.tconv->setRange(preset.tconvMin, preset.tconvMax);
    ch.nconv->setRange(preset.nconvMin, preset.nconvMax);
    ch.threshold->setRange(preset.trangeMin, preset.trangeMax);
    if (preset.setsValues) {
        ch.tconv->setValue(preset.tconv);
        ch.nconv->setValue(preset.nconv);
        ch.threshold->setValue(thumbFor(ch.threshold, preset.trange));
        return;
    }
    // "User" only widens the ranges: the thumb moves to where the same value lies, and since the
    // value does not change there is nothing to send.
    const QSignalBlocker quiet(ch.threshold);
    ch.threshold->setValue(thumbFor(ch.threshold, keptValue));
}

void Settings::Action4Execute() {
    if (storeToFlash_) storeToFlash_->setEnabled(false);
    if (link_.LinkActive()) {
        if (link_.ParametersKnown) {
            FlagAccumulator |= StoreRequest;
            BuildSettingsFrame();
            requestReadBack();
        } else if (notice_) {
            // Said without a box: the poll goes on meanwhile, and no box may run its ticks.
            notice_(QStringLiteral("Nothing stored: the detector's parameters have not been read yet."));
        }
    }
    if (storeToFlash_) storeToFlash_->setEnabled(true);
}
