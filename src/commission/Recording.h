// Walk-test recordings: every status reply as one CSV line (time and every field of the status
// record by name), written as it arrives, and read back for a replay.
#pragma once

#include "monitor/StatusRecord.h"

#include <QElapsedTimer>
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
    // Appends one reply; false (and cause, the system's text: "No space left on device") when the file
    // could not take it, which ends the recording; the file then holds every reply up to then.
    bool Record(const std::uint8_t* status58, QString& cause);

  private:
    bool writeWhole(const QByteArray& line, int& failure);

    int fd_ = -1;
    QString path_;
    qint64 size_ = 0; // bytes of whole lines in the file
    QElapsedTimer clock_;
    std::int64_t lines_ = 0;
};

// Reads a recording back line by line, as a replay goes on: whatever the file's size, only a slice of
// it is in memory at a time, and no call reads more than SliceBytes of it, so that a file of blank
// lines, one without line ends or a slow one never holds the window for long.
class RecordingReader {
  public:
    // Longer than any line this program writes by far; a longer one is not a status reply.
    static constexpr qint64 MaxLineLength = 1024;
    // What one call of Next reads from the file at most.
    static constexpr qint64 SliceBytes = 64 * 1024;

    RecordingReader() = default;
    ~RecordingReader() { Close(); }
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Opens a regular file on a disk (a FIFO, a device or a file under /proc, /sys or /dev is refused
    // before it is read) and checks its header; error names the file and the reason.
    bool Open(const QString& path, QString& error);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    enum class Result { Reply, Later, End, Bad, Failed };
    // The next reply (blank lines are passed over). Later when a slice of the file held none: call
    // again on the next turn of the event loop. End at the end of the file, also when the last line was
    // cut off unfinished; Bad with error when a line is not a status reply; Failed with error when the
    // file could not be read on.
    Result Next(std::int64_t& ms, monitor::StatusRecord& s, QString& error);
    // The line Next read last, counted from 1 (the header).
    qint64 LineNumber() const { return line_; }
    // The time of the last whole reply in the file, looked up at Open; -1 when there is none.
    std::int64_t LastMs() const { return lastMs_; }

  private:
    enum class Line { Whole, Unfinished, Later, End, TooLong, Failed };
    // The next line without its line end, reading at most budget more bytes of the file. The line is
    // a view of the buffer, good until the next call.
    Line takeLine(QByteArrayView& line, qint64& budget, QString& error);

    int fd_ = -1;
    QByteArray buffer_; // read from the file, not yet taken from at_ on
    qsizetype at_ = 0;
    bool fileEnded_ = false;
    qint64 line_ = 0;
    std::int64_t lastMs_ = -1;
};
