// Walk-test recordings: every status reply as one CSV line (time and every field of the status
// record by name), written as it arrives, and read back for a replay.
#pragma once

#include "monitor/StatusRecord.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <cstdint>

namespace recording {

// The header line, without its line end.
QString CsvHeader();
// One reply as a line, without its line end.
QString CsvLine(std::int64_t ms, const monitor::StatusRecord& s);
// Reads one line back; on failure, error says which field is wrong and why.
bool ParseLine(const QString& line, std::int64_t& ms, monitor::StatusRecord& s, QString& error);

} // namespace recording

// Writes the replies of a walk test while it is on; each line goes to the file at once, so that a
// crash loses at most the line being written.
class WalkRecorder {
  public:
    bool Start(const QString& path, QString& error);
    void Stop();
    bool Recording() const { return file_.isOpen(); }
    // Milliseconds since the recording started.
    std::int64_t ElapsedMs() const { return clock_.isValid() ? clock_.elapsed() : 0; }
    std::int64_t Lines() const { return lines_; }
    // Appends one reply; false (and error) when the file could not be written, which ends the recording.
    bool Record(const std::uint8_t* status58, QString& error);

  private:
    QFile file_;
    QElapsedTimer clock_;
    std::int64_t lines_ = 0;
};
