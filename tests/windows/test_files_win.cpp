// The program's files on Windows, under wine: the error log appended to in its place, and what stands in its
// place refused (the entry going to the state folder instead, told once); files read and written only when
// they are files on a disk (never a device such as NUL or COM1, nor a folder), at any offset.
#include "errorlog/ErrorLog.h"
#include "errorlog/StateFolder.h"
#include "files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <io.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFilesWin32 : public QObject {
    Q_OBJECT
  private slots:
    // The state folder is the user's local application data, never the program's folder.
    void theStateFolderIsTheUsersLocalApplicationData() {
        const QString state = QDir::fromNativeSeparators(QString::fromStdString(errorlog::StateFolder()));
        const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QVERIFY2(state.startsWith(local + QLatin1Char('/'), Qt::CaseInsensitive), qPrintable(state + " / " + local));
        QVERIFY(state.endsWith(QLatin1String("/ostrevo-setup/")));
    }

    // Entries are appended with CR LF, earlier lines kept byte for byte, a last line without its end closed
    // first; a folder in the log's place is left alone and the entry goes to the refuge, which is told once.
    void theLogAppendsAndRefusesWhatIsNotAFile() {
        QTemporaryDir dir;
        const QString folder = QDir::toNativeSeparators(dir.path());
        {
            QFile f(dir.filePath(QStringLiteral("LogError.txt")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("an earlier line without its end");
        }
        const errorlog::ErrorLog log(folder.toStdString());
        log.LogError(nullptr, "first");
        const errorlog::LoggedException e{"ESynaSerError", "Communication error 9997: Timeout during operation"};
        log.LogError(&e, "");
        const QByteArray text = readAll(dir.filePath(QStringLiteral("LogError.txt")));
        QVERIFY(text.startsWith("an earlier line without its end\r\nError Time Stamp: "));
        QVERIFY(text.contains("\r\nError String:  first\r\nError Time Stamp: "));
        QVERIFY(text.endsWith("\r\nError Class: ESynaSerError\r\nError Message: Communication error 9997: Timeout "
                              "during operation\r\nError String:  \r\n"));

        QTemporaryDir trapped;
        QVERIFY(QDir(trapped.path()).mkdir(QStringLiteral("LogError.txt")));
        std::vector<std::string> told;
        errorlog::ErrorLog::SetNotice([&](const std::string& t) { told.push_back(t); });
        const std::string refuge = QDir::toNativeSeparators(dir.filePath(QStringLiteral("refuge"))).toStdString();
        const errorlog::ErrorLog refused(QDir::toNativeSeparators(trapped.path()).toStdString(), refuge);
        refused.LogError(nullptr, "one");
        refused.LogError(nullptr, "two");
        errorlog::ErrorLog::SetNotice(nullptr);
        QCOMPARE(told.size(), std::size_t(1));
        QVERIFY2(told.front().find("is a folder, which the error log does not write to") != std::string::npos,
                 told.front().c_str());
        QCOMPARE(refused.writtenTo(), refuge + "\\LogError.txt");
        QVERIFY(readAll(QString::fromStdString(refused.writtenTo())).contains("Error String:  two\r\n"));
        QVERIFY(QFileInfo(trapped.filePath(QStringLiteral("LogError.txt"))).isDir());
    }

    // Only files on a disk are read or written: a folder, or a name Windows gives a device in every folder, is
    // refused unopened.
    void onlyFilesOnADisk() {
        QTemporaryDir dir;
        QString reason;
        for (const QString& name :
             {QStringLiteral("NUL"), QStringLiteral("com1.bin"), QStringLiteral("CON"), QStringLiteral("LPT1.csv")}) {
            QCOMPARE(files::OpenRegularForReading(dir.filePath(name), reason), -1);
            QCOMPARE(reason, QStringLiteral("it is not a regular file."));
            int error = 0;
            QCOMPARE(files::CreateNew(dir.filePath(name), error), -1);
            QVERIFY(!files::PlainFileOrNothing(dir.filePath(name)));
            QVERIFY(!files::MayReplace(dir.filePath(name), reason));
        }
        QCOMPARE(files::OpenRegularForReading(dir.path(), reason), -1);
        QVERIFY(!files::PlainFileOrNothing(dir.path()));
        QCOMPARE(files::OpenRegularForReading(dir.filePath(QStringLiteral("absent.bin")), reason), -1);
        QVERIFY(!reason.isEmpty());
        QVERIFY(files::MayReplace(dir.filePath(QStringLiteral("absent.bin")), reason));
        QVERIFY(files::PlainFileOrNothing(dir.filePath(QStringLiteral("absent.bin"))));
        QVERIFY(files::FirstFolder().size() > 0);
    }

    // A new file only where the name is free; written as it is (no line-end translation), cut back, given its
    // name over an older file, and read at an offset without moving the place where the next read goes on.
    void writtenAndReadAsTheyAre() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("walk ä.csv"));
        const QString writing = dir.filePath(QStringLiteral("walk ä (being recorded).csv"));
        {
            QFile older(path);
            QVERIFY(older.open(QIODevice::WriteOnly));
            older.write("an older walk");
        }
        int error = 0;
        QCOMPARE(files::CreateNew(path, error), -1);
        QCOMPARE(error, EEXIST);
        const int out = files::CreateNew(writing, error);
        QVERIFY2(out >= 0, qPrintable(files::SystemError(error)));
        QVERIFY(files::PlainFileOrNothing(writing));
        const QByteArray lines = "time_ms,a\n1,2\n3,4\n";
        QCOMPARE(::_write(out, lines.constData(), static_cast<unsigned>(lines.size())), int(lines.size()));
        QVERIFY(files::CutBack(out, 14));
        files::Close(out);
        QVERIFY(files::ReplaceWith(writing, path, error));
        QVERIFY(!QFile::exists(writing));
        QString reason;
        qint64 size = 0;
        const int in = files::OpenRegularForReading(path, reason, &size);
        QVERIFY2(in >= 0, qPrintable(reason));
        QCOMPARE(size, qint64(14));
        char head[5] = {};
        QCOMPARE(files::ReadSome(in, head, 4, reason), qint64(4));
        char at[4] = {};
        QCOMPARE(files::ReadAt(in, at, 3, 10, reason), qint64(3));
        QCOMPARE(QByteArray(at, 3), QByteArray("1,2"));
        char next[3] = {};
        QCOMPARE(files::ReadSome(in, next, 2, reason), qint64(2)); // goes on after "time"
        QCOMPARE(QByteArray(next, 2), QByteArray("_m"));
        QVERIFY(files::SeekTo(in, 13));
        QCOMPARE(files::ReadSome(in, next, 3, reason), qint64(1)); // the end of the file
        QCOMPARE(next[0], '\n');
        files::Close(in);
    }
};

QTEST_GUILESS_MAIN(TestFilesWin32)
#include "test_files_win.moc"
