// WalkRecorder: a recording written as it comes, a line at a time.
#include "commission/Recording.h"

#include "files/RegularFile.h"

#include <QFile>
#include <cerrno>
#include <unistd.h>

namespace commission {

bool WalkRecorder::Start(const QString& path, QString& error) {
    Stop();
    QString reason;
    fd_ = files::CreateForWriting(path, reason);
    if (fd_ < 0) {
        error = QStringLiteral("The recording \"%1\" could not be created: %2").arg(path, reason);
        return false;
    }
    path_ = path;
    size_ = 0;
    lines_ = 0;
    lastReplyMs_ = -1;
    int failure = 0;
    if (!writeWhole(recording::CsvHeader().toUtf8() + '\n', failure)) {
        Stop();
        error = QStringLiteral("The recording \"%1\" could not be created: %2").arg(path, files::SystemError(failure));
        return false;
    }
    clock_.start();
    return true;
}

void WalkRecorder::Stop() {
    if (fd_ >= 0) files::Close(fd_);
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
