#include "monitor/EventLog.h"

#include "files/RegularFile.h"
#include "monitor/Texts.h"
#include "protocol/StatusRecord.h"
#include "widgets/StringGrid.h"

#include <QDir>
#include <QSaveFile>

namespace monitor {

void LabelLogGrid(widgets::StringGrid& grid) {
    for (int r = 1; r < grid.RowCount(); ++r) grid.setCell(0, r, QString::number(r) + QLatin1Char(' '));
    const char* const headings[] = {"Num\u00b0",          "ALLARM",     "Max MW",     "Max Pir HIGH ABOVE",
                                    "Max Pir DOWN UNDER", "Max Mask 1", "Max Mask 2", "Noise Ir 1",
                                    "Noise Ir 2",         "Ntc:"};
    for (int c = 0; c < 10; ++c) grid.setCell(c, 0, QString::fromUtf8(headings[c]));
}

void FitLogGrid(widgets::StringGrid& grid) {
    grid.fitHeadings();
    QStringList names;
    for (int bit = 0; bit < 16; ++bit) names << QString::fromStdString(protocol::EventTypeText(1u << bit));
    grid.fitColumnTo(1, names); // the event names, "Fail DOWN PIR" the longest
}

void ClearLogGrid(widgets::StringGrid& grid) {
    for (int c = 1; c < grid.ColCount(); ++c)
        for (int r = 1; r < grid.RowCount(); ++r) grid.setCell(c, r, QString());
}

void ShowEventLog(widgets::StringGrid& grid, const std::uint8_t* eventLog220) {
    // Cells chosen stay as they were chosen until the choice ends: a copy takes what the user saw.
    if (!grid.selectedRanges().isEmpty()) return;
    const protocol::EventLog log = protocol::DecodeEventLog(eventLog220);
    for (int r = 1; r < grid.RowCount(); ++r) {
        QString texts[10];
        if (r <= static_cast<int>(log.size())) {
            const protocol::EventRecord& e = log[static_cast<std::size_t>(r - 1)];
            texts[1] = QString::fromStdString(protocol::EventTypeText(e.eventType));
            for (int i = 0; i < 7; ++i) texts[2 + i] = NumberText(e.peaks[static_cast<std::size_t>(i)]);
            texts[9] = DegreesText(e.temperature);
        }
        for (int c = 1; c < grid.ColCount() && c < 10; ++c)
            if (grid.cell(c, r) != texts[c]) grid.setCell(c, r, texts[c]);
    }
}

bool WriteLogGridCsv(const widgets::StringGrid& grid, const QString& path, QString& error) {
    const QByteArray bytes = grid.csv().toUtf8();
    if (QString reason; !files::MayReplace(path, reason)) {
        error = QStringLiteral("The event memory could not be written to \"%1\": %2")
                    .arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    QSaveFile file(path);
    // Flushed and checked before the commit, which would not notice a full disk at the flush.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
        file.error() == QFileDevice::NoError && file.commit())
        return true;
    error = QStringLiteral("The event memory could not be written to \"%1\": %2")
                .arg(QDir::toNativeSeparators(path), file.errorString());
    file.cancelWriting();
    return false;
}

} // namespace monitor
