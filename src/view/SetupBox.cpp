#include "protocol/ParameterBlock.h"
#include "view/PageParts.h"
#include "widgets/ColumnFlowLayout.h"
#include "widgets/LabelPlace.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/RadioGroup.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QScrollArea>

namespace view {
namespace {

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
    out.function = named(new widgets::RadioGroup(QStringLiteral("Function"),
                                                 {QStringLiteral("AND"), QStringLiteral("OR"),
                                                  QStringLiteral("AUTO OR"), maskItem, QStringLiteral("AUTO TEST")},
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
        const protocol::params::ValueRange seconds =
            protocol::params::TimeAndSecondsRange[static_cast<std::size_t>(n - 1)];
        out.timeAnd = hidden(
            gauge(out.group, name("ScrollBar_TimeAnd#").constData(), Qt::Horizontal, seconds.min, seconds.max, 1));
        out.timeAndLabel = hidden(label(out.group, name("Label_TimeAnd#").constData(), QStringLiteral("1 sec.")));
    }
    setup->addWidget(out.group);
}

} // namespace

void BuildSetupBox(QWidget* page, ViewControls& c) {
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
    auto* box = new widgets::ColumnFlowLayout(content, 195, 3);

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
        out.state = named(new widgets::Lamp(widgets::Lamp::Circle, LampGrey, test),
                          QByteArray("Shape_Out" + n + "State").constData());
        out.state->setFixedSize(16, 16);
        out.ncNo = named(new widgets::RadioGroup(QStringLiteral("OUT #%1").arg(i + 1),
                                                 {QStringLiteral("NC"), QStringLiteral("NO")}, test, 2),
                         QByteArray("RadioGroup_NCOut" + n).constData());
        out.ncNo->setEnabled(false);
        row->addWidget(out.state);
        row->addWidget(out.ncNo, 1);
        testBox->addLayout(row);
    }

    auto* tamper = group(test, QStringLiteral("Tamper"));
    auto* tamperRow = new QHBoxLayout(tamper);
    tamperRow->setContentsMargins(4, 3, 4, 3);
    c.tamper = named(new widgets::Lamp(widgets::Lamp::Circle, LampGrey, tamper), "Shape_OutTamper");
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
        c.accBars[i] = named(new widgets::LevelBar(Qt::Vertical, -127, 128, tamper), axisBars[i]);
        c.accBars[i]->setFixedSize(12, 50);
        col->addWidget(new widgets::LabelPlace(c.accLabels[i], tamper));
        col->addWidget(c.accBars[i], 0, Qt::AlignHCenter);
        tamperRow->addLayout(col);
    }
    testBox->addWidget(tamper);

    auto* timeAnd = group(test, QStringLiteral("Time And"));
    auto* ta = vbox(timeAnd, 4, 1);
    OutputControls& out1 = c.outputs[0];
    out1.timeAnd = gauge(timeAnd, "ScrollBar_TimeAnd1", Qt::Horizontal, protocol::params::TimeAndSecondsRange[0].min,
                         protocol::params::TimeAndSecondsRange[0].max, 1);
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
        named(new widgets::Lamp(widgets::Lamp::Rectangle, QApplication::palette().color(QPalette::Button), auto24),
              "Shape_DiagnosticOn");
    a24->addWidget(c.diagnosticOn);
    auto* faults = new QGridLayout(c.diagnosticOn);
    faults->setContentsMargins(4, 4, 4, 4);
    faults->setSpacing(3);
    struct Fault {
        const char* caption;
        const char* name;
        widgets::Lamp** lamp;
    } const faultLamps[] = {{"MW", "Shape_LedMwFault", &c.ledMwFault},
                            {"PIR H", "Shape_LedPir1Fault", &c.ledPir1Fault},
                            {"PIR D", "Shape_LedPir2Fault", &c.ledPir2Fault},
                            {"Low Voltage", "Shape_LedPowerFail", &c.ledPowerFail},
                            {"CPU", "Shape_LedCPUFault", &c.ledCpuFault}};
    int i = 0;
    for (const Fault& f : faultLamps) {
        auto* g = group(c.diagnosticOn, QString::fromLatin1(f.caption));
        auto* gl = vbox(g, 3, 0);
        *f.lamp = named(new widgets::Lamp(widgets::Lamp::Circle, LampGrey, g), f.name);
        (*f.lamp)->setFixedSize(14, 14);
        gl->addWidget(*f.lamp, 0, Qt::AlignHCenter);
        faults->addWidget(g, i / 2, i % 2);
        ++i;
    }
    box->addWidget(auto24);
    scroll->setWidget(content);
}

} // namespace view
