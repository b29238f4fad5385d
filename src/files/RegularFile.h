// Opening files that come from the user safely: only regular files are read (a device or a FIFO is
// refused before it is opened), and a file is written whole lines at a time.
#pragma once

#include <QString>
#include <QtGlobal>

namespace files {

// Opens path for reading when it is a regular file. It is looked at before it is opened (opening a
// device can act on it: a serial port raises its lines, a FIFO would block), opened without
// blocking and checked again; the descriptor returned reads blocking as usual. On failure returns
// -1 and reason says why ("it is not a regular file.", the system's text); size gets the file's size.
int OpenRegularForReading(const QString& path, QString& reason, qint64* size = nullptr);

// The system's text for an errno value ("No space left on device").
QString SystemError(int error);

} // namespace files
