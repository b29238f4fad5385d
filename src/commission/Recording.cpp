#include "commission/Recording.h"

#include "files/RegularFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace recording {
namespace {

// The fields of a line after the time, in order.
const char* const Fields[] = {"mw_signal",   "mw_level",    "mw_direct",   "pir1_signal", "pir1_level", "pir1_direct",
                              "pir2_signal", "pir2_level",  "pir2_direct", "mw_mask",     "mask1",      "mask2",
                              "ir_noise1",   "ir_noise2",   "ntc",         "temperature", "mw_comp",    "pir1_comp",
                              "pir2_comp",   "alarm_flags", "state_flags", "acc_x",       "acc_y",      "acc_z"};
constexpr int FieldCount = sizeof Fields / sizeof Fields[0];

} // namespace

QString CsvHeader() {
    QStringList names{QStringLiteral("time_ms")};
    for (const char* f : Fields) names << QString::fromLatin1(f);
    return names.join(QLatin1Char(','));
}

QByteArray CsvLineBytes(std::int64_t ms, const monitor::StatusRecord& s) {
    // Written for every reply while recording: put together in place, with no string per field.
    char line[256];
    char* at = line;
    char* const end = line + sizeof line;
    auto number = [&](std::int64_t v) {
        if (at != line) *at++ = ',';
        at = std::to_chars(at, end, v).ptr;
    };
    auto flags = [&](std::uint16_t v) {
        *at++ = ',';
        *at++ = '0';
        *at++ = 'x';
        char digits[4];
        const char* const last = std::to_chars(digits, digits + 4, v, 16).ptr;
        at = std::fill_n(at, 4 - (last - digits), '0');
        at = std::copy(static_cast<const char*>(digits), last, at);
    };
    number(ms);
    for (const monitor::ChannelStatus& c : s.channels) {
        number(c.signal);
        number(c.level);
        number(c.direct);
    }
    for (const int v : {s.mwMask, s.mask1, s.mask2, s.irNoise1, s.irNoise2, s.ntc}) number(v);
    number(s.temperature);
    for (const monitor::ChannelStatus& c : s.channels) number(c.compensation);
    flags(s.alarmFlags);
    flags(s.stateFlags);
    for (std::int8_t a : s.acc) number(a);
    return QByteArray(line, at - line);
}

QString CsvLine(std::int64_t ms, const monitor::StatusRecord& s) {
    return QString::fromLatin1(CsvLineBytes(ms, s));
}

bool ParseLine(const QString& line, std::int64_t& ms, monitor::StatusRecord& s, QString& error) {
    const QStringList cells = line.trimmed().split(QLatin1Char(','));
    if (cells.size() != FieldCount + 1) {
        error = QStringLiteral("it has %1 fields, not %2").arg(cells.size()).arg(FieldCount + 1);
        return false;
    }
    bool ok = false;
    ms = cells[0].toLongLong(&ok);
    if (!ok || ms < 0) {
        error = QStringLiteral("time_ms \"%1\" is not a time").arg(cells[0]);
        return false;
    }
    long values[FieldCount];
    for (int i = 0; i < FieldCount; ++i) {
        const QString& cell = cells[i + 1];
        const bool hex = cell.startsWith(QLatin1String("0x"));
        const long v = hex ? cell.mid(2).toLong(&ok, 16) : cell.toLong(&ok, 10);
        // The limits of the record's own fields: 16 bits unsigned, the temperature signed 16, the axes signed 8.
        const QString name = QString::fromLatin1(Fields[i]);
        long lo = 0, hi = 0xFFFF;
        if (name == QLatin1String("temperature")) lo = -32768, hi = 32767;
        else if (name.startsWith(QLatin1String("acc_"))) lo = -128, hi = 127;
        if (!ok || v < lo || v > hi) {
            error = QStringLiteral("%1 \"%2\" is not a value from %3 to %4").arg(name, cell).arg(lo).arg(hi);
            return false;
        }
        values[i] = v;
    }
    int i = 0;
    for (monitor::ChannelStatus& c : s.channels) {
        c.signal = static_cast<std::uint16_t>(values[i++]);
        c.level = static_cast<std::uint16_t>(values[i++]);
        c.direct = static_cast<std::uint16_t>(values[i++]);
    }
    s.mwMask = static_cast<std::uint16_t>(values[i++]);
    s.mask1 = static_cast<std::uint16_t>(values[i++]);
    s.mask2 = static_cast<std::uint16_t>(values[i++]);
    s.irNoise1 = static_cast<std::uint16_t>(values[i++]);
    s.irNoise2 = static_cast<std::uint16_t>(values[i++]);
    s.ntc = static_cast<std::uint16_t>(values[i++]);
    s.temperature = static_cast<std::int16_t>(values[i++]);
    for (monitor::ChannelStatus& c : s.channels) c.compensation = static_cast<std::uint16_t>(values[i++]);
    s.alarmFlags = static_cast<std::uint16_t>(values[i++]);
    s.stateFlags = static_cast<std::uint16_t>(values[i++]);
    for (std::int8_t& a : s.acc) a = static_cast<std::int8_t>(values[i++]);
    return true;
}

QString CleanNote(const QString& text) {
    QString s = text;
    for (QChar& c : s)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
        else if (c == QLatin1Char('"'))
            c = QLatin1Char('\''); // a quote would open a cell to a spreadsheet, swallowing the lines after it
    s = s.simplified();
    if (s.size() > MaxNoteLength)
        s.truncate(s.at(MaxNoteLength - 1).isHighSurrogate() ? MaxNoteLength - 1 : MaxNoteLength);
    return s.trimmed();
}

QString MarkLine(const Mark& m) {
    const QString at = QStringLiteral(" at %1 ms").arg(m.ms);
    const QString note = m.text.isEmpty() ? QString() : QStringLiteral(": ") + m.text;
    switch (m.kind) {
    case Mark::Kind::Pass: return QStringLiteral("# pass %1").arg(m.number) + at + note;
    case Mark::Kind::Quiet: return QStringLiteral("# quiet %1").arg(m.number) + at + note;
    case Mark::Kind::End: return QStringLiteral("# end") + at;
    case Mark::Kind::Paused: {
        const std::int64_t tenths = (m.lengthMs + 50) / 100;
        return QStringLiteral("# paused %1.%2 s").arg(tenths / 10).arg(tenths % 10) + at + note;
    }
    case Mark::Kind::Parameters:
        return QStringLiteral("# parameters") + at + QStringLiteral(": ") +
               QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(m.parameters.data()),
                                              static_cast<qsizetype>(m.parameters.size()))
                                       .toHex());
    }
    return QString();
}

Comment ParseComment(const QString& line, Mark& m, QString& error) {
    static const QRegularExpression keyword(QStringLiteral("^#\\s*([a-z]+)\\b"));
    static const QRegularExpression segment(
        QStringLiteral("^# (pass|quiet) (\\d{1,9}) at (\\d{1,15}) ms(?::\\s*(.*))?$"));
    static const QRegularExpression end(QStringLiteral("^# end at (\\d{1,15}) ms$"));
    static const QRegularExpression paused(
        QStringLiteral("^# paused (\\d{1,9})(?:\\.(\\d))? s at (\\d{1,15}) ms(?::\\s*(.*))?$"));
    static const QRegularExpression parameters(QStringLiteral("^# parameters at (\\d{1,15}) ms: ([0-9a-fA-F]{88})$"));
    const QString s = line.trimmed();
    const QString word = keyword.match(s).captured(1);
    const QStringList words{QStringLiteral("pass"), QStringLiteral("quiet"), QStringLiteral("end"),
                            QStringLiteral("paused"), QStringLiteral("parameters")};
    if (!words.contains(word)) return Comment::Other;
    Mark read;
    QRegularExpressionMatch match;
    if ((match = segment.match(s)).hasMatch()) {
        read.kind = match.captured(1) == QLatin1String("pass") ? Mark::Kind::Pass : Mark::Kind::Quiet;
        read.number = match.captured(2).toInt();
        read.ms = match.captured(3).toLongLong();
        read.text = CleanNote(match.captured(4));
    } else if ((match = end.match(s)).hasMatch()) {
        read.kind = Mark::Kind::End;
        read.ms = match.captured(1).toLongLong();
    } else if ((match = paused.match(s)).hasMatch()) {
        read.kind = Mark::Kind::Paused;
        read.lengthMs = match.captured(1).toLongLong() * 1000 + match.captured(2).toInt() * 100;
        read.ms = match.captured(3).toLongLong();
        read.text = CleanNote(match.captured(4));
    } else if ((match = parameters.match(s)).hasMatch()) {
        read.kind = Mark::Kind::Parameters;
        read.ms = match.captured(1).toLongLong();
        const QByteArray bytes = QByteArray::fromHex(match.captured(2).toLatin1());
        std::copy(bytes.begin(), bytes.end(), read.parameters.begin());
    } else {
        const char* const forms[] = {"# pass <n> at <ms> ms: <note>", "# quiet <n> at <ms> ms: <note>",
                                     "# end at <ms> ms", "# paused <s.s> s at <ms> ms: <cause>",
                                     "# parameters at <ms> ms: <88 hex digits>"};
        error = QStringLiteral("it is not a mark as this program writes it (%1)")
                    .arg(QString::fromLatin1(forms[words.indexOf(word)]));
        return Comment::Bad;
    }
    m = read;
    return Comment::Mark;
}

} // namespace recording

bool WalkRecorder::Start(const QString& path, QString& error) {
    Stop();
    const QByteArray name = QFile::encodeName(path);
    auto fail = [&](int e) {
        error = QStringLiteral("The recording \"%1\" could not be created: %2").arg(path, files::SystemError(e));
        return false;
    };
    // Looked at first: a FIFO would block the program, and opening a device acts on it. A symbolic
    // link is not followed (a dangling one would create its target wherever it points).
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = QStringLiteral("The recording \"%1\" could not be created: it is not a regular file.").arg(path);
        return false;
    }
    fd_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0644);
    if (fd_ < 0) return fail(errno);
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        Stop();
        return fail(EINVAL);
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    path_ = path;
    size_ = 0;
    lines_ = 0;
    lastReplyMs_ = -1;
    int failure = 0;
    if (!writeWhole(recording::CsvHeader().toUtf8() + '\n', failure)) {
        Stop();
        return fail(failure);
    }
    clock_.start();
    return true;
}

void WalkRecorder::Stop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    clock_.invalidate();
}

bool WalkRecorder::writeWhole(const QByteArray& line, int& failure) {
    qint64 done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.constData() + done, static_cast<std::size_t>(line.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        failure = n < 0 ? errno : ENOSPC;
        // Cut back to the last whole line, so that a replay reads every line up to here.
        if (done > 0 && ::ftruncate(fd_, size_) == 0) ::lseek(fd_, size_, SEEK_SET);
        return false;
    }
    size_ += done;
    return true;
}

bool WalkRecorder::Record(const std::uint8_t* status58, QString& cause) {
    if (fd_ < 0) return true;
    const std::int64_t ms = clock_.elapsed();
    const QByteArray line = recording::CsvLineBytes(ms, monitor::DecodeStatus(status58)) + '\n';
    int failure = 0;
    if (!writeWhole(line, failure)) {
        cause = files::SystemError(failure);
        Stop();
        return false;
    }
    ++lines_;
    lastReplyMs_ = ms;
    return true;
}

bool WalkRecorder::WriteMark(const recording::Mark& m, QString& cause) {
    if (fd_ < 0) return true;
    int failure = 0;
    if (!writeWhole(recording::MarkLine(m).toUtf8() + '\n', failure)) {
        cause = files::SystemError(failure);
        Stop();
        return false;
    }
    return true;
}

namespace {

// The time of a reply line; false for anything else (passed over quickly: blank lines, marks).
bool replyTime(QByteArrayView line, std::int64_t& ms) {
    line = line.trimmed();
    if (line.isEmpty() || line.front() == '#' || line.size() > RecordingReader::MaxLineLength) return false;
    monitor::StatusRecord s;
    QString ignored;
    return recording::ParseLine(QString::fromUtf8(line), ms, s, ignored);
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
    const ssize_t got = ::pread(fd_, end.data(), static_cast<std::size_t>(end.size()), tail);
    const QList<QByteArray> lines = end.left(std::max<ssize_t>(got, 0)).split('\n');
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
    if (fd_ >= 0) ::close(fd_);
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
        const qsizetype end = buffer_.indexOf('\n', at_);
        if (end >= 0 || buffer_.size() - at_ > MaxLineLength || (fileEnded_ && at_ < buffer_.size())) {
            if (line_ >= 0) ++line_;
            lineOffset_ = bufferFrom_ + at_;
            const qsizetype length = end >= 0 ? end - at_ : buffer_.size() - at_;
            if (length > MaxLineLength) {
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
    ::lseek(fd_, offset, SEEK_SET);
    buffer_.clear();
    bufferFrom_ = offset;
    at_ = 0;
    fileEnded_ = false;
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
    const ssize_t got = ::pread(fd_, chunk.data(), static_cast<std::size_t>(chunk.size()), from);
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
