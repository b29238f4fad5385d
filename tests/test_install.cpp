// The program installed: where it writes (never beside itself, outside its build tree), its settings
// file, the siren found in the data folder, what it says about itself, and its training detector.
#include "app/About.h"
#include "app/QtNoise.h"
#include "errorlog/ErrorLog.h"
#include "monitor/Siren.h"
#include "remembered/ProgramSettingsFile.h"
#include "remembered/Remembered.h"
#include "widgets/WindowPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>

#ifndef OSTREVO_PROGRAM_PATH
#error "OSTREVO_PROGRAM_PATH must name the ostrevo-setup executable"
#endif
#ifndef OSTREVO_SIREN_WAV
#error "OSTREVO_SIREN_WAV must name the generated siren"
#endif
#ifndef OSTREVO_SIM_PATH
#error "OSTREVO_SIM_PATH must name the ostrevo-detector-sim executable"
#endif

namespace {

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Puts a SIREN1.WAV into folder (created as needed) and returns the file's path.
QString placeSiren(const QString& folder) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("SIREN1.WAV"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write("RIFF");
    return path;
}

// Sets an environment variable for the lifetime of the object, then puts the old value back.
struct ScopedEnv {
    QByteArray name, old;
    bool had;
    ScopedEnv(const char* n, const QByteArray& value) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
        if (value.isNull()) {
            qunsetenv(n);
        } else {
            qputenv(n, value);
        }
    }
    ~ScopedEnv() {
        if (had) {
            qputenv(name.constData(), old);
        } else {
            qunsetenv(name.constData());
        }
    }
};

// The ids of the running processes whose parent is pid.
QList<qint64> childrenOf(qint64 pid) {
    QList<qint64> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 id = entry.toLongLong(&number);
        if (!number) continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // "pid (name) state ppid ...": the name may hold blanks, so read after its closing parenthesis.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid) children << id;
    }
    return children;
}

// True while a process pid runs the given executable (a zombie no longer does).
bool runs(qint64 pid, const QString& executable) {
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly)) return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        if (line.mid(line.lastIndexOf(')') + 2, 1) == "Z") return false;
    }
    return cmdline.readAll().contains(executable.toLocal8Bit());
}

// Every file and folder below root, as paths relative to it.
QStringList filesBelow(const QString& root) {
    QStringList found;
    const QDir dir(root);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        found << info.fileName();
        if (info.isDir() && !info.isSymLink())
            for (const QString& below : filesBelow(info.filePath())) found << info.fileName() + "/" + below;
    }
    return found;
}

// The program installed under a prefix of a temporary folder as the package lays it out (bin/ with the
// program and its virtual detector, share/ostrevo-setup/ with the siren), with a home of its own: XDG folders for
// state, settings and the run time, and a terminal-less start with no display but the offscreen one.
struct InstalledProgram {
    QTemporaryDir root;
    QString prefix, bin, program, state, config, runtime;
    QProcess process;
    QByteArray out;

    InstalledProgram() {
        prefix = root.path() + "/prefix";
        bin = prefix + "/bin";
        program = bin + "/ostrevo-setup";
        state = root.path() + "/home/.local/state";
        config = root.path() + "/home/.config";
        runtime = root.path() + "/run";
        QDir().mkpath(bin);
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(OSTREVO_PROGRAM_PATH, program);
        QFile::copy(OSTREVO_SIM_PATH, bin + "/ostrevo-detector-sim");
        QDir().mkpath(prefix + "/share/ostrevo-setup");
        QFile::copy(OSTREVO_SIREN_WAV, prefix + "/share/ostrevo-setup/SIREN1.WAV");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root.path() + "/home");
        env.insert("XDG_STATE_HOME", state);
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        process.setProcessEnvironment(env);
        process.setProgram(program);
        process.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~InstalledProgram() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    // Waits for a line on stdout that holds text; returns that line (empty after the time limit).
    QString waitForLine(const QString& text, int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            out += process.readAllStandardOutput();
            for (const QByteArray& line : out.split('\n'))
                if (line.contains(text.toUtf8())) return QString::fromUtf8(line);
            if (process.state() == QProcess::NotRunning) break;
            process.waitForReadyRead(100);
        }
        return {};
    }
};

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
  private slots:
    void errorLogGoesToTheStateFolderWhenTheProgramFolderRefusesFiles() {
        // /proc takes no new file, not even from root (the tests may run as root, whom permission
        // bits do not stop).
        QVERIFY(!errorlog::LogFolderWritable("/proc/"));
        QTemporaryDir home;
        const std::string fallback = home.path().toStdString() + "/.local/state/ostrevo-setup/";
        const errorlog::ErrorLog log = errorlog::ErrorLog::firstWritable("/proc/", fallback);
        QCOMPARE(log.path(), fallback + "LogError.txt");
        QVERIFY(QFileInfo(QString::fromStdString(fallback)).isDir()); // created, with the folders above it
        log.LogError(nullptr, "written after all");
        QVERIFY(readAll(log.path()).contains("Error String:  written after all\r\n"));
    }

    void errorLogStaysBesideTheProgramWhenItCanBeWritten() {
        QTemporaryDir dir;
        const std::string first = dir.path().toStdString() + "/program";
        const std::string fallback = dir.path().toStdString() + "/state/ostrevo-setup";
        QVERIFY(QDir(dir.path()).mkdir("program"));
        QVERIFY(errorlog::LogFolderWritable(first));
        const errorlog::ErrorLog log = errorlog::ErrorLog::firstWritable(first, fallback);
        QCOMPARE(log.path(), first + "/LogError.txt");
        // Trying the folder leaves nothing behind, and the fallback is not made for nothing.
        QCOMPARE(QDir(QString::fromStdString(first)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(fallback)));
        // The running test's own folder (the build tree) can be written: the log stays there.
        QCOMPARE(errorlog::ErrorLog::besideProgram().path(), errorlog::ProgramFolder() + "LogError.txt");
    }

    // What makes a folder a build tree, where the program writes beside itself.
    void buildTreeIsRecognisedByCMakesCache_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("buildTree");
        QTest::newRow("build/") << "build/CMakeCache.txt"
                                << "build" << true;
        QTest::newRow("build/tests/") << "build/CMakeCache.txt build/tests/"
                                      << "build/tests" << true;
        QTest::newRow("an installation prefix") << "prefix/bin/ prefix/share/"
                                                << "prefix/bin" << false;
        QTest::newRow("two levels below the cache") << "build/CMakeCache.txt build/a/b/"
                                                    << "build/a/b" << false;
        QTest::newRow("a folder called CMakeCache.txt") << "build/CMakeCache.txt/"
                                                        << "build" << false;
        QTest::newRow("the system's folders") << ""
                                              << "/usr/bin" << false;
    }

    void buildTreeIsRecognisedByCMakesCache() {
        QFETCH(QString, layout);
        QFETCH(QString, folder);
        QFETCH(bool, buildTree);
        QTemporaryDir dir;
        for (const QString& item : layout.split(' ', Qt::SkipEmptyParts)) {
            const QString path = dir.path() + "/" + item;
            if (item.endsWith('/')) {
                QVERIFY(QDir().mkpath(path));
            } else {
                QVERIFY(QDir().mkpath(QFileInfo(path).path()));
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
            }
        }
        const QString where = folder.startsWith('/') ? folder : dir.path() + "/" + folder;
        QCOMPARE(errorlog::IsBuildTree(where.toStdString()), buildTree);
        if (!buildTree || ::geteuid() != 0) return;
        // A build tree that belongs to someone else is not written in, not even by root.
        QCOMPARE(::chown(where.toLocal8Bit().constData(), 65534, 65534), 0);
        QVERIFY(!errorlog::IsBuildTree(where.toStdString()));
    }

    // Installed under a prefix of its own (no build tree), the program writes its error log and its
    // virtual detector's log under XDG_STATE_HOME, and nothing beside itself.
    void installedProgramWritesOnlyInTheStateFolder() {
        InstalledProgram installed;
        installed.process.setArguments({"--demo"});
        installed.process.start();
        QVERIFY(installed.process.waitForStarted(5000));
        const QString connected = installed.waitForLine("which answers the polls", 20000);
        QVERIFY2(!connected.isEmpty(), installed.out.constData());
        // The detector goes quiet for longer than the program retries: "Error Time Out", whose box is
        // closed here by the end of the program, and then the log entry.
        installed.process.write("silent 3000\n");
        QVERIFY2(!installed.waitForLine("link to the virtual detector is down", 15000).isEmpty(),
                 installed.out.constData());
        installed.process.terminate();
        QVERIFY(installed.process.waitForFinished(10000));
        QFile log(installed.state + "/ostrevo-setup/LogError.txt");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains(" BuffRX[0]= "));
        QVERIFY(QFileInfo::exists(installed.state + "/ostrevo-setup/detector-sim.log"));
        QCOMPARE(filesBelow(installed.prefix),
                 QStringList({"bin", "bin/ostrevo-detector-sim", "bin/ostrevo-setup", "share", "share/ostrevo-setup",
                              "share/ostrevo-setup/SIREN1.WAV"}));
        // Its settings have the program's name.
        QVERIFY(!QFileInfo::exists(installed.config + "/Ostrevo"));
    }

    void errorLogThatCannotBeWrittenAnywhereIsReported() {
        const errorlog::ErrorLog log =
            errorlog::ErrorLog::firstWritable("/proc/", "/proc/no-such-state/ostrevo-setup/");
        QCOMPARE(log.path(), std::string("/proc/no-such-state/ostrevo-setup/LogError.txt"));
        QVERIFY_THROWS_EXCEPTION(errorlog::ELogWriteError, log.LogError(nullptr, "lost?"));
    }

    void stateFolderFollowsXdgStateHome() {
        QTemporaryDir dir;
        const ScopedEnv home("HOME", dir.path().toUtf8());
        {
            const ScopedEnv state("XDG_STATE_HOME", dir.path().toUtf8() + "/state");
            QCOMPARE(errorlog::StateLogFolder(), dir.path().toStdString() + "/state/ostrevo-setup/");
        }
        const std::string byDefault = dir.path().toStdString() + "/.local/state/ostrevo-setup/";
        {
            const ScopedEnv state("XDG_STATE_HOME", QByteArray());
            QCOMPARE(errorlog::StateLogFolder(), byDefault);
        }
        {
            // A relative path is not a valid XDG folder and is ignored.
            const ScopedEnv state("XDG_STATE_HOME", "relative/state");
            QCOMPARE(errorlog::StateLogFolder(), byDefault);
        }
    }

    void sirenBesideTheProgramFirstThenTheDataFolder() {
        QTemporaryDir dir;
        const QString beside = dir.path() + "/bin";
        const QString data = dir.path() + "/share/ostrevo-setup";
        QDir().mkpath(beside);
        QDir().mkpath(data);
        QCOMPARE(monitor::SirenFileLookup({beside, data}), QString());
        const QString installed = placeSiren(data);
        QCOMPARE(monitor::SirenFileLookup({beside, data}), installed);
        const QString own = placeSiren(beside);
        QCOMPARE(monitor::SirenFileLookup({beside, data}), own);
        // A folder of that name is no sound.
        QVERIFY(QFile::remove(own));
        QVERIFY(QDir(beside).mkdir(QStringLiteral("SIREN1.WAV")));
        QCOMPARE(monitor::SirenFileLookup({beside, data}), installed);
    }

    void sirenFoldersOfAnInstallation() {
        const QStringList folders = monitor::SirenFolders();
        QVERIFY(folders.size() >= 2);
        QCOMPARE(folders[0], QCoreApplication::applicationDirPath());
        // bin/ostrevo-setup finds ../share/ostrevo-setup, wherever the prefix was moved to.
        QCOMPARE(folders[1], QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/ostrevo-setup"));
        QVERIFY2(folders.contains(QStringLiteral(OSTREVO_TEST_DATA_DIR)), qPrintable(folders.join(' ')));
    }

    void sirenFoundInTheXdgDataFolders() {
        QTemporaryDir dir;
        const ScopedEnv dataHome("XDG_DATA_HOME", dir.path().toUtf8() + "/home-data");
        const ScopedEnv dataDirs("XDG_DATA_DIRS", dir.path().toUtf8() + "/system-data");
        QVERIFY(!monitor::SirenFolders().contains(dir.path() + "/system-data/ostrevo-setup"));
        const QString installed = placeSiren(dir.path() + "/system-data/ostrevo-setup");
        QVERIFY2(monitor::SirenFolders().contains(dir.path() + "/system-data/ostrevo-setup"),
                 qPrintable(monitor::SirenFolders().join(' ')));
        if (monitor::SirenFileLookup() != installed) {
            // Only a siren earlier in the order (beside the test, or installed on this machine) may win.
            QVERIFY(!monitor::SirenFileLookup().isEmpty());
            QVERIFY(monitor::SirenFolders().indexOf(QFileInfo(monitor::SirenFileLookup()).path()) <
                    monitor::SirenFolders().indexOf(dir.path() + "/system-data/ostrevo-setup"));
            QSKIP("a siren is installed on this machine ahead of the test's own");
        }
        // The program's siren, made without a folder, plays that file.
        const monitor::Siren siren;
        QVERIFY(siren.Available());
        QCOMPARE(siren.FilePath(), installed);
    }

    // The installed program speaks of itself; the build tree's of its scripts.
    void helpSpeaksToItsReader_data() {
        QTest::addColumn<bool>("inBuildTree");
        QTest::newRow("installed") << false;
        QTest::newRow("build tree") << true;
    }

    void helpSpeaksToItsReader() {
        QFETCH(bool, inBuildTree);
        for (const QString& text : {app::UsageText(inBuildTree), app::NoDisplayText(inBuildTree)}) {
            QCOMPARE(text.contains("scripts/"), inBuildTree);
            QCOMPARE(text.contains("source tree") || text.contains("scripts/run"), inBuildTree);
        }
        const QString usage = app::UsageText(inBuildTree);
        QVERIFY(usage.contains("--demo"));
        QVERIFY(usage.contains("dialout"));
        QVERIFY(usage.contains("$XDG_STATE_HOME/ostrevo-setup/"));
        QCOMPARE(usage.contains("ostrevo-setup.conf"), !inBuildTree);
        QCOMPARE(app::NoDisplayText(inBuildTree).contains("ostrevo-setup --demo"), !inBuildTree);

        // The real program, copied into a prefix of its own, answers as an installed program.
        if (inBuildTree) return;
        InstalledProgram installed;
        installed.process.setArguments({"--help"});
        installed.process.start();
        QVERIFY(installed.process.waitForFinished(10000));
        QCOMPARE(installed.process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(installed.process.readAllStandardOutput()), usage);
    }

    // --demo starts the virtual detector on a link in a private folder and ends both with the program,
    // whichever way it is told to stop: no process, link or folder is left behind.
    void demoEndsItsDetectorWithTheProgram_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void demoEndsItsDetectorWithTheProgram() {
        QFETCH(int, signal);
        InstalledProgram installed;
        installed.process.setArguments({"--demo"});
        installed.process.start();
        QVERIFY(installed.process.waitForStarted(5000));
        const QString started = installed.waitForLine("the virtual detector is on ", 10000);
        QVERIFY2(!started.isEmpty(), installed.out.constData());
        const QRegularExpressionMatch on = QRegularExpression("is on (\\S+);").match(started);
        QVERIFY(on.hasMatch());
        const QString link = on.captured(1);
        const QString folder = QFileInfo(link).path();
        QVERIFY2(folder.startsWith(installed.runtime + "/"), qPrintable(link));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeGroup |
                                                    QFile::ExeOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        QVERIFY(!installed.waitForLine("which answers the polls", 20000).isEmpty());
        QList<qint64> detectors;
        for (qint64 child : childrenOf(installed.process.processId()))
            if (runs(child, "ostrevo-detector-sim")) detectors << child;
        QCOMPARE(detectors.size(), 1);

        ::kill(static_cast<pid_t>(installed.process.processId()), signal);
        QVERIFY(installed.process.waitForFinished(10000));
        QCOMPARE(installed.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(installed.process.exitCode(), 128 + signal);
        QVERIFY(!runs(detectors[0], "ostrevo-detector-sim"));
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(filesBelow(installed.runtime), QStringList());
    }

    // A demo killed without a word (SIGKILL) leaves its private folder; the next demo of the same user
    // removes it, and any other whose demo has gone, but not the folder of a demo that still runs, nor
    // one that holds anything a demo does not leave, nor one whose name a demo does not make. Each says
    // where its detector is and where its answers go.
    void aDemoClearsWhatKilledDemosLeft() {
        InstalledProgram killed, running, next;
        for (InstalledProgram* p : {&running, &next}) { // all three in the same run-time folder
            QProcessEnvironment env = p->process.processEnvironment();
            env.insert("XDG_RUNTIME_DIR", killed.runtime);
            p->process.setProcessEnvironment(env);
        }
        auto start = [](InstalledProgram& p) {
            p.process.setArguments({"--demo"});
            p.process.start();
            const QString line = p.waitForLine("the virtual detector is on ", 10000);
            const QRegularExpressionMatch on = QRegularExpression("is on (\\S+); its answers go to (.*)$").match(line);
            return on.hasMatch() ? std::pair(QFileInfo(on.captured(1)).path(), on.captured(2)) : std::pair(line, line);
        };
        const auto [killedFolder, killedLog] = start(killed);
        QCOMPARE(killedLog, killed.state + "/ostrevo-setup/detector-sim.log");
        QVERIFY2(QFileInfo(killedFolder).isDir(), qPrintable(killedFolder));
        QVERIFY2(QFileInfo(killedFolder + "/lock").isFile() && !QFileInfo::exists(killedFolder + "/lock.new"),
                 qPrintable(filesBelow(killedFolder).join(' ')));

        const auto [runningFolder, runningLog] = start(running);
        QVERIFY2(QFileInfo(runningFolder).isDir(), qPrintable(runningFolder));
        QVERIFY(QFileInfo(killedFolder).isDir()); // its demo still runs
        ::kill(static_cast<pid_t>(killed.process.processId()), SIGKILL);
        QVERIFY(killed.process.waitForFinished(5000));
        QVERIFY(QFileInfo(killedFolder).isDir());

        // Folders that the next demo finds as well: "lock" is a lock nobody holds, "ttyDETECTOR" a link,
        // any other name a plain file.
        struct Left {
            const char* name; // after "ostrevo-setup-demo-"
            QStringList files;
            bool old; // left alone for two minutes
            bool removed;
        };
        const Left left[] = {
            {"Older1", {}, true, true},           // a demo killed before it took its lock
            {"Fresh1", {}, false, false},         // perhaps a demo that is starting
            {"NewLck", {"lock.new"}, true, true}, // killed while taking its lock
            {"Notes1", {"lock", "ttyDETECTOR", "notes.txt"}, true, false},
            {"Named7x", {"lock"}, true, false},
            {"pair", {"lock"}, true, false},
        };
        QStringList kept;
        for (const Left& l : left) {
            const QString folder = killed.runtime + "/ostrevo-setup-demo-" + l.name;
            QVERIFY(QDir().mkpath(folder));
            for (const QString& file : l.files) {
                const QString path = folder + "/" + file;
                QVERIFY(file == "ttyDETECTOR" ? QFile::link("/dev/null", path)
                                              : QFile(path).open(QIODevice::WriteOnly));
                if (!l.removed) kept << QFileInfo(folder).fileName() + "/" + file;
            }
            const struct timeval twoMinutesAgo[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
            if (l.old) QCOMPARE(::utimes(QFile::encodeName(folder).constData(), twoMinutesAgo), 0);
            if (!l.removed) kept << QFileInfo(folder).fileName();
        }

        const auto [nextFolder, nextLog] = start(next);
        QVERIFY2(QFileInfo(nextFolder).isDir(), qPrintable(nextFolder));
        QVERIFY(!QFileInfo::exists(killedFolder));
        QVERIFY(QFileInfo(runningFolder).isDir());
        for (InstalledProgram* p : {&running, &next}) {
            p->process.terminate();
            QVERIFY(p->process.waitForFinished(10000));
        }
        QStringList found = filesBelow(killed.runtime);
        found.sort();
        kept.sort();
        QVERIFY2(found == kept, qPrintable("left: " + found.join(' ') + "\nexpected: " + kept.join(' ')));
    }

    // Qt's notices about what is handled without the user stay off stderr; everything else passes.
    void qtNoiseIsKeptQuiet_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("noise");
        QTest::newRow("no XDG_RUNTIME_DIR")
            << "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-someone'" << true;
        QTest::newRow("no sound server") << "PulseAudioService: pa_context_connect() failed" << true;
        QTest::newRow("sound server gone") << "PulseAudioService: Context terminated." << true;
        QTest::newRow("a wrong runtime folder")
            << "QStandardPaths: wrong permissions on runtime directory /run/user/0, 0755 instead of 0700" << false;
        QTest::newRow("anything else") << "QSocketNotifier: Invalid socket 12 and type 'Read', disabling..." << false;
    }

    void qtNoiseIsKeptQuiet() {
        QFETCH(QString, message);
        QFETCH(bool, noise);
        QCOMPARE(app::IsQtNoise(message), noise);
    }

    // The real program, started and ended as usual by a user with neither XDG_RUNTIME_DIR nor a sound
    // server (the siren sounds on a tamper), prints nothing on stderr.
    void normalStartAndEndPrintNothingOnStderr() {
        InstalledProgram installed;
        QProcessEnvironment env = installed.process.processEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        installed.process.setProcessEnvironment(env);
        installed.process.setArguments({"--demo"});
        installed.process.start();
        QVERIFY(installed.process.waitForStarted(5000));
        QVERIFY2(!installed.waitForLine("which answers the polls", 20000).isEmpty(), installed.out.constData());
        installed.process.write("tamper on\n");
        QVERIFY(!installed.waitForLine("demo: done: tamper on", 5000).isEmpty());
        // Some status replies with the tamper lit, and so the siren asked to sound: the detector has
        // answered ten more polls (the program asks for the next once it has shown a reply), as its
        // count says when asked ("status", in its log).
        int asked = 0, answers = 0;
        long replies = -1, first = -1;
        QVERIFY(QTest::qWaitFor(
            [&] {
                QFile log(installed.state + "/ostrevo-setup/detector-sim.log");
                if (log.open(QIODevice::ReadOnly)) {
                    answers = 0;
                    for (const QByteArray& line : log.readAll().split('\n')) {
                        if (line.startsWith("replies ")) replies = line.mid(8).split(',').value(0).toLong();
                        answers += line == "ok status";
                    }
                }
                if (first < 0) first = replies;
                if (answers == asked) { // asked again once answered
                    installed.process.write("status\n");
                    ++asked;
                }
                return first >= 0 && replies >= first + 10;
            },
            10000));
        installed.process.terminate();
        QVERIFY(installed.process.waitForFinished(10000));
        QCOMPARE(installed.process.exitCode(), 128 + SIGTERM);
        QCOMPARE(QString::fromLocal8Bit(installed.process.readAllStandardError()), QString());
    }

    // On the user's desktop: the window fades in only where the window system has opacity, and the
    // graph window is placed only where a program may place its windows (not under Wayland).
    void windowSystemDecidesFadeAndPlacing_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("fades");
        QTest::addColumn<bool>("places");
        QTest::newRow("X11") << "xcb" << true << true;
        QTest::newRow("Wayland") << "wayland" << false << false;
        QTest::newRow("Wayland with EGL") << "wayland-egl" << false << false;
        QTest::newRow("offscreen") << "offscreen" << false << true;
        QTest::newRow("VNC") << "vnc" << false << true;
    }

    void windowSystemDecidesFadeAndPlacing() {
        QFETCH(QString, platform);
        QFETCH(bool, fades);
        QFETCH(bool, places);
        QCOMPARE(widgets::PlatformFadesWindows(platform), fades);
        QCOMPARE(widgets::PlatformPlacesWindows(platform), places);
    }

    // The settings file has the program's name; an older file's values are carried over once.
    void settingsFileCarriedOverOnce_data() {
        QTest::addColumn<bool>("oldExists");
        QTest::addColumn<bool>("newExists");
        QTest::addColumn<bool>("newWritable");
        QTest::addColumn<remembered::CarriedOver>("result");
        QTest::addColumn<QString>("portAfter");
        QTest::newRow("older file only") << true << false << true << remembered::CarriedOver::Moved << "/dev/ttyUSB3";
        QTest::newRow("both: the new one wins")
            << true << true << true << remembered::CarriedOver::Nothing << "/dev/ttyACM0";
        QTest::newRow("neither") << false << false << true << remembered::CarriedOver::Nothing << "";
        QTest::newRow("new one cannot be written") << true << false << false << remembered::CarriedOver::Failed << "";
    }

    void settingsFileCarriedOverOnce() {
        QFETCH(bool, oldExists);
        QFETCH(bool, newExists);
        QFETCH(bool, newWritable);
        QFETCH(remembered::CarriedOver, result);
        QFETCH(QString, portAfter);
        QTemporaryDir dir;
        const QString oldFile = dir.path() + "/Ostrevo/Ostrevo.conf";
        // /proc takes no new folder, not even from root.
        const QString newFile =
            newWritable ? dir.path() + "/ostrevo-setup/ostrevo-setup.conf" : "/proc/ostrevo-setup/ostrevo-setup.conf";
        if (oldExists) {
            QSettings old(oldFile, QSettings::NativeFormat);
            old.setValue("port/name", "/dev/ttyUSB3");
            old.setValue("port/timeoutMs", 120);
            old.setValue("report/note", "line one\nline two");
        }
        if (newExists) QSettings(newFile, QSettings::NativeFormat).setValue("port/name", "/dev/ttyACM0");
        QCOMPARE(remembered::CarryOverSettings(oldFile, newFile), result);
        const QSettings now(newFile, QSettings::NativeFormat);
        QCOMPARE(now.value("port/name").toString(), portAfter);
        if (result == remembered::CarriedOver::Moved) {
            QCOMPARE(now.value("port/timeoutMs").toInt(), 120);
            QCOMPARE(now.value("report/note").toString(), QString("line one\nline two"));
            QVERIFY(!QFileInfo::exists(oldFile));
            QVERIFY(!QFileInfo::exists(dir.path() + "/Ostrevo"));
            // Once: a second call finds the new file and leaves it alone.
            QCOMPARE(remembered::CarryOverSettings(oldFile, newFile), remembered::CarriedOver::Nothing);
        } else {
            QCOMPARE(QFileInfo::exists(oldFile), oldExists);
        }
    }

    // A settings file that cannot be written is said once a run, however often it is tried.
    void rememberedSettingsThatCannotBeWrittenAreReported_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("writable") << true;
        QTest::newRow("cannot be written") << false;
    }

    void rememberedSettingsThatCannotBeWrittenAreReported() {
        QFETCH(bool, writable);
        QTemporaryDir dir;
        const QString file = writable ? dir.path() + "/ostrevo-setup.conf" : "/proc/ostrevo-setup/ostrevo-setup.conf";
        QStringList told;
        remembered::SetNotice([&told](const QString& text) { told << text; });
        bool written = true;
        for (int i = 0; i < 3; ++i) {
            QSettings settings(file, QSettings::NativeFormat);
            settings.setValue("port/name", QStringLiteral("/dev/ttyUSB%1").arg(i));
            written = remembered::Sync(settings) && written;
        }
        remembered::SetNotice({});
        QCOMPARE(written, writable);
        QCOMPARE(told.size(), writable ? 0 : 1);
        if (writable) {
            QCOMPARE(QSettings(file, QSettings::NativeFormat).value("port/name").toString(), QString("/dev/ttyUSB2"));
        } else {
            QVERIFY2(told[0].contains("the report details could not be remembered"), qPrintable(told[0]));
            QVERIFY2(told[0].contains(file), qPrintable(told[0]));
        }
    }

    void aboutTextNamesVersionBuildAndQt() {
        QCOMPARE(app::ProgramVersion(), QStringLiteral(OSTREVO_TEST_VERSION));
        const QString about = app::AboutText();
        QVERIFY2(about.startsWith(QStringLiteral("Ostrevo SetUp " OSTREVO_TEST_VERSION "\n")), qPrintable(about));
        QVERIFY2(about.contains(QStringLiteral("\nBuild " OSTREVO_TEST_VERSION)), qPrintable(about));
        QVERIFY2(about.contains(QRegularExpression(QStringLiteral(" of \\d{4}-\\d\\d-\\d\\d\n"))), qPrintable(about));
        QVERIFY2(about.contains(QStringLiteral("Qt %1 ").arg(QString::fromLatin1(qVersion()))), qPrintable(about));
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
