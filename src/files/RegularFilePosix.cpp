// Regular files on Linux: descriptors of open(2), checked against the kernel's own file systems.
#include "files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace files {
namespace {

const QString NotRegular = QStringLiteral("it is not a regular file.");
const QString HeldElsewhere = QStringLiteral("another program holds it for now, and opening it would wait until that "
                                             "program lets it go; try again in a moment.");
const QString NotOnDisk =
    QStringLiteral("it is not a file on a disk but one the system makes up (under /proc, /sys or /dev).");

// Files the kernel makes up as they are read: they report a size of 0 or none at all, and a read may
// wait for ever (/proc/kmsg) or act on the system.
bool pseudoKind(const struct statfs& fs) {
    static const unsigned long kinds[] = {PROC_SUPER_MAGIC, SYSFS_MAGIC,      DEVPTS_SUPER_MAGIC, DEBUGFS_MAGIC,
                                          TRACEFS_MAGIC,    SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC,
                                          PSTOREFS_MAGIC,   BPF_FS_MAGIC,     EFIVARFS_MAGIC,     SELINUX_MAGIC,
                                          SMACK_MAGIC,      BINFMTFS_MAGIC,   NSFS_MAGIC};
    for (unsigned long kind : kinds)
        if (static_cast<unsigned long>(fs.f_type) == kind) return true;
    return false;
}

// /dev is a devtmpfs, which calls itself tmpfs like /tmp: it is known by being the file system mounted
// on /dev (where /dev is a mount of its own).
bool onDevMount(dev_t device) {
    struct stat dev {
    }, root{};
    return ::stat("/dev", &dev) == 0 && ::stat("/", &root) == 0 && dev.st_dev != root.st_dev && device == dev.st_dev;
}

} // namespace

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenRegularForReading(const QString& path, QString& reason, qint64* size) {
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    struct statfs fs {};
    if (::stat(name.constData(), &before) != 0 || ::statfs(name.constData(), &fs) != 0) {
        reason = SystemError(errno);
        return -1;
    }
    if (!S_ISREG(before.st_mode)) {
        reason = NotRegular;
        return -1;
    }
    if (pseudoKind(fs) || onDevMount(before.st_dev)) {
        reason = NotOnDisk;
        return -1;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        // Another program holds a lease on it (a file server, a sync tool): opened without waiting, the
        // open is refused instead of waiting until that program lets it go.
        reason = errno == EWOULDBLOCK ? HeldElsewhere : SystemError(errno);
        return -1;
    }
    // The same file as the one looked at, not one put in its place meanwhile.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != before.st_ino || st.st_dev != before.st_dev) {
        ::close(fd);
        reason = NotRegular;
        return -1;
    }
    if (::fstatfs(fd, &fs) != 0 || pseudoKind(fs) || onDevMount(st.st_dev)) {
        ::close(fd);
        reason = NotOnDisk;
        return -1;
    }
    if (size) *size = static_cast<qint64>(st.st_size);
    return fd;
}

qint64 ReadSome(int fd, char* data, qint64 n, QString& reason) {
    qint64 done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, data + done, static_cast<std::size_t>(n - done));
        if (got > 0) {
            done += got;
            continue;
        }
        if (got == 0) break;
        if (errno == EINTR) continue;
        // A regular file on a disk never asks its reader to wait; a FUSE file system may.
        reason = errno == EAGAIN || errno == EWOULDBLOCK ? QStringLiteral("it does not behave as a regular file.")
                                                         : SystemError(errno);
        return -1;
    }
    return done;
}

qint64 ReadAt(int fd, char* data, qint64 n, qint64 offset, QString& reason) {
    qint64 done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, data + done, static_cast<std::size_t>(n - done), offset + done);
        if (got > 0) {
            done += got;
            continue;
        }
        if (got == 0) break;
        if (errno == EINTR) continue;
        reason = SystemError(errno);
        return -1;
    }
    return done;
}

bool SeekTo(int fd, qint64 offset) {
    return ::lseek(fd, offset, SEEK_SET) == offset;
}

bool CutBack(int fd, qint64 size) {
    return ::ftruncate(fd, size) == 0;
}

void Close(int fd) {
    ::close(fd);
}

bool PlainFileOrNothing(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode);
}

int CreateNew(const QString& path, int& error) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0644);
    error = fd < 0 ? errno : 0;
    return fd;
}

bool ReplaceWith(const QString& from, const QString& to, int& error) {
    const bool done = ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
    error = done ? 0 : errno;
    return done;
}

void Remove(const QString& path) {
    ::unlink(QFile::encodeName(path).constData());
}

QString FirstFolder() {
    return QDir::homePath();
}

bool MayReplace(const QString& path, QString& reason) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) return true;
    reason = QStringLiteral("it is not a regular file.");
    return false;
}

} // namespace files
