// The training detector of --demo: the real virtual detector started on a private link, commanded from
// the Demo menu and from a pipe, and gone with everything it made when the demo stops.
#include "GuiTestMain.h"
#include "app/Demo.h"
#include "app/DemoMenu.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#ifndef OSTREVO_SIM_PATH
#error "OSTREVO_SIM_PATH must name the ostrevo-detector-sim executable"
#endif

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Sets an environment variable for the lifetime of the object, then puts the old value back.
struct ScopedEnv {
    QByteArray name, old;
    bool had;
    ScopedEnv(const char* n, const QByteArray& value) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
        if (value.isNull()) qunsetenv(n);
        else qputenv(n, value);
    }
    ~ScopedEnv() {
        if (had) qputenv(name.constData(), old);
        else qunsetenv(name.constData());
    }
};

// The lines of the detector's answers that acknowledge commands, in order.
QStringList acknowledged(const QString& log) {
    QStringList commands;
    for (const QByteArray& line : readAll(log).split('\n'))
        if (line.startsWith("ok ")) commands << QString::fromUtf8(line.mid(3));
    return commands;
}

} // namespace

class TestDemo : public QObject {
    Q_OBJECT
  private slots:
    // Every entry of the Demo menu reaches the virtual detector as its commands: a plain entry each
    // time it is chosen, a checkable one as "on" when checked and "off" when cleared (one ticked at the
    // start, as the detector starts, is cleared first).
    void menuEntriesCommandTheDetector_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("expected");
        for (const app::DemoMenuEntry& entry : app::DemoMenuEntries())
            QTest::newRow(entry.name) << QString::fromLatin1(entry.name)
                                      << (entry.checkedAtStart ? entry.offCommands + entry.onCommands
                                                               : entry.onCommands + entry.offCommands);
    }

    void menuEntriesCommandTheDetector() {
        QFETCH(QString, name);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString log = dir.filePath("detector-sim.log");
        app::Demo demo;
        QString error;
        QVERIFY2(demo.Start(OSTREVO_SIM_PATH, log, error), qPrintable(error));
        QMenuBar bar;
        QMenu* help = bar.addMenu("&Help");
        help->setObjectName("Help1");
        QMenu* menu = demo.BuildMenu(&bar);
        QVERIFY(menu->isEnabled());
        QCOMPARE(bar.actions().indexOf(menu->menuAction()), 0); // before Help
        auto* action = menu->findChild<QAction*>(name);
        if (!action) // in a submenu
            for (QMenu* sub : menu->findChildren<QMenu*>())
                if ((action = sub->findChild<QAction*>(name))) break;
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        const bool checkedAtStart = action->isChecked();
        action->trigger();
        if (action->isCheckable()) {
            QCOMPARE(action->isChecked(), !checkedAtStart);
            action->trigger();
        }
        QTRY_COMPARE_WITH_TIMEOUT(acknowledged(log), expected, 5000);
        demo.Stop();
        QVERIFY(!menu->isEnabled()); // nothing to command any more
    }

    // Lines written to the program's standard input, when it is a pipe, reach the detector as well.
    void linesFromAPipeReachTheDetector() {
        QTemporaryDir dir;
        const QString log = dir.filePath("detector-sim.log");
        app::Demo demo;
        QString error;
        QVERIFY2(demo.Start(OSTREVO_SIM_PATH, log, error), qPrintable(error));
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        demo.ForwardInput(fds[0]);
        const QByteArray lines = "intruder\nnoise1 on\n\nnoise1 o";
        QCOMPARE(::write(fds[1], lines.constData(), lines.size()), lines.size());
        QTRY_COMPARE_WITH_TIMEOUT(acknowledged(log), QStringList({"intruder", "noise1 on"}), 5000);
        QCOMPARE(::write(fds[1], "ff\n", 3), 3); // the rest of a line that came in two pieces
        QTRY_COMPARE_WITH_TIMEOUT(acknowledged(log), QStringList({"intruder", "noise1 on", "noise1 off"}), 5000);
        demo.Stop();
        ::close(fds[1]);
        ::close(fds[0]);
    }

    // The link lies in a folder only its user can enter: under $XDG_RUNTIME_DIR when that is private,
    // else in the temporary folder; stopping removes the detector, its link and the folder.
    void privateLinkGoneAfterStop_data() {
        QTest::addColumn<int>("runtimeMode"); // -1: XDG_RUNTIME_DIR unset
        QTest::addColumn<bool>("underRuntime");
        QTest::newRow("private runtime folder") << 0700 << true;
        QTest::newRow("runtime folder others can enter") << 0755 << false;
        QTest::newRow("no runtime folder") << -1 << false;
    }

    void privateLinkGoneAfterStop() {
        QFETCH(int, runtimeMode);
        QFETCH(bool, underRuntime);
        QTemporaryDir runtime;
        QVERIFY(::chmod(runtime.path().toLocal8Bit().constData(), runtimeMode < 0 ? 0700 : runtimeMode) == 0);
        const ScopedEnv env("XDG_RUNTIME_DIR", runtimeMode < 0 ? QByteArray() : runtime.path().toLocal8Bit());
        app::Demo demo;
        QString error;
        QVERIFY2(demo.Start(OSTREVO_SIM_PATH, QString(), error), qPrintable(error));
        const QString port = demo.Port();
        const QString folder = demo.Folder();
        QCOMPARE(QFileInfo(port).path(), folder);
        QCOMPARE(folder.startsWith(runtime.path() + "/"), underRuntime);
        if (!underRuntime) QVERIFY2(folder.startsWith(QDir::tempPath() + "/"), qPrintable(folder));
        QCOMPARE(QFileInfo(folder).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                     QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::Permissions());
        QVERIFY(QFileInfo(port).isSymLink());
        QVERIFY(QFileInfo(QFileInfo(port).symLinkTarget()).exists()); // the pseudo-terminal
        const pid_t detector = static_cast<pid_t>(demo.ProcessId());
        QVERIFY(detector > 0);

        demo.Stop();
        QVERIFY(!demo.Running());
        QVERIFY(::kill(detector, 0) != 0); // ended and reaped
        QVERIFY(!QFileInfo(port).isSymLink());
        QVERIFY(!QFileInfo::exists(folder));
        demo.Stop(); // a second time does nothing
    }

    // A demo that cannot start says why and leaves nothing behind, whether the program waits for the
    // detector's port (Start) or shows its window meanwhile (Launch, then WhenReady from the event loop);
    // the virtual detector itself is ready either way.
    void startFailureIsExplained_data() {
        QTest::addColumn<QString>("simulator");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no virtual detector") << ""
                                             << "neither beside the program nor on the PATH";
        QTest::newRow("a program that is no detector") << "/bin/true"
                                                       << "/bin/true gave no port";
        QTest::newRow("a file that cannot run") << "/nonexistent/ostrevo-detector-sim"
                                                << "did not start";
        QTest::newRow("the virtual detector") << OSTREVO_SIM_PATH << "";
    }

    void startFailureIsExplained() {
        QFETCH(QString, simulator);
        QFETCH(QString, reason);
        QTemporaryDir runtime;
        QVERIFY(::chmod(runtime.path().toLocal8Bit().constData(), 0700) == 0);
        const ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        for (const bool waits : {true, false}) {
            app::Demo demo;
            QString error;
            bool started = false;
            if (waits) {
                started = demo.Start(simulator, QString(), error);
            } else if (demo.Launch(simulator, QString(), error)) {
                bool answered = false;
                demo.WhenReady([&](const QString& e) { error = e, answered = true; });
                QTRY_VERIFY_WITH_TIMEOUT(answered, 8000);
                started = error.isEmpty();
            }
            QCOMPARE(started, reason.isEmpty());
            QVERIFY2(error.contains(reason), qPrintable(error));
            QCOMPARE(demo.Running(), started);
            if (started) QVERIFY(QFileInfo(demo.Port()).isSymLink());
            demo.Stop();
            QCOMPARE(QDir(runtime.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     QStringList());
        }
    }
};

OSTREVO_GUI_TEST_MAIN(TestDemo)
#include "test_demo.moc"
