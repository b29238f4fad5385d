#include "view/ViewPage.h"

#include "view/PageParts.h"
#include "widgets/Artwork.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/SmallStatusBar.h"

#include <QGroupBox>
#include <QHBoxLayout>

namespace view {

namespace {

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
    image->setPixmap(widgets::DrawNtcScale(scaleSize));
    c.temperature = named(new widgets::LevelBar(Qt::Vertical, -30, 70, scale), "ProgressBar_Temperatura");
    c.temperature->setGeometry(1, 8, 9, 241); // the scale's -30 .. 70 span
    c.temperature->setToolTip(
        QStringLiteral("The detector's temperature, in \u00b0C (shown while Enable Temp. Comp. is "
                       "on)"));
    box->addWidget(scale, 0, Qt::AlignHCenter);
    box->addStretch(1);
    c.ntcStatusBar = named(new widgets::SmallStatusBar(ntc), "StatusBar4");
    c.temperatureLabel = label(ntc, "Label13", QString());
    box->addWidget(c.ntcStatusBar);
    c.ntcLabel = hidden(label(ntc, "Label15", QStringLiteral("0")));
}

} // namespace

void BuildViewPage(QWidget* page, ViewControls& c) {
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(1);

    BuildMwBox(page, c);
    // clang-format off: the names read best as a table
    BuildPirBox(page, c.pir1,
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
    BuildPirBox(page, c.pir2,
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
    BuildSetupBox(page, c);
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
        auto* lamp = named(new widgets::Lamp(widgets::Lamp::Circle, LampGrey, summary), lamps[i].name);
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

} // namespace view
