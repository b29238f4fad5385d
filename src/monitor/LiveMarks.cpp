#include "monitor/LiveMarks.h"

#include "graph/GraphPainter.h"
#include "graph/GraphWindow.h"
#include "view/ViewPage.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/TrackBar.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>

namespace monitor {

// The live readings only: the settings controls stay as they are, usable, and so does the threshold's
// value under its track bar (a setting, read back from the detector or a file).
QList<QWidget*> LiveMarks::readings() const {
    QList<QWidget*> w;
    for (const view::ChannelControls* ch : {&view_.mw, &view_.pir1, &view_.pir2}) {
        w << ch->detection << ch->signal;
        if (ch->maskBar) w << ch->maskBar << ch->noiseBar << ch->maskLamp << ch->noiseLamp;
    }
    for (const view::OutputControls& out : view_.outputs) w << out.state;
    for (int a = 0; a < 3; ++a)
        w << view_.accLabels[static_cast<std::size_t>(a)] << view_.accBars[static_cast<std::size_t>(a)];
    w << view_.tamper << view_.diagnosticOn << view_.temperature << view_.temperatureLabel;
    for (widgets::Lamp* lamp : view_.summary)
        if (lamp) w << lamp;
    return w;
}

void LiveMarks::SetLive(bool live) {
    if (live == live_) return;
    live_ = live;
    for (QWidget* w : readings()) {
        if (live) {
            w->setGraphicsEffect(nullptr); // (deletes the effect)
            continue;
        }
        auto* grey = new QGraphicsOpacityEffect(w);
        grey->setOpacity(0.35);
        w->setGraphicsEffect(grey);
    }
}

void LiveMarks::Clear(graph::GraphWindow* graphics) {
    const QColor grey(128, 128, 128);
    for (QWidget* w : readings()) {
        if (auto* bar = qobject_cast<widgets::LevelBar*>(w)) bar->setPosition(bar->minimum());
        else if (auto* label = qobject_cast<QLabel*>(w)) label->setText(QStringLiteral("---"));
        else if (auto* lamp = qobject_cast<widgets::Lamp*>(w); lamp && lamp != view_.diagnosticOn)
            lamp->setBrushColor(grey);
    }
    for (widgets::Lamp* lamp :
         {view_.ledPowerFail, view_.ledMwFault, view_.ledPir1Fault, view_.ledPir2Fault, view_.ledCpuFault})
        lamp->setBrushColor(grey);
    view_.diagnosticOn->setBrushColor(view_.diagnosticOn->palette().color(QPalette::Button));
    for (const view::ChannelControls* ch : {&view_.mw, &view_.pir1, &view_.pir2})
        ch->threshold->setSelStart(ch->threshold->maximum());
    if (graphics) {
        graphics->clearGraph();
        graphics->ShowNow(); // no reply may come to show it
    }
}

} // namespace monitor
