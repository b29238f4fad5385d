// The error log: entry lines and format, append-only writing, failures reaching the caller.
#include "errorlog/ErrorLog.h"
#include "protocol/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

std::tm at(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

} // namespace

class TestErrorLog : public QObject {
    Q_OBJECT
  private slots:
    void timeStampOnTheTwelveHourClock() {
        auto lines = errorlog::FormatLogEntry(at(2026, 12, 6, 15, 7), nullptr, "x");
        QCOMPARE(lines.front(), std::string("Error Time Stamp: 03:07 pm on 12/06/26"));
        QCOMPARE(errorlog::FormatLogEntry(at(2027, 1, 2, 0, 5), nullptr, "")[0],
                 std::string("Error Time Stamp: 12:05 am on 01/02/27"));
        QCOMPARE(errorlog::FormatLogEntry(at(2030, 7, 31, 12, 0), nullptr, "")[0],
                 std::string("Error Time Stamp: 12:00 pm on 07/31/30"));
        QCOMPARE(errorlog::FormatLogEntry(at(2030, 7, 31, 11, 59), nullptr, "")[0],
                 std::string("Error Time Stamp: 11:59 am on 07/31/30"));
    }

    void entryWithoutAnExceptionHasTwoLines() {
        auto lines = errorlog::FormatLogEntry(at(2026, 12, 6, 9, 0), nullptr, " BuffRX[0]= 0 LenRX= 64 message: x");
        QCOMPARE(lines.size(), std::size_t(2));
        QCOMPARE(lines[1], std::string("Error String:   BuffRX[0]= 0 LenRX= 64 message: x"));
    }

    void entryWithAnExceptionAndEmptyText() {
        const errorlog::LoggedException e{"ESynaSerError", "Communication error 9997: Timeout during operation"};
        auto lines = errorlog::FormatLogEntry(at(2026, 12, 6, 9, 0), &e, "");
        QCOMPARE(lines.size(), std::size_t(4));
        QCOMPARE(lines[1], std::string("Error Class: ESynaSerError"));
        QCOMPARE(lines[2], std::string("Error Message: Communication error 9997: Timeout during operation"));
        QCOMPARE(lines[3], std::string("Error String:  ")); // two blanks, nothing after
    }

    void firstFailureCreatesTheFileWithOneEntry() {
        QTemporaryDir dir;
        errorlog::ErrorLog log(dir.path().toStdString());
        QCOMPARE(QString::fromStdString(log.path()), dir.path() + "/LogError.txt");
        log.LogError(nullptr, "first");
        const QByteArray content = readAll(log.path());
        const QList<QByteArray> lines = content.split('\n');
        QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last line end
        QVERIFY(lines[0].startsWith("Error Time Stamp: "));
        QVERIFY(lines[0].endsWith('\r'));
        QCOMPARE(lines[1], QByteArray("Error String:  first\r"));
        QVERIFY(lines[2].isEmpty());
    }

    void earlierLinesAreKeptByteForByte() {
        QTemporaryDir dir;
        errorlog::ErrorLog log(dir.path().toStdString());
        // Lines the program never wrote itself, with bytes outside ASCII, must survive unchanged.
        const QByteArray earlier("old line 1\r\nold \xE9 line 2\r\n");
        {
            QFile f(QString::fromStdString(log.path()));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(earlier);
        }
        const errorlog::LoggedException e{"std::runtime_error", "boom"};
        log.LogError(&e, "");
        log.LogError(nullptr, "second");
        const QByteArray content = readAll(log.path());
        QVERIFY(content.startsWith(earlier));
        const QList<QByteArray> added = content.mid(earlier.size()).split('\n');
        QCOMPARE(added.size(), 7);
        QCOMPARE(added[1], QByteArray("Error Class: std::runtime_error\r"));
        QCOMPARE(added[2], QByteArray("Error Message: boom\r"));
        QCOMPARE(added[3], QByteArray("Error String:  \r"));
        QCOMPARE(added[5], QByteArray("Error String:  second\r"));
    }

    void lastLineWithoutLineEndIsClosedFirst() {
        QTemporaryDir dir;
        errorlog::ErrorLog log(dir.path().toStdString());
        {
            QFile f(QString::fromStdString(log.path()));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("hand edited");
        }
        log.LogError(nullptr, "next");
        const QByteArray content = readAll(log.path());
        QVERIFY(content.startsWith("hand edited\r\nError Time Stamp: "));
    }

    void failuresReachTheCaller() {
        QTemporaryDir dir;
        // The log's name taken by a folder: it cannot be opened.
        QVERIFY(QDir(dir.path()).mkdir("LogError.txt"));
        errorlog::ErrorLog blocked(dir.path().toStdString());
        QVERIFY_THROWS_EXCEPTION(errorlog::ELogWriteError, blocked.LogError(nullptr, "x"));

        // A disk that takes no more bytes (here: a file size limit at the log's size, which binds root
        // too): the write fails, and what was in the file stays.
        QTemporaryDir full;
        errorlog::ErrorLog onFullDisk(full.path().toStdString());
        onFullDisk.LogError(nullptr, "fits");
        const QByteArray before = readAll(onFullDisk.path());
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit unlimited = limit;
        limit.rlim_cur = static_cast<rlim_t>(before.size());
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        QString error;
        try {
            onFullDisk.LogError(nullptr, "does not fit");
        } catch (const errorlog::ELogWriteError& e) {
            error = QString::fromLatin1(e.what());
        }
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY2(error.contains("File too large"), qPrintable(error));
        QCOMPARE(readAll(onFullDisk.path()), before);

        errorlog::ErrorLog missingFolder("/nonexistent-folder-for-ostrevo-tests");
        QVERIFY_THROWS_EXCEPTION(errorlog::ELogWriteError, missingFolder.LogError(nullptr, "x"));
    }

    // What may stand in the log's place instead of a regular file, and how it is put there.
    void refusedInPlaceOfTheLog_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to another file") << "link";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("folder") << "folder";
    }

    // Nothing but a regular file of its own is written: the thing in its place is left exactly as it was,
    // the entry goes to the refuge, and the user is told once, however many entries follow.
    void refusedInPlaceOfTheLog() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString logPath = dir.path() + "/program/LogError.txt";
        const QString other = dir.path() + "/someone-elses.txt";
        QVERIFY(QDir(dir.path()).mkdir("program"));
        QFile otherFile(other);
        QVERIFY(otherFile.open(QIODevice::WriteOnly));
        otherFile.write("not the log\n");
        otherFile.close();
        if (kind == "link") QVERIFY(QFile::link(other, logPath));
        if (kind == "dangling") QVERIFY(QFile::link(dir.path() + "/made-by-the-log.txt", logPath));
        if (kind == "fifo") QCOMPARE(::mkfifo(logPath.toLocal8Bit().constData(), 0600), 0);
        if (kind == "folder") QVERIFY(QDir().mkdir(logPath));

        std::vector<std::string> told;
        errorlog::ErrorLog::SetNotice([&told](const std::string& text) { told.push_back(text); });
        const std::string refuge = dir.path().toStdString() + "/state/ostrevo-setup/";
        const errorlog::ErrorLog log(dir.path().toStdString() + "/program", refuge);
        log.LogError(nullptr, "first");
        log.LogError(nullptr, "second");
        errorlog::ErrorLog::SetNotice({});

        QCOMPARE(log.writtenTo(), refuge + "LogError.txt");
        const QByteArray refuged = readAll(log.writtenTo());
        QVERIFY(refuged.contains("Error String:  first\r\n"));
        QVERIFY(refuged.contains("Error String:  second\r\n"));
        QCOMPARE(told.size(), std::size_t(1));
        QVERIFY2(QString::fromStdString(told[0]).contains(logPath), told[0].c_str());
        QVERIFY2(QString::fromStdString(told[0]).contains(QString::fromStdString(log.writtenTo())), told[0].c_str());
        QCOMPARE(readAll(other.toStdString()), QByteArray("not the log\n"));
        QVERIFY(!QFileInfo::exists(dir.path() + "/made-by-the-log.txt"));
        const QFileInfo left(logPath);
        QCOMPARE(left.isSymLink(), kind == "link" || kind == "dangling");
        QCOMPARE(left.isDir(), kind == "folder");

        // Without a refuge the entry cannot be written anywhere: the caller hears of it.
        const errorlog::ErrorLog alone(dir.path().toStdString() + "/program");
        QVERIFY_THROWS_EXCEPTION(errorlog::ELogWriteError, alone.LogError(nullptr, "lost?"));
    }

    void exceptionClassNamesAreReadable() {
        const std::runtime_error e("x");
        QCOMPARE(errorlog::ExceptionClassName(e), std::string("std::runtime_error"));
        const errorlog::ELogWriteError w("y");
        QCOMPARE(errorlog::ExceptionClassName(w), std::string("ELogWriteError"));
        // The serial layer's exception keeps the name the logs have always had.
        QCOMPARE(errorlog::ExceptionClassName(protocol::SerialError(9997, "Timeout")), std::string("ESynaSerError"));
    }
};

QTEST_APPLESS_MAIN(TestErrorLog)
#include "test_errorlog.moc"
