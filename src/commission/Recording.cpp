#include "commission/Recording.h"

#include "files/RegularFile.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
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

QString CsvLine(std::int64_t ms, const monitor::StatusRecord& s) {
    QStringList v{QString::number(ms)};
    for (const monitor::ChannelStatus& c : s.channels)
        v << QString::number(c.signal) << QString::number(c.level) << QString::number(c.direct);
    v << QString::number(s.mwMask) << QString::number(s.mask1) << QString::number(s.mask2)
      << QString::number(s.irNoise1) << QString::number(s.irNoise2) << QString::number(s.ntc)
      << QString::number(s.temperature);
    for (const monitor::ChannelStatus& c : s.channels) v << QString::number(c.compensation);
    v << QStringLiteral("0x%1").arg(s.alarmFlags, 4, 16, QLatin1Char('0'))
      << QStringLiteral("0x%1").arg(s.stateFlags, 4, 16, QLatin1Char('0'));
    for (std::int8_t a : s.acc) v << QString::number(a);
    return v.join(QLatin1Char(','));
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
    const QByteArray line = recording::CsvLine(clock_.elapsed(), monitor::DecodeStatus(status58)).toUtf8() + '\n';
    int failure = 0;
    if (!writeWhole(line, failure)) {
        cause = files::SystemError(failure);
        Stop();
        return false;
    }
    ++lines_;
    return true;
}

bool RecordingReader::Open(const QString& path, QString& error) {
    Close();
    QString reason;
    qint64 size = 0;
    fd_ = files::OpenRegularForReading(path, reason, &size);
    if (fd_ < 0) {
        error = QStringLiteral("The recording \"%1\" could not be read: %2").arg(path, reason);
        return false;
    }
    // The end first, for the length of the walk: its last whole line.
    const qint64 tail = std::max<qint64>(0, size - 4 * MaxLineLength);
    QByteArray end(size - tail, '\0');
    const ssize_t got = ::pread(fd_, end.data(), static_cast<std::size_t>(end.size()), tail);
    const QList<QByteArray> lines = end.left(std::max<ssize_t>(got, 0)).split('\n');
    for (qsizetype i = lines.size() - 2; i >= 0 && lastMs_ < 0; --i) { // the part after the last '\n' is unfinished
        std::int64_t ms = 0;
        monitor::StatusRecord s;
        QString ignored;
        if (recording::ParseLine(QString::fromUtf8(lines[i]), ms, s, ignored)) lastMs_ = ms;
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
    return true;
}

void RecordingReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    at_ = 0;
    fileEnded_ = false;
    line_ = 0;
    lastMs_ = -1;
}

RecordingReader::Line RecordingReader::takeLine(QByteArrayView& line, qint64& budget, QString& error) {
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', at_);
        if (end >= 0 || buffer_.size() - at_ > MaxLineLength || (fileEnded_ && at_ < buffer_.size())) {
            ++line_;
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

RecordingReader::Result RecordingReader::Next(std::int64_t& ms, monitor::StatusRecord& s, QString& error) {
    if (fd_ < 0) return Result::End;
    qint64 budget = SliceBytes;
    for (;;) {
        QByteArrayView line;
        switch (takeLine(line, budget, error)) {
        case Line::Later: return Result::Later;
        case Line::End: return Result::End;
        case Line::TooLong: return Result::Bad;
        case Line::Failed: return Result::Failed;
        case Line::Whole:
            if (line.trimmed().isEmpty()) continue;
            return recording::ParseLine(QString::fromUtf8(line), ms, s, error) ? Result::Reply : Result::Bad;
        case Line::Unfinished:
            // A last line cut off unfinished (the program or the machine stopped while writing it).
            return recording::ParseLine(QString::fromUtf8(line), ms, s, error) ? Result::Reply : Result::End;
        }
    }
}
