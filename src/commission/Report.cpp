#include "commission/Report.h"

#include "commission/ReportText.h"

#include "config/ParameterText.h"
#include "files/RegularFile.h"
#include "graph/GraphMarks.h"
#include "monitor/Texts.h"

#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextOption>
#include <QUrl>

namespace commission {

QString ReportEscape(const QString& text) {
    return text.toHtmlEscaped();
}

QString ReportRow(const QStringList& cells, bool heading) {
    QString out = QStringLiteral("<tr>");
    for (const QString& c : cells)
        out += (heading ? QStringLiteral("<th>") : QStringLiteral("<td>")) + ReportEscape(c) +
               (heading ? QStringLiteral("</th>") : QStringLiteral("</td>"));
    return out + QStringLiteral("</tr>");
}

QString ReportClock(std::int64_t ms) {
    const std::int64_t tenths = std::max<std::int64_t>(0, ms) / 100;
    return QStringLiteral("%1:%2.%3").arg(tenths / 600).arg(tenths / 10 % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
}

QString ReportSeconds(std::int64_t ms) {
    return QString::number(double(ms) / 1000, 'f', 1) + QStringLiteral(" s");
}

QString ReportTime(std::int64_t ms, const QDateTime& wallAtZero) {
    if (!wallAtZero.isValid()) return ReportClock(ms);
    return ReportClock(ms) + QStringLiteral(" (%1)").arg(wallAtZero.addMSecs(ms).toString(QStringLiteral("HH:mm:ss")));
}

namespace {

QString esc(const QString& s) {
    return ReportEscape(s);
}

QString row(const QStringList& cells, bool heading = false) {
    return ReportRow(cells, heading);
}

QString clockText(std::int64_t ms) {
    return ReportClock(ms);
}

QString seconds(std::int64_t ms) {
    return ReportSeconds(ms);
}

// The lamps the last status reply lit, by name.
QStringList litLamps(const protocol::StatusRecord& s) {
    using namespace protocol;
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

QString graphHtml(const ReportContents& r) {
    if (r.graph.isNull()) return QString();
    // The caption under the picture: a heading above it could be left alone at a page's foot.
    return QStringLiteral("<p><img src=\"graph.png\" width=\"640\"><br><b>Signal graph</b>, the graph's last "
                          "picture. Traces: MW (green), UP PIR and DOWN PIR (orange), each in its band from the top; "
                          "dash-dotted, each channel's threshold. One column a status reply, the newest beside its "
                          "label. Marked passes, quiet stretches and their ends are labelled lines; a pause of the "
                          "recording is a band.</p>");
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
            else if (c == (graph::MarkColour(graph::Mark::Kind::Pass).rgb() & 0xFFFFFF)) line[x] = qRgb(200, 150, 0);
        }
    }
    return out;
}

QString WalkHtml(const ReportContents& r) {
    if (r.walkFile.isEmpty()) return QString();
    const WalkAnalysis& w = r.walk;
    QString h = QStringLiteral("<h2>The walk test in detail</h2>");
    h += QStringLiteral("<p>Recording \"%1\": %2 long, %3 replies.</p>")
             .arg(esc(r.walkFile), clockText(w.LastMs() - std::max<std::int64_t>(0, w.FirstMs())))
             .arg(w.Replies());
    if (w.PauseCount() == 0) {
        h += QStringLiteral("<p>Pauses: none.</p>");
    } else {
        QStringList each;
        for (const WalkPause& p : w.Pauses())
            each << QStringLiteral("%1 at %2%3")
                        .arg(seconds(p.lengthMs), clockText(p.startMs),
                             p.cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(p.cause));
        h += QStringLiteral("<p>Pauses: %1, %2 in all, nothing recorded: %3.</p>")
                 .arg(w.PauseCount())
                 .arg(seconds(w.PausedMs()), esc(each.join(QStringLiteral("; "))));
    }
    const auto threshold = [](int t) { return t < 0 ? QStringLiteral("---") : QString::number(t); };
    const auto cell = [](const QString& text, int rows = 1) {
        return (rows > 1 ? QStringLiteral("<td rowspan=\"%1\">").arg(rows) : QStringLiteral("<td>")) + text +
               QStringLiteral("</td>");
    };
    const auto title = [](const WalkSegment& s) {
        return esc(QStringLiteral("%1 %2")
                       .arg(s.isPass() ? QStringLiteral("Pass") : QStringLiteral("Quiet"))
                       .arg(s.number) +
                   (s.note.isEmpty() ? QString() : QStringLiteral(": ") + s.note)) +
               QStringLiteral("<br>") + clockText(s.startMs) + QStringLiteral(" to ") + clockText(s.endMs) +
               (s.pausedMs > 0 ? QStringLiteral("<br>(%1 not recorded)").arg(seconds(s.pausedMs)) : QString());
    };
    bool changed = false;
    QString passes;
    std::size_t listedPasses = 0, listedQuiets = 0;
    for (const WalkSegment& s : w.Segments()) {
        if (!s.isPass() || ++listedPasses > ListedInFull) continue;
        QStringList fired;
        for (int o = 0; o < 3; ++o) {
            if (s.outputAfterMs[o] >= 0)
                fired << QStringLiteral("OUT%1 after %2").arg(o + 1).arg(seconds(s.outputAfterMs[o]));
            else if (s.outputOnAtStart[o]) fired << QStringLiteral("OUT%1 on from before").arg(o + 1);
        }
        for (int c = 0; c < 3; ++c) {
            passes += QStringLiteral("<tr>");
            if (c == 0) passes += cell(title(s), 3);
            const int peak = s.peak[c], t = s.threshold[c];
            const bool known = peak >= 0 && t > 0;
            static const char* const shortNames[3] = {"MW", "PIR HIGH", "PIR DOWN"};
            passes += cell(QString::fromLatin1(shortNames[c])) +
                      cell(peak < 0 ? QStringLiteral("---") : QString::number(peak)) +
                      cell(threshold(t) + (s.thresholdsChanged ? QStringLiteral("*") : QString())) +
                      cell(known ? QStringLiteral("%1%2 %")
                                       .arg(peak >= t ? QStringLiteral("+") : QString())
                                       .arg(MarginPercent(peak, t))
                                 : QStringLiteral("---")) +
                      cell(!known      ? QStringLiteral("---")
                           : peak >= t ? QStringLiteral("yes")
                                       : QStringLiteral("no")) +
                      cell(s.detected[c] ? QStringLiteral("yes") : QStringLiteral("no"));
            if (c == 0)
                passes += cell(fired.isEmpty() ? QStringLiteral("none") : esc(fired.join(QStringLiteral("; "))), 3);
            passes += QStringLiteral("</tr>");
        }
        changed = changed || s.thresholdsChanged;
    }
    if (passes.isEmpty()) {
        h += QStringLiteral("<p>No pass was marked (Mark Pass while recording).</p>");
    } else {
        QString heading = QStringLiteral("<tr>");
        const std::pair<const char*, int> columns[] = {{"Pass", 17},      {"Channel", 12},      {"Peak", 9},
                                                       {"Threshold", 13}, {"Margin", 10},       {"Crossed", 11},
                                                       {"Detected", 12},  {"Outputs fired", 16}};
        for (const auto& [name, percent] : columns)
            heading += QStringLiteral("<th width=\"%1%\">%2</th>").arg(percent).arg(QString::fromLatin1(name));
        h += QStringLiteral("<h3>Passes</h3><table width=\"100%\">") + heading + QStringLiteral("</tr>") + passes +
             QStringLiteral("</table>");
        h += QStringLiteral("<p>Peak: the highest level of the pass on the threshold scale (beside the threshold track "
                            "bar); threshold: the channel's "
                            "threshold as the detector reported it; margin: how far the peak lies above (+) or below "
                            "the threshold, in % of it; crossed: the peak reached the threshold; detected: the "
                            "detector's own detection lamp lit; outputs fired: each output that switched on during "
                            "the pass, and how long after the pass began.%1</p>")
                 .arg(changed ? QStringLiteral(" * The detector reported another threshold during the pass.")
                              : QString());
    }
    QString quiets;
    for (const WalkSegment& s : w.Segments()) {
        if (s.isPass() || ++listedQuiets > ListedInFull) continue;
        quiets += QStringLiteral("<tr>") + cell(title(s));
        for (int c = 0; c < 3; ++c) {
            const int peak = s.peak[c], t = s.threshold[c];
            QString text = peak < 0 ? QStringLiteral("---") : QString::number(peak);
            if (peak >= 0 && t > 0) text += QStringLiteral(" of %1 (%2 %)").arg(t).arg(MarginPercent(peak, t));
            quiets += cell(text);
        }
        quiets += QStringLiteral("</tr>");
    }
    if (!quiets.isEmpty())
        h += QStringLiteral("<h3>Quiet stretches</h3><table width=\"100%\">") +
             row({QStringLiteral("Quiet"), QStringLiteral("MW peak"), QStringLiteral("PIR HIGH ABOVE peak"),
                  QStringLiteral("PIR DOWN UNDER peak")},
                 true) +
             quiets + QStringLiteral("</table>");
    return h;
}

QString ReportStyleSheet() {
    return QStringLiteral("body{font-family:sans-serif;font-size:9pt} h1{font-size:15pt} h2{font-size:11pt}"
                          "table{border-collapse:collapse} td,th{border:1px solid #888;padding:2px 5px}"
                          "th{background:#ddd}");
}

QString ReportHtml(const ReportContents& r) {
    QString h = QStringLiteral("<html><head><style>") + ReportStyleSheet() + QStringLiteral("</style></head><body>");
    h += QStringLiteral("<h1>Ostrevo SetUp: installation report</h1>");
    if (r.fromRecording)
        h += QStringLiteral("<p>Made from the replayed walk test \"%1\" with no detector connected: the parameters are "
                            "those the recording names, the status is the last one replayed, and the event memory was "
                            "not read.</p>")
                 .arg(esc(r.walkFile));
    h += QStringLiteral("<table>");
    h += row({QStringLiteral("Site"), r.site});
    h += row({QStringLiteral("Installer"), r.installer});
    h += row({QStringLiteral("Date and time"), r.written.toString(QStringLiteral("yyyy-MM-dd HH:mm"))});
    h += row({QStringLiteral("Port"), r.fromRecording ? QStringLiteral("none (a replayed recording)") : r.port});
    if (!r.fromRecording && !r.adapter.isEmpty()) h += row({QStringLiteral("Adapter"), r.adapter});
    h += row({QStringLiteral("Program"), QStringLiteral("Ostrevo SetUp ") + r.programVersion});
    if (!r.flash.isEmpty()) h += row({QStringLiteral("Detector's flash"), r.flash});
    if (!r.walkFile.isEmpty()) h += row({QStringLiteral("Walk test"), r.walkFile});
    h += QStringLiteral("</table>");
    if (!r.note.isEmpty())
        h += QStringLiteral("<p>") + esc(r.note).replace(QLatin1Char('\n'), QStringLiteral("<br>")) +
             QStringLiteral("</p>");
    // The result in one line, then what proves it.
    const QString result = ResultLine(r);
    const bool passed = result.startsWith(QLatin1String("PASSED"));
    h += QStringLiteral("<p style=\"font-size:11pt;background:%1\"><b>Result: %2</b></p>")
             .arg(passed ? QStringLiteral("#dff0d8") : QStringLiteral("#fbe3e3"), esc(result));
    h += VerdictsHtml(r) + TestsHtml(r) + PassGraphsHtml(r) + WalkHtml(r);

    h += r.fromRecording ? QStringLiteral("<h2>Parameters the recording names</h2>")
                         : QStringLiteral("<h2>Parameters held by the detector</h2>");
    if (!r.flash.isEmpty()) h += QStringLiteral("<p>The detector's flash: %1.</p>").arg(esc(r.flash));
    if (!r.parametersKnown) h += QStringLiteral("<p>The recording does not name the detector's parameters.</p>");
    h += QStringLiteral("<table>");
    if (r.parametersKnown)
        h += row({QStringLiteral("Group"), QStringLiteral("Setting"), QStringLiteral("Value")}, true);
    for (const config::ParameterLine& l :
         r.parametersKnown ? config::DescribeParameters(r.parameters) : std::vector<config::ParameterLine>{}) {
        h += row({l.group, l.name, l.value});
        // The lens follows a PIR channel's pulses: chosen here, not held by the detector.
        if (l.name == QLatin1String("Pulses") && l.group.startsWith(QLatin1String("PIR"))) {
            const QString& lens = r.lenses[l.group.contains(QLatin1String("HIGH")) ? 0 : 1];
            if (!lens.isEmpty()) h += row({l.group, QStringLiteral("Lens (set in the program)"), lens});
        }
    }
    h += QStringLiteral("</table>");

    const protocol::StatusRecord& s = r.status;
    h += r.fromRecording ? QStringLiteral("<h2>Last status replayed</h2>") : QStringLiteral("<h2>Last status</h2>");
    if (!r.statusKnown) {
        h += QStringLiteral("<p>No status reply came from this detector since Connect (its VIEW tab was not shown), "
                            "so the report holds no status and no graph.</p>");
    } else {
        h += QStringLiteral("<table>");
        h += row({QStringLiteral("Temperature"), monitor::DegreesText(s.temperature)});
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

    if (r.fromRecording) {
        h += QStringLiteral("<h2>Event memory</h2><p>Not read: no detector was connected.</p>");
    } else {
        h += QStringLiteral("<h2>Event memory</h2>");
        if (r.eventsRead.isValid())
            h += QStringLiteral("<p>As the detector sent it at %1.</p>")
                     .arg(r.eventsRead.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        h += QStringLiteral("<table>");
        h += row({QStringLiteral("Num"), QStringLiteral("Event"), QStringLiteral("Max MW"),
                  QStringLiteral("Max PIR HIGH"), QStringLiteral("Max PIR DOWN"), QStringLiteral("Max Mask 1"),
                  QStringLiteral("Max Mask 2"), QStringLiteral("Noise IR 1"), QStringLiteral("Noise IR 2"),
                  QStringLiteral("Temperature")},
                 true);
        for (std::size_t k = 0; k < r.events.size(); ++k) {
            const protocol::EventRecord& e = r.events[k];
            QStringList cells{QString::number(k + 1), QString::fromStdString(protocol::EventTypeText(e.eventType))};
            for (std::uint16_t p : e.peaks) cells << QString::number(p);
            cells << monitor::DegreesText(e.temperature);
            h += row(cells);
        }
        h += QStringLiteral("</table>");
    }
    return h + graphHtml(r) + SignaturesHtml() + QStringLiteral("</body></html>");
}

bool WriteReport(const QString& path, const ReportContents& r, QString& error, const std::function<bool()>& cancelled) {
    const auto stop = [&] { return cancelled && cancelled(); };
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
        // A word is never broken inside a table's cell: a line breaks only at a space, and a column is at
        // least as wide as its longest word.
        QTextOption wrap = doc.defaultTextOption();
        wrap.setWrapMode(QTextOption::WordWrap);
        doc.setDefaultTextOption(wrap);
        doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("graph.png")), PrintFriendlyGraph(r.graph));
        for (std::size_t i = 0; i < r.passGraphs.size(); ++i)
            doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pass%1.png").arg(i + 1)),
                            r.passGraphs[i].image);
        doc.setHtml(ReportHtml(r));
        if (stop()) {
            file.cancelWriting();
            return false;
        }
        doc.print(&pdf);
    }
    if (stop()) {
        file.cancelWriting();
        return false;
    }
    if (!file.flush() || file.error() != QFileDevice::NoError || !file.commit()) {
        error = QStringLiteral("The report \"%1\" could not be written: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace commission
