#include "app/DemoFolders.h"

#include <QDir>
#include <QFile>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {
namespace {

// A folder with no lock (a demo killed before it took its lock) is taken for stale once it has been
// left alone this long.
constexpr int UnlockedFolderAgeS = 60;

bool demoFolderName(const QString& name) {
    if (name.size() != DemoFolderPrefix.size() + 6 || !name.startsWith(DemoFolderPrefix)) return false;
    for (qsizetype i = DemoFolderPrefix.size(); i < name.size(); ++i)
        if (!name[i].isLetterOrNumber() || name[i].unicode() > 127) return false;
    return true;
}

// True when folder (open as dir) holds nothing but what a demo leaves there, each of its kind: its lock
// (under either name, a regular file) and its link. Anything else keeps the folder as it is.
bool holdsOnlyADemosFiles(int dir, bool& locked) {
    const int listed = ::dup(dir);
    DIR* list = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!list) {
        if (listed >= 0) ::close(listed);
        return false;
    }
    bool only = true;
    locked = false;
    while (const dirent* entry = ::readdir(list)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        struct stat st {};
        const bool known = ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           (((std::strcmp(name, DemoLockName) == 0 || std::strcmp(name, DemoNewLockName) == 0) &&
                             S_ISREG(st.st_mode)) ||
                            (std::strcmp(name, DemoLinkName) == 0 && S_ISLNK(st.st_mode)));
        if (!known) only = false;
        if (std::strcmp(name, DemoLockName) == 0) locked = true;
    }
    ::closedir(list);
    return only;
}

} // namespace

QString PrivateDemoBase() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime.startsWith('/') && ::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 077) == 0)
        return QString::fromLocal8Bit(runtime);
    return QDir::tempPath();
}

void RemoveStaleDemoFolders(const QString& base) {
    const int baseDir = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseDir < 0) return;
    const QDir listing(base);
    for (const QString& entry : listing.entryList({DemoFolderPrefix + QLatin1Char('*')},
                                                  QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoSymLinks)) {
        if (!demoFolderName(entry)) continue;
        const QByteArray name = QFile::encodeName(entry);
        const int dir = ::openat(baseDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) continue;
        struct stat st {};
        bool hasLock = false;
        int lock = -1;
        bool stale = false;
        if (::fstat(dir, &st) == 0 && st.st_uid == ::geteuid() && holdsOnlyADemosFiles(dir, hasLock)) {
            if (hasLock) {
                lock = ::openat(dir, DemoLockName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
                stale = lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0; // its demo has gone
            } else {
                stale = st.st_mtime < ::time(nullptr) - UnlockedFolderAgeS;
            }
        }
        if (stale) {
            for (const char* file : {DemoLinkName, DemoNewLockName, DemoLockName}) ::unlinkat(dir, file, 0);
            ::unlinkat(baseDir, name.constData(), AT_REMOVEDIR); // (kept should anything else be there by now)
        }
        if (lock >= 0) ::close(lock);
        ::close(dir);
    }
    ::close(baseDir);
}

} // namespace app
