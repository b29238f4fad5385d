// The installation report: one PDF with the site, the detector's parameters as read back, its last
// status, its event memory, the graph and the walk test's passes, for the installer's paperwork.
#pragma once

#include "commission/WalkAnalysis.h"
#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"

#include <QDateTime>
#include <QImage>
#include <QString>

namespace commission {

struct ReportContents {
    QString site, installer, note;
    QString port, programVersion;
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
    QImage graph;
    // The walk test recorded on this connection, or replayed: its file (empty when none), its passes,
    // quiet stretches and pauses.
    QString walkFile;
    WalkAnalysis walk;
    // Made from a replayed recording with no detector connected: the parameters are those the recording
    // named (parametersKnown false when it named none), the status is the replay's last, and the event
    // memory was not read.
    bool fromRecording = false;
    bool parametersKnown = true;
};

// The walk test's part of the report: the pauses, then a table of the passes (each channel's peak
// against its threshold, the margin, whether it crossed, the outputs that fired and when), then one
// of the quiet stretches.
QString WalkHtml(const ReportContents& r);

// The graph as printed: the screen's picture on a white ground.
QImage PrintFriendlyGraph(const QImage& screen);
// The style of the report's HTML (its fonts and tables), for a part of it shown on its own.
QString ReportStyleSheet();
// The report as HTML (the PDF's text), with the graph as the image "graph.png".
QString ReportHtml(const ReportContents& r);
// Writes the PDF through a temporary file that replaces path only when complete.
bool WriteReport(const QString& path, const ReportContents& r, QString& error);

} // namespace commission
