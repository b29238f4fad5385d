// The installation report: one PDF with the site, the detector's parameters as read back, its last
// status, its event memory, the graph and the walk test's passes, for the installer's paperwork.
#pragma once

#include "commission/EventEpisodes.h"
#include "commission/WalkAnalysis.h"
#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <functional>
#include <vector>

namespace commission {

// A pass drawn on the time axis by the review view's painter, for the report.
struct PassGraph {
    QString title; // "Pass 2: 10 m, left to right, 0:15.2 to 0:21.0"
    QImage image;
};

struct ReportContents {
    QString site, installer, note;
    QString port, programVersion;
    QString adapter; // the port's adapter, as the port dialog names it; empty when not known
    QDateTime written;
    protocol::params::Parameters parameters;
    // The lens chosen on each PIR channel: the program's own choice, which the detector does not keep.
    QString lenses[2];
    // Whether the detector's flash holds these parameters ("stored in flash", ...).
    QString flash;
    protocol::StatusRecord status;
    // False when no status reply came from this detector since Connect: status and graph are not its.
    bool statusKnown = true;
    protocol::EventLog events;
    QDateTime eventsRead; // when the event memory above was read
    QImage graph;
    // The walk test recorded on this connection, or replayed: its file (empty when none), its passes,
    // quiet stretches and pauses.
    QString walkFile;
    WalkAnalysis walk;
    // The wall-clock time of 0 ms on the walk's clock, where known; the tamper, mask, noise and fault
    // events seen during the walk; a graph of each pass listed in full.
    QDateTime wallAtZero;
    EventEpisodes episodes;
    std::vector<PassGraph> passGraphs;
    // Made from a replayed recording with no detector connected: the parameters are those the recording
    // named (parametersKnown false when it named none), the status is the replay's last, and the event
    // memory was not read.
    bool fromRecording = false;
    bool parametersKnown = true;
};

// So many passes, and as many quiet stretches, are listed in full (with a graph each, up to
// GraphedPasses); the rest are summed up, so that a walk of thousands of passes makes a report of a few
// pages, written in a moment.
constexpr std::size_t ListedInFull = 20;
constexpr std::size_t GraphedPasses = 8;

// A pass is detected when an output switched on during it; a quiet stretch is flagged when a channel
// reached its threshold in it ("500 of 330"). good: detected, or quiet.
struct SegmentVerdict {
    bool good = true;
    QString text;        // "Detected: OUT1 after 1.2 s", "NOT DETECTED", "Quiet", "CROSSED: MW 500 of 330"
    QStringList crossed; // the channels that reached their thresholds: "MW", ...
};
SegmentVerdict VerdictOf(const WalkSegment& s);
// The report's result in one line: "PASSED: ...", "NOT PASSED: ...", or that no walk was marked.
QString ResultLine(const ReportContents& r);

// Page 1's parts: the verdict of each pass and quiet stretch, the tamper, mask and noise tests (and
// faults) with their times and what lit; and the pass graphs, the signature lines.
QString VerdictsHtml(const ReportContents& r);
QString TestsHtml(const ReportContents& r);
QString PassGraphsHtml(const ReportContents& r);
QString SignaturesHtml();

// The walk test's part of the report: the pauses, then a table of the passes (each channel's peak
// against its threshold, the margin, whether it crossed, the outputs that fired and when), then one
// of the quiet stretches (the first ListedInFull of each).
QString WalkHtml(const ReportContents& r);

// The graph as printed: the screen's picture on a white ground.
QImage PrintFriendlyGraph(const QImage& screen);
// The style of the report's HTML (its fonts and tables), for a part of it shown on its own.
QString ReportStyleSheet();
// The report as HTML (the PDF's text), with the graph as the image "graph.png" and the pass graphs as
// "pass1.png", ...
QString ReportHtml(const ReportContents& r);
// Writes the PDF through a temporary file that replaces path only when complete. Any thread may: the
// report job writes it off the window's. cancelled, when given, is asked between the steps: the file is
// then left as it was (false, error empty).
bool WriteReport(const QString& path, const ReportContents& r, QString& error,
                 const std::function<bool()>& cancelled = {});

} // namespace commission
