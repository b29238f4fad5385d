#include "remembered/Remembered.h"

#include <QDir>
#include <QSettings>

namespace remembered {
namespace {

struct Listener {
    Notice notice;
    bool told = false;
};

Listener& listener() {
    static Listener l;
    return l;
}

} // namespace

void SetNotice(Notice notice) {
    listener() = Listener{std::move(notice), false};
}

bool Sync(QSettings& settings) {
    settings.sync();
    // QSettings reports a failed write only here; on its own it would lose the values silently.
    if (settings.status() == QSettings::NoError) return true;
    Listener& l = listener();
    if (l.notice && !l.told) {
        l.told = true;
        const QString reason = settings.status() == QSettings::AccessError ? QStringLiteral("it cannot be written")
                                                                           : QStringLiteral("it is damaged");
        l.notice(QStringLiteral("The port, the windows' places and the report details could not be remembered for "
                                "the next run: %1 (%2).")
                     .arg(QDir::toNativeSeparators(settings.fileName()), reason));
    }
    return false;
}

} // namespace remembered
