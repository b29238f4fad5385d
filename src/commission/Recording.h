// Walk-test recordings: every status reply as one CSV line (time and every field of the status
// record by name), the installer's marks and the recording's pauses as comment lines, written as they
// come, and read back for a replay.
#pragma once

#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace commission {

namespace recording {

// The header line, without its line end.
QString CsvHeader();
// One reply as a line, without its line end: ASCII bytes as they are written, and as text.
QByteArray CsvLineBytes(std::int64_t ms, const protocol::StatusRecord& s);
QString CsvLine(std::int64_t ms, const protocol::StatusRecord& s);
// Reads one line back; on failure, error says which field is wrong and why.
bool ParseLine(const QString& line, std::int64_t& ms, protocol::StatusRecord& s, QString& error);
// The same, quickly, for a line in the form CsvLineBytes writes (plain decimal and 0x numbers, nothing
// else): true with the reply when it reads as one. False tells nothing about the line but that
// ParseLine must decide (another spelling of the numbers, a wrong field, not a reply at all); whatever
// it takes, ParseLine takes too, with the same values.
bool ParseWrittenLine(QByteArrayView line, std::int64_t& ms, protocol::StatusRecord& s);

// A line of a recording that is not a reply. Each begins with "# ", so that a spreadsheet shows it as
// one cell of text, and names its time on the recording's clock:
//   # pass 2 at 15230 ms: 10 m, left to right     a pass begins (the note is optional)
//   # quiet 1 at 3000 ms                          a quiet stretch begins (a note is allowed too)
//   # end at 20500 ms                             the pass or quiet stretch under way ends
//   # paused 3.2 s at 45100 ms: LOGS tab          nothing was recorded for so long, and why
//   # parameters at 0 ms: 2c01...                 the detector's parameters (its 44-byte record in hex)
// A pass or a quiet stretch lasts until the next pass, quiet or end mark, or the recording's end.
struct Mark {
    enum class Kind { Pass, Quiet, End, Paused, Parameters };
    Kind kind = Kind::Pass;
    std::int64_t ms = 0;                   // when, on the recording's clock
    int number = 0;                        // Pass and Quiet: counted from 1
    std::int64_t lengthMs = 0;             // Paused: how long, in whole tenths of a second
    QString text;                          // Pass and Quiet: the note; Paused: the cause
    protocol::params::Record parameters{}; // Parameters
    bool operator==(const Mark&) const = default;
};
// The longest note a mark keeps; a longer one is cut there.
constexpr int MaxNoteLength = 200;
// A note or a cause as a mark carries it: one line of printable text, trimmed, at most MaxNoteLength.
QString CleanNote(const QString& text);
// The mark as a line, without its line end.
QString MarkLine(const Mark& m);
// A line that begins with '#'. Mark: one of the lines above, in m. Comment: any other comment (left for
// people; a replay passes over it). Bad: it names a mark but does not read as one; error says why.
enum class Comment { Mark, Other, Bad };
Comment ParseComment(const QString& line, Mark& m, QString& error);

} // namespace recording

// Writes the replies of a walk test while it is on. Each line goes to the file in one piece as it
// arrives, so that a crash loses at most that line; a line that cannot be written whole (a full disk)
// is cut off again, so the file always ends with a whole line.
class WalkRecorder {
  public:
    // Starts a recording for path; anything but a regular file there is refused untouched. The lines go to
    // a file of their own beside it ("walk (being recorded).csv"), which takes path's place only when the
    // recording stops: a file the user agreed to replace stays whole until then, and a refused start leaves
    // no file behind.
    bool Start(const QString& path, QString& error);
    // Ends the recording: the file takes its name. False (and problem) when it could not: it stays under
    // the name it was written to.
    bool Stop(QString* problem = nullptr);
    bool Recording() const { return fd_ >= 0; }
    // The recording's name, and where its lines are now (the file being written, until it stops).
    QString Path() const { return path_; }
    QString FilePath() const { return writing_.isEmpty() ? path_ : writing_; }
    // Milliseconds since the recording started.
    std::int64_t ElapsedMs() const { return clock_.isValid() ? clock_.elapsed() : 0; }
    std::int64_t Lines() const { return lines_; }
    // Appends one reply; false (and cause, the system's text: "No space left on device") when the file
    // could not take it, which ends the recording; the file then holds every reply up to then.
    bool Record(const std::uint8_t* status58, QString& cause);
    // Appends a mark, as Record does a reply (it is not counted among the replies).
    bool WriteMark(const recording::Mark& m, QString& cause);
    // The time of the last reply recorded; -1 before the first.
    std::int64_t LastReplyMs() const { return lastReplyMs_; }

  private:
    bool writeWhole(const QByteArray& line, int& failure);

    int fd_ = -1;
    QString path_;
    QString writing_; // the file being written, while it is
    qint64 size_ = 0; // bytes of whole lines in the file
    QElapsedTimer clock_;
    std::int64_t lines_ = 0;
    std::int64_t lastReplyMs_ = -1;
};

// Reads a recording back line by line, as a replay goes on: whatever the file's size, only a slice of
// it is in memory at a time, and no call reads more than SliceBytes of it, so that a file of blank
// lines, one without line ends or a slow one never holds the window for long. It can go on from any
// line: an index of offsets, made of the lines it has read, and a search by halves in the part not
// read yet find the place of a time without reading the file up to it.
class RecordingReader {
  public:
    // Longer than any line this program writes by far; a longer one is not a status reply.
    static constexpr qint64 MaxLineLength = 1024;
    // What one call of Next reads from the file at most.
    static constexpr qint64 SliceBytes = 64 * 1024;
    // The index keeps one place in every so many bytes of the file.
    static constexpr qint64 IndexStep = 64 * 1024;

    RecordingReader() = default;
    ~RecordingReader() { Close(); }
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Opens a regular file on a disk (a FIFO, a device or a file under /proc, /sys or /dev is refused
    // before it is read) and checks its header; error names the file and the reason.
    bool Open(const QString& path, QString& error);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    struct Entry {
        std::int64_t ms = 0;
        protocol::StatusRecord status; // a reply
        recording::Mark mark;          // a mark
        qint64 offset = 0;             // where its line begins in the file
    };
    enum class Result { Reply, Mark, Later, End, Bad, Failed };
    // The next reply or mark (blank lines and other comments are passed over). Later when a slice of
    // the file held none: call again on the next turn of the event loop. End at the end of the file,
    // also when the last line was cut off unfinished; Bad with error when a line is neither a status
    // reply nor a mark; Failed with error when the file could not be read on.
    Result Next(Entry& e, QString& error);
    // The line Next read last, counted from 1 (the header); -1 when not known (after a jump to a place
    // the reader had not read up to).
    qint64 LineNumber() const { return line_; }
    // How the line Next read last is named in a message: "Line 12" or "The line at byte 123456".
    QString LineName() const;
    // The time of the first and of the last whole reply in the file, looked up at Open; -1 when there
    // is none (or none near the start).
    std::int64_t FirstMs() const { return firstMs_; }
    std::int64_t LastMs() const { return lastMs_; }

    // Next goes on with the line that begins at offset (a place FindTime or an Entry gave).
    void SeekTo(qint64 offset);
    // A place from which Next reaches the first reply at or after ms within about IndexStep bytes,
    // found through the index and by halving the rest (a few small reads, whatever the file's size).
    // The times of a recording only grow; in a file where they do not, the place is only near.
    qint64 FindTime(std::int64_t ms);
    // The places the index holds (for the benchmark's figures and the tests).
    std::size_t IndexSize() const { return index_.size(); }

  private:
    enum class Line { Whole, Unfinished, Later, End, TooLong, Failed };
    // The next line without its line end, reading at most budget more bytes of the file. The line is
    // a view of the buffer, good until the next call.
    Line takeLine(QByteArrayView& line, qint64& budget, QString& error);
    // What a line holds: a reply, a mark, nothing (blank or another comment), or neither (error).
    std::optional<Result> readLine(QByteArrayView line, Entry& e, QString& error) const;
    void noteInIndex(qint64 offset, std::int64_t ms);
    // The first reply that begins at or after offset, from one small read: its time and its line's
    // place; false when the read holds none.
    bool replyAfter(qint64 offset, std::int64_t& ms, qint64& lineStart) const;

    struct Place {
        qint64 offset;
        std::int64_t ms;
        qint64 line; // -1 when not known
    };

    int fd_ = -1;
    QByteArray buffer_;     // read from the file, not yet taken from at_ on
    qint64 bufferFrom_ = 0; // where buffer_[0] lies in the file
    qsizetype at_ = 0;
    qint64 lineOffset_ = 0; // where the line taken last begins
    bool fileEnded_ = false;
    bool skippingComment_ = false; // in a comment longer than MaxLineLength, its end not read yet
    qint64 line_ = 0;
    qint64 size_ = 0;      // the file's size at Open
    qint64 dataStart_ = 0; // the first byte after the header
    std::int64_t firstMs_ = -1, lastMs_ = -1;
    std::vector<Place> index_; // by offset
};

} // namespace commission
