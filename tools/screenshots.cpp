// Renders the program's windows to PNG files (offscreen), so that they can be looked at anywhere.
#include "app/Fonts.h"
#include "app/Main.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterProgramFonts();
    QApplication::setFont(ProgramFont());
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);

    TMee mee;
    TFormCom formCom(&mee);
    TGraphics graphics(&mee);
    mee.setCompanions(&formCom, &graphics);
    mee.show();
    app.processEvents();

    auto save = [&](QWidget& w, const char* name) {
        const QString path = out + QLatin1Char('/') + QString::fromLatin1(name);
        if (!w.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    bool ok = save(mee, "main-view.png");
    mee.PageControl1->setCurrentIndex(1);
    app.processEvents();
    ok = save(mee, "main-logs.png") && ok;
    mee.PageControl1->setCurrentIndex(0);
    formCom.show();
    app.processEvents();
    ok = save(formCom, "com-setup.png") && ok;
    graphics.show();
    app.processEvents();
    ok = save(graphics, "graph.png") && ok;
    return ok ? 0 : 1;
}
