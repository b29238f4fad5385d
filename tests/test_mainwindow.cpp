// The main window: its composition, start state, fades, Exit and keyboard access.
#include "app/MainWindow.h"
#include "app/MessageHistory.h"
#include "app/Program.h"
#include "dialogs/Application.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "monitor/EventLog.h"
#include "seriallink/PortDialog.h"
#include "widgets/Backdrop.h"
#include "widgets/GaugeBar.h"
#include "widgets/GroupFrame.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/NoticeLabel.h"
#include "widgets/RadioGroup.h"
#include "widgets/StringGrid.h"
#include "widgets/TrackBar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

template <class T>
T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
}

// The text of a widget as drawn: clipped when its size hint does not fit its size.
bool fitsItsText(QWidget* w) {
    const QSize hint = w->minimumSizeHint().isValid() ? w->minimumSizeHint() : w->sizeHint();
    return w->width() >= hint.width() && w->height() >= hint.height();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    app::MainWindow* mainWindow = nullptr;
    int exitCode = -1;
    QStringList said;
    QStringList fileDialogs; // the captions of the file dialogs asked for (each cancelled)

  private slots:
    void init() {
        mainWindow = new app::MainWindow;
        exitCode = -1;
        mainWindow->setEndProcess([this](int code) { exitCode = code; });
        // No box may wait for a click: what the window says is kept here.
        said.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { said << t; });
        fileDialogs.clear();
        dialogs::SetFileDialogHandler([this](QWidget*, dialogs::FileDialogKind, const QString& caption,
                                             const QString&) { return fileDialogs << caption, QString(); });
    }
    void cleanup() {
        dialogs::SetMessageHandler({});
        dialogs::SetFileDialogHandler({});
        delete mainWindow;
    }

    // Each window's tree (the main window's, the port dialog's, the graph window's, also with the graph
    // inside the main window) holds every object name once, and docs/object-names.md names each of them:
    // a lookup by name finds the one object, in whatever order the windows were made.
    void objectNamesAreUniqueInEachWindowAndDocumented() {
        QFile doc(QStringLiteral(OSTREVO_OBJECT_NAMES_DOC));
        QVERIFY(doc.open(QIODevice::ReadOnly));
        const QString documented = QString::fromUtf8(doc.readAll());
        app::Program program;
        QStringList problems;
        auto check = [&](QWidget* window, const char* what) {
            QMap<QString, int> seen;
            // (The graph window keeps a tree of its own, also inside the main window.)
            auto ownTree = [window](QObject* o) {
                for (; o && o != window; o = o->parent())
                    if (qobject_cast<graph::GraphWindow*>(o)) return false;
                return true;
            };
            for (QObject* o : window->findChildren<QObject*>()) {
                if (!ownTree(o)) continue;
                const QString name = o->objectName();
                // (Names Qt gives its own parts: a layout, a tab bar's scroll buttons.)
                static const QStringList qtOwn{QStringLiteral("_layout"), QStringLiteral("ScrollLeftButton"),
                                               QStringLiteral("ScrollRightButton")};
                if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && !qtOwn.contains(name)) ++seen[name];
            }
            ++seen[window->objectName()];
            for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
                if (it.value() != 1) problems << QStringLiteral("%1: %2 x%3").arg(what, it.key()).arg(it.value());
                if (!documented.contains(QLatin1Char('`') + it.key() + QLatin1Char('`')))
                    problems << QStringLiteral("%1: %2 not in docs/object-names.md").arg(what, it.key());
            }
        };
        check(&program.mainWindow(), "main window");
        check(&program.portDialog(), "port dialog");
        check(&program.graphWindow(), "graph window");
        program.mainWindow().show();
        program.mainWindow().graphInsideAction()->trigger();
        program.mainWindow().showGraph();
        QVERIFY(!program.graphWindow().isWindow());
        check(&program.mainWindow(), "main window with the graph inside");
        check(&program.graphWindow(), "graph window inside");
        problems.removeDuplicates();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void windowFrame() {
        QCOMPARE(mainWindow->windowTitle(), QString("Ostrevo SetUp"));
        QCOMPARE(mainWindow->objectName(), QString("Mee"));
        QCOMPARE(mainWindow->width(), 1009);
        QCOMPARE(mainWindow->height() - mainWindow->menuBar()->sizeHint().height(), 404);
        QCOMPARE(mainWindow->minimumSize(), mainWindow->size()); // the design's size is the least; larger is fine
        QCOMPARE(child<QToolBar>(mainWindow, "ActionMainMenuBar1")->height(), 35);
        QCOMPARE(mainWindow->statusBar()->objectName(), QString("StatusBar_form"));
        QCOMPARE(mainWindow->statusBar()->height(), 22);
        QCOMPARE(mainWindow->tabs()->count(), 2);
        QCOMPARE(mainWindow->tabs()->tabText(0), QString("VIEW"));
        QCOMPARE(mainWindow->tabs()->tabText(1), QString("LOGS"));
        QCOMPARE(mainWindow->tabs()->currentIndex(), 0);
        QCOMPARE(mainWindow->fadeTimer()->interval(), 1);
        QCOMPARE(mainWindow->pollTimer()->interval(), 10);
        QVERIFY(!mainWindow->fadeTimer()->isActive());
        QVERIFY(!mainWindow->pollTimer()->isActive());
    }

    void startStateOfActionsAndStatusBar() {
        QVERIFY(mainWindow->exitAction()->isEnabled());
        QVERIFY(!mainWindow->connectAction()->isEnabled());
        QVERIFY(!mainWindow->storeAction()->isEnabled());
        QVERIFY(mainWindow->openConfigAction()->isEnabled() && mainWindow->saveConfigAction()->isEnabled());
        QVERIFY(mainWindow->portAction()->isEnabled() && mainWindow->graphAction()->isEnabled());
        QCOMPARE(mainWindow->connectAction()->text(), QString("Connect"));
        QCOMPARE(mainWindow->statusPanel(0)->text(), QString("Disconnect"));
        QCOMPARE(mainWindow->statusPanel(1)->text(), QString("COM:"));
        const int widths[] = {100, 400, 200, 50};
        for (int i = 0; i < 4; ++i) QCOMPARE(mainWindow->statusPanel(i)->width(), widths[i]);
        QCOMPARE(mainWindow->activityBar()->parentWidget(), mainWindow->statusPanel(2));
        QCOMPARE(mainWindow->activityBar()->value(), 0);
        QCOMPARE(mainWindow->activityBar()->maximum(), 100);
        QCOMPARE(mainWindow->openConfigAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    }

    void actionBarItemsInOrderWithSeparators() {
        auto* bar = child<QToolBar>(mainWindow, "ActionMainMenuBar1");
        QStringList seen;
        QList<bool> separatorVisible;
        for (QAction* a : bar->actions()) {
            if (a->isSeparator()) {
                seen << "-";
                separatorVisible << a->isVisible();
            } else {
                seen << qobject_cast<QToolButton*>(bar->widgetForAction(a))->text();
            }
        }
        QCOMPARE(seen,
                 QStringList({"-", "&Open Config...", "-", "Save &Config...", "-", "Co&nnect", "-", "&Save To Device",
                              "-", "Se&tUp COM", "-", "&View Graphic", "-", "&Record", "-", "&Exit", "-"}));
        // Only the separator before "&Exit" is hidden.
        QCOMPARE(separatorVisible.count(false), 1);
        QCOMPARE(separatorVisible.indexOf(false), 7);
    }

    void menuItemsFollowTheirActions() {
        auto* commSetup = child<QAction>(mainWindow, "CommSetup1");
        auto* connect1 = child<QAction>(mainWindow, "Connect1");
        auto* load = child<QAction>(mainWindow, "LoadConfig1");
        QVERIFY(commSetup && connect1 && load && child<QAction>(mainWindow, "SaveConfig1") &&
                child<QAction>(mainWindow, "StoreToFlash1"));
        QCOMPARE(commSetup->text(), QString("S&tore To Flash"));
        QVERIFY(!commSetup->isEnabled());
        QVERIFY(load->text().startsWith("&Open..."));
        // A bound item's own enabled state can be set directly, and follows the next action change.
        mainWindow->storeAction()->setEnabled(true);
        QVERIFY(commSetup->isEnabled());
        commSetup->setEnabled(false);
        QVERIFY(mainWindow->storeAction()->isEnabled());
        mainWindow->storeAction()->setEnabled(false);
        mainWindow->storeAction()->setEnabled(true);
        QVERIFY(commSetup->isEnabled());
        // The action bar item takes a new caption of its action and keeps its mnemonic.
        mainWindow->connectAction()->setText("Disconnect");
        QCOMPARE(connect1->text(), QString("Disconnect"));
        QCOMPARE(child<QToolButton>(mainWindow, "ActionItem_Connect")->text(), QString("Disco&nnect"));
        // Running the item runs the action (which, with no detector connected, asks for a file to open).
        QSignalSpy ran(mainWindow->openConfigAction(), &QAction::triggered);
        load->trigger();
        QCOMPARE(ran.count(), 1);
        QCOMPARE(fileDialogs, QStringList{"Open Config"});
    }

    void mnemonicsRunTheActionBar() {
        mainWindow->show();
        mainWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(mainWindow));
        QSignalSpy openRan(mainWindow->openConfigAction(), &QAction::triggered);
        QSignalSpy graphRan(mainWindow->graphAction(), &QAction::triggered);
        // A mnemonic presses its button visibly, so the click comes a moment later.
        QTest::keyClick(mainWindow, Qt::Key_O, Qt::AltModifier);
        QTest::keyClick(mainWindow, Qt::Key_V, Qt::AltModifier);
        QTRY_COMPARE(openRan.count(), 1);
        QTRY_COMPARE(graphRan.count(), 1);
        QTest::keyClick(mainWindow, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(openRan.count(), 2);
        // Ctrl+F opens the File menu.
        QTest::keyClick(mainWindow, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(mainWindow->menuBar()->activeAction(), mainWindow->menuBar()->actions().first());
        QTest::keyClick(mainWindow->menuBar(), Qt::Key_Escape);
        // Disabled items do not run: Connect waits for a port.
        QSignalSpy connectRan(mainWindow->connectAction(), &QAction::triggered);
        QTest::keyClick(mainWindow, Qt::Key_N, Qt::AltModifier);
        QTest::keyClick(mainWindow, Qt::Key_V, Qt::AltModifier); // (its click comes after any of Alt+N)
        QTRY_COMPARE(graphRan.count(), 2);
        QCOMPARE(connectRan.count(), 0);
    }

    // Every mnemonic reaches one thing: the menu bar's and the action bar's together (Alt+letter),
    // and within each menu its items.
    void mnemonicsAreUnique() {
        auto letter = [](const QString& caption) {
            const qsizetype at = caption.indexOf(QLatin1Char('&'));
            return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toLower() : QChar();
        };
        QStringList clashes;
        auto check = [&](const QString& scope, const QList<QString>& captions) {
            QMap<QChar, QString> seen;
            for (const QString& c : captions) {
                const QChar l = letter(c.section(QLatin1Char('\t'), 0, 0));
                if (l.isNull()) continue;
                if (seen.contains(l)) clashes << QString("%1: %2 and %3").arg(scope, seen[l], c);
                seen[l] = c;
            }
        };
        QList<QString> altKeys;
        for (QAction* a : mainWindow->menuBar()->actions()) {
            altKeys << a->text();
            if (QMenu* menu = a->menu()) {
                QList<QString> items;
                for (QAction* item : menu->actions())
                    if (!item->isSeparator()) items << item->text();
                check(a->text(), items);
            }
        }
        for (auto* button : child<QToolBar>(mainWindow, "ActionMainMenuBar1")->findChildren<QToolButton*>())
            altKeys << button->text();
        check("menu bar and action bar", altKeys);
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join("; ")));
    }

    // The window grows, and a larger height shows the whole SETUP box; a screen smaller than the
    // design (a display scale of 2 on 1600 x 1000: 800 x 500 for the program) gets a window that fits.
    void theWindowGrowsAndFits() {
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        auto* setup = child<QScrollArea>(mainWindow, "ScrollBox_Setup");
        QVERIFY(setup->verticalScrollBar()->maximum() > 0); // at the design's size, it scrolls
        mainWindow->resize(1920, 1040);                     // maximised on a full-HD screen
        QTRY_COMPARE(setup->verticalScrollBar()->maximum(), 0);
        QVERIFY(child<QWidget>(mainWindow, "MW")->width() > 246);
        const QSize design(1009, 404 + mainWindow->menuBar()->sizeHint().height());
        const QSize frame(8, 32);
        for (const QRect& area : {QRect(0, 0, 1920, 1040), QRect(0, 0, 800, 500), QRect(-1600, 0, 914, 571)}) {
            const QRect placed = app::PlaceOnScreen(area, design, design, frame);
            const QRect whole = placed.adjusted(-frame.width() / 2, -(frame.height() - frame.width() / 2),
                                                frame.width() / 2, frame.width() / 2);
            QCOMPARE(placed.size(), design.boundedTo(area.size() - frame));
            QVERIFY2(area.contains(whole), qPrintable(QString("%1 in %2").arg(whole.width()).arg(area.width())));
            QVERIFY(std::abs((whole.left() - area.left()) - (area.right() - whole.right())) <= 2); // centred
        }
    }

    void channelControls_data() {
        QTest::addColumn<QString>("track");
        QTest::addColumn<int>("trangeMax");
        QTest::addColumn<QString>("tconv");
        QTest::addColumn<int>("tconvMax");
        QTest::addColumn<int>("nconvStart");
        QTest::addColumn<QString>("bar");
        QTest::newRow("MW") << "TrackBar_MW_TRange" << 500 << "ScrollBar_MW_Tconv" << 15 << 8 << "ProgressBar1";
        QTest::newRow("PIR1") << "TrackBar_PIR1_TRange" << 700 << "ScrollBar_Pir1_Tconv" << 50 << 4 << "ProgressBar2";
        QTest::newRow("PIR2") << "TrackBar_PIR2_TRange" << 700 << "ScrollBar_Pir2_Tconv" << 50 << 4 << "ProgressBar3";
    }

    void channelControls() {
        QFETCH(QString, track);
        QFETCH(int, trangeMax);
        QFETCH(QString, tconv);
        QFETCH(int, tconvMax);
        QFETCH(int, nconvStart);
        QFETCH(QString, bar);
        auto* t = mainWindow->findChild<widgets::TrackBar*>(track);
        QVERIFY(t);
        QCOMPARE(t->orientation(), Qt::Vertical);
        QCOMPARE(t->minimum(), 10);
        QCOMPARE(t->maximum(), trangeMax);
        QCOMPARE(t->value(), trangeMax); // thumb at the bottom: value 10 is sent
        QCOMPARE(t->singleStep(), 10);
        QCOMPARE(t->tickInterval(), 16);
        QCOMPARE(t->SelEnd(), trangeMax);
        QVERIFY(t->invertedAppearance()); // minimum at the top
        auto* tc = mainWindow->findChild<widgets::GaugeBar*>(tconv);
        QCOMPARE(tc->maximum(), tconvMax);
        QCOMPARE(tc->value(), 8);
        auto* nc = mainWindow->findChild<widgets::GaugeBar*>(QString(tconv).replace("Tconv", "Nconv"));
        QCOMPARE(nc->value(), nconvStart);
        auto* np = mainWindow->findChild<widgets::GaugeBar*>(QString(tconv).replace("Tconv", "NPulse"));
        QCOMPARE(np->minimum(), 1);
        QCOMPARE(np->maximum(), 5);
        QCOMPARE(np->value(), 1);
        auto* b = mainWindow->findChild<widgets::LevelBar*>(bar);
        QCOMPARE(b->orientation(), Qt::Vertical);
        QCOMPARE(b->maximum(), 700);
    }

    void everyNamedControlExistsWithItsVisibility() {
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        const char* shown[] = {"MW",
                               "PIR1",
                               "PIR2",
                               "SETUP",
                               "NTC",
                               "Shape_Mw",
                               "Shape_Pir1",
                               "Shape_Pir2",
                               "ProgressBar1",
                               "ProgressBar2",
                               "ProgressBar3",
                               "ScrollBar_MW_Tconv",
                               "ScrollBar_MW_Nconv",
                               "ScrollBar_MW_NPulse",
                               "Label_MW_Tconv",
                               "Label_MW_Nconv",
                               "Label_MW_NPulse",
                               "StatusBar1",
                               "Label_MW_TRange",
                               "ScrollBar_Pir1_Tconv",
                               "ScrollBar_Pir1_Nconv",
                               "ScrollBar_Pir1_NPulse",
                               "Label_Pir1_Tconv",
                               "Label_Pir1_Nconv",
                               "Label_Pir1_NPulse",
                               "ComboBox_Pir1_Lens",
                               "Shape_Acc1",
                               "Shape_Acc1Noise",
                               "ProgressBar_Acc1",
                               "ProgressBar_Acc1Noise",
                               "StatusBar2",
                               "Label_Pir1_TRange",
                               "ComboBox_Pir2_Lens",
                               "Shape_Acc2",
                               "Shape_Acc2Noise",
                               "ProgressBar_Acc2",
                               "ProgressBar_Acc2Noise",
                               "StatusBar3",
                               "Label_Pir2_TRange",
                               "Image1",
                               "ProgressBar_Temperatura",
                               "StatusBar4",
                               "Label13"};
        for (const char* name : shown) {
            auto* w = child<QWidget>(mainWindow, name);
            QVERIFY2(w, name);
            QVERIFY2(w->isVisible(), name);
        }
        const char* hiddenNames[] = {"Label1",
                                     "Label2",
                                     "Label3",
                                     "Label4",
                                     "Label18",
                                     "Label5",
                                     "Label6",
                                     "Label7",
                                     "Label8",
                                     "Label19",
                                     "Label9",
                                     "Label10",
                                     "Label11",
                                     "Label12",
                                     "Label38",
                                     "Label15",
                                     "ScrollBar_PWM_Dc",
                                     "ScrollBar_PWM_Fq",
                                     "Label_PWM_Dc",
                                     "Label_PWM_Fq",
                                     "ProgressBar_Mask",
                                     "Shape_Mask",
                                     "Shape_MaskNoise",
                                     "GaugeBar_Mw_Speed",
                                     "CheckBox_EN_MASK",
                                     "ScrollBar_TimeAnd2",
                                     "ScrollBar_TimeAnd3",
                                     "Label_TimeAnd2",
                                     "Label_TimeAnd3"};
        for (const char* name : hiddenNames) {
            auto* w = child<QWidget>(mainWindow, name);
            QVERIFY2(w, name);
            QVERIFY2(!w->isVisible(), name);
        }
        // The value labels sit in their small status bars.
        QCOMPARE(child<QLabel>(mainWindow, "Label_MW_TRange")->parentWidget()->objectName(), QString("StatusBar1"));
        QCOMPARE(child<QLabel>(mainWindow, "Label13")->parentWidget()->objectName(), QString("StatusBar4"));
        QCOMPARE(child<QLabel>(mainWindow, "Label_Pir2_TRange")->text(), QString("0000"));
        // Group widths of the design, at the least.
        QVERIFY(child<QGroupBox>(mainWindow, "MW")->width() >= 246 &&
                child<QGroupBox>(mainWindow, "SETUP")->width() >= 218);
        QCOMPARE(child<QGroupBox>(mainWindow, "NTC")->width(), 46);
        QCOMPARE(child<QGroupBox>(mainWindow, "PIR1")->title(), QString("HIGH ABOVE  PIROELETTRIC"));
    }

    void setupControls() {
        struct Box {
            const char* name;
            const char* caption;
        } const boxes[] = {{"CheckBox_EN_MW", "Enable MW"},
                           {"CheckBox_EN_PIR1", "Enable PIR (HIGH ABOVE)"},
                           {"CheckBox_EN_PIR2", "Enable PIR (DOWN UNDER)"},
                           {"CheckBox_EN_MASK", "MASK"},
                           {"CheckBox_EN_ACC", "Enable Mask #1-2"},
                           {"CheckBox_EN_TAMPER", "Enable Tamper"},
                           {"CheckBox_EN_LED", "LED ON"},
                           {"CheckBox_NOISE_MW", " MW  (Noise Reduction)"},
                           {"CheckBox_NOISE_PIR1", "PIR HIGH  (Noise Reduction)"},
                           {"CheckBox_NOISE_PIR2", "PIR DOWN  (Noise Reduction)"},
                           {"CheckBox_EN_TempComp", "Enable Temp. Comp."},
                           {"CheckBox_AutoTest", "Enable AutoTest (24h)"}};
        for (const Box& b : boxes) {
            auto* box = child<QCheckBox>(mainWindow, b.name);
            QVERIFY2(box, b.name);
            QCOMPARE(box->text(), QString(b.caption));
            QVERIFY(!box->isChecked());
            QVERIFY(box->isEnabled());
        }
        for (int n = 1; n <= 3; ++n) {
            auto* func = mainWindow->findChild<widgets::RadioGroup*>(QString("RadioGroup_FuncOut%1").arg(n));
            QVERIFY(func);
            QCOMPARE(func->title(), QString("Function"));
            QCOMPARE(func->count(), 5);
            QCOMPARE(func->itemText(3), QString(n == 1 ? "Mask #1-# 2" : "Mask #1-#2"));
            QCOMPARE(func->ItemIndex(), -1);
            QVERIFY(!func->isEnabled());
            auto* nc = mainWindow->findChild<widgets::RadioGroup*>(QString("RadioGroup_NCOut%1").arg(n));
            QCOMPARE(nc->title(), QString("OUT #%1").arg(n));
            QCOMPARE(nc->itemText(1), QString("NO"));
            QVERIFY(!nc->isEnabled());
            QVERIFY(mainWindow->findChild<QCheckBox*>(QString("CheckBox_Out%1Enable").arg(n))->isEnabled());
            for (const char* tech : {"Mw", "Pir1", "Pir2"})
                QVERIFY(!mainWindow->findChild<QCheckBox*>(QString("CheckBox_Out%1%2").arg(n).arg(tech))->isEnabled());
            QCOMPARE(mainWindow->findChild<widgets::Lamp*>(QString("Shape_Out%1State").arg(n))->brushColor(),
                     QColor(128, 128, 128));
        }
        auto* timeAnd1 = child<widgets::GaugeBar>(mainWindow, "ScrollBar_TimeAnd1");
        QCOMPARE(timeAnd1->orientation(), Qt::Horizontal);
        QCOMPARE(timeAnd1->maximum(), 10);
        QCOMPARE(child<widgets::GaugeBar>(mainWindow, "ScrollBar_TimeAnd2")->maximum(), 5);
        QCOMPARE(child<widgets::GaugeBar>(mainWindow, "ScrollBar_PWM_Dc")->value(), 160);
        QCOMPARE(child<widgets::GaugeBar>(mainWindow, "ScrollBar_PWM_Fq")->value(), 1600);
        QCOMPARE(child<widgets::LevelBar>(mainWindow, "ProgressBar_acc_X")->minimum(), -127);
        QCOMPARE(child<widgets::LevelBar>(mainWindow, "ProgressBar_acc_Z")->maximum(), 128);
        QCOMPARE(child<widgets::LevelBar>(mainWindow, "ProgressBar_Temperatura")->minimum(), -30);
        QCOMPARE(child<widgets::LevelBar>(mainWindow, "ProgressBar_Acc1Noise")->maximum(), 200);
        QCOMPARE(child<widgets::LevelBar>(mainWindow, "ProgressBar_Acc2Noise")->maximum(), 400);
        QCOMPARE(child<widgets::LevelBar>(mainWindow, "ProgressBar_Mask")->maximum(), 750);
        auto* lens = child<QComboBox>(mainWindow, "ComboBox_Pir2_Lens");
        QCOMPARE(lens->count(), 4);
        QCOMPARE(lens->currentText(), QString("User"));
        QCOMPARE(lens->itemText(2), QString("Horizontal Curtain"));
        QCOMPARE(child<widgets::Lamp>(mainWindow, "Shape_DiagnosticOn")->brushColor(),
                 QApplication::palette().color(QPalette::Button));
        for (const char* lamp : {"Shape_LedPowerFail", "Shape_LedMwFault", "Shape_LedPir1Fault", "Shape_LedPir2Fault",
                                 "Shape_LedCPUFault", "Shape_OutTamper", "Shape_Mw"})
            QCOMPARE(child<widgets::Lamp>(mainWindow, lamp)->brushColor(), QColor(128, 128, 128));
    }

    // A level bar clamps what it is given; it is sized and drawn (empty and full) as the style does a
    // progress bar without text, and a screen reader reads it as one, with its value in its range.
    void levelBarsClampLookAndReadAsProgressBars() {
        auto* acc = child<widgets::LevelBar>(mainWindow, "ProgressBar_acc_X");
        acc->setPosition(50);
        acc->setPosition(-128);
        QCOMPARE(acc->value(), -127); // empty, not stuck at the last value
        auto* temp = child<widgets::LevelBar>(mainWindow, "ProgressBar_Temperatura");
        temp->setPosition(100);
        QCOMPARE(temp->value(), 70);

        const struct {
            Qt::Orientation orientation;
            int min, max;
            QSize size;
        } bars[] = {{Qt::Vertical, 0, 700, {14, 120}},
                    {Qt::Vertical, -127, 128, {12, 60}},
                    {Qt::Horizontal, 0, 100, {200, 18}}};
        for (const auto& b : bars) {
            QWidget window;
            auto* level = new widgets::LevelBar(b.orientation, b.min, b.max, &window);
            auto* progress = new QProgressBar(&window);
            progress->setOrientation(b.orientation);
            progress->setRange(b.min, b.max);
            progress->setTextVisible(false);
            QCOMPARE(level->sizeHint(), progress->sizeHint());
            QCOMPARE(level->minimumSizeHint(), progress->minimumSizeHint());
            QCOMPARE(level->sizePolicy(), progress->sizePolicy());
            level->setGeometry(QRect(QPoint(0, 0), b.size));
            progress->setGeometry(QRect(QPoint(b.size.width(), 0), b.size));
            for (const int value : {b.min, b.max}) {
                level->setPosition(value);
                progress->setValue(value);
                QCOMPARE(level->grab().toImage().convertToFormat(QImage::Format_RGB32),
                         progress->grab().toImage().convertToFormat(QImage::Format_RGB32));
            }
            level->setToolTip(QStringLiteral("Signal"));
            level->setPosition((b.min + b.max) / 2);
            QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(level);
            QVERIFY(reader && reader->valueInterface());
            QCOMPARE(reader->role(), QAccessible::ProgressBar);
            QCOMPARE(reader->text(QAccessible::Value), QString::number((b.min + b.max) / 2));
            QCOMPARE(reader->text(QAccessible::Description), QStringLiteral("Signal"));
            QCOMPARE(reader->valueInterface()->currentValue().toInt(), (b.min + b.max) / 2);
            QCOMPARE(reader->valueInterface()->minimumValue().toInt(), b.min);
            QCOMPARE(reader->valueInterface()->maximumValue().toInt(), b.max);
        }
    }

    void radioGroupItemIndexFromCode() {
        auto* func = child<widgets::RadioGroup>(mainWindow, "RadioGroup_FuncOut2");
        QSignalSpy changed(func, &widgets::RadioGroup::itemIndexChanged);
        func->setItemIndex(3);
        QCOMPARE(func->ItemIndex(), 3);
        func->setItemIndex(3); // no change, no signal
        func->setItemIndex(-1);
        QCOMPARE(func->ItemIndex(), -1);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toInt(), -1);
    }

    void logGridIsLabelledAndClears() {
        widgets::StringGrid* g = mainWindow->eventGrid();
        QCOMPARE(g->ColCount(), 10);
        QCOMPARE(g->RowCount(), 11);
        QCOMPARE(g->cell(0, 0), QString::fromUtf8("Num\u00b0"));
        QCOMPARE(g->cell(1, 0), QString("ALLARM"));
        QCOMPARE(g->cell(3, 0), QString("Max Pir HIGH ABOVE"));
        QCOMPARE(g->cell(9, 0), QString("Ntc:"));
        QCOMPARE(g->cell(0, 1), QString("1 "));
        QCOMPARE(g->cell(0, 10), QString("10 "));
        QVERIFY(g->font().bold());
        QCOMPARE(g->font().pixelSize(), 13);
        g->setCell(4, 7, "123");
        QCOMPARE(g->cell(4, 7), QString("123"));
        auto* clear = child<QAction>(mainWindow, "Clear1");
        QCOMPARE(clear->text(), QString("Clear Logs"));
        clear->trigger();
        QCOMPARE(g->cell(4, 7), QString());
        QCOMPARE(g->cell(2, 0), QString("Max MW"));
        QCOMPARE(g->cell(0, 4), QString("4 "));
    }

    void firstArmedRequestIsTheStatusPoll() {
        mainWindow->show();
        QCOMPARE(mainWindow->link().pollRequest().code(), 8);
        QCOMPARE(mainWindow->link().pollRequest().ExpectedReplyLength(), 64);
        QCOMPARE(mainWindow->link().pollRequest().bytes()[4], 0xF8);
    }

    // The fade goes in steps of 5 a millisecond by the clock: steps called back to back are taken one by
    // one; steps that come late (each a round trip to the window system) skip to the one due, and the
    // last step is shown all the same.
    // The action bar's images: a desktop's own icon theme is asked as the window is built; the bare fallback
    // theme only after the first paint, our drawings standing in until then (and wherever it has none).
    void actionIconsFromTheIconTheme_data() {
        QTest::addColumn<QString>("theme");
        QTest::addColumn<bool>("themedAtOnce");
        QTest::newRow("a desktop's theme") << "Desktop" << true;
        QTest::newRow("the fallback theme") << "hicolor" << false;
    }
    void actionIconsFromTheIconTheme() {
        QFETCH(QString, theme);
        QFETCH(bool, themedAtOnce);
        QTemporaryDir icons;
        QVERIFY(QDir(icons.path()).mkpath(theme + "/16x16/actions"));
        QFile index(icons.filePath(theme + "/index.theme"));
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("[Icon Theme]\nName=T\nDirectories=16x16/actions\n[16x16/actions]\nSize=16\nType=Fixed\n");
        index.close();
        QImage red(16, 16, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(icons.filePath(theme + "/16x16/actions/document-open.png")));
        const auto restore = qScopeGuard([paths = QIcon::themeSearchPaths(), name = QIcon::themeName()] {
            QIcon::setThemeSearchPaths(paths);
            QIcon::setThemeName(name);
        });
        QIcon::setThemeSearchPaths({icons.path()});
        QIcon::setThemeName(theme);
        delete mainWindow;
        mainWindow = new app::MainWindow;
        mainWindow->setEndProcess([this](int code) { exitCode = code; });
        auto themed = [](QAction* a) { return a->icon().pixmap(16, 16).toImage().pixelColor(8, 8) == Qt::red; };
        QCOMPARE(themed(mainWindow->openConfigAction()), themedAtOnce);
        mainWindow->show();
        QTRY_VERIFY(themed(mainWindow->openConfigAction()));
        // Where the theme has no icon, our drawing stays.
        QVERIFY(!mainWindow->exitAction()->icon().isNull());
        QVERIFY(!themed(mainWindow->exitAction()));
    }

    void fadeInStepsByTheClockAndStopsAt250() {
        QCOMPARE(mainWindow->AppliedAlpha(), 0); // transparent from creation
        for (const int pauseMs : {0, 7}) {
            mainWindow->hide();
            mainWindow->show();
            QVERIFY(mainWindow->FadeIn());
            QVERIFY(mainWindow->fadeTimer()->isActive());
            mainWindow->fadeTimer()->stop();
            QElapsedTimer clock;
            clock.start();
            QList<int> applied;
            while (applied.size() < 100 && (applied.isEmpty() || mainWindow->FadeAlpha() < 255)) {
                if (pauseMs) QTest::qSleep(pauseMs);
                mainWindow->fadeStep();
                applied << mainWindow->AppliedAlpha();
            }
            QCOMPARE(applied.front(), 0);
            QCOMPARE(applied.back(), 250);
            for (int i = 1; i < applied.size(); ++i) {
                QVERIFY(applied[i] > applied[i - 1]);
                QCOMPARE(applied[i] % 5, 0);
            }
            if (pauseMs) QVERIFY2(applied.size() <= 10, qPrintable(QString::number(applied.size()))); // 51 one by one
            else if (clock.elapsed() < 50) QCOMPARE(applied.size(), 51); // none skipped while none was due
        }
        QCOMPARE(exitCode, -1);
    }

    void closeButtonFadesOutAndEndsWithZero() {
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        mainWindow->pollTimer()->start();
        QVERIFY(!mainWindow->close()); // refused: the window stays
        QVERIFY(mainWindow->isVisible());
        QVERIFY(!mainWindow->pollTimer()->isActive());
        QVERIFY(!mainWindow->FadeIn());
        QTRY_COMPARE_WITH_TIMEOUT(exitCode, 0, 5000);
        QCOMPARE(mainWindow->AppliedAlpha(), 5);
    }

    void exitTwiceRestartsTheFadeFrom255() {
        mainWindow->show();
        mainWindow->exitAction()->trigger();
        mainWindow->fadeStep();
        mainWindow->fadeStep();
        QCOMPARE(mainWindow->FadeAlpha(), 245);
        QVERIFY(!mainWindow->close());
        QCOMPARE(mainWindow->FadeAlpha(), 255);
        int steps = 0;
        while (mainWindow->fadeTimer()->isActive() && steps < 100) {
            mainWindow->fadeStep();
            ++steps;
        }
        QVERIFY(steps <= 51);
        QCOMPARE(mainWindow->AppliedAlpha(), 5);
        QCOMPARE(exitCode, 0);
    }

    void exitHidesThePortDialog() {
        seriallink::PortDialog portDialog(mainWindow);
        graph::GraphWindow graphics(mainWindow);
        mainWindow->setCompanions(&portDialog, &graphics);
        mainWindow->portAction()->trigger();
        QVERIFY(portDialog.isVisible());
        mainWindow->graphAction()->trigger();
        QVERIFY(graphics.isVisible());
        mainWindow->exitAction()->trigger();
        QVERIFY(!portDialog.isVisible());
        QVERIFY(graphics.isVisible());
    }

    void nothingIsClipped() {
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        QStringList clipped;
        for (auto* w : mainWindow->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QToolButton*>(w) ||
                qobject_cast<QAbstractButton*>(w)) {
                if (!fitsItsText(w))
                    clipped << QString("%1 '%2' %3x%4")
                                   .arg(w->metaObject()->className(), w->objectName())
                                   .arg(w->width())
                                   .arg(w->height());
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        // The SETUP box scrolls up and down only: its content must fit its width.
        auto* setup = child<QScrollArea>(mainWindow, "ScrollBox_Setup");
        QVERIFY(setup->widget()->minimumSizeHint().width() <= setup->viewport()->width());
    }

    // A long notice ends in "..." in its panel; the history keeps it whole, with the ones before it
    // (the last 200, newest first), opens from the panel and from Ctrl+M, and copies.
    void everyNoticeIsKeptWhole() {
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        auto* panel = child<widgets::NoticeLabel>(mainWindow, "StatusNotice");
        app::MessageHistory& history = mainWindow->messages();
        const QString link =
            "Link lost, reconnecting to /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0...";
        mainWindow->ShowNotice(link);
        QVERIFY(panel->elided());
        QVERIFY(panel->text().endsWith(QChar(0x2026)));
        QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <= panel->contentsRect().width());
        QCOMPARE(panel->toolTip(), link);
        QCOMPARE(history.message(0), link);
        QVERIFY(history.line(0).endsWith("  " + link));
        // Shown for a moment and replaced: still there. Cleared: nothing added.
        mainWindow->ShowNotice("Link back on /dev/ttyUSB0.");
        mainWindow->ShowNotice(QString());
        QCOMPARE(history.count(), 2);
        QCOMPARE(history.message(1), link);
        // A running count takes the line of the one before it; notices alike but for their numbers do not.
        mainWindow->ShowRunningCount("Recording 0:01, 21 replies", "clock");
        mainWindow->ShowRunningCount("Recording 0:02, 43 replies", "clock");
        QCOMPARE(history.count(), 3);
        QCOMPARE(history.message(0), QString("Recording 0:02, 43 replies"));
        mainWindow->ShowRunningCount("Recording paused: LOGS tab", "paused");
        mainWindow->ShowRunningCount("Recording 0:09, 44 replies", "clock");
        QCOMPARE(history.count(), 5);
        QCOMPARE(history.message(1), QString("Recording paused: LOGS tab"));
        mainWindow->ShowNotice("Saved the detector's parameters to \"site1.bin\".");
        mainWindow->ShowNotice("Saved the detector's parameters to \"site2.bin\".");
        QCOMPARE(history.count(), 7);
        QVERIFY(history.message(1).contains("site1.bin"));
        // A wider window shows more of it, still ending in "..." where it does not fit.
        mainWindow->ShowNotice(link);
        mainWindow->resize(1600, mainWindow->height());
        QTRY_VERIFY(!panel->elided());
        QCOMPARE(panel->text(), link);
        mainWindow->resize(1009, mainWindow->height());
        QTRY_VERIFY(panel->elided());
        for (int i = 0; i < 250; ++i)
            mainWindow->ShowNotice(QString(i % 2 ? "Link back on COM%1." : "Link lost %1.").arg(i));
        QCOMPARE(history.count(), app::MessageHistory::Capacity);
        QCOMPARE(history.message(0), QString("Link back on COM249."));
        QCOMPARE(history.message(app::MessageHistory::Capacity - 1), QString("Link lost 50."));
        mainWindow->ShowNotice("Link lost 50."); // told again: a line of its own
        mainWindow->ShowNotice("Link lost 50.");
        QCOMPARE(history.message(1), QString("Link lost 50."));
        // Opened by a click on the panel, and by its shortcut; Copy takes the lines chosen, else all.
        QTest::mouseClick(panel, Qt::LeftButton);
        QVERIFY(history.isVisible());
        history.hide();
        QTest::keyClick(mainWindow, Qt::Key_M, Qt::ControlModifier);
        QVERIFY(history.isVisible());
        history.list->item(1)->setSelected(true);
        QTest::keyClick(history.list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), history.line(1));
        history.list->clearSelection();
        QTest::mouseClick(history.copyButton, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text().count('\n'), app::MessageHistory::Capacity - 1);
        // Its Close button (made at its first showing) hides it.
        QPushButton* close = history.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!history.isVisible());
    }

    // "Graph in the Main Window": the graph below the tabs at its size and with its traces, the window
    // taller by as much; closed, the room goes back; unticked, a window of its own again.
    void graphInsideTheMainWindow() {
        graph::GraphWindow graphics(mainWindow);
        mainWindow->setCompanions(nullptr, &graphics);
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        mainWindow->showGraph();
        QVERIFY(graphics.isWindow() && graphics.isVisible());
        graphics.FeedStatus({{{600, 400}, {650, 400}, {500, 400}}});
        const QImage drawing = graphics.Screen();
        const QSize size = graphics.size();
        const int height = mainWindow->height();
        const QRect tabs = mainWindow->tabs()->geometry();
        mainWindow->graphInsideAction()->trigger();
        QVERIFY(mainWindow->GraphInside());
        QVERIFY(mainWindow->isAncestorOf(&graphics) && graphics.isVisible());
        QCOMPARE(graphics.size(), size);
        QVERIFY(graphics.Screen() == drawing); // the same drawing, traces and all
        QTRY_VERIFY(mainWindow->height() > height);
        QVERIFY(graphics.mapTo(mainWindow, QPoint(0, 0)).y() >=
                mainWindow->tabs()->mapTo(mainWindow, QPoint(0, 0)).y() + tabs.height());
        QVERIFY(!graphics.geometry().intersects(mainWindow->statusBar()->geometry()));
        graphics.closeAction()->trigger(); // Escape
        QVERIFY(!graphics.isVisible());
        QTRY_COMPARE(mainWindow->height(), height);
        mainWindow->graphAction()->trigger(); // shown again inside, as chosen
        QVERIFY(mainWindow->GraphInside() && graphics.isVisible());
        mainWindow->graphInsideAction()->trigger();
        QVERIFY(!mainWindow->GraphInside());
        QVERIFY(graphics.isWindow() && graphics.isVisible());
        QVERIFY(!mainWindow->graphInsideAction()->isChecked());
        QTRY_COMPARE(mainWindow->height(), height);
        mainWindow->setCompanions(nullptr, nullptr);
    }

    // Freeze says so on the picture itself, wherever the graph shows: in its own window and inside the main
    // window (which has no title of the graph's to say it).
    void theFrozenBadgeShowsWhereverTheGraphShows_data() {
        QTest::addColumn<bool>("inside");
        QTest::newRow("its own window") << false;
        QTest::newRow("inside the main window") << true;
    }

    void theFrozenBadgeShowsWhereverTheGraphShows() {
        QFETCH(bool, inside);
        graph::GraphWindow graphics(mainWindow);
        mainWindow->setCompanions(nullptr, &graphics);
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow));
        if (inside) mainWindow->graphInsideAction()->trigger();
        mainWindow->showGraph();
        QCOMPARE(graphics.isWindow(), !inside);
        graphics.FeedStatus({{{600, 400}, {650, 400}, {500, 400}}});
        // The share of the badge's place that shows its red, in the picture of the window on the screen.
        const auto red = [&] {
            QWidget* top = graphics.window();
            QWidget* badge = graphics.frozenBadge();
            const QImage shot = top->grab(QRect(badge->mapTo(top, QPoint(0, 0)), badge->sizeHint()))
                                    .toImage()
                                    .convertToFormat(QImage::Format_RGB32);
            int count = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) count += QColor(shot.pixel(x, y)) == QColor(0xc0, 0, 0);
            return double(count) / std::max(1, shot.width() * shot.height());
        };
        QCOMPARE(red(), 0.0);
        graphics.freezeAction()->trigger();
        QVERIFY(graphics.frozenBadge()->isVisible());
        QVERIFY2(red() > 0.4, qPrintable(QString::number(red())));
        QVERIFY(graphics.frozenBadge()->geometry().intersects(graphics.screenLayer()->geometry()));
        graphics.freezeAction()->trigger();
        QVERIFY(!graphics.frozenBadge()->isVisible());
        QCOMPARE(red(), 0.0);
        if (inside) mainWindow->graphInsideAction()->trigger();
        mainWindow->setCompanions(nullptr, nullptr);
    }

    // A desktop theme that gives labels and group boxes larger fonts of their own: the design font
    // stays, and a caption in a larger font widens its group instead of being cut.
    void designFontWhateverTheTheme() {
        QFont themed("DejaVu Sans");
        themed.setPointSize(14);
        // The theme's fonts at start-up, by kind of widget; later, a new font for the whole application.
        for (const char* kind : {"QLabel", "QGroupBox", "QCheckBox", "QMenu"}) QApplication::setFont(themed, kind);
        graph::UseProgramFont();
        for (const char* kind : {"QLabel", "QGroupBox", "QCheckBox", "QMenu"})
            QCOMPARE(QApplication::font(kind), graph::ProgramFont());
        QApplication::setFont(themed);
        QCOMPARE(QApplication::font(), graph::ProgramFont());
        QCOMPARE(QApplication::font("QGroupBox"), graph::ProgramFont());
        app::MainWindow themedWindow;
        for (auto* group : themedWindow.findChildren<QGroupBox*>())
            QVERIFY2(group->font() == graph::ProgramFont(), qPrintable(group->title()));
        widgets::GroupFrame caption("MICROWAVE");
        caption.setFont(themed);
        QVERIFY(caption.minimumSizeHint().width() >= QFontMetrics(themed).horizontalAdvance("MICROWAVE"));
    }

    // A group box keeps only the strips of its frame and caption, and draws what the style draws for the
    // whole frame on a picture of its own: whole, or a part of it (a change under a label), with and
    // without a caption, also after a new size.
    void groupFramesDrawWhatTheStyleDraws() {
        struct StyledBox : QGroupBox {
            using QGroupBox::initStyleOption;
            using QGroupBox::QGroupBox;
        };
        // The frame the style draws on a transparent picture of the box's size, over the window's colour.
        auto whole = [](StyledBox& box, const QRect& part) {
            const qreal ratio = box.devicePixelRatioF();
            QImage picture(box.size() * ratio, QImage::Format_ARGB32_Premultiplied);
            picture.setDevicePixelRatio(ratio);
            picture.fill(Qt::transparent);
            QStyleOptionGroupBox option;
            box.initStyleOption(&option);
            QPainter frame(&picture);
            widgets::PaintLikeWidget(frame, &box);
            box.style()->drawComplexControl(QStyle::CC_GroupBox, &option, &frame, &box);
            frame.end();
            QImage shown(part.size() * ratio, QImage::Format_RGB32);
            shown.setDevicePixelRatio(ratio);
            shown.fill(box.palette().color(QPalette::Window));
            QPainter(&shown).drawImage(QPoint(0, 0), picture, QRectF(part.topLeft() * ratio, part.size() * ratio));
            return shown;
        };
        const struct {
            const char* caption;
            QSize size, later;
            QRect part; // asked again on its own
        } cases[] = {{"MICROWAVE", {246, 322}, {300, 200}, {5, 100, 60, 40}},
                     {"", {36, 262}, {20, 20}, {0, 0, 36, 30}},
                     {"Tecnologies", {91, 107}, {8, 8}, {2, 2, 51, 30}}};
        for (const auto& c : cases) {
            QWidget window;
            auto* frame = new widgets::GroupFrame(QString::fromLatin1(c.caption), &window);
            auto* styled = new StyledBox(QString::fromLatin1(c.caption), &window);
            for (const QSize size : {c.size, c.later}) {
                frame->resize(size);
                styled->resize(size);
                QCOMPARE(frame->grab().toImage().convertToFormat(QImage::Format_RGB32), whole(*styled, styled->rect()));
                if (const QRect part = c.part & styled->rect(); !part.isEmpty())
                    QCOMPARE(frame->grab(part).toImage().convertToFormat(QImage::Format_RGB32), whole(*styled, part));
            }
        }
    }

    // The LOGS tab's pop-up: Copy (the cells chosen, else all) and Export CSV..., written whole.
    void eventMemoryCopiedAndExported() {
        widgets::StringGrid* g = mainWindow->eventGrid();
        g->setCell(1, 1, "Alarm");
        g->setCell(2, 1, "512");
        g->setCell(1, 2, "Note, \"quoted\"");
        child<QAction>(mainWindow, "CopyLogs1")->trigger();
        QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), g->RowCount());
        QVERIFY(lines[0].startsWith(QString::fromUtf8("Num\u00b0\tALLARM\tMax MW")));
        QVERIFY(lines[1].startsWith("1\tAlarm\t512\t"));
        g->setRangeSelected(QTableWidgetSelectionRange(0, 0, 0, 1), true);
        // The detector's next event memory does not change what was chosen.
        std::array<std::uint8_t, protocol::frames::EventLogRecordSize> memory{};
        monitor::ShowEventLog(*g, memory.data());
        child<QAction>(mainWindow, "CopyLogs1")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("Alarm\t512"));
        g->selectAll(); // (Ctrl+A): the whole grid, with its headings
        child<QAction>(mainWindow, "CopyLogs1")->trigger();
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QString::fromUtf8("Num\u00b0\tALLARM")));
        g->clearSelection();
        QTemporaryDir dir;
        QString chosen = dir.filePath("events");
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
        child<QAction>(mainWindow, "ExportLogs1")->trigger();
        QFile csv(dir.filePath("events.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        lines = QString::fromUtf8(csv.readAll()).split("\r\n");
        QCOMPARE(lines.size(), g->RowCount() + 1); // and the last line's end
        QVERIFY(lines[1].startsWith("1,Alarm,512,"));
        QVERIFY(lines[2].startsWith("2,\"Note, \"\"quoted\"\"\","));
        QVERIFY(mainWindow->Notice().contains(csv.fileName()));
        chosen = dir.filePath("no such folder/events.csv");
        child<QAction>(mainWindow, "ExportLogs1")->trigger();
        QCOMPARE(said.size(), 1);
        QVERIFY(said[0].startsWith("The event memory could not be written"));
        dialogs::SetFileDialogHandler({});
    }
};

// An exception escaping a handler is reported, and the program goes on.
class TestApplication : public QObject {
    Q_OBJECT
  private slots:
    void escapedExceptionsAreReported() {
        QStringList shown;
        auto previous = dialogs::SetMessageHandler([&](QWidget*, const QString& t) { shown << t; });
        QTimer::singleShot(0, [] { throw std::runtime_error("the handler failed"); });
        QTRY_COMPARE(shown, QStringList{"the handler failed"});
        dialogs::SetMessageHandler(previous);
    }
};

int main(int argc, char** argv) {
    dialogs::OstrevoApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    TestMainWindow t;
    TestApplication a;
    return QTest::qExec(&t, argc, argv) | QTest::qExec(&a, argc, argv);
}
#include "test_mainwindow.moc"
