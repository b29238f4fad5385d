// ReportVerdicts: page 1 of the installation report, what proves the job: the verdict of each pass and
// quiet stretch, the result in one line, the tamper, mask and noise tests; and the pass graphs and the
// signature lines that follow.
#include "commission/Report.h"
#include "commission/ReportText.h"

#include <algorithm>

namespace commission {

namespace {

const char* const ShortNames[3] = {"MW", "PIR HIGH", "PIR DOWN"};

QString segmentName(const WalkSegment& s) {
    return QStringLiteral("%1 %2").arg(s.isPass() ? QStringLiteral("Pass") : QStringLiteral("Quiet")).arg(s.number);
}

// Each channel's peak against its threshold: "555 of 300, +85 %".
QString peakText(const WalkSegment& s, int c) {
    const int peak = s.peak[c], t = s.threshold[c];
    if (peak < 0) return QStringLiteral("---");
    if (t <= 0) return QString::number(peak);
    const int margin = MarginPercent(peak, t);
    // Each part kept on one line (the peak of the threshold; the margin): a cell wraps only between them.
    return QStringLiteral("%1\u00A0of\u00A0%2, %3%4\u00A0%")
        .arg(peak)
        .arg(t)
        .arg(margin >= 0 ? QStringLiteral("+") : QString())
        .arg(margin);
}

// A length kept on one line in a cell: "2.1 s".
QString together(std::int64_t ms) {
    return ReportSeconds(ms).replace(QLatin1Char(' '), QChar(0x00A0));
}

QStringList outputsFired(const WalkSegment& s) {
    QStringList fired;
    for (int o = 0; o < 3; ++o)
        if (s.outputAfterMs[o] >= 0)
            fired << QStringLiteral("OUT%1 after %2").arg(o + 1).arg(together(s.outputAfterMs[o]));
    return fired;
}

// The numbers of the segments in names, shortened: "pass 23, 45, 67 and 12 more".
QString someOf(const QString& kind, const QList<int>& numbers) {
    QStringList shown;
    for (int i = 0; i < std::min<int>(10, numbers.size()); ++i) shown << QString::number(numbers[i]);
    QString text = kind + QLatin1Char(' ') + shown.join(QStringLiteral(", "));
    if (numbers.size() > 10) text += QStringLiteral(" and %1 more").arg(numbers.size() - 10);
    return text;
}

} // namespace

SegmentVerdict VerdictOf(const WalkSegment& s) {
    SegmentVerdict v;
    for (int c = 0; c < 3; ++c)
        if (s.peak[c] >= 0 && s.threshold[c] > 0 && s.peak[c] >= s.threshold[c])
            v.crossed << QString::fromLatin1(ShortNames[c]);
    const QStringList fired = outputsFired(s);
    if (s.isPass()) {
        v.good = !fired.isEmpty();
        v.text = v.good ? QStringLiteral("Detected: ") + fired.join(QStringLiteral(", "))
                        : QStringLiteral("NOT DETECTED: no output switched on");
        if (s.replies == 0) v.text = QStringLiteral("NOT DETECTED: nothing recorded in it");
        return v;
    }
    QStringList why;
    for (int c = 0; c < 3; ++c)
        if (s.peak[c] >= 0 && s.threshold[c] > 0 && s.peak[c] >= s.threshold[c])
            why << QStringLiteral("%1 %2 of %3")
                       .arg(QString::fromLatin1(ShortNames[c]))
                       .arg(s.peak[c])
                       .arg(s.threshold[c]);
    v.good = why.isEmpty();
    v.text = v.good ? QStringLiteral("Quiet: below every threshold")
                    : QStringLiteral("CROSSED: ") + why.join(QStringLiteral(", "));
    // An output that switched on meanwhile (a tamper test made in it, ...) is said, not held against it.
    if (!fired.isEmpty()) v.text += QStringLiteral("; ") + fired.join(QStringLiteral(", "));
    return v;
}

QString ResultLine(const ReportContents& r) {
    if (r.walkFile.isEmpty())
        return QStringLiteral("No walk test was recorded on this connection (Record, then Mark Pass and Mark Quiet).");
    QList<int> missed, flagged;
    // (Of a long walk only some segments are kept: the first ones, and every one missed or flagged.)
    const auto passes = r.walk.PassCount(), quiets = r.walk.QuietCount();
    for (const WalkSegment& s : r.walk.Segments())
        if (!VerdictOf(s).good) (s.isPass() ? missed : flagged) << s.number;
    if (passes == 0)
        return QStringLiteral("NOT PROVEN: no pass was marked in the walk test (Mark Pass while recording).");
    QStringList faults;
    if (!missed.isEmpty()) faults << someOf(QStringLiteral("pass"), missed) + QStringLiteral(" not detected");
    if (!flagged.isEmpty()) faults << someOf(QStringLiteral("quiet"), flagged) + QStringLiteral(" crossed a threshold");
    if (r.walk.NotableLeftOut() > 0) faults << QStringLiteral("%1 more not listed").arg(r.walk.NotableLeftOut());
    if (!faults.isEmpty()) return QStringLiteral("NOT PASSED: ") + faults.join(QStringLiteral("; ")) + QLatin1Char('.');
    QString text = passes == 1 ? QStringLiteral("PASSED: the pass was detected")
                               : QStringLiteral("PASSED: all %1 passes were detected").arg(passes);
    if (quiets == 0)
        text += QStringLiteral("; no quiet stretch was marked to show that nothing else sets the detector off.");
    else if (quiets == 1) text += QStringLiteral(" and the quiet stretch stayed below every threshold.");
    else text += QStringLiteral(" and all %1 quiet stretches stayed below every threshold.").arg(quiets);
    return text;
}

QString VerdictsHtml(const ReportContents& r) {
    if (r.walkFile.isEmpty()) return QString();
    const WalkAnalysis& w = r.walk;
    QString h = QStringLiteral("<h2>Walk test: the verdicts</h2>");
    h += QStringLiteral("<p>Recording \"%1\", %2 replies. A pass is detected when an output switched on during "
                        "it; a quiet stretch is flagged when a channel reached its threshold in it. Each channel: its "
                        "peak of its threshold, and the margin.</p>")
             .arg(ReportEscape(r.walkFile))
             .arg(w.Replies());
    if (w.Segments().empty()) return h + QStringLiteral("<p>No pass or quiet stretch was marked.</p>");
    h += QStringLiteral("<table width=\"100%\"><tr>");
    const std::pair<const char*, int> columns[] = {{"Walk", 15}, {"From, to", 18}, {"Verdict", 22},
                                                   {"MW", 15},   {"PIR HIGH", 15}, {"PIR DOWN", 15}};
    for (const auto& [name, percent] : columns)
        h += QStringLiteral("<th width=\"%1%\">%2</th>").arg(percent).arg(QString::fromLatin1(name));
    h += QStringLiteral("</tr>");
    std::size_t listedPasses = 0, listedQuiets = 0;
    int morePasses = 0, moreQuiets = 0;
    QList<int> moreMissed, moreFlagged;
    for (const WalkSegment& s : w.Segments()) {
        const SegmentVerdict v = VerdictOf(s);
        std::size_t& listed = s.isPass() ? listedPasses : listedQuiets;
        if (listed >= ListedInFull) {
            if (!v.good) (s.isPass() ? moreMissed : moreFlagged) << s.number;
            continue;
        }
        ++listed;
        QString cells =
            QStringLiteral("<td>") + ReportEscape(segmentName(s)) +
            (s.note.isEmpty() ? QString() : QStringLiteral("<br>") + ReportEscape(s.note)) +
            QStringLiteral("</td><td>") + ReportTime(s.startMs, r.wallAtZero) + QStringLiteral("<br>") +
            ReportTime(s.endMs, r.wallAtZero) +
            (s.pausedMs > 0 ? QStringLiteral("<br>%1 not recorded").arg(ReportSeconds(s.pausedMs)) : QString()) +
            QStringLiteral("</td>");
        cells += QStringLiteral("<td style=\"background:%1\">%2</td>")
                     .arg(v.good ? QStringLiteral("#dff0d8") : QStringLiteral("#fbe3e3"), ReportEscape(v.text));
        for (int c = 0; c < 3; ++c) {
            const bool crossed = v.crossed.contains(QString::fromLatin1(ShortNames[c]));
            // What matters is flagged: a channel a pass crossed, a channel a quiet stretch crossed.
            const QString style = !crossed     ? QString()
                                  : s.isPass() ? QStringLiteral(" style=\"font-weight:bold\"")
                                               : QStringLiteral(" style=\"font-weight:bold;background:#fbe3e3\"");
            cells += QStringLiteral("<td%1>%2</td>").arg(style, ReportEscape(peakText(s, c)));
        }
        h += QStringLiteral("<tr>") + cells + QStringLiteral("</tr>");
    }
    h += QStringLiteral("</table>");
    // (Counted from every segment: of a long walk only some are kept.)
    morePasses = static_cast<int>(w.PassCount() - static_cast<std::int64_t>(listedPasses));
    moreQuiets = static_cast<int>(w.QuietCount() - static_cast<std::int64_t>(listedQuiets));
    if (morePasses > 0 || moreQuiets > 0) {
        QStringList more;
        if (morePasses > 0)
            more << QStringLiteral("%1 more passes, %2")
                        .arg(morePasses)
                        .arg(moreMissed.isEmpty() ? QStringLiteral("all detected")
                                                  : QStringLiteral("%1 detected; not detected: %2")
                                                        .arg(morePasses - moreMissed.size())
                                                        .arg(someOf(QStringLiteral("pass"), moreMissed)));
        if (moreQuiets > 0)
            more << QStringLiteral("%1 more quiet stretches, %2")
                        .arg(moreQuiets)
                        .arg(moreFlagged.isEmpty()
                                 ? QStringLiteral("all below every threshold")
                                 : QStringLiteral("flagged: %1").arg(someOf(QStringLiteral("quiet"), moreFlagged)));
        h += QStringLiteral("<p>Beyond the first %1 of each kind: %2.</p>")
                 .arg(ListedInFull)
                 .arg(ReportEscape(more.join(QStringLiteral("; "))));
    }
    if (w.PauseCount() > 0)
        h += QStringLiteral("<p>The recording paused %1, %2 in all (the LOGS tab, a lost link): a pass or quiet "
                            "stretch it paused in may have missed its peak.</p>")
                 .arg(w.PauseCount() == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(w.PauseCount()),
                      ReportSeconds(w.PausedMs()));
    return h;
}

QString TestsHtml(const ReportContents& r) {
    if (r.walkFile.isEmpty()) return QString();
    const EventEpisodes& e = r.episodes;
    QString h = QStringLiteral("<h2>Tamper, mask and noise tests</h2>");
    QString tests, faults;
    for (const EventEpisode& ep : e.Episodes()) {
        const QStringList lit = LitDuring(ep);
        const QString cells =
            ReportRow({EpisodeName(ep.kind), ReportTime(ep.fromMs, r.wallAtZero),
                       ep.open                ? QStringLiteral("still on at the end")
                       : ep.toMs <= ep.fromMs ? QStringLiteral("one reply")
                                              : ReportSeconds(ep.toMs - ep.fromMs),
                       lit.isEmpty() ? QStringLiteral("nothing else") : lit.join(QStringLiteral(", "))});
        (ep.isTest() ? tests : faults) += cells;
    }
    const QStringList heading{QStringLiteral("Event"), QStringLiteral("At"), QStringLiteral("Lasted"),
                              QStringLiteral("What lit meanwhile")};
    if (tests.isEmpty())
        h += QStringLiteral("<p>None: neither the tamper, nor a mask, nor the infrared noise lit while the walk test "
                            "was recorded.</p>");
    else
        h += QStringLiteral(
                 "<p>Each time the detector reported the tamper, a mask or infrared noise during the walk test, "
                 "how long (from the first reply it lit in to the last), and what else lit meanwhile.</p>"
                 "<table width=\"100%\">") +
             ReportRow(heading, true) + tests + QStringLiteral("</table>");
    if (!faults.isEmpty())
        h += QStringLiteral("<h3>Faults</h3><table width=\"100%\">") + ReportRow(heading, true) + faults +
             QStringLiteral("</table>");
    if (e.LeftOut() > 0) h += QStringLiteral("<p>%1 more events are counted but not listed.</p>").arg(e.LeftOut());
    return h;
}

QString PassGraphsHtml(const ReportContents& r) {
    if (r.passGraphs.empty()) return QString();
    QString h = QStringLiteral(
        "<h2 style=\"page-break-before:always\">The passes on the time axis</h2><p>Each pass with a little of the "
        "time before and after it: the three signals (solid) and their thresholds "
        "(dash-dotted) in their bands, the detector's events in the lanes below; passes "
        "shaded yellow, quiet stretches blue, pauses grey.</p>");
    // Two to a page, each under its title (a page break never parts them).
    for (std::size_t i = 0; i < r.passGraphs.size(); ++i)
        h += QStringLiteral("<p%1><b>%2</b><br><img src=\"pass%3.png\" width=\"640\"></p>")
                 .arg(i > 0 && i % 2 == 0 ? QStringLiteral(" style=\"page-break-before:always\"") : QString(),
                      ReportEscape(r.passGraphs[i].title))
                 .arg(i + 1);
    return h;
}

QString SignaturesHtml() {
    const QString line = QStringLiteral("<br><br><br>________________________________<br>");
    return QStringLiteral("<h2>Signatures</h2><table width=\"100%\"><tr><td width=\"50%\">Installer") + line +
           QStringLiteral("name, signature and date</td><td width=\"50%\">Customer") + line +
           QStringLiteral("name, signature and date</td></tr></table>");
}

} // namespace commission
