// WalkRecorder: a recording written as it comes, a line at a time.
#include "commission/Recording.h"

#include "files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace commission {

namespace {

// The file a recording is written to: its name with " (being recorded)" before the extension, numbered
// when that name is taken.
QString writingName(const QString& path, int attempt) {
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = suffix.isEmpty() ? info.fileName() : info.fileName().chopped(suffix.size());
    const QString mark =
        attempt == 0 ? QStringLiteral(" (being recorded)") : QStringLiteral(" (being recorded %1)").arg(attempt + 1);
    return info.dir().filePath(stem + mark + suffix);
}

} // namespace

bool WalkRecorder::Start(const QString& path, QString& error) {
    Stop();
    auto fail = [&](int e) {
        error = QStringLiteral("The recording \"%1\" could not be created: %2").arg(path, files::SystemError(e));
        return false;
    };
    // Looked at first: a FIFO, a device or a folder there is not a recording to replace.
    if (!files::PlainFileOrNothing(path)) {
        error = QStringLiteral("The recording \"%1\" could not be created: it is not a regular file.").arg(path);
        return false;
    }
    // A new file of its own: nothing there is opened, followed or truncated.
    QString writing;
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        writing = writingName(path, attempt);
        int e = 0;
        fd_ = files::CreateNew(writing, e);
        if (fd_ < 0 && e != EEXIST) return fail(e);
    }
    if (fd_ < 0) return fail(EEXIST);
    path_ = path;
    writing_ = writing;
    size_ = 0;
    lines_ = 0;
    lastReplyMs_ = -1;
    int failure = 0;
    if (!writeWhole(recording::CsvHeader().toUtf8() + '\n', failure)) {
        files::Close(fd_);
        fd_ = -1;
        files::Remove(writing_);
        writing_.clear();
        return fail(failure);
    }
    clock_.start();
    return true;
}

bool WalkRecorder::Stop(QString* problem) {
    if (fd_ >= 0) files::Close(fd_);
    fd_ = -1;
    clock_.invalidate();
    if (writing_.isEmpty()) return true;
    const QString writing = std::exchange(writing_, QString());
    int e = 0;
    if (files::ReplaceWith(writing, path_, e)) return true;
    if (problem)
        *problem = QStringLiteral("it could not take the name \"%1\" (%2), so it stays \"%3\"")
                       .arg(path_, files::SystemError(e), writing);
    path_ = writing;
    return false;
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
        if (done > 0 && files::CutBack(fd_, size_)) files::SeekTo(fd_, size_);
        return false;
    }
    size_ += done;
    return true;
}

bool WalkRecorder::Record(const std::uint8_t* status58, QString& cause) {
    if (fd_ < 0) return true;
    const std::int64_t ms = clock_.elapsed();
    const QByteArray line = recording::CsvLineBytes(ms, protocol::DecodeStatus(status58)) + '\n';
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

} // namespace commission
