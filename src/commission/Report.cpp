#include "commission/Report.h"

#include "config/ParameterText.h"
#include "files/RegularFile.h"
#include "monitor/Texts.h"

#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>

namespace {

QString esc(const QString& s) {
    return s.toHtmlEscaped();
}

QString row(const QStringList& cells, bool heading = false) {
    QString out = QStringLiteral("<tr>");
    for (const QString& c : cells)
        out += (heading ? QStringLiteral("<th>") : QStringLiteral("<td>")) + esc(c) +
               (heading ? QStringLiteral("</th>") : QStringLiteral("</td>"));
    return out + QStringLiteral("</tr>");
}

// The lamps the last status reply lit, by name.
QStringList litLamps(const monitor::StatusRecord& s) {
    using namespace monitor;
    const struct {
        bool state;
        int bit;
        const char* name;
    } lamps[] = {{false, AlarmMw, "MW detection"},
                 {false, AlarmPir1, "PIR HIGH ABOVE detection"},
                 {false, AlarmPir2, "PIR DOWN UNDER detection"},
                 {false, AlarmMask1, "Mask 1"},
                 {false, AlarmMask2, "Mask 2"},
                 {false, AlarmIrNoise1, "IR noise 1"},
                 {false, AlarmIrNoise2, "IR noise 2"},
                 {false, AlarmTamper, "Tamper"},
                 {true, StateOut1, "Output 1"},
                 {true, StateOut2, "Output 2"},
                 {true, StateOut3, "Output 3"},
                 {true, StateLowVoltage, "Low voltage"},
                 {true, StateMwFault, "MW fault"},
                 {true, StatePir1Fault, "PIR H fault"},
                 {true, StatePir2Fault, "PIR D fault"},
                 {true, StateCpuFault, "CPU fault"},
                 {true, StateAutoTest, "Auto test running"}};
    QStringList lit;
    for (const auto& l : lamps)
        if (((l.state ? s.stateFlags : s.alarmFlags) >> l.bit) & 1) lit << QString::fromLatin1(l.name);
    return lit;
}

} // namespace

QImage PrintFriendlyGraph(const QImage& screen) {
    // The screen's colours for paper: a white ground, a light grid, a green that shows on white.
    QImage out = screen.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x] & 0xFFFFFF;
            if (c == 0x000000) line[x] = qRgb(255, 255, 255);
            else if (c == 0x282828) line[x] = qRgb(215, 215, 215);
            else if (c == 0x00FF0F) line[x] = qRgb(0, 150, 20);
            else if (c == 0x00FFFF) line[x] = qRgb(190, 240, 255);
        }
    }
    return out;
}

QString ReportHtml(const ReportContents& r) {
    QString h = QStringLiteral("<html><head><style>"
                               "body{font-family:sans-serif;font-size:9pt} h1{font-size:15pt} h2{font-size:11pt}"
                               "table{border-collapse:collapse} td,th{border:1px solid #888;padding:2px 5px}"
                               "th{background:#ddd}</style></head><body>");
    h += QStringLiteral("<h1>Ostrevo SetUp: installation report</h1>");
    h += QStringLiteral("<table>");
    h += row({QStringLiteral("Site"), r.site});
    h += row({QStringLiteral("Installer"), r.installer});
    h += row({QStringLiteral("Date and time"), r.written.toString(QStringLiteral("yyyy-MM-dd HH:mm"))});
    h += row({QStringLiteral("Port"), r.port});
    h += row({QStringLiteral("Program"), QStringLiteral("Ostrevo SetUp ") + r.programVersion});
    if (!r.flash.isEmpty()) h += row({QStringLiteral("Detector's flash"), r.flash});
    h += QStringLiteral("</table>");
    if (!r.note.isEmpty())
        h += QStringLiteral("<p>") + esc(r.note).replace(QLatin1Char('\n'), QStringLiteral("<br>")) +
             QStringLiteral("</p>");

    h += QStringLiteral("<h2>Parameters held by the detector</h2><table>");
    h += row({QStringLiteral("Group"), QStringLiteral("Setting"), QStringLiteral("Value")}, true);
    for (const ParameterLine& l : DescribeParameters(r.parameters)) {
        h += row({l.group, l.name, l.value});
        // The lens follows a PIR channel's pulses: chosen here, not held by the detector.
        if (l.name == QLatin1String("Pulses") && l.group.startsWith(QLatin1String("PIR"))) {
            const QString& lens = r.lenses[l.group.contains(QLatin1String("HIGH")) ? 0 : 1];
            if (!lens.isEmpty()) h += row({l.group, QStringLiteral("Lens (set in the program)"), lens});
        }
    }
    h += QStringLiteral("</table>");

    const monitor::StatusRecord& s = r.status;
    h += QStringLiteral("<h2>Last status</h2>");
    if (!r.statusKnown) {
        h += QStringLiteral("<p>No status reply came from this detector since Connect (its VIEW tab was not shown), "
                            "so the report holds no status and no graph.</p>");
    } else {
        h += QStringLiteral("<table>");
        h += row({QStringLiteral("Temperature"), DegreesText(s.temperature)});
        h += row({QStringLiteral("Tamper axes X, Y, Z"),
                  QStringLiteral("%1, %2, %3").arg(s.acc[0]).arg(s.acc[1]).arg(s.acc[2])});
        h += row({QStringLiteral("Signals MW, PIR HIGH, PIR DOWN"), QStringLiteral("%1, %2, %3")
                                                                        .arg(s.channels[0].signal)
                                                                        .arg(s.channels[1].signal)
                                                                        .arg(s.channels[2].signal)});
        const QStringList lit = litLamps(s);
        h +=
            row({QStringLiteral("Lamps lit"), lit.isEmpty() ? QStringLiteral("none") : lit.join(QStringLiteral(", "))});
        h += QStringLiteral("</table>");
    }

    h += QStringLiteral("<h2>Event memory</h2><table>");
    h += row({QStringLiteral("Num"), QStringLiteral("Event"), QStringLiteral("Max MW"), QStringLiteral("Max PIR HIGH"),
              QStringLiteral("Max PIR DOWN"), QStringLiteral("Max Mask 1"), QStringLiteral("Max Mask 2"),
              QStringLiteral("Noise IR 1"), QStringLiteral("Noise IR 2"), QStringLiteral("Temperature")},
             true);
    for (std::size_t k = 0; k < r.events.size(); ++k) {
        const monitor::EventRecord& e = r.events[k];
        QStringList cells{QString::number(k + 1), QString::fromStdString(monitor::EventTypeText(e.eventType))};
        for (std::uint16_t p : e.peaks) cells << QString::number(p);
        cells << DegreesText(e.temperature);
        h += row(cells);
    }
    h += QStringLiteral("</table>");
    if (!r.graph.isNull())
        h += QStringLiteral("<h2>Signal graph</h2><img src=\"graph.png\" width=\"640\"><p>Traces: MW (green), UP PIR "
                            "and DOWN PIR (orange), each in its band from the top; dash-dotted, each channel's "
                            "threshold. One column a status reply, the newest beside its label.</p>");
    return h + QStringLiteral("</body></html>");
}

bool WriteReport(const QString& path, const ReportContents& r, QString& error) {
    if (QString reason; !files::MayReplace(path, reason)) {
        error = QStringLiteral("The report \"%1\" could not be written: %2").arg(path, reason);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("The report \"%1\" could not be written: %2").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setResolution(150);
        pdf.setTitle(QStringLiteral("Installation report: ") + r.site);
        pdf.setCreator(QStringLiteral("Ostrevo SetUp ") + r.programVersion);
        QTextDocument doc;
        doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("graph.png")), PrintFriendlyGraph(r.graph));
        doc.setHtml(ReportHtml(r));
        doc.print(&pdf);
    }
    if (!file.flush() || file.error() != QFileDevice::NoError || !file.commit()) {
        error = QStringLiteral("The report \"%1\" could not be written: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}
