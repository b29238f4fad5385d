// Regular files on Windows: descriptors of the C runtime (binary, not inherited), opened by their Unicode
// names, and only when Windows says they are files on a disk (never a device such as COM1 or NUL, a pipe or a
// folder).
#include "files/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace files {
namespace {

const QString NotRegular = QStringLiteral("it is not a regular file.");

std::wstring wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// A name Windows gives to a device in every folder (CON, NUL, COM1, LPT1, ...), whatever its extension.
bool deviceName(const QString& path) {
    QString base = QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"),    QStringLiteral("AUX"),
                                     QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    if (devices.contains(base)) return true;
    return base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
}

// What a name holds, from its attributes: a folder, a device, or a link (a reparse point) are no file of
// their own. Absent: true with exists false.
bool plainFile(const QString& path, bool& exists, bool linksAllowed) {
    const std::wstring name = wide(path);
    exists = false;
    if (deviceName(path)) return false;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) return true;
    DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    if (!linksAllowed) refused |= FILE_ATTRIBUTE_REPARSE_POINT;
    return (attributes & refused) == 0;
}

// The descriptor's file is a regular file on a disk.
bool onDisk(int fd) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    BY_HANDLE_FILE_INFORMATION info{};
    return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandle(handle, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenRegularForReading(const QString& path, QString& reason, qint64* size) {
    const std::wstring name = wide(path);
    bool exists = false;
    // Looked at before it is opened: opening a device (a serial port, a printer) acts on it.
    if (!plainFile(path, exists, true)) {
        reason = NotRegular;
        return -1;
    }
    const int fd = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        reason = SystemError(errno);
        return -1;
    }
    if (!onDisk(fd)) {
        ::_close(fd);
        reason = NotRegular;
        return -1;
    }
    if (size) *size = static_cast<qint64>(::_filelengthi64(fd));
    return fd;
}

qint64 ReadSome(int fd, char* data, qint64 n, QString& reason) {
    qint64 done = 0;
    while (done < n) {
        const int got = ::_read(fd, data + done, static_cast<unsigned>(std::min<qint64>(n - done, INT_MAX / 2)));
        if (got > 0) {
            done += got;
            continue;
        }
        if (got == 0) break;
        reason = SystemError(errno);
        return -1;
    }
    return done;
}

qint64 ReadAt(int fd, char* data, qint64 n, qint64 offset, QString& reason) {
    // The position is put back afterwards, as a read at an offset leaves it.
    const qint64 position = ::_lseeki64(fd, 0, SEEK_CUR);
    if (position < 0 || ::_lseeki64(fd, offset, SEEK_SET) != offset) {
        reason = SystemError(errno);
        return -1;
    }
    const qint64 done = ReadSome(fd, data, n, reason);
    ::_lseeki64(fd, position, SEEK_SET);
    return done;
}

bool SeekTo(int fd, qint64 offset) {
    return ::_lseeki64(fd, offset, SEEK_SET) == offset;
}

bool CutBack(int fd, qint64 size) {
    return ::_chsize_s(fd, size) == 0;
}

void Close(int fd) {
    ::_close(fd);
}

bool PlainFileOrNothing(const QString& path) {
    bool exists = false;
    return plainFile(path, exists, false);
}

int CreateNew(const QString& path, int& error) {
    error = 0;
    bool exists = false;
    if (!plainFile(path, exists, false)) {
        error = EEXIST; // a device's name, or a folder or link there: taken
        return -1;
    }
    const int fd =
        ::_wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (!onDisk(fd)) {
        ::_close(fd);
        error = EINVAL;
        return -1;
    }
    return fd;
}

bool ReplaceWith(const QString& from, const QString& to, int& error) {
    // (Windows' rename keeps an existing name: the move replaces it, as a rename does on Linux.)
    if (::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = 0;
        return true;
    }
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: error = ENOENT; break;
    case ERROR_ACCESS_DENIED: error = EACCES; break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: error = EBUSY; break;
    case ERROR_DISK_FULL: error = ENOSPC; break;
    case ERROR_NOT_SAME_DEVICE: error = EXDEV; break;
    default: error = EIO; break;
    }
    return false;
}

void Remove(const QString& path) {
    ::_wunlink(wide(path).c_str());
}

QString FirstFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

bool MayReplace(const QString& path, QString& reason) {
    bool exists = false;
    if (plainFile(path, exists, true)) return true;
    reason = NotRegular;
    return false;
}

} // namespace files
