// The whole program on Windows under wine (offscreen), against the Linux virtual detector on a pseudo-terminal
// mapped to COM5 (ostrevo-line-peer --sim): Connect reads the parameters back, a change sends one settings
// frame and reads back, damaged replies and a silent detector end in "Error Time Out" with the error log
// written in the program's own place, and the settings go to their file.
#include "GuiTestMain.h"
#include "LinePeerClient.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "errorlog/ErrorLog.h"
#include "errorlog/StateFolder.h"
#include "graph/GraphWindow.h"
#include "protocol/ParameterBlock.h"
#include "remembered/ProgramSettingsFile.h"
#include "seriallink/PortDialog.h"
#include "widgets/GaugeBar.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>

namespace {

// The virtual detector's counts: "ok status | replies 12, settings frames 1, bytes discarded 0".
int settingsFrames(LinePeerClient& peer) {
    const QString answer = peer.command(QStringLiteral("sim status"));
    const qsizetype at = answer.indexOf(QLatin1String("settings frames "));
    return at < 0 ? -1 : answer.mid(at + 16).section(QLatin1Char(','), 0, 0).toInt();
}

QByteArray fileBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The program's three windows as at start-up, its messages kept for the test, its error log where the
// program itself keeps it.
struct RunningProgram {
    std::vector<QString> messages;
    dialogs::MessageHandler previous;
    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();

    RunningProgram() {
        previous = dialogs::SetMessageHandler([this](QWidget*, const QString& t) { messages.push_back(t); });
        // Exit with a change not stored asks: "Don't Store".
        dialogs::SetChoiceHandler([](QWidget*, const QString&, const QStringList& buttons) {
            return int(buttons.indexOf(QStringLiteral("Don't Store")));
        });
        mainWindow.setEndProcess([](int) {});
        mainWindow.show();
        portDialog.timeoutBar()->setValue(60);
    }
    ~RunningProgram() {
        mainWindow.exitAction()->trigger(); // Exit: closes the port
        dialogs::SetMessageHandler(previous);
        dialogs::SetChoiceHandler({});
    }
    void connect() {
        portDialog.portCombo()->setEditText(QStringLiteral("COM5"));
        mainWindow.connectAction()->trigger();
    }
    seriallink::PollCycle& link() { return mainWindow.link(); }
};

} // namespace

class TestProgramWin32 : public QObject {
    Q_OBJECT
    LinePeerClient peer_;

  private slots:
    void initTestCase() {
        QVERIFY2(peer_.connected(), "no control port: run under ostrevo-line-peer --sim");
        QVERIFY(peer_.command(QStringLiteral("sim help")).startsWith(QLatin1String("ok help")));
    }

    // COM5 is listed, and Connect's first exchange is the read-back: the controls show what the detector
    // holds before any status is polled, and the status polls follow.
    void connectReadsTheParametersBackThenPollsStatus() {
        RunningProgram p;
        QVERIFY(p.portDialog.portCombo()->findData(QStringLiteral("COM5")) >= 0);
        p.connect();
        QCOMPARE(p.link().pollRequest().bytes()[3], std::uint8_t(protocol::frames::ParameterReadBack));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().ParametersKnown(), 5000);
        QCOMPARE(p.mainWindow.view().mw.trangeLabel->text(),
                 QString::number(protocol::params::DecodeRecord(p.link().stores().parameters).channels[0].trange));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 20, 5000);
        QCOMPARE(p.link().counters().LastReplyCode, std::uint8_t(protocol::frames::Status));
        QCOMPARE(p.link().counters().FailedExchanges, std::uint64_t(0));
        QVERIFY(p.messages.empty());
    }

    // A control moved by the user sends one settings frame; the detector's copy comes back and is shown.
    void aChangeWritesOneFrameAndReadsBack() {
        RunningProgram p;
        p.connect();
        QTRY_VERIFY_WITH_TIMEOUT(p.link().ParametersKnown() && p.link().counters().GoodReplies >= 3, 5000);
        const int before = settingsFrames(peer_);
        QVERIFY(before >= 0);
        const int wanted = p.mainWindow.view().mw.tconv->value() == 12 ? 13 : 12;
        p.mainWindow.view().mw.tconv->setValue(wanted);
        QTRY_COMPARE_WITH_TIMEOUT(settingsFrames(peer_), before + 1, 3000);
        // The read-back follows, and the status polls after it; nothing more is sent.
        QTRY_VERIFY_WITH_TIMEOUT(!p.link().ReadBackRequested() && p.link().ParametersKnown(), 3000);
        const auto good = p.link().counters().GoodReplies;
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies > good + 10, 3000);
        QCOMPARE(p.link().counters().LastReplyCode, std::uint8_t(protocol::frames::Status));
        QCOMPARE(settingsFrames(peer_), before + 1);
        QCOMPARE(int(protocol::params::DecodeRecord(p.link().stores().parameters).channels[0].tconv), wanted);
        QCOMPARE(p.mainWindow.view().mw.tconvLabel->text(), QString::number(wanted));
    }

    // Damaged replies are dropped; a run of six loses the link, and a silent detector does after the
    // retries: both say "Error Time Out" and add an entry to the error log, written in the program's own
    // place (%LOCALAPPDATA%\ostrevo-setup\ for a program outside a build tree).
    void damagedAndSilentRepliesEndInErrorTimeOut() {
        const struct {
            const char* command;
            const char* undo;
            const char* logged;
        } cases[] = {{"corrupt 1", "corrupt 0", "message: Frame check failed: checksum\r\n"},
                     {"silent 4000", "silent 0", "LenRX= 64 message: Timeout during operation\r\n"}};
        for (const auto& c : cases) {
            RunningProgram p;
            const std::string logPath = errorlog::ErrorLog::besideProgram().path();
            QVERIFY2(logPath.rfind(errorlog::StateFolder(), 0) == 0, logPath.c_str());
            const QByteArray logBefore = fileBytes(logPath);
            p.connect();
            QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 3, 5000);
            QVERIFY(peer_.command(QString::fromLatin1("sim ") + c.command).startsWith(QLatin1String("ok")));
            QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 8000);
            QVERIFY2(p.messages.front().startsWith(QLatin1String("Error Time Out\n")), qPrintable(p.messages.front()));
            QCOMPARE(p.link().State(), seriallink::LinkState::Halted);
            const QByteArray log = fileBytes(logPath);
            QVERIFY(log.startsWith(logBefore));
            QVERIFY2(log.mid(logBefore.size()).contains(c.logged), log.mid(logBefore.size()).constData());
            QVERIFY(peer_.command(QString::fromLatin1("sim ") + c.undo).startsWith(QLatin1String("ok")));
            // Connect again: polling resumes.
            const auto good = p.link().counters().GoodReplies;
            p.messages.clear();
            p.mainWindow.connectAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies > good + 3, 5000);
        }
    }

    // A port Windows does not know is said at OK, as Windows' port dialogs say it, and may be kept; a typed
    // port stays in the list.
    void aPortWindowsDoesNotKnowIsSaidAtOk() {
        RunningProgram p;
        QStringList asked;
        const auto previous = dialogs::SetQuestionHandler([&](QWidget*, const QString& text) {
            asked << text;
            return true; // keep it
        });
        p.portDialog.portCombo()->setEditText(QStringLiteral("COM77"));
        p.portDialog.okButton()->click();
        dialogs::SetQuestionHandler(previous);
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.front().startsWith(QLatin1String("Unable to open port COM77: ")), qPrintable(asked.front()));
        QVERIFY(p.portDialog.portCombo()->findData(QStringLiteral("COM77")) >= 0);
        p.mainWindow.connectAction()->trigger(); // and Connect says why it cannot be opened
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 3000);
        QVERIFY2(p.messages.front().contains(QLatin1String("There is no port \\\\.\\COM77")),
                 qPrintable(p.messages.front()));
    }

    // What the program remembers (here the port chosen with OK) goes to its settings file in the user's
    // application data, and comes back at the next start.
    void theSettingsGoToTheirFile() {
        remembered::UseProgramSettingsFile();
        const QString file = QSettings().fileName();
        QVERIFY2(file.endsWith(QLatin1String("/ostrevo-setup/ostrevo-setup.ini")) &&
                     file.contains(QLatin1String("AppData/Roaming"), Qt::CaseInsensitive),
                 qPrintable(file));
        {
            RunningProgram p;
            p.portDialog.rememberBetweenRuns();
            p.portDialog.portCombo()->setEditText(QStringLiteral("COM5"));
            p.portDialog.okButton()->click();
        }
        QVERIFY(QFile::exists(file));
        RunningProgram again;
        again.portDialog.rememberBetweenRuns();
        QCOMPARE(again.portDialog.SelectedPort(), QStringLiteral("COM5"));
    }
};

OSTREVO_GUI_TEST_MAIN(TestProgramWin32)
#include "test_program_win.moc"
