// Opening files that come from the user safely: only regular files on a real file system are read (a
// device, a FIFO, a socket or a file the system makes up under /proc, /sys or /dev is refused unopened).
#pragma once

#include <QString>
#include <QtGlobal>

namespace files {

// Opens path for reading when it is a regular file on a real file system. It is looked at before it is
// opened (opening a device can act on it: a serial port raises its lines, a FIFO would block), opened
// without blocking and checked again (the same file, still regular, still on such a file system). The
// descriptor stays non-blocking, which changes nothing for a regular file: a read takes as long as its
// file system does, a disk's at once, while a hung network (NFS) or FUSE mount holds the reader until
// it answers. A file another program holds a lease on is refused rather than waited for. On failure
// returns -1 and reason says why ("it is not a regular file.", the system's text); size gets the file's
// size.
int OpenRegularForReading(const QString& path, QString& reason, qint64* size = nullptr);

// Reads up to n bytes from a descriptor of OpenRegularForReading: fewer only at the end of the file.
// Returns the count, or -1 with reason: the system's text, or "it does not behave as a regular file."
// when the file system answers that the read would wait (as a FUSE file system may).
qint64 ReadSome(int fd, char* data, qint64 n, QString& reason);

// Whether a file may be written at path: a new name, or a regular file (through a link, as a save
// writes through it). A device, a FIFO or a socket there would be replaced by a file, its node gone:
// false, and reason says so.
bool MayReplace(const QString& path, QString& reason);

// The system's text for an errno value ("No space left on device").
QString SystemError(int error);

} // namespace files
