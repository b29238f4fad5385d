// The VIEW tab's settings controls wired to their handlers, the PIR lens presets, and the PIR noise-reduction
// boxes following the detector.
#include "config/ParameterSender.h"

#include "config/ParameterText.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"
#include "widgets/GaugeBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

namespace config {

using namespace protocol::params;

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
int thresholdValue(const widgets::TrackBar* bar) {
    return bar->minimum() + bar->maximum() - bar->value();
}
int thumbFor(const widgets::TrackBar* bar, int value) {
    return std::clamp(bar->minimum() + bar->maximum() - value, bar->minimum(), bar->maximum());
}

std::uint8_t lowByte(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

template <class T>
T setBits(T value, int mask, bool set) {
    return static_cast<T>(set ? value | mask : value & ~mask);
}

} // namespace

void ParameterSender::wire(QAction* storeToFlash) {
    storeToFlash_ = storeToFlash;
    if (storeToFlash_) connect(storeToFlash_, &QAction::triggered, this, &ParameterSender::requestStore);
    connect(&link_, &seriallink::PollCycle::settingsSent, this, &ParameterSender::frameSent);
    connect(&link_, &seriallink::PollCycle::connecting, this, &ParameterSender::connecting);
    connect(&link_, &seriallink::PollCycle::settingsHeld, this, &ParameterSender::frameHeld);

    // Each control writes its own value into the parameters to send, and nothing else: a value the
    // user did not touch goes out as the detector reported it, even one its control cannot show.
    const struct {
        QCheckBox* box;
        std::uint16_t mask;
    } flagBoxes[] = {{view_.enMw, EnableMw},
                     {view_.enPir1, EnablePir1},
                     {view_.enPir2, EnablePir2},
                     {view_.enMask, EnableMask},
                     {view_.enAcc, EnableAcc},
                     {view_.enTamper, EnableTamper},
                     {view_.enTempComp, EnableTempComp},
                     {view_.enLed, EnableLed},
                     {view_.autoTest, EnableAutoTest},
                     {view_.noiseMw, NoiseMw},
                     {view_.noisePir1, NoisePir1},
                     {view_.noisePir2, NoisePir2}};
    for (const auto& f : flagBoxes)
        connect(f.box, &QCheckBox::toggled, this, [this, mask = f.mask](bool checked) {
            edit([&](Parameters& p) { p.flags = setBits(p.flags, mask, checked); });
        });
    view::ChannelControls* channels[3] = {&view_.mw, &view_.pir1, &view_.pir2};
    for (std::size_t c = 0; c < 3; ++c) {
        view::ChannelControls* ch = channels[c];
        connect(ch->threshold, &QSlider::valueChanged, this, [this, c, ch] {
            edit([&](Parameters& p) {
                p.channels[c].trange = static_cast<std::uint16_t>(thresholdValue(ch->threshold));
            });
        });
        connect(ch->tconv, &QScrollBar::valueChanged, this,
                [this, c](int v) { edit([&](Parameters& p) { p.channels[c].tconv = lowByte(v); }); });
        connect(ch->nconv, &QScrollBar::valueChanged, this,
                [this, c](int v) { edit([&](Parameters& p) { p.channels[c].nconv = lowByte(v); }); });
        connect(ch->npulse, &QScrollBar::valueChanged, this,
                [this, c](int v) { edit([&](Parameters& p) { p.channels[c].npulse = lowByte(v); }); });
    }
    connect(view_.pwmDuty, &QScrollBar::valueChanged, this,
            [this](int v) { edit([&](Parameters& p) { p.pwmDuty = static_cast<std::uint16_t>(v); }); });
    connect(view_.pwmFrequency, &QScrollBar::valueChanged, this,
            [this](int v) { edit([&](Parameters& p) { p.pwmFrequency = static_cast<std::uint16_t>(v); }); });
    connect(view_.pir1.lens, &QComboBox::currentIndexChanged, this, &ParameterSender::pir1LensChanged);
    connect(view_.pir2.lens, &QComboBox::currentIndexChanged, this, &ParameterSender::pir2LensChanged);

    for (std::size_t o = 0; o < 3; ++o) {
        view::OutputControls& out = view_.outputs[o];
        const struct {
            QCheckBox* box;
            std::uint8_t mask;
        } outputBoxes[] = {{out.enable, OutputEnabled},
                           {out.mw, OutputMw},
                           {out.pirHigh, OutputPirHigh},
                           {out.pirDown, OutputPirDown}};
        for (const auto& f : outputBoxes)
            connect(f.box, &QCheckBox::toggled, this, [this, o, mask = f.mask](bool checked) {
                edit([&](Parameters& p) { p.outputs[o].flags = setBits(p.outputs[o].flags, mask, checked); });
            });
        connect(out.ncNo, &widgets::RadioGroup::itemIndexChanged, this, [this, o](int index) {
            edit([&](Parameters& p) {
                p.outputs[o].flags = setBits(p.outputs[o].flags, OutputNormallyOpen, index != 0);
            });
        });
        // No function selected is 255.
        connect(out.function, &widgets::RadioGroup::itemIndexChanged, this,
                [this, o](int index) { edit([&](Parameters& p) { p.outputs[o].function = lowByte(index); }); });
        connect(out.timeAnd, &QScrollBar::valueChanged, this, [this, o](int seconds) {
            edit([&](Parameters& p) { p.outputs[o].timeAndMs = static_cast<std::uint16_t>(seconds * 1000); });
        });
    }
}

// Changes are sent only to a detector whose own parameters have been read: until then the
// controls hold the program's defaults, and a frame built from them would overwrite its set-up.
// Nor while values are shown rather than chosen.
void ParameterSender::FollowDetectorNoiseReduction(int pir, bool on) {
    if (fileEditing_) return; // the boxes show the file (a replay's status is not its)
    QCheckBox* box = pir == 1 ? view_.noisePir1 : view_.noisePir2;
    if (box->isChecked() != on) {
        const Showing quiet(*this);
        box->setChecked(on);
    }
    // Only a switch seen between two status replies is the detector's own: the first reply after a
    // read-back may differ from the parameters just because they are not its state.
    statusNoise_[static_cast<std::size_t>(pir - 1)] = on;
    std::optional<bool>& seen = noiseSeen_[static_cast<std::size_t>(pir - 1)];
    // (A switch held back while the line failed counts when the first reply after the read-back still shows it.)
    const std::optional<bool> recheck = std::exchange(echoRecheck_[static_cast<std::size_t>(pir - 1)], std::nullopt);
    const bool switched = (seen && *seen != on) || (recheck && *recheck == on && !seen);
    seen = on;
    if (!switched || noiseEchoRefused_ || !mayChange() || !lastReadBack_) return;
    const Parameters detector = DecodeRecord(*lastReadBack_);
    // Under temperature compensation the detector switches its noise reduction itself: nothing to tell.
    if (detector.flags & EnableTempComp) return;
    const std::uint16_t bit = pir == 1 ? NoisePir1 : NoisePir2;
    if (((detector.flags & bit) != 0) == on) return; // its parameters say so already
    edits_.flags = setBits(edits_.flags, bit, on);
    echoQueuedMask_ |= bit;
    echoQueuedBits_ = setBits(echoQueuedBits_, bit, on);
    if (link_.SettingsPending() && !pendingIsEcho_) {
        // A change of the user's still waits: it goes with the switch.
        queue(edits_, false);
        requestReadBack();
        return;
    }
    // The detector's parameters, or the echo of its other switch when that one has not gone out yet.
    Parameters p = link_.SettingsPending() && pendingIsEcho_ ? queued_ : detector;
    p.flags = setBits(p.flags, bit, on);
    queue(p, true);
    requestReadBack();
}

Parameters ParameterSender::remakeHeld(const Parameters& old, const Parameters& fresh) {
    const std::uint16_t echo = echoQueuedMask_;
    echoQueuedMask_ = echoQueuedBits_ = 0;
    // The user's changes alone, then on the fresh set.
    Parameters user = edits_;
    user.flags = static_cast<std::uint16_t>((user.flags & ~echo) | (old.flags & echo));
    const Parameters p = Rebase(old, user, fresh);
    // The switch is not sent with it. It is told only if it still needs telling, and only once a status
    // reply after this read-back still shows it: the detector may have turned temperature compensation on
    // meanwhile (it then switches its noise reduction itself), its parameters may say what its status
    // showed, or it may have switched back while the line failed.
    for (std::size_t i = 0; i < 2; ++i) {
        const std::uint16_t bit = i == 0 ? NoisePir1 : NoisePir2;
        const std::optional<bool>& on = statusNoise_[i];
        if (!(echo & bit) || !on || noiseEchoRefused_ || (fresh.flags & EnableTempComp) ||
            ((fresh.flags & bit) != 0) == *on)
            continue;
        echoRecheck_[i] = *on;
    }
    return p;
}

void ParameterSender::LensesToUser() {
    const Showing quiet(*this);
    for (QComboBox* lens : {view_.pir1.lens, view_.pir2.lens}) lens->setCurrentIndex(0);
    applyLens(1);
    applyLens(2);
}

void ParameterSender::pir1LensChanged() {
    applyLens(1);
}

void ParameterSender::pir2LensChanged() {
    applyLens(2);
}

// The preset's ranges, then its values. Every position that moves runs its control's handler, so
// a preset queues one frame with the new values. A range change keeps the threshold value the
// detector has, instead of the thumb position (which would change the value sent next).
void ParameterSender::applyLens(int pir) {
    view::ChannelControls& ch = pir == 1 ? view_.pir1 : view_.pir2;
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

} // namespace config
