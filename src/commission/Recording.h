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

// Writes the replies of a walk test while it is on. Each line goes to the file in one piece as it
// arrives, so that a crash loses at most that line; a line that cannot be written whole (a full disk)
// is cut off again, so the file always ends with a whole line.
class WalkRecorder {
  public:
    // Creates (or replaces) the file; anything but a regular file there is refused untouched.
    bool Start(const QString& path, QString& error);
    void Stop();
    bool Recording() const { return fd_ >= 0; }
    QString Path() const { return path_; }
    // Milliseconds since the recording started.
    std::int64_t ElapsedMs() const { return clock_.isValid() ? clock_.elapsed() : 0; }
    std::int64_t Lines() const { return lines_; }
    // Appends one reply; false (and error, naming the cause) when the file could not take it, which
    // ends the recording.
    bool Record(const std::uint8_t* status58, QString& error);

  private:
    bool writeWhole(const QByteArray& line, int& failure);

    int fd_ = -1;
    QString path_;
    qint64 size_ = 0; // bytes of whole lines in the file
    QElapsedTimer clock_;
    std::int64_t lines_ = 0;
};

// Reads a recording back line by line, as a replay goes on: whatever the file's size, only a line
// is in memory at a time.
class RecordingReader {
  public:
    // Longer than any line this program writes by far; a longer one is not a status reply.
    static constexpr qint64 MaxLineLength = 1024;

    // Opens a regular file (a FIFO or a device is refused before it is opened) and checks its
    // header; error names the file and the reason.
    bool Open(const QString& path, QString& error);
    void Close() { file_.close(); }
    bool IsOpen() const { return file_.isOpen(); }

    enum class Result { Reply, End, Bad };
    // The next reply (blank lines are passed over); End at the end of the file, also when the last
    // line was cut off unfinished; Bad with error when a line is not a status reply.
    Result Next(std::int64_t& ms, monitor::StatusRecord& s, QString& error);
    // The line Next read last, counted from 1 (the header).
    qint64 LineNumber() const { return line_; }
    // The time of the last whole reply in the file, looked up at Open; -1 when there is none.
    std::int64_t LastMs() const { return lastMs_; }

  private:
    QFile file_;
    qint64 line_ = 0;
    std::int64_t lastMs_ = -1;
};
