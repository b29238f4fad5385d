// The words and times the installation report's parts share.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace commission {

QString ReportEscape(const QString& text);
// A table row of plain texts (escaped), as headings or as cells.
QString ReportRow(const QStringList& cells, bool heading = false);
// A time on the recording's clock: "1:05.3".
QString ReportClock(std::int64_t ms);
// A length: "3.2 s".
QString ReportSeconds(std::int64_t ms);
// A time on the recording's clock with its wall-clock time where known: "1:05.3 (14:03:27)".
QString ReportTime(std::int64_t ms, const QDateTime& wallAtZero);

} // namespace commission
