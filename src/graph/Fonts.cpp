#include "graph/Fonts.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>

namespace graph {

namespace {

const char* const WineFontFolder = "/usr/share/wine/fonts/";

// The kinds of widget a desktop theme gives fonts of their own (those Qt asks its platform theme for),
// and the others this program shows.
const char* const ThemedKinds[] = {"QMenu",
                                   "QMenuBar",
                                   "QMenuItem",
                                   "QMessageBox",
                                   "QLabel",
                                   "QTipLabel",
                                   "QStatusBar",
                                   "QMdiSubWindowTitleBar",
                                   "QDockWidgetTitle",
                                   "QPushButton",
                                   "QCheckBox",
                                   "QRadioButton",
                                   "QToolButton",
                                   "QAbstractItemView",
                                   "QListView",
                                   "QHeaderView",
                                   "QListBox",
                                   "QComboMenuItem",
                                   "QComboLineEdit",
                                   "QSmallFont",
                                   "QMiniFont",
                                   "QGroupBox",
                                   "QTabBar",
                                   "QLineEdit",
                                   "QComboBox",
                                   "QAbstractSpinBox",
                                   "QTextEdit",
                                   "QPlainTextEdit",
                                   "QDialogButtonBox"};

void applyProgramFont() {
    const QFont font = ProgramFont();
    QApplication::setFont(font);
    for (const char* kind : ThemedKinds)
        if (QApplication::font(kind) != font) QApplication::setFont(font, kind);
}

// Puts the program's font back when something (a theme that applies its settings after start-up, or
// when they change) sets other fonts for the application.
class FontKeeper : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override {
        // (Qt tells the widgets of the kind whose font was set, not the application.)
        if (event->type() == QEvent::ApplicationFontChange && !applying_) {
            applying_ = true;
            applyProgramFont();
            applying_ = false;
        }
        return false;
    }

  private:
    bool applying_ = false;
};

} // namespace

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

void UseProgramFont() {
    static FontKeeper* keeper = nullptr;
    applyProgramFont();
    if (!keeper && qApp) {
        keeper = new FontKeeper(qApp);
        qApp->installEventFilter(keeper);
    }
}

} // namespace graph
