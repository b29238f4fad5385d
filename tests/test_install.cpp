// The program installed where its own folder cannot be written: the error log's fallback folder, the
// siren found in the data folder, and what it says about its version.
#include "app/About.h"
#include "app/ErrorLog.h"
#include "monitor/Siren.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
  private slots:
    void errorLogGoesToTheStateFolderWhenTheProgramFolderRefusesFiles() {
        // /proc takes no new file, not even from root (the tests may run as root, whom permission
        // bits do not stop).
        QVERIFY(!LogFolderWritable("/proc/"));
        QTemporaryDir home;
        const std::string fallback = home.path().toStdString() + "/.local/state/ostrevo-setup/";
        const ErrorLog log = ErrorLog::firstWritable("/proc/", fallback);
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
        QVERIFY(LogFolderWritable(first));
        const ErrorLog log = ErrorLog::firstWritable(first, fallback);
        QCOMPARE(log.path(), first + "/LogError.txt");
        // Trying the folder leaves nothing behind, and the fallback is not made for nothing.
        QCOMPARE(QDir(QString::fromStdString(first)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(fallback)));
        // The running test's own folder (the build folder) can be written: the log stays there.
        QCOMPARE(ErrorLog::besideProgram().path(), ProgramFolder() + "LogError.txt");
    }

    void errorLogThatCannotBeWrittenAnywhereIsReported() {
        const ErrorLog log = ErrorLog::firstWritable("/proc/", "/proc/no-such-state/ostrevo-setup/");
        QCOMPARE(log.path(), std::string("/proc/no-such-state/ostrevo-setup/LogError.txt"));
        QVERIFY_THROWS_EXCEPTION(ELogWriteError, log.LogError(nullptr, "lost?"));
    }

    void stateFolderFollowsXdgStateHome() {
        QTemporaryDir dir;
        const ScopedEnv home("HOME", dir.path().toUtf8());
        {
            const ScopedEnv state("XDG_STATE_HOME", dir.path().toUtf8() + "/state");
            QCOMPARE(StateLogFolder(), dir.path().toStdString() + "/state/ostrevo-setup/");
        }
        const std::string byDefault = dir.path().toStdString() + "/.local/state/ostrevo-setup/";
        {
            const ScopedEnv state("XDG_STATE_HOME", QByteArray());
            QCOMPARE(StateLogFolder(), byDefault);
        }
        {
            // A relative path is not a valid XDG folder and is ignored.
            const ScopedEnv state("XDG_STATE_HOME", "relative/state");
            QCOMPARE(StateLogFolder(), byDefault);
        }
    }

    void sirenBesideTheProgramFirstThenTheDataFolder() {
        QTemporaryDir dir;
        const QString beside = dir.path() + "/bin";
        const QString data = dir.path() + "/share/ostrevo-setup";
        QDir().mkpath(beside);
        QDir().mkpath(data);
        QCOMPARE(SirenFileLookup({beside, data}), QString());
        const QString installed = placeSiren(data);
        QCOMPARE(SirenFileLookup({beside, data}), installed);
        const QString own = placeSiren(beside);
        QCOMPARE(SirenFileLookup({beside, data}), own);
        // A folder of that name is no sound.
        QVERIFY(QFile::remove(own));
        QVERIFY(QDir(beside).mkdir(QStringLiteral("SIREN1.WAV")));
        QCOMPARE(SirenFileLookup({beside, data}), installed);
    }

    void sirenFoldersOfAnInstallation() {
        const QStringList folders = SirenFolders();
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
        QVERIFY(!SirenFolders().contains(dir.path() + "/system-data/ostrevo-setup"));
        const QString installed = placeSiren(dir.path() + "/system-data/ostrevo-setup");
        QVERIFY2(SirenFolders().contains(dir.path() + "/system-data/ostrevo-setup"),
                 qPrintable(SirenFolders().join(' ')));
        if (SirenFileLookup() != installed) {
            // Only a siren earlier in the order (beside the test, or installed on this machine) may win.
            QVERIFY(!SirenFileLookup().isEmpty());
            QVERIFY(SirenFolders().indexOf(QFileInfo(SirenFileLookup()).path()) <
                    SirenFolders().indexOf(dir.path() + "/system-data/ostrevo-setup"));
            QSKIP("a siren is installed on this machine ahead of the test's own");
        }
        // The program's siren, made without a folder, plays that file.
        const Siren siren;
        QVERIFY(siren.Available());
        QCOMPARE(siren.FilePath(), installed);
    }

    void aboutTextNamesVersionBuildAndQt() {
        QCOMPARE(ProgramVersion(), QStringLiteral(OSTREVO_TEST_VERSION));
        const QString about = AboutText();
        QVERIFY2(about.startsWith(QStringLiteral("Ostrevo SetUp " OSTREVO_TEST_VERSION "\n")), qPrintable(about));
        QVERIFY2(about.contains(QStringLiteral("\nBuild " OSTREVO_TEST_VERSION)), qPrintable(about));
        QVERIFY2(about.contains(QRegularExpression(QStringLiteral(" of \\d{4}-\\d\\d-\\d\\d\n"))), qPrintable(about));
        QVERIFY2(about.contains(QStringLiteral("Qt %1 ").arg(QString::fromLatin1(qVersion()))), qPrintable(about));
    }
};

QTEST_MAIN(TestInstall)
#include "test_install.moc"
