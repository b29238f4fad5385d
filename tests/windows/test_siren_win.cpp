// The siren on Windows, through its real player (waveOut), under wine: a damaged sound file and a machine
// without a sound output each turn the siren off with the reason, it rests, and the next alarm after the rest
// tries again; on a machine with a sound output the sound plays to its end, and stops at once when told.
#include "GuiTestMain.h"
#include "monitor/Siren.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <windows.h>

#include <mmsystem.h>

namespace {

QString folderWith(const QTemporaryDir& dir, const QByteArray& content) {
    QFile file(QDir(dir.path()).filePath(QStringLiteral("SIREN1.WAV")));
    if (file.open(QIODevice::WriteOnly)) file.write(content);
    return dir.path();
}

QByteArray generatedSiren() {
    QFile file(QStringLiteral(OSTREVO_SIREN_WAV));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSirenWin32 : public QObject {
    Q_OBJECT
  private slots:
    // What cannot sound turns the siren off once, with why; after its rest the next alarm tries again.
    void aSirenThatCannotSoundRestsAndTriesAgain() {
        const bool soundOutput = ::waveOutGetNumDevs() > 0;
        const struct {
            const char* name;
            QByteArray content;
            const char* reason;
        } cases[] = {{"a damaged file", QByteArray("RIFF\x04\0\0\0WAVEjunk", 16), "cannot be played"},
                     {"the generated siren", generatedSiren(), soundOutput ? nullptr : "no sound output device"}};
        for (const auto& c : cases) {
            if (!c.reason) continue; // (it sounds here: the next test plays it)
            QTemporaryDir dir;
            monitor::Siren siren(folderWith(dir, c.content), monitor::PlatformPlayer());
            siren.setRetryAfterMs(300);
            QSignalSpy off(&siren, &monitor::Siren::unavailableNow);
            QVERIFY2(siren.Available(), c.name);
            siren.StartSiren();
            QVERIFY(!siren.Playing());
            QTRY_COMPARE_WITH_TIMEOUT(off.count(), 1, 2000);
            QVERIFY2(off.first().first().toString().contains(QLatin1String(c.reason)),
                     qPrintable(off.first().first().toString()));
            QVERIFY2(!siren.Available(), c.name); // resting
            siren.StartSiren();                   // an alarm meanwhile changes nothing
            QCoreApplication::processEvents();
            QCOMPARE(off.count(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(siren.Available(), 2000); // the rest is over: tried again
            siren.StartSiren();
            QTest::qWait(100);
            QCOMPARE(off.count(), 1); // told once until it works again
        }
    }

    // With a sound output the siren plays to its end (told by the sound system) and is stopped at once.
    void theSirenPlaysToItsEndAndStops() {
        if (::waveOutGetNumDevs() == 0) QSKIP("no sound output device here (wine without a sound driver)");
        QTemporaryDir dir;
        monitor::Siren siren(folderWith(dir, generatedSiren()), monitor::PlatformPlayer());
        QSignalSpy off(&siren, &monitor::Siren::unavailableNow);
        siren.StartSiren();
        QVERIFY(siren.Playing());
        QTRY_VERIFY_WITH_TIMEOUT(!siren.Playing(), monitor::WavLengthMs(siren.FilePath()) + 3000);
        siren.StartSiren();
        QVERIFY(siren.Playing());
        siren.playEnded();
        QCOMPARE(off.count(), 0);
    }
};

OSTREVO_GUI_TEST_MAIN(TestSirenWin32)
#include "test_siren_win.moc"
