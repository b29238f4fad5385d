#include "protocol/ParameterBlock.h"
#include "view/PageParts.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/SmallStatusBar.h"
#include "widgets/TrackBar.h"
#include "widgets/WheelNeedsFocus.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>

namespace view {
namespace {

struct ChannelLayouts {
    QHBoxLayout* row;    // threshold, signal, gauges column, (PIR) mask and noise box
    QVBoxLayout* gauges; // rate and pulse groups, (PIR) lens combo
};

// The common part of a channel box: detection bar, threshold and signal bars, rate and pulse gauges.
ChannelLayouts buildChannel(QWidget* page, ChannelControls& ch, const ChannelNames& n) {
    ch.group = group(page, QString::fromLatin1(n.caption), n.group);
    ch.group->setMinimumWidth(246); // the design's width; a larger window gives it more
    auto* outer = vbox(ch.group, 3, 3);

    ch.detection = named(new widgets::Lamp(widgets::Lamp::Rectangle, LampGrey, ch.group), n.detection);
    ch.detection->setFixedHeight(9);
    outer->addWidget(ch.detection);

    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    outer->addLayout(row, 1);

    ch.threshold = named(new widgets::TrackBar(Qt::Vertical, ch.group), n.trackBar);
    const protocol::params::ValueRange trange = protocol::params::ThresholdRange[static_cast<std::size_t>(n.channel)];
    ch.threshold->setRange(trange.min, trange.max);
    ch.threshold->setSingleStep(10);
    ch.threshold->setTickInterval(16);
    ch.threshold->setValue(trange.max); // the thumb at the bottom: the lowest threshold
    ch.threshold->setSelEnd(trange.max);
    ch.threshold->setFixedWidth(28);
    row->addWidget(ch.threshold);

    ch.signal = named(new widgets::LevelBar(Qt::Vertical, 0, 700, ch.group), n.signal);
    ch.signal->setFixedWidth(14);
    row->addWidget(ch.signal);

    auto* gauges = new QVBoxLayout;
    gauges->setSpacing(2);
    auto* gaugeRow = new QHBoxLayout;
    gaugeRow->setSpacing(2);

    auto* rate = group(ch.group, QString::fromLatin1(n.rateCaption));
    auto* rateGrid = new QGridLayout(rate);
    rateGrid->setContentsMargins(3, 2, 3, 2);
    rateGrid->setHorizontalSpacing(4);
    rateGrid->setVerticalSpacing(1);
    const protocol::params::ValueRange tconv = protocol::params::TconvRange[static_cast<std::size_t>(n.channel)];
    const protocol::params::ValueRange nconv = protocol::params::NconvRange[static_cast<std::size_t>(n.channel)];
    ch.tconv = gauge(rate, n.tconv, Qt::Vertical, tconv.min, tconv.max, n.tconvStart);
    ch.nconv = gauge(rate, n.nconv, Qt::Vertical, nconv.min, nconv.max, n.nconvStart);
    ch.tconvLabel = valueLabel(rate, n.tconvLabel, n.tconvStart);
    ch.nconvLabel = valueLabel(rate, n.nconvLabel, n.nconvStart);
    rateGrid->addWidget(new QLabel(QStringLiteral("Max"), rate), 0, 0, Qt::AlignTop);
    rateGrid->addWidget(new QLabel(QStringLiteral("Min"), rate), 1, 0, Qt::AlignBottom);
    rateGrid->addWidget(ch.tconv, 0, 1, 2, 1, Qt::AlignHCenter);
    rateGrid->addWidget(ch.nconv, 0, 2, 2, 1, Qt::AlignHCenter);
    rateGrid->addWidget(ch.tconvLabel, 2, 1);
    rateGrid->addWidget(ch.nconvLabel, 2, 2);
    rateGrid->setRowStretch(0, 1);
    rateGrid->setRowStretch(1, 1);
    gaugeRow->addWidget(rate);

    auto* pulse = group(ch.group, QStringLiteral("Pulse"));
    auto* pulseBox = vbox(pulse, 3, 1);
    ch.npulse =
        gauge(pulse, n.npulse, Qt::Vertical, protocol::params::NPulseRange.min, protocol::params::NPulseRange.max, 1);
    ch.npulseLabel = valueLabel(pulse, n.npulseLabel, 1);
    pulseBox->addWidget(ch.npulse, 1, Qt::AlignHCenter);
    pulseBox->addWidget(ch.npulseLabel);
    gaugeRow->addWidget(pulse);
    gauges->addLayout(gaugeRow, 1);
    row->addLayout(gauges, 1);

    const QString channel = QString::fromLatin1(n.channel == 0   ? "microwave"
                                                : n.channel == 1 ? "PIR HIGH"
                                                                 : "PIR DOWN");
    ch.threshold->setToolTip(QStringLiteral("Alarm threshold of the %1 channel, on its signal's scale (thumb up: a "
                                            "higher threshold); the blue selection is the detector's level now")
                                 .arg(channel));
    ch.signal->setToolTip(QStringLiteral("Signal of the %1 channel, on the threshold's scale").arg(channel));
    ch.tconv->setToolTip(QStringLiteral("Rate: the conversion time of the %1 channel, in ms").arg(channel));
    ch.nconv->setToolTip(QStringLiteral("Speed: the number of conversions the %1 channel averages").arg(channel));
    ch.npulse->setToolTip(
        QStringLiteral("Pulse: how many pulses over the threshold make an alarm of the %1 channel").arg(channel));
    ch.statusBar = named(new widgets::SmallStatusBar(ch.group), n.statusBar);
    ch.trangeLabel = label(ch.group, n.trangeLabel, QString());
    outer->addWidget(ch.statusBar);

    // Number labels kept for the values they hold, never shown.
    QLabel** numbers[] = {&ch.compLabel, &ch.levelLabel, &ch.signalLabel, &ch.maskLabel, &ch.noiseLabel};
    for (std::size_t i = 0; i < n.numberLabels.size(); ++i)
        *numbers[i] = hidden(label(ch.group, n.numberLabels[i], QStringLiteral("0")));
    return {row, gauges};
}

} // namespace

void BuildMwBox(QWidget* page, ViewControls& c) {
    ChannelControls& ch = c.mw;
    // clang-format off: the names read best as a table
    const ChannelNames n{"MW",
                         "MICROWAVE",
                         "Shape_Mw",
                         "TrackBar_MW_TRange",
                         "ProgressBar1",
                         "ScrollBar_MW_Tconv",
                         "ScrollBar_MW_Nconv",
                         "ScrollBar_MW_NPulse",
                         "Label_MW_Tconv",
                         "Label_MW_Nconv",
                         "Label_MW_NPulse",
                         "Label_MW_TRange",
                         "StatusBar1",
                         "Rate  Speed",
                         0,
                         8,
                         8,
                         {"Label1", "Label2", "Label3", "Label4", "Label18"}};
    // clang-format on
    buildChannel(page, ch, n);
    hidden(new QLabel(QStringLiteral("Tconv  (ms)"), ch.group));
    hidden(new QLabel(QStringLiteral("Num. conv"), ch.group));

    auto* speed = hidden(group(ch.group, QStringLiteral("Speed")));
    hidden(gauge(speed, "GaugeBar_Mw_Speed", Qt::Horizontal, 0, 100, 0));

    auto* pw = hidden(group(ch.group, QStringLiteral("MW Pw"), "GroupBox_MwPw"));
    c.pwmDuty = hidden(gauge(pw, "ScrollBar_PWM_Dc", Qt::Vertical, protocol::params::PwmDutyRange.min,
                             protocol::params::PwmDutyRange.max, protocol::params::PwmDutyRange.max));
    c.pwmFrequency = hidden(gauge(pw, "ScrollBar_PWM_Fq", Qt::Vertical, protocol::params::PwmFrequencyRange.min,
                                  protocol::params::PwmFrequencyRange.max, protocol::params::PwmFrequencyRange.min));
    c.pwmDutyLabel = hidden(label(pw, "Label_PWM_Dc", QString()));
    c.pwmFrequencyLabel = hidden(label(pw, "Label_PWM_Fq", QString()));

    auto* mask = hidden(group(ch.group, QString(), "GroupBox_MwMask"));
    hidden(named(new widgets::Lamp(widgets::Lamp::Rectangle, LampGrey, mask), "Shape_Mask"));
    hidden(named(new widgets::Lamp(widgets::Lamp::Rectangle, LampGrey, mask), "Shape_MaskNoise"));
    c.mwMaskBar = hidden(named(new widgets::LevelBar(Qt::Vertical, 0, 750, mask), "ProgressBar_Mask"));
    hidden(named(new widgets::LevelBar(Qt::Vertical, 0, 750, mask), "ProgressBar_MaskNoise"));
}

void BuildPirBox(QWidget* page, ChannelControls& ch, const ChannelNames& n, const char* lens, const char* maskLamp,
                 const char* noiseLamp, const char* maskBar, const char* noiseBar, int noiseMax, const char* spareGroup,
                 const char* spare1, const char* spare2) {
    const ChannelLayouts layouts = buildChannel(page, ch, n);

    ch.lens = named(new QComboBox(ch.group), lens);
    ch.lens->addItems({QStringLiteral("User"), QStringLiteral("Angle"), QStringLiteral("Horizontal Curtain"),
                       QStringLiteral("Vertical Curtain")});
    ch.lens->setCurrentIndex(0);
    ch.lens->setToolTip(QStringLiteral("The lens fitted to this PIR: a preset narrows its Rate, Speed and threshold to "
                                       "what suits that lens (set in the program; the detector does not keep it)"));
    widgets::WheelNeedsFocus::Install(ch.lens);
    layouts.gauges->addWidget(ch.lens);

    auto* mn = group(ch.group, QString());
    auto* grid = new QGridLayout(mn);
    grid->setContentsMargins(2, 3, 2, 2);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    ch.maskLamp = named(new widgets::Lamp(widgets::Lamp::Rectangle, LampGrey, mn), maskLamp);
    ch.noiseLamp = named(new widgets::Lamp(widgets::Lamp::Rectangle, LampGrey, mn), noiseLamp);
    ch.maskBar = named(new widgets::LevelBar(Qt::Vertical, 0, 400, mn), maskBar);
    ch.noiseBar = named(new widgets::LevelBar(Qt::Vertical, 0, noiseMax, mn), noiseBar);
    for (widgets::Lamp* l : {ch.maskLamp, ch.noiseLamp}) l->setFixedSize(12, 9);
    for (widgets::LevelBar* b : {ch.maskBar, ch.noiseBar}) b->setFixedWidth(12);
    ch.maskBar->setToolTip(QStringLiteral("M: the anti-mask level of this PIR (its lamp lights at a mask alarm)"));
    ch.noiseBar->setToolTip(QStringLiteral("N: the infrared noise this PIR measures (its lamp lights when too high)"));
    grid->addWidget(new QLabel(QStringLiteral("M"), mn), 0, 0, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("N"), mn), 0, 1, Qt::AlignHCenter);
    grid->addWidget(ch.maskLamp, 1, 0, Qt::AlignHCenter);
    grid->addWidget(ch.noiseLamp, 1, 1, Qt::AlignHCenter);
    grid->addWidget(ch.maskBar, 2, 0, Qt::AlignHCenter);
    grid->addWidget(ch.noiseBar, 2, 1, Qt::AlignHCenter);
    grid->setRowStretch(2, 1);
    layouts.row->addWidget(mn);

    hidden(new QLabel(QStringLiteral("Tconv (ms)"), ch.group));
    hidden(new QLabel(QStringLiteral("Num. conv"), ch.group));
    hidden(new QLabel(QStringLiteral("Pulse"), ch.group));
    auto* spare = hidden(group(ch.group, QString::fromLatin1(spareGroup)));
    hidden(gauge(spare, spare1, Qt::Vertical, 160, 1600, 160));
    hidden(gauge(spare, spare2, Qt::Vertical, 160, 1600, 1600));
    hidden(new QLabel(QStringLiteral("160"), spare));
    hidden(new QLabel(QStringLiteral("1600"), spare));
}

} // namespace view
