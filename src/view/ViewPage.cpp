#include "view/ViewPage.h"

#include "protocol/ParameterBlock.h"
#include "widgets/Artwork.h"
#include "widgets/ColumnFlowLayout.h"
#include "widgets/GaugeBar.h"
#include "widgets/GroupFrame.h"
#include "widgets/LabelPlace.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/SmallStatusBar.h"
#include "widgets/TrackBar.h"
#include "widgets/WheelNeedsFocus.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

const QColor LampGrey(128, 128, 128);

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    return named(new QLabel(text, parent), name);
}

// A control that exists and holds a value but is never shown.
template <class W>
W* hidden(W* w) {
    w->setVisible(false);
    return w;
}

QGroupBox* group(QWidget* parent, const QString& caption, const char* name = nullptr) {
    auto* g = new GroupFrame(caption, parent);
    if (name) g->setObjectName(QString::fromLatin1(name));
    return g;
}

GaugeBar* gauge(QWidget* parent, const char* name, Qt::Orientation o, int min, int max, int pos) {
    return named(new GaugeBar(o, min, max, pos, parent), name);
}

QLabel* valueLabel(QWidget* parent, const char* name, int value) {
    auto* l = label(parent, name, QString::number(value));
    l->setAlignment(Qt::AlignCenter);
    // Its line's height only: in a tall box the gauge above takes the room, and the value stays under it.
    l->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return l;
}

QVBoxLayout* vbox(QWidget* w, int margin = 3, int spacing = 2) {
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(margin, margin, margin, margin);
    l->setSpacing(spacing);
    return l;
}

struct ChannelNames {
    const char *group, *caption, *detection, *trackBar, *signal, *tconv, *nconv, *npulse, *tconvLabel, *nconvLabel,
        *npulseLabel, *trangeLabel, *statusBar, *rateCaption;
    int channel; // 0 MW, 1 PIR1, 2 PIR2: which ranges its controls have
    int tconvStart, nconvStart;
    std::array<const char*, 5> numberLabels; // compensation, level, signal, mask, noise
};

struct ChannelLayouts {
    QHBoxLayout* row;    // threshold, signal, gauges column, (PIR) mask and noise box
    QVBoxLayout* gauges; // rate and pulse groups, (PIR) lens combo
};

// The common part of a channel box: detection bar, threshold and signal bars, rate and pulse gauges.
ChannelLayouts buildChannel(QWidget* page, ChannelControls& ch, const ChannelNames& n) {
    ch.group = group(page, QString::fromLatin1(n.caption), n.group);
    ch.group->setMinimumWidth(246); // the design's width; a larger window gives it more
    auto* outer = vbox(ch.group, 3, 3);

    ch.detection = named(new Lamp(Lamp::Rectangle, LampGrey, ch.group), n.detection);
    ch.detection->setFixedHeight(9);
    outer->addWidget(ch.detection);

    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    outer->addLayout(row, 1);

    ch.threshold = named(new TrackBar(Qt::Vertical, ch.group), n.trackBar);
    const params::ValueRange trange = params::ThresholdRange[static_cast<std::size_t>(n.channel)];
    ch.threshold->setRange(trange.min, trange.max);
    ch.threshold->setSingleStep(10);
    ch.threshold->setTickInterval(16);
    ch.threshold->setValue(trange.max); // the thumb at the bottom: the lowest threshold
    ch.threshold->setSelEnd(trange.max);
    ch.threshold->setFixedWidth(28);
    row->addWidget(ch.threshold);

    ch.signal = named(new LevelBar(Qt::Vertical, 0, 700, ch.group), n.signal);
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
    const params::ValueRange tconv = params::TconvRange[static_cast<std::size_t>(n.channel)];
    const params::ValueRange nconv = params::NconvRange[static_cast<std::size_t>(n.channel)];
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
    ch.npulse = gauge(pulse, n.npulse, Qt::Vertical, params::NPulseRange.min, params::NPulseRange.max, 1);
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
    ch.statusBar = named(new SmallStatusBar(ch.group), n.statusBar);
    ch.trangeLabel = label(ch.group, n.trangeLabel, QString());
    outer->addWidget(ch.statusBar);

    // Number labels kept for the values they hold, never shown.
    QLabel** numbers[] = {&ch.compLabel, &ch.levelLabel, &ch.signalLabel, &ch.maskLabel, &ch.noiseLabel};
    for (std::size_t i = 0; i < n.numberLabels.size(); ++i)
        *numbers[i] = hidden(label(ch.group, n.numberLabels[i], QStringLiteral("0")));
    return {row, gauges};
}

void buildMw(QWidget* page, ViewControls& c) {
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
    c.pwmDuty = hidden(gauge(pw, "ScrollBar_PWM_Dc", Qt::Vertical, params::PwmDutyRange.min, params::PwmDutyRange.max,
                             params::PwmDutyRange.max));
    c.pwmFrequency = hidden(gauge(pw, "ScrollBar_PWM_Fq", Qt::Vertical, params::PwmFrequencyRange.min,
                                  params::PwmFrequencyRange.max, params::PwmFrequencyRange.min));
    c.pwmDutyLabel = hidden(label(pw, "Label_PWM_Dc", QString()));
    c.pwmFrequencyLabel = hidden(label(pw, "Label_PWM_Fq", QString()));

    auto* mask = hidden(group(ch.group, QString(), "GroupBox_MwMask"));
    hidden(named(new Lamp(Lamp::Rectangle, LampGrey, mask), "Shape_Mask"));
    hidden(named(new Lamp(Lamp::Rectangle, LampGrey, mask), "Shape_MaskNoise"));
    c.mwMaskBar = hidden(named(new LevelBar(Qt::Vertical, 0, 750, mask), "ProgressBar_Mask"));
    hidden(named(new LevelBar(Qt::Vertical, 0, 750, mask), "ProgressBar_MaskNoise"));
}

void buildPir(QWidget* page, ChannelControls& ch, const ChannelNames& n, const char* lens, const char* maskLamp,
              const char* noiseLamp, const char* maskBar, const char* noiseBar, int noiseMax, const char* spareGroup,
              const char* spare1, const char* spare2) {
    const ChannelLayouts layouts = buildChannel(page, ch, n);

    ch.lens = named(new QComboBox(ch.group), lens);
    ch.lens->addItems({QStringLiteral("User"), QStringLiteral("Angle"), QStringLiteral("Horizontal Curtain"),
                       QStringLiteral("Vertical Curtain")});
    ch.lens->setCurrentIndex(0);
    ch.lens->setToolTip(QStringLiteral("The lens fitted to this PIR: a preset narrows its Rate, Speed and threshold to "
                                       "what suits that lens (set in the program; the detector does not keep it)"));
    WheelNeedsFocus::Install(ch.lens);
    layouts.gauges->addWidget(ch.lens);

    auto* mn = group(ch.group, QString());
    auto* grid = new QGridLayout(mn);
    grid->setContentsMargins(2, 3, 2, 2);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    ch.maskLamp = named(new Lamp(Lamp::Rectangle, LampGrey, mn), maskLamp);
    ch.noiseLamp = named(new Lamp(Lamp::Rectangle, LampGrey, mn), noiseLamp);
    ch.maskBar = named(new LevelBar(Qt::Vertical, 0, 400, mn), maskBar);
    ch.noiseBar = named(new LevelBar(Qt::Vertical, 0, noiseMax, mn), noiseBar);
    for (Lamp* l : {ch.maskLamp, ch.noiseLamp}) l->setFixedSize(12, 9);
    for (LevelBar* b : {ch.maskBar, ch.noiseBar}) b->setFixedWidth(12);
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

QCheckBox* check(QWidget* parent, QLayout* layout, const char* name, const char* caption) {
    auto* box = named(new QCheckBox(QString::fromLatin1(caption), parent), name);
    layout->addWidget(box);
    return box;
}

void buildOutput(QWidget* parent, QLayout* setup, OutputControls& out, int n) {
    const QByteArray N = QByteArray::number(n);
    auto name = [&](const char* pattern) { return QByteArray(pattern).replace('#', N); };
    out.group = group(parent, QStringLiteral("Out #%1").arg(n));
    auto* box = vbox(out.group, 1, 2);
    out.enable = named(new QCheckBox(QStringLiteral("Enable"), out.group), name("CheckBox_Out#Enable").constData());
    box->addWidget(out.enable);

    auto* row = new QHBoxLayout;
    row->setSpacing(1);
    const QString maskItem = n == 1 ? QStringLiteral("Mask #1-# 2") : QStringLiteral("Mask #1-#2");
    out.function = named(new RadioGroup(QStringLiteral("Function"),
                                        {QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("AUTO OR"),
                                         maskItem, QStringLiteral("AUTO TEST")},
                                        out.group),
                         name("RadioGroup_FuncOut#").constData());
    out.function->setEnabled(false);
    row->addWidget(out.function);

    auto* tech = group(out.group, QStringLiteral("Tecnologies"));
    auto* techBox = vbox(tech, 2, 1);
    out.mw = check(tech, techBox, name("CheckBox_Out#Mw").constData(), "MW");
    out.pirHigh = check(tech, techBox, name("CheckBox_Out#Pir1").constData(), "PIR HIGH");
    out.pirDown = check(tech, techBox, name("CheckBox_Out#Pir2").constData(), "PIR DOWN");
    techBox->addStretch(1);
    for (QCheckBox* b : {out.mw, out.pirHigh, out.pirDown}) b->setEnabled(false);
    row->addWidget(tech);
    box->addLayout(row);

    if (n > 1) {
        const params::ValueRange seconds = params::TimeAndSecondsRange[static_cast<std::size_t>(n - 1)];
        out.timeAnd = hidden(
            gauge(out.group, name("ScrollBar_TimeAnd#").constData(), Qt::Horizontal, seconds.min, seconds.max, 1));
        out.timeAndLabel = hidden(label(out.group, name("Label_TimeAnd#").constData(), QStringLiteral("1 sec.")));
    }
    setup->addWidget(out.group);
}

void buildSetup(QWidget* page, ViewControls& c) {
    auto* setup = group(page, QStringLiteral("SETUP"), "SETUP");
    setup->setMinimumWidth(218);
    auto* outer = vbox(setup, 0, 0);
    auto* scroll = named(new QScrollArea(setup), "ScrollBox_Setup");
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget;
    // One column at the design's width; a wider box takes its groups side by side and needs less height.
    auto* box = new ColumnFlowLayout(content, 195, 3);

    auto* enable = group(content, QStringLiteral("Enable/Disable"));
    auto* en = vbox(enable, 4, 1);
    c.enMw = check(enable, en, "CheckBox_EN_MW", "Enable MW");
    c.enPir1 = check(enable, en, "CheckBox_EN_PIR1", "Enable PIR (HIGH ABOVE)");
    c.enPir2 = check(enable, en, "CheckBox_EN_PIR2", "Enable PIR (DOWN UNDER)");
    c.enMask = hidden(named(new QCheckBox(QStringLiteral("MASK"), enable), "CheckBox_EN_MASK"));
    c.enAcc = check(enable, en, "CheckBox_EN_ACC", "Enable Mask #1-2");
    c.enTamper = check(enable, en, "CheckBox_EN_TAMPER", "Enable Tamper");
    c.enLed = check(enable, en, "CheckBox_EN_LED", "LED ON");
    c.enTempComp = check(enable, en, "CheckBox_EN_TempComp", "Enable Temp. Comp.");
    c.autoTest = check(enable, en, "CheckBox_AutoTest", "Enable AutoTest (24h)");
    box->addWidget(enable);

    auto* noise = group(content, QStringLiteral("Noise Reduction"));
    auto* nr = vbox(noise, 4, 1);
    c.noiseMw = check(noise, nr, "CheckBox_NOISE_MW", " MW  (Noise Reduction)");
    c.noisePir1 = check(noise, nr, "CheckBox_NOISE_PIR1", "PIR HIGH  (Noise Reduction)");
    c.noisePir2 = check(noise, nr, "CheckBox_NOISE_PIR2", "PIR DOWN  (Noise Reduction)");
    box->addWidget(noise);

    for (int i = 0; i < 3; ++i) buildOutput(content, box, c.outputs[i], i + 1);

    auto* test = group(content, QStringLiteral("Output Test"));
    auto* testBox = vbox(test, 3, 2);
    for (int i = 0; i < 3; ++i) {
        OutputControls& out = c.outputs[i];
        const QByteArray n = QByteArray::number(i + 1);
        auto* row = new QHBoxLayout;
        out.state = named(new Lamp(Lamp::Circle, LampGrey, test), QByteArray("Shape_Out" + n + "State").constData());
        out.state->setFixedSize(16, 16);
        out.ncNo = named(
            new RadioGroup(QStringLiteral("OUT #%1").arg(i + 1), {QStringLiteral("NC"), QStringLiteral("NO")}, test, 2),
            QByteArray("RadioGroup_NCOut" + n).constData());
        out.ncNo->setEnabled(false);
        row->addWidget(out.state);
        row->addWidget(out.ncNo, 1);
        testBox->addLayout(row);
    }

    auto* tamper = group(test, QStringLiteral("Tamper"));
    auto* tamperRow = new QHBoxLayout(tamper);
    tamperRow->setContentsMargins(4, 3, 4, 3);
    c.tamper = named(new Lamp(Lamp::Circle, LampGrey, tamper), "Shape_OutTamper");
    c.tamper->setFixedSize(16, 16);
    tamperRow->addWidget(c.tamper, 0, Qt::AlignVCenter);
    const char* axisLabels[] = {"Label_Acc_X", "Label_Acc_Y", "Label_Acc_Z"};
    const char* axisBars[] = {"ProgressBar_acc_X", "ProgressBar_acc_Y", "ProgressBar_acc_Z"};
    for (int i = 0; i < 3; ++i) {
        auto* col = new QVBoxLayout;
        col->setSpacing(1);
        c.accLabels[i] = label(tamper, axisLabels[i], QStringLiteral("0"));
        c.accLabels[i]->setAlignment(Qt::AlignCenter);
        c.accLabels[i]->setMinimumWidth(26);
        c.accBars[i] = named(new LevelBar(Qt::Vertical, -127, 128, tamper), axisBars[i]);
        c.accBars[i]->setFixedSize(12, 50);
        col->addWidget(new LabelPlace(c.accLabels[i], tamper));
        col->addWidget(c.accBars[i], 0, Qt::AlignHCenter);
        tamperRow->addLayout(col);
    }
    testBox->addWidget(tamper);

    auto* timeAnd = group(test, QStringLiteral("Time And"));
    auto* ta = vbox(timeAnd, 4, 1);
    OutputControls& out1 = c.outputs[0];
    out1.timeAnd = gauge(timeAnd, "ScrollBar_TimeAnd1", Qt::Horizontal, params::TimeAndSecondsRange[0].min,
                         params::TimeAndSecondsRange[0].max, 1);
    out1.timeAndLabel = label(timeAnd, "Label_TimeAnd1", QStringLiteral("Time AND"));
    out1.timeAnd->setToolTip(QStringLiteral("Time AND of OUT #1, in seconds: how long the technologies may take to "
                                            "agree on an alarm"));
    ta->addWidget(out1.timeAnd);
    ta->addWidget(out1.timeAndLabel);
    testBox->addWidget(timeAnd);
    box->addWidget(test);

    auto* auto24 = group(content, QStringLiteral("Auto Test 24h"));
    auto* a24 = vbox(auto24, 3, 0);
    c.diagnosticOn =
        named(new Lamp(Lamp::Rectangle, QApplication::palette().color(QPalette::Button), auto24), "Shape_DiagnosticOn");
    a24->addWidget(c.diagnosticOn);
    auto* faults = new QGridLayout(c.diagnosticOn);
    faults->setContentsMargins(4, 4, 4, 4);
    faults->setSpacing(3);
    struct Fault {
        const char* caption;
        const char* name;
        Lamp** lamp;
    } const faultLamps[] = {{"MW", "Shape_LedMwFault", &c.ledMwFault},
                            {"PIR H", "Shape_LedPir1Fault", &c.ledPir1Fault},
                            {"PIR D", "Shape_LedPir2Fault", &c.ledPir2Fault},
                            {"Low Voltage", "Shape_LedPowerFail", &c.ledPowerFail},
                            {"CPU", "Shape_LedCPUFault", &c.ledCpuFault}};
    int i = 0;
    for (const Fault& f : faultLamps) {
        auto* g = group(c.diagnosticOn, QString::fromLatin1(f.caption));
        auto* gl = vbox(g, 3, 0);
        *f.lamp = named(new Lamp(Lamp::Circle, LampGrey, g), f.name);
        (*f.lamp)->setFixedSize(14, 14);
        gl->addWidget(*f.lamp, 0, Qt::AlignHCenter);
        faults->addWidget(g, i / 2, i % 2);
        ++i;
    }
    box->addWidget(auto24);
    scroll->setWidget(content);
}

void buildNtc(QWidget* page, ViewControls& c) {
    auto* ntc = group(page, QStringLiteral("NTC"), "NTC");
    ntc->setFixedWidth(46);
    auto* box = vbox(ntc, 0, 2);
    // The scale drawing lies behind the temperature bar, which covers its middle.
    // 40 of the design's 41 pixels: the group box frame takes 3 on each side of its 46.
    const QSize scaleSize(40, 257);
    auto* scale = new QWidget(ntc);
    scale->setFixedSize(scaleSize);
    auto* image = named(new QLabel(scale), "Image1");
    image->setGeometry(QRect(QPoint(0, 0), scaleSize));
    image->setPixmap(DrawNtcScale(scaleSize));
    c.temperature = named(new LevelBar(Qt::Vertical, -30, 70, scale), "ProgressBar_Temperatura");
    c.temperature->setGeometry(1, 8, 9, 241); // the scale's -30 .. 70 span
    c.temperature->setToolTip(
        QStringLiteral("The detector's temperature, in \u00b0C (shown while Enable Temp. Comp. is "
                       "on)"));
    box->addWidget(scale, 0, Qt::AlignHCenter);
    box->addStretch(1);
    c.ntcStatusBar = named(new SmallStatusBar(ntc), "StatusBar4");
    c.temperatureLabel = label(ntc, "Label13", QString());
    box->addWidget(c.ntcStatusBar);
    c.ntcLabel = hidden(label(ntc, "Label15", QStringLiteral("0")));
}

} // namespace

void BuildViewPage(QWidget* page, ViewControls& c) {
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(1);

    buildMw(page, c);
    // clang-format off: the names read best as a table
    buildPir(page, c.pir1,
             {"PIR1",
              "HIGH ABOVE  PIROELETTRIC",
              "Shape_Pir1",
              "TrackBar_PIR1_TRange",
              "ProgressBar2",
              "ScrollBar_Pir1_Tconv",
              "ScrollBar_Pir1_Nconv",
              "ScrollBar_Pir1_NPulse",
              "Label_Pir1_Tconv",
              "Label_Pir1_Nconv",
              "Label_Pir1_NPulse",
              "Label_Pir1_TRange",
              "StatusBar2",
              "Rate   Speed",
              1,
              8,
              4,
              {"Label5", "Label6", "Label7", "Label8", "Label19"}},
             "ComboBox_Pir1_Lens", "Shape_Acc1", "Shape_Acc1Noise", "ProgressBar_Acc1", "ProgressBar_Acc1Noise", 200,
             "Pir1", "ScrollBar_Pir1_Spare1", "ScrollBar_Pir1_Spare2");
    buildPir(page, c.pir2,
             {"PIR2",
              "DOWN UNDER  PIROELETTRIC",
              "Shape_Pir2",
              "TrackBar_PIR2_TRange",
              "ProgressBar3",
              "ScrollBar_Pir2_Tconv",
              "ScrollBar_Pir2_Nconv",
              "ScrollBar_Pir2_NPulse",
              "Label_Pir2_Tconv",
              "Label_Pir2_Nconv",
              "Label_Pir2_NPulse",
              "Label_Pir2_TRange",
              "StatusBar3",
              "Rate   Speed",
              2,
              8,
              4,
              {"Label9", "Label10", "Label11", "Label12", "Label38"}},
             "ComboBox_Pir2_Lens", "Shape_Acc2", "Shape_Acc2Noise", "ProgressBar_Acc2", "ProgressBar_Acc2Noise", 400,
             "Pir2", "ScrollBar_Pir2_Spare1", "ScrollBar_Pir2_Spare2");
    // clang-format on
    buildSetup(page, c);
    buildNtc(page, c);

    // A larger window widens the channels and the SETUP box; the NTC scale keeps its width.
    for (QWidget* g : {static_cast<QWidget*>(c.mw.group), static_cast<QWidget*>(c.pir1.group),
                       static_cast<QWidget*>(c.pir2.group), page->findChild<QWidget*>(QStringLiteral("SETUP"))})
        row->addWidget(g, 1);
    row->addWidget(page->findChild<QWidget*>(QStringLiteral("NTC")), 0);
}

QWidget* BuildAlarmSummary(QWidget* parent, ViewControls& c) {
    auto* summary = named(new QWidget(parent), "AlarmSummary");
    auto* row = new QHBoxLayout(summary);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(3);
    const struct {
        const char* caption;
        const char* name;
        const char* tip;
    } lamps[AlarmSummaryLamps] = {
        {"OUT1", "Summary_Out1", "Output 1 active"},
        {"OUT2", "Summary_Out2", "Output 2 active"},
        {"OUT3", "Summary_Out3", "Output 3 active"},
        {"Tamper", "Summary_Tamper", "Tamper"},
        {"Mask1", "Summary_Mask1", "Mask 1 (PIR HIGH)"},
        {"Mask2", "Summary_Mask2", "Mask 2 (PIR DOWN)"},
        {"Fault", "Summary_Fault", "A fault: low voltage, MW, PIR H, PIR D or CPU (see Auto Test 24h)"}};
    for (int i = 0; i < AlarmSummaryLamps; ++i) {
        auto* lamp = named(new Lamp(Lamp::Circle, LampGrey, summary), lamps[i].name);
        lamp->setFixedSize(11, 11);
        lamp->setToolTip(QString::fromLatin1(lamps[i].tip));
        auto* caption = new QLabel(QString::fromLatin1(lamps[i].caption), summary);
        caption->setToolTip(lamp->toolTip());
        row->addWidget(lamp);
        row->addWidget(caption);
        row->addSpacing(4);
        c.summary[static_cast<std::size_t>(i)] = lamp;
    }
    return summary;
}
