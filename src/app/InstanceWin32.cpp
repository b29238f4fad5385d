// The instance number on Windows: lock files in the user's own temporary folder.
#include "app/Instance.h"

#include <QDir>
#include <QLockFile>
#include <memory>

namespace app {

int TakeInstanceNumber() {
    static std::unique_ptr<QLockFile> held;
    static int number = 0;
    if (held) return number; // taken once a run
    // %TEMP% is the user's own folder on Windows: nobody else's lock can take this one's number.
    const QDir folder(QDir::tempPath());
    for (int n = 0; n < 16; ++n) {
        auto lock = std::make_unique<QLockFile>(folder.filePath(QStringLiteral("ostrevo-setup-%1.lock").arg(n)));
        lock->setStaleLockTime(0); // only the process's end frees it
        if (lock->tryLock(0)) {
            held = std::move(lock);
            return number = n;
        }
        if (lock->error() != QLockFile::LockFailedError) break; // no lock can be made here
    }
    return 0;
}

} // namespace app
