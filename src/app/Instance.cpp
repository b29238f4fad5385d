#include "app/Instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <memory>
#include <unistd.h>

int TakeInstanceNumber() {
    static std::unique_ptr<QLockFile> held;
    static int number = 0;
    if (held) return number; // taken once a run
    // (Read here, not through QStandardPaths, which would make a folder of its own and say so on stderr.)
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
    // (Named for the user as well: the temporary folder may be everyone's.)
    const QString user = QString::number(::getuid());
    for (int n = 0; n < 16; ++n) {
        auto lock = std::make_unique<QLockFile>(
            QDir(folder).filePath(QStringLiteral("ostrevo-setup-%1-%2.lock").arg(user).arg(n)));
        lock->setStaleLockTime(0); // only the process's death frees it
        if (lock->tryLock(0)) {
            held = std::move(lock);
            return number = n;
        }
        if (lock->error() != QLockFile::LockFailedError) break; // no lock can be made here
    }
    return 0;
}
