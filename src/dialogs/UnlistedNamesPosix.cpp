// The names a folder holds that are not UTF-8 text, on Linux: a file name there is any bytes.
#include "dialogs/FileDialogs.h"

#include <QElapsedTimer>
#include <QFile>
#include <dirent.h>

namespace dialogs {

QStringList UnlistedNames(const QString& folder, bool* complete, int maxEntries) {
    QStringList names;
    if (complete) *complete = true;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) return names;
    QElapsedTimer spent;
    spent.start();
    int seen = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray bytes(entry->d_name);
        if (QString::fromUtf8(bytes).toUtf8() != bytes) names << QString::fromUtf8(bytes);
        if (++seen >= maxEntries || (seen % 256 == 0 && spent.elapsed() > UnlistedNamesLimitMs)) {
            if (complete) *complete = ::readdir(dir) == nullptr;
            break;
        }
    }
    ::closedir(dir);
    names.sort();
    return names;
}

} // namespace dialogs
