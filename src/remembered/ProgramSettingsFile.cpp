#include "remembered/ProgramSettingsFile.h"

#include "remembered/SettingsFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace remembered {

void UseProgramSettingsFile() {
    const QString older =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ostrevo"), QStringLiteral("Ostrevo"))
            .fileName();
    QSettings::setDefaultFormat(ProgramSettingsFormat());
    QCoreApplication::setOrganizationName(QStringLiteral("ostrevo-setup"));
    QCoreApplication::setApplicationName(QStringLiteral("ostrevo-setup"));
    CarryOverSettings(older, QSettings().fileName());
}

CarriedOver CarryOverSettings(const QString& oldFile, const QString& newFile) {
    if (QFileInfo::exists(newFile) || !QFileInfo(oldFile).isFile()) return CarriedOver::Nothing;
    const QSettings from(oldFile, QSettings::NativeFormat);
    if (from.status() != QSettings::NoError) return CarriedOver::Failed;
    const QStringList keys = from.allKeys();
    if (!keys.isEmpty()) {
        QSettings to(newFile, QSettings::NativeFormat);
        for (const QString& key : keys) to.setValue(key, from.value(key));
        to.sync();
        if (to.status() != QSettings::NoError || !QFileInfo::exists(newFile)) return CarriedOver::Failed;
    }
    QFile::remove(oldFile);
    QDir().rmdir(QFileInfo(oldFile).path()); // only when empty
    return CarriedOver::Moved;
}

} // namespace remembered
