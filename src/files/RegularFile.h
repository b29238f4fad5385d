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

// Reads up to n bytes at offset without moving the descriptor's position: fewer only at the end of the
// file. Returns the count, or -1 with reason.
qint64 ReadAt(int fd, char* data, qint64 n, qint64 offset, QString& reason);
// Moves the descriptor's position to offset (any size of file); false when it cannot.
bool SeekTo(int fd, qint64 offset);
// Cuts the file back to its first size bytes; false when it cannot.
bool CutBack(int fd, qint64 size);
// Closes a descriptor of this unit.
void Close(int fd);

// True when there is nothing at path, or a regular file of its own (not a link, a device, a FIFO or a folder:
// a name the program may give a file it wrote).
bool PlainFileOrNothing(const QString& path);
// Creates a new file at path for writing (blocking): only when the name is free, so that nothing there is
// opened, followed or truncated. -1 with error (an errno value: EEXIST when the name is taken) else.
int CreateNew(const QString& path, int& error);
// Gives the file at from the name to, replacing a file there; false with error (an errno value) else.
bool ReplaceWith(const QString& from, const QString& to, int& error);
// Removes the file at path.
void Remove(const QString& path);

// Whether a file may be written at path: a new name, or a regular file (through a link, as a save
// writes through it). A device, a FIFO or a socket there would be replaced by a file, its node gone:
// false, and reason says so.
bool MayReplace(const QString& path, QString& reason);

// The system's text for an errno value ("No space left on device").
QString SystemError(int error);

// The folder the file dialogs start in until the user has chosen one: the home folder on Linux, the
// user's Documents on Windows.
QString FirstFolder();

} // namespace files
