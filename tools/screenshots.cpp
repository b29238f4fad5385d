// Renders the program's windows to PNG files (offscreen), so that they can be looked at anywhere.
#include "app/Fonts.h"
#include "app/Main.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"

#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QTabWidget>
#include <cmath>
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
    // The SETUP box scrolls: its whole content, as it would show scrolled through.
    if (auto* setup = mee.findChild<QScrollArea*>(QStringLiteral("ScrollBox_Setup")))
        ok = save(*setup->widget(), "setup-box.png") && ok;
    mee.PageControl1->setCurrentIndex(1);
    app.processEvents();
    ok = save(mee, "main-logs.png") && ok;
    mee.PageControl1->setCurrentIndex(0);
    formCom.show();
    app.processEvents();
    ok = save(formCom, "com-setup.png") && ok;
    // A few hundred synthetic replies: a walker crossing the three beams, on a noisy floor.
    graphics.show();
    app.processEvents();
    for (int i = 0; i < 700; ++i) {
        auto wave = [&](int centre, int height) {
            const double d = (i - centre) / 25.0;
            return static_cast<std::uint16_t>(40 + 15 * std::sin(i * 0.9) + height * std::exp(-d * d));
        };
        graphics.FeedStatus({{{wave(200, 620), 600}, {wave(260, 700), 560}, {wave(320, 540), 640}}});
    }
    app.processEvents();
    ok = save(graphics, "graph.png") && ok;
    return ok ? 0 : 1;
}
