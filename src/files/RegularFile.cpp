#include "files/RegularFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenRegularForReading(const QString& path, QString& reason, qint64* size) {
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (::stat(name.constData(), &before) != 0) {
        reason = SystemError(errno);
        return -1;
    }
    if (!S_ISREG(before.st_mode)) {
        reason = QStringLiteral("it is not a regular file.");
        return -1;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = SystemError(errno);
        return -1;
    }
    // The same file as the one looked at, not one put in its place meanwhile.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != before.st_ino || st.st_dev != before.st_dev) {
        ::close(fd);
        reason = QStringLiteral("it is not a regular file.");
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (size) *size = static_cast<qint64>(st.st_size);
    return fd;
}

} // namespace files
