#include "graph/Fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace {
const char* const WineFontFolder = "/usr/share/wine/fonts/";
}

void RegisterProgramFonts() {
    const QStringList families = QFontDatabase::families();
    auto add = [&](const char* family, std::initializer_list<const char*> files) {
        if (families.contains(QString::fromLatin1(family))) return;
        for (const char* file : files) {
            const QString path = QString::fromLatin1(WineFontFolder) + QString::fromLatin1(file);
            if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
        }
    };
    add("Tahoma", {"tahoma.ttf", "tahomabd.ttf"});
    add("Small Fonts", {"small_fonts.ttf"});
}

QFont ProgramFont() {
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return QFont(QStringLiteral("Tahoma"), 8);
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSize(8);
    return f;
}

QString SmallFontFamily() {
    if (QFontDatabase::families().contains(QStringLiteral("Small Fonts"))) return QStringLiteral("Small Fonts");
    return ProgramFont().family();
}
