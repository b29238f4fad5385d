// The instance number on Linux: lock files in the user's runtime folder.
#include "app/Instance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

int TakeInstanceNumber() {
    static std::unique_ptr<QLockFile> held;
    static int number = 0;
    if (held) return number; // taken once a run
    // (Read here, not through QStandardPaths, which would make a folder of its own and say so on stderr.)
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString user = QString::number(::getuid());
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        // A folder of the user's own in the temporary folder, which is everyone's: a lock another user
        // put there would otherwise take this one's number.
        folder = QDir(QDir::tempPath()).filePath(QStringLiteral("ostrevo-setup-") + user);
        const QByteArray name = QFile::encodeName(folder);
        struct stat st {};
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) return 0;
        if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
            (st.st_mode & 077) != 0)
            return 0; // not the user's alone: no number is taken, as the first copy
    }
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

} // namespace app
