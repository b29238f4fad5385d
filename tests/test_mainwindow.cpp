// The main window: its composition, start state, fades, Exit and keyboard access.
#include "app/Application.h"
#include "app/Main.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"
#include "widgets/GaugeBar.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/StringGrid.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
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
    TMee* mee = nullptr;
    int exitCode = -1;
    QStringList said;

  private slots:
    void init() {
        mee = new TMee;
        exitCode = -1;
        mee->setEndProcess([this](int code) { exitCode = code; });
        // No box may wait for a click: what the window says is kept here.
        said.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { said << t; });
    }
    void cleanup() {
        dialogs::SetMessageHandler({});
        delete mee;
    }

    void windowFrame() {
        QCOMPARE(mee->windowTitle(), QString("Ostrevo SetUp"));
        QCOMPARE(mee->objectName(), QString("Mee"));
        QCOMPARE(mee->width(), 1009);
        QCOMPARE(mee->height() - mee->menuBar()->sizeHint().height(), 404);
        QCOMPARE(mee->minimumSize(), mee->size()); // the design's size is the least; larger is fine
        QCOMPARE(child<QToolBar>(mee, "ActionMainMenuBar1")->height(), 35);
        QCOMPARE(mee->statusBar()->objectName(), QString("StatusBar_form"));
        QCOMPARE(mee->statusBar()->height(), 22);
        QCOMPARE(mee->PageControl1->count(), 2);
        QCOMPARE(mee->PageControl1->tabText(0), QString("VIEW"));
        QCOMPARE(mee->PageControl1->tabText(1), QString("LOGS"));
        QCOMPARE(mee->PageControl1->currentIndex(), 0);
        QCOMPARE(mee->Timer1->interval(), 1);
        QCOMPARE(mee->Timer2->interval(), 10);
        QVERIFY(!mee->Timer1->isActive());
        QVERIFY(!mee->Timer2->isActive());
    }

    void startStateOfActionsAndStatusBar() {
        QVERIFY(mee->Action1->isEnabled());
        QVERIFY(!mee->Action2->isEnabled());
        QVERIFY(!mee->Action4->isEnabled());
        QVERIFY(mee->FileOpen1->isEnabled() && mee->FileSaveAs1->isEnabled());
        QVERIFY(mee->Action3->isEnabled() && mee->Action5->isEnabled());
        QCOMPARE(mee->Action2->text(), QString("Connect"));
        QCOMPARE(mee->statusPanel(0)->text(), QString("Disconnect"));
        QCOMPARE(mee->statusPanel(1)->text(), QString("COM:"));
        const int widths[] = {100, 400, 200, 50};
        for (int i = 0; i < 4; ++i) QCOMPARE(mee->statusPanel(i)->width(), widths[i]);
        QCOMPARE(mee->ProgressBar_serial->parentWidget(), mee->statusPanel(2));
        QCOMPARE(mee->ProgressBar_serial->value(), 0);
        QCOMPARE(mee->ProgressBar_serial->maximum(), 100);
        QCOMPARE(mee->FileOpen1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    }

    void actionBarItemsInOrderWithSeparators() {
        auto* bar = child<QToolBar>(mee, "ActionMainMenuBar1");
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
        auto* commSetup = child<QAction>(mee, "CommSetup1");
        auto* connect1 = child<QAction>(mee, "Connect1");
        auto* load = child<QAction>(mee, "LoadConfig1");
        QVERIFY(commSetup && connect1 && load && child<QAction>(mee, "SaveConfig1") &&
                child<QAction>(mee, "StoreToFlash1"));
        QCOMPARE(commSetup->text(), QString("S&tore To Flash"));
        QVERIFY(!commSetup->isEnabled());
        QVERIFY(load->text().startsWith("&Open..."));
        // A bound item's own enabled state can be set directly, and follows the next action change.
        mee->Action4->setEnabled(true);
        QVERIFY(commSetup->isEnabled());
        commSetup->setEnabled(false);
        QVERIFY(mee->Action4->isEnabled());
        mee->Action4->setEnabled(false);
        mee->Action4->setEnabled(true);
        QVERIFY(commSetup->isEnabled());
        // The action bar item takes a new caption of its action and keeps its mnemonic.
        mee->Action2->setText("Disconnect");
        QCOMPARE(connect1->text(), QString("Disconnect"));
        QCOMPARE(child<QToolButton>(mee, "ActionItem_Connect")->text(), QString("Disco&nnect"));
        // Running the item runs the action (which, with no detector connected, says so).
        QSignalSpy ran(mee->FileOpen1, &QAction::triggered);
        load->trigger();
        QCOMPARE(ran.count(), 1);
        QCOMPARE(said.size(), 1);
    }

    void mnemonicsRunTheActionBar() {
        mee->show();
        mee->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(mee));
        QSignalSpy openRan(mee->FileOpen1, &QAction::triggered);
        QSignalSpy graphRan(mee->Action5, &QAction::triggered);
        // A mnemonic presses its button visibly, so the click comes a moment later.
        QTest::keyClick(mee, Qt::Key_O, Qt::AltModifier);
        QTest::keyClick(mee, Qt::Key_V, Qt::AltModifier);
        QTRY_COMPARE(openRan.count(), 1);
        QTRY_COMPARE(graphRan.count(), 1);
        QTest::keyClick(mee, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(openRan.count(), 2);
        // Ctrl+F opens the File menu.
        QTest::keyClick(mee, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(mee->menuBar()->activeAction(), mee->menuBar()->actions().first());
        QTest::keyClick(mee->menuBar(), Qt::Key_Escape);
        // Disabled items do not run: Connect waits for a port.
        QSignalSpy connectRan(mee->Action2, &QAction::triggered);
        QTest::keyClick(mee, Qt::Key_N, Qt::AltModifier);
        QTest::qWait(300);
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
        for (QAction* a : mee->menuBar()->actions()) {
            altKeys << a->text();
            if (QMenu* menu = a->menu()) {
                QList<QString> items;
                for (QAction* item : menu->actions())
                    if (!item->isSeparator()) items << item->text();
                check(a->text(), items);
            }
        }
        for (auto* button : child<QToolBar>(mee, "ActionMainMenuBar1")->findChildren<QToolButton*>())
            altKeys << button->text();
        check("menu bar and action bar", altKeys);
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join("; ")));
    }

    // The window grows, and a larger height shows the whole SETUP box; a screen smaller than the
    // design (a display scale of 2 on 1600 x 1000: 800 x 500 for the program) gets a window that fits.
    void theWindowGrowsAndFits() {
        mee->show();
        QVERIFY(QTest::qWaitForWindowExposed(mee));
        auto* setup = child<QScrollArea>(mee, "ScrollBox_Setup");
        QVERIFY(setup->verticalScrollBar()->maximum() > 0); // at the design's size, it scrolls
        mee->resize(1920, 1040);                            // maximised on a full-HD screen
        QTest::qWait(50);
        QTRY_COMPARE(setup->verticalScrollBar()->maximum(), 0);
        QVERIFY(child<QWidget>(mee, "MW")->width() > 246);
        const QSize design(1009, 404 + mee->menuBar()->sizeHint().height());
        const QSize frame(8, 32);
        for (const QRect& area : {QRect(0, 0, 1920, 1040), QRect(0, 0, 800, 500), QRect(-1600, 0, 914, 571)}) {
            const QRect placed = PlaceOnScreen(area, design, design, frame);
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
        auto* t = mee->findChild<TrackBar*>(track);
        QVERIFY(t);
        QCOMPARE(t->orientation(), Qt::Vertical);
        QCOMPARE(t->minimum(), 10);
        QCOMPARE(t->maximum(), trangeMax);
        QCOMPARE(t->value(), trangeMax); // thumb at the bottom: value 10 is sent
        QCOMPARE(t->singleStep(), 10);
        QCOMPARE(t->tickInterval(), 16);
        QCOMPARE(t->SelEnd(), trangeMax);
        QVERIFY(t->invertedAppearance()); // minimum at the top
        auto* tc = mee->findChild<GaugeBar*>(tconv);
        QCOMPARE(tc->maximum(), tconvMax);
        QCOMPARE(tc->value(), 8);
        auto* nc = mee->findChild<GaugeBar*>(QString(tconv).replace("Tconv", "Nconv"));
        QCOMPARE(nc->value(), nconvStart);
        auto* np = mee->findChild<GaugeBar*>(QString(tconv).replace("Tconv", "NPulse"));
        QCOMPARE(np->minimum(), 1);
        QCOMPARE(np->maximum(), 5);
        QCOMPARE(np->value(), 1);
        auto* b = mee->findChild<LevelBar*>(bar);
        QCOMPARE(b->orientation(), Qt::Vertical);
        QCOMPARE(b->maximum(), 700);
    }

    void everyNamedControlExistsWithItsVisibility() {
        mee->show();
        QVERIFY(QTest::qWaitForWindowExposed(mee));
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
            auto* w = child<QWidget>(mee, name);
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
            auto* w = child<QWidget>(mee, name);
            QVERIFY2(w, name);
            QVERIFY2(!w->isVisible(), name);
        }
        // The value labels sit in their small status bars.
        QCOMPARE(child<QLabel>(mee, "Label_MW_TRange")->parentWidget()->objectName(), QString("StatusBar1"));
        QCOMPARE(child<QLabel>(mee, "Label13")->parentWidget()->objectName(), QString("StatusBar4"));
        QCOMPARE(child<QLabel>(mee, "Label_Pir2_TRange")->text(), QString("0000"));
        // Group widths of the design, at the least.
        QVERIFY(child<QGroupBox>(mee, "MW")->width() >= 246 && child<QGroupBox>(mee, "SETUP")->width() >= 218);
        QCOMPARE(child<QGroupBox>(mee, "NTC")->width(), 46);
        QCOMPARE(child<QGroupBox>(mee, "PIR1")->title(), QString("HIGH ABOVE  PIROELETTRIC"));
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
            auto* box = child<QCheckBox>(mee, b.name);
            QVERIFY2(box, b.name);
            QCOMPARE(box->text(), QString(b.caption));
            QVERIFY(!box->isChecked());
            QVERIFY(box->isEnabled());
        }
        for (int n = 1; n <= 3; ++n) {
            auto* func = mee->findChild<RadioGroup*>(QString("RadioGroup_FuncOut%1").arg(n));
            QVERIFY(func);
            QCOMPARE(func->title(), QString("Function"));
            QCOMPARE(func->count(), 5);
            QCOMPARE(func->itemText(3), QString(n == 1 ? "Mask #1-# 2" : "Mask #1-#2"));
            QCOMPARE(func->ItemIndex(), -1);
            QVERIFY(!func->isEnabled());
            auto* nc = mee->findChild<RadioGroup*>(QString("RadioGroup_NCOut%1").arg(n));
            QCOMPARE(nc->title(), QString("OUT #%1").arg(n));
            QCOMPARE(nc->itemText(1), QString("NO"));
            QVERIFY(!nc->isEnabled());
            QVERIFY(mee->findChild<QCheckBox*>(QString("CheckBox_Out%1Enable").arg(n))->isEnabled());
            for (const char* tech : {"Mw", "Pir1", "Pir2"})
                QVERIFY(!mee->findChild<QCheckBox*>(QString("CheckBox_Out%1%2").arg(n).arg(tech))->isEnabled());
            QCOMPARE(mee->findChild<Lamp*>(QString("Shape_Out%1State").arg(n))->brushColor(), QColor(128, 128, 128));
        }
        auto* timeAnd1 = child<GaugeBar>(mee, "ScrollBar_TimeAnd1");
        QCOMPARE(timeAnd1->orientation(), Qt::Horizontal);
        QCOMPARE(timeAnd1->maximum(), 10);
        QCOMPARE(child<GaugeBar>(mee, "ScrollBar_TimeAnd2")->maximum(), 5);
        QCOMPARE(child<GaugeBar>(mee, "ScrollBar_PWM_Dc")->value(), 160);
        QCOMPARE(child<GaugeBar>(mee, "ScrollBar_PWM_Fq")->value(), 1600);
        QCOMPARE(child<LevelBar>(mee, "ProgressBar_acc_X")->minimum(), -127);
        QCOMPARE(child<LevelBar>(mee, "ProgressBar_acc_Z")->maximum(), 128);
        QCOMPARE(child<LevelBar>(mee, "ProgressBar_Temperatura")->minimum(), -30);
        QCOMPARE(child<LevelBar>(mee, "ProgressBar_Acc1Noise")->maximum(), 200);
        QCOMPARE(child<LevelBar>(mee, "ProgressBar_Acc2Noise")->maximum(), 400);
        QCOMPARE(child<LevelBar>(mee, "ProgressBar_Mask")->maximum(), 750);
        auto* lens = child<QComboBox>(mee, "ComboBox_Pir2_Lens");
        QCOMPARE(lens->count(), 4);
        QCOMPARE(lens->currentText(), QString("User"));
        QCOMPARE(lens->itemText(2), QString("Horizontal Curtain"));
        QCOMPARE(child<Lamp>(mee, "Shape_DiagnosticOn")->brushColor(), QApplication::palette().color(QPalette::Button));
        for (const char* lamp : {"Shape_LedPowerFail", "Shape_LedMwFault", "Shape_LedPir1Fault", "Shape_LedPir2Fault",
                                 "Shape_LedCPUFault", "Shape_OutTamper", "Shape_Mw"})
            QCOMPARE(child<Lamp>(mee, lamp)->brushColor(), QColor(128, 128, 128));
    }

    void levelBarsClampOutOfRangeValues() {
        auto* acc = child<LevelBar>(mee, "ProgressBar_acc_X");
        acc->setPosition(50);
        acc->setPosition(-128);
        QCOMPARE(acc->value(), -127); // empty, not stuck at the last value
        auto* temp = child<LevelBar>(mee, "ProgressBar_Temperatura");
        temp->setPosition(100);
        QCOMPARE(temp->value(), 70);
    }

    void radioGroupItemIndexFromCode() {
        auto* func = child<RadioGroup>(mee, "RadioGroup_FuncOut2");
        QSignalSpy changed(func, &RadioGroup::itemIndexChanged);
        func->setItemIndex(3);
        QCOMPARE(func->ItemIndex(), 3);
        func->setItemIndex(3); // no change, no signal
        func->setItemIndex(-1);
        QCOMPARE(func->ItemIndex(), -1);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toInt(), -1);
    }

    void logGridIsLabelledAndClears() {
        StringGrid* g = mee->StringGrid1;
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
        auto* clear = child<QAction>(mee, "Clear1");
        QCOMPARE(clear->text(), QString("Clear Logs"));
        clear->trigger();
        QCOMPARE(g->cell(4, 7), QString());
        QCOMPARE(g->cell(2, 0), QString("Max MW"));
        QCOMPARE(g->cell(0, 4), QString("4 "));
    }

    void firstArmedRequestIsTheStatusPoll() {
        mee->show();
        QCOMPARE(mee->link().PollRequest.code(), 8);
        QCOMPARE(mee->link().PollRequest.ExpectedReplyLength(), 64);
        QCOMPARE(mee->link().PollRequest.bytes()[4], 0xF8);
    }

    void fadeInRunsFiftyOneStepsAndStopsAt250() {
        QCOMPARE(mee->AppliedAlpha(), 0); // transparent from creation
        mee->show();
        QVERIFY(mee->FadeIn());
        QVERIFY(mee->Timer1->isActive());
        mee->Timer1->stop();
        QList<int> applied;
        int steps = 0;
        mee->Timer1->start();
        while (mee->Timer1->isActive() && steps < 100) {
            mee->Timer1Timer();
            applied << mee->AppliedAlpha();
            ++steps;
        }
        QCOMPARE(steps, 51);
        QCOMPARE(applied.front(), 0);
        QCOMPARE(applied.back(), 250);
        QCOMPARE(exitCode, -1);
    }

    void closeButtonFadesOutAndEndsWithZero() {
        mee->show();
        QVERIFY(QTest::qWaitForWindowExposed(mee));
        mee->Timer2->start();
        QVERIFY(!mee->close()); // refused: the window stays
        QVERIFY(mee->isVisible());
        QVERIFY(!mee->Timer2->isActive());
        QVERIFY(!mee->FadeIn());
        QTRY_COMPARE_WITH_TIMEOUT(exitCode, 0, 5000);
        QCOMPARE(mee->AppliedAlpha(), 5);
    }

    void exitTwiceRestartsTheFadeFrom255() {
        mee->show();
        mee->Action1->trigger();
        mee->Timer1Timer();
        mee->Timer1Timer();
        QCOMPARE(mee->FadeAlpha(), 245);
        QVERIFY(!mee->close());
        QCOMPARE(mee->FadeAlpha(), 255);
        int steps = 0;
        while (mee->Timer1->isActive()) {
            mee->Timer1Timer();
            ++steps;
        }
        QCOMPARE(steps, 51);
        QCOMPARE(exitCode, 0);
    }

    void exitHidesThePortDialog() {
        TFormCom formCom(mee);
        TGraphics graphics(mee);
        mee->setCompanions(&formCom, &graphics);
        mee->Action3->trigger();
        QVERIFY(formCom.isVisible());
        mee->Action5->trigger();
        QVERIFY(graphics.isVisible());
        mee->Action1->trigger();
        QVERIFY(!formCom.isVisible());
        QVERIFY(graphics.isVisible());
    }

    void nothingIsClipped() {
        mee->show();
        QVERIFY(QTest::qWaitForWindowExposed(mee));
        QStringList clipped;
        for (auto* w : mee->findChildren<QWidget*>()) {
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
        auto* setup = child<QScrollArea>(mee, "ScrollBox_Setup");
        QVERIFY(setup->widget()->minimumSizeHint().width() <= setup->viewport()->width());
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
    OstrevoApplication app(argc, argv);
    RegisterProgramFonts();
    QApplication::setFont(ProgramFont());
    TestMainWindow t;
    TestApplication a;
    return QTest::qExec(&t, argc, argv) | QTest::qExec(&a, argc, argv);
}
#include "test_mainwindow.moc"
