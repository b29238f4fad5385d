// RecordingReader: a recording read back for a replay, a line at a time, with an index of times for seeking.
#include "commission/Recording.h"

#include "files/RegularFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>

namespace commission {

namespace {

// The time of a reply line; false for anything else (passed over quickly: blank lines, marks).
bool replyTime(QByteArrayView line, std::int64_t& ms) {
    line = line.trimmed();
    if (line.isEmpty() || line.front() == '#' || line.size() > RecordingReader::MaxLineLength) return false;
    protocol::StatusRecord s;
    QString ignored;
    return recording::ParseWrittenLine(line, ms, s) || recording::ParseLine(QString::fromUtf8(line), ms, s, ignored);
}

} // namespace

bool RecordingReader::Open(const QString& path, QString& error) {
    Close();
    QString reason;
    qint64 size = 0;
    fd_ = files::OpenRegularForReading(path, reason, &size);
    if (fd_ < 0) {
        error = QStringLiteral("The recording \"%1\" could not be read: %2").arg(path, reason);
        return false;
    }
    size_ = size;
    // The end first, for the length of the walk: its last whole line.
    const qint64 tail = std::max<qint64>(0, size - 4 * MaxLineLength);
    QByteArray end(size - tail, '\0');
    const qint64 got = files::ReadAt(fd_, end.data(), end.size(), tail, reason);
    const QList<QByteArray> lines = end.left(std::max<qint64>(got, 0)).split('\n');
    for (qsizetype i = lines.size() - 2; i >= 0 && lastMs_ < 0; --i) { // the part after the last '\n' is unfinished
        std::int64_t ms = 0;
        if (replyTime(lines[i], ms)) lastMs_ = ms;
    }
    QByteArrayView header;
    qint64 budget = SliceBytes;
    const Line first = takeLine(header, budget, reason);
    if (first == Line::Failed) {
        Close();
        error = QStringLiteral("The recording \"%1\" could not be read: %2").arg(path, reason);
        return false;
    }
    if ((first != Line::Whole && first != Line::Unfinished) ||
        QString::fromUtf8(header).trimmed() != recording::CsvHeader()) {
        Close();
        error = QStringLiteral("Line 1 of \"%1\" is not the header of a walk-test recording.").arg(path);
        return false;
    }
    dataStart_ = bufferFrom_ + at_;
    // The first reply, in what the header's read brought along.
    for (qsizetype from = at_; from < buffer_.size() && firstMs_ < 0;) {
        const qsizetype to = buffer_.indexOf('\n', from);
        if (to < 0) break;
        std::int64_t ms = 0;
        if (replyTime(QByteArrayView(buffer_).sliced(from, to - from), ms)) firstMs_ = ms;
        from = to + 1;
    }
    return true;
}

void RecordingReader::Close() {
    if (fd_ >= 0) files::Close(fd_);
    fd_ = -1;
    buffer_.clear();
    bufferFrom_ = 0;
    at_ = 0;
    lineOffset_ = 0;
    fileEnded_ = false;
    line_ = 0;
    size_ = dataStart_ = 0;
    firstMs_ = lastMs_ = -1;
    index_.clear();
}

QString RecordingReader::LineName() const {
    return line_ >= 0 ? QStringLiteral("Line %1").arg(line_) : QStringLiteral("The line at byte %1").arg(lineOffset_);
}

RecordingReader::Line RecordingReader::takeLine(QByteArrayView& line, qint64& budget, QString& error) {
    for (;;) {
        if (skippingComment_) { // the rest of a comment too long to keep: passed over as it comes
            const qsizetype end = buffer_.indexOf('\n', at_);
            at_ = end >= 0 ? end + 1 : buffer_.size();
            skippingComment_ = end < 0;
        }
        const qsizetype end = buffer_.indexOf('\n', at_);
        if (end >= 0 || buffer_.size() - at_ > MaxLineLength || (fileEnded_ && at_ < buffer_.size())) {
            if (line_ >= 0) ++line_;
            lineOffset_ = bufferFrom_ + at_;
            const qsizetype length = end >= 0 ? end - at_ : buffer_.size() - at_;
            if (length > MaxLineLength) {
                // A comment of any length is left for people, as a short one is.
                const QByteArrayView start = QByteArrayView(buffer_).sliced(at_, length).trimmed();
                if (!start.isEmpty() && start.front() == '#') {
                    at_ = end >= 0 ? end + 1 : buffer_.size();
                    skippingComment_ = end < 0;
                    continue;
                }
                error = QStringLiteral("it is longer than any status reply");
                return Line::TooLong;
            }
            line = QByteArrayView(buffer_).sliced(at_, length);
            at_ += length + (end >= 0 ? 1 : 0);
            return end >= 0 ? Line::Whole : Line::Unfinished;
        }
        if (fileEnded_) return Line::End;
        if (budget <= 0) return Line::Later;
        // What is left is part of one line, shorter than MaxLineLength: kept, and the next slice after it.
        buffer_.remove(0, at_);
        bufferFrom_ += at_;
        at_ = 0;
        const qsizetype kept = buffer_.size();
        const qint64 want = std::min(budget, SliceBytes);
        buffer_.resize(kept + want);
        const qint64 got = files::ReadSome(fd_, buffer_.data() + kept, want, error);
        buffer_.resize(kept + std::max<qint64>(got, 0));
        if (got < 0) return Line::Failed;
        budget -= want;
        if (got < want) fileEnded_ = true; // for now: a recording still being written ends here
    }
}

std::optional<RecordingReader::Result> RecordingReader::readLine(QByteArrayView line, Entry& e, QString& error) const {
    const QByteArrayView trimmed = line.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    // (A NUL would end a number early when read: "55\0zzz" is not 55.)
    if (trimmed.contains('\0')) {
        error = QStringLiteral("it holds a NUL byte");
        return Result::Bad;
    }
    if (trimmed.front() != '#' && recording::ParseWrittenLine(trimmed, e.ms, e.status)) return Result::Reply;
    const QString text = QString::fromUtf8(trimmed);
    if (trimmed.front() == '#') {
        switch (recording::ParseComment(text, e.mark, error)) {
        case recording::Comment::Mark: e.ms = e.mark.ms; return Result::Mark;
        case recording::Comment::Other: return std::nullopt;
        case recording::Comment::Bad: return Result::Bad;
        }
    }
    return recording::ParseLine(text, e.ms, e.status, error) ? Result::Reply : Result::Bad;
}

RecordingReader::Result RecordingReader::Next(Entry& e, QString& error) {
    if (fd_ < 0) return Result::End;
    qint64 budget = SliceBytes;
    for (;;) {
        QByteArrayView line;
        const Line taken = takeLine(line, budget, error);
        switch (taken) {
        case Line::Later: return Result::Later;
        case Line::End: return Result::End;
        case Line::TooLong: return Result::Bad;
        case Line::Failed: return Result::Failed;
        case Line::Whole:
        case Line::Unfinished: break;
        }
        const std::optional<Result> read = readLine(line, e, error);
        // A last line cut off unfinished (the program or the machine stopped while writing it) ends the file.
        if (taken == Line::Unfinished && (!read || *read == Result::Bad)) return Result::End;
        if (!read) continue;
        e.offset = lineOffset_;
        if (*read == Result::Reply) noteInIndex(lineOffset_, e.ms);
        return *read;
    }
}

void RecordingReader::noteInIndex(qint64 offset, std::int64_t ms) {
    if (!index_.empty() && offset >= index_.back().offset) {
        if (offset - index_.back().offset >= IndexStep) index_.push_back({offset, ms, line_});
        return;
    }
    const auto after =
        std::upper_bound(index_.begin(), index_.end(), offset, [](qint64 o, const Place& p) { return o < p.offset; });
    if (after != index_.begin() && offset - std::prev(after)->offset < IndexStep) return;
    if (after != index_.end() && after->offset - offset < IndexStep) return;
    index_.insert(after, {offset, ms, line_});
}

void RecordingReader::SeekTo(qint64 offset) {
    if (fd_ < 0) return;
    offset = std::clamp<qint64>(offset, dataStart_, std::max(dataStart_, size_));
    files::SeekTo(fd_, offset);
    buffer_.clear();
    bufferFrom_ = offset;
    at_ = 0;
    fileEnded_ = false;
    skippingComment_ = false;
    // The line's number is known where the index holds it.
    const auto place =
        std::lower_bound(index_.begin(), index_.end(), offset, [](const Place& p, qint64 o) { return p.offset < o; });
    line_ = -1;
    if (offset == dataStart_) line_ = 1;
    else if (place != index_.end() && place->offset == offset && place->line > 0) line_ = place->line - 1;
}

bool RecordingReader::replyAfter(qint64 offset, std::int64_t& ms, qint64& lineStart) const {
    // From the byte before: when that is a line end, the line at offset is read whole.
    const qint64 from = std::max(dataStart_, offset - 1);
    QByteArray chunk(4 * MaxLineLength, '\0');
    QString reason;
    const qint64 got = files::ReadAt(fd_, chunk.data(), chunk.size(), from, reason);
    if (got <= 0) return false;
    chunk.truncate(got);
    qsizetype at = 0;
    if (from != dataStart_) {
        const qsizetype first = chunk.indexOf('\n');
        if (first < 0) return false;
        at = first + 1;
    }
    for (qsizetype end; (end = chunk.indexOf('\n', at)) >= 0; at = end + 1) {
        if (replyTime(QByteArrayView(chunk).sliced(at, end - at), ms)) {
            lineStart = from + at;
            return true;
        }
    }
    return false;
}

qint64 RecordingReader::FindTime(std::int64_t ms) {
    if (fd_ < 0) return 0;
    qint64 lo = dataStart_, hi = std::max(dataStart_, size_);
    // The index brackets it: the last place known to lie before the time, the first known at or after it.
    const auto at = std::partition_point(index_.begin(), index_.end(), [ms](const Place& p) { return p.ms < ms; });
    if (at != index_.begin()) lo = std::max(lo, std::prev(at)->offset);
    if (at != index_.end()) hi = std::min(hi, at->offset);
    // The rest by halves: about 15 reads of 4 kB for 2 GB not read yet.
    for (int i = 0; i < 64 && hi - lo > IndexStep; ++i) {
        const qint64 mid = lo + (hi - lo) / 2;
        std::int64_t t = 0;
        qint64 start = 0;
        if (!replyAfter(mid, t, start) || start >= hi) hi = mid; // nothing to go by there: the lower half
        else if (t < ms) lo = start;
        else hi = start;
    }
    return lo;
}

} // namespace commission
