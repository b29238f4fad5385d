// The alarm siren: its state machine through a fake player, the sound module loaded only where a siren can
// sound, the real player on the generated sound and on a damaged one, and the generated SIREN1.WAV itself.
#include "GuiTestMain.h"
#include "monitor/Siren.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <stdexcept>

namespace {

struct FakePlayer : monitor::SirenPlayer {
    QStringList loads;
    int plays = 0, stops = 0;
    QString failOnLoad; // emits failed() at once from load()
    bool throwOnPlay = false;
    void load(const QString& path) override {
        loads << path;
        if (!failOnLoad.isEmpty()) emit failed(failOnLoad);
    }
    void play() override {
        if (throwOnPlay) throw std::runtime_error("sink gone");
        ++plays;
    }
    void stop() override { ++stops; }
    int durationMs() const override { return 0; }
};

// Whether Qt Multimedia's library is in this process.
bool multimediaLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia");
}

// The program's player, its module found in the build, as though a sound server ran.
std::unique_ptr<monitor::SirenPlayer> moduleHere() {
    return monitor::ModulePlayer({QFileInfo(QStringLiteral(OSTREVO_SOUND_MODULE)).absolutePath()}, [] { return true; });
}

QString folderWithSiren(const QTemporaryDir& dir, const QByteArray& content = "RIFF") {
    QFile file(QDir(dir.path()).filePath("SIREN1.WAV"));
    if (file.open(QIODevice::WriteOnly)) file.write(content);
    return dir.path();
}

} // namespace

class TestSiren : public QObject {
    Q_OBJECT
  private slots:
    void playsOnceAndAgainAfterTheNotice() {
        QTemporaryDir dir;
        auto* fake = new FakePlayer;
        monitor::Siren siren(folderWithSiren(dir), std::unique_ptr<monitor::SirenPlayer>(fake));
        QSignalSpy spy(&siren, &monitor::Siren::unavailableNow);
        QVERIFY(siren.Available());
        QCOMPARE(siren.FilePath(), QDir(dir.path()).filePath("SIREN1.WAV"));

        siren.StartSiren();
        QCOMPARE(fake->plays, 1);
        QCOMPARE(fake->loads, QStringList{siren.FilePath()});
        QVERIFY(siren.Playing());
        emit fake->finished();
        QVERIFY(!siren.Playing());
        siren.StartSiren();
        QCOMPARE(fake->plays, 2);
        QVERIFY(siren.Playing());
        siren.playEnded();
        QVERIFY(!siren.Playing());
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), 0);
    }

    void noFileNoSound() {
        QTemporaryDir dir;
        auto* fake = new FakePlayer;
        monitor::Siren siren(dir.path(), std::unique_ptr<monitor::SirenPlayer>(fake));
        QSignalSpy spy(&siren, &monitor::Siren::unavailableNow);
        folderWithSiren(dir); // too late: looked for once, at start-up
        siren.StartSiren();
        QVERIFY(!siren.Available());
        QVERIFY(!siren.Playing());
        QVERIFY(siren.FilePath().isEmpty());
        QCOMPARE(fake->plays + fake->loads.size(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), 0);
    }

    void failureEndsThePlayAndIsToldOnce_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("failed later") << 0;
        QTest::newRow("load failed") << 1;
        QTest::newRow("play threw") << 2;
    }
    void failureEndsThePlayAndIsToldOnce() {
        QFETCH(int, how);
        QTemporaryDir dir;
        auto* fake = new FakePlayer;
        fake->failOnLoad = how == 1 ? "damaged" : "";
        fake->throwOnPlay = how == 2;
        monitor::Siren siren(folderWithSiren(dir), std::unique_ptr<monitor::SirenPlayer>(fake));
        QSignalSpy spy(&siren, &monitor::Siren::unavailableNow);

        QVERIFY_THROWS_NO_EXCEPTION(siren.StartSiren());
        QCOMPARE(spy.count(), 0); // told from the event loop, never inside the caller's tick
        if (how == 0) emit fake->failed("no device");
        QVERIFY(!siren.Playing());
        QVERIFY(!siren.Available()); // resting
        QTRY_COMPARE(spy.count(), 1);
        emit fake->failed("again");
        siren.StartSiren(); // an alarm during the rest tries nothing
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(fake->loads.size(), 1);
        QVERIFY(!siren.Playing());
        // After the rest the next alarm tries again; a play that ends normally brings the siren back.
        siren.setRetryAfterMs(0);
        fake->failOnLoad.clear();
        fake->throwOnPlay = false;
        QSignalSpy back(&siren, &monitor::Siren::availableAgain);
        siren.StartSiren();
        QCOMPARE(fake->loads.size(), 2);
        QVERIFY(siren.Playing());
        emit fake->finished();
        QCOMPARE(back.count(), 1);
        QCOMPARE(spy.count(), 1);
    }

    void unfinishedPlayEndsInTime() {
        QTemporaryDir dir;
        auto* fake = new FakePlayer;
        monitor::Siren siren(folderWithSiren(dir), std::unique_ptr<monitor::SirenPlayer>(fake));
        siren.StartSiren();
        const int stops = fake->stops;
        QTRY_VERIFY_WITH_TIMEOUT(!siren.Playing(), monitor::Siren::EndMarginMs + 3000);
        QCOMPARE(fake->stops, stops + 1);
        QVERIFY(siren.Available()); // the next alarm tries again
    }

    // Qt Multimedia comes into the process with the sound module only, and the module only where there is
    // something to play on: without, or without the module, the siren is off and says why, and the alarm
    // goes on being shown. Prepared, the module is loaded without the caller waiting for it.
    void theSoundModuleIsLoadedOnlyWhereASirenCanSound() {
        const QString moduleFolder = QFileInfo(QStringLiteral(OSTREVO_SOUND_MODULE)).absolutePath();
        QTemporaryDir empty;
        const struct {
            const char* name;
            QString folder;
            bool soundOutput, prepared;
            const char* reason; // why the siren is off, or nullptr: loaded, and played or failed
        } cases[] = {
            {"nothing to play on", moduleFolder, false, false, "no sound output device"},
            {"nothing to play on, prepared", moduleFolder, false, true, "no sound output device"},
            {"no module", empty.path(), true, false, "its sound module ostrevo-sound.so is missing"},
            {"the module, prepared", moduleFolder, true, true, nullptr},
        };
        for (const auto& c : cases) {
            QVERIFY2(!multimediaLoaded(), c.name);
            const QFileInfo wav(QStringLiteral(OSTREVO_SIREN_WAV));
            const bool output = c.soundOutput;
            monitor::Siren siren(wav.absolutePath(), monitor::ModulePlayer({c.folder}, [output] { return output; }));
            QSignalSpy off(&siren, &monitor::Siren::unavailableNow);
            if (c.prepared) {
                siren.Prepare();
                if (!c.reason) QTRY_VERIFY2(multimediaLoaded(), c.name);
            }
            siren.StartSiren();
            if (c.reason) {
                QVERIFY2(!siren.Playing(), c.name);
                QTRY_COMPARE(off.count(), 1);
                QVERIFY2(off.at(0).at(0).toString().contains(QString::fromLatin1(c.reason)),
                         qPrintable(off.at(0).at(0).toString()));
                QVERIFY2(!multimediaLoaded(), c.name);
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(!siren.Playing(), 20000);
                QVERIFY(multimediaLoaded());
            }
        }
    }

    void realPlayerEndsEitherWay() {
        const QFileInfo wav(QStringLiteral(OSTREVO_SIREN_WAV));
        monitor::Siren siren(wav.absolutePath(), moduleHere());
        QSignalSpy spy(&siren, &monitor::Siren::unavailableNow);
        QVERIFY(siren.Available());
        siren.StartSiren();
        QVERIFY(siren.Playing() || !siren.Available());
        QTRY_VERIFY_WITH_TIMEOUT(!siren.Playing(), 20000);
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), siren.Available() ? 0 : 1);
        qInfo("siren %s", siren.Available() ? "played to its end" : qPrintable(spy.value(0).value(0).toString()));
    }

    void realPlayerOnDamagedFile() {
        QTemporaryDir dir;
        monitor::Siren siren(folderWithSiren(dir, QByteArray("RIFF\x10\0\0\0WAVEjunk", 16) + QByteArray(64, '\x7f')),
                             moduleHere());
        QSignalSpy spy(&siren, &monitor::Siren::unavailableNow);
        siren.StartSiren();
        QTRY_VERIFY_WITH_TIMEOUT(!siren.Available(), 20000);
        QVERIFY(!siren.Playing());
        QTRY_COMPARE(spy.count(), 1);
    }

    void generatedSoundIsA16BitPcmSiren() {
        QFile file(QStringLiteral(OSTREVO_SIREN_WAV));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        QVERIFY(wav.size() > 44);
        const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(u32(4), quint32(wav.size() - 8));
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(u16(20), quint16(1)); // PCM
        QCOMPARE(u16(22), quint16(1)); // mono
        const quint32 rate = u32(24);
        QVERIFY(rate == 22050 || rate == 44100);
        QCOMPARE(u32(28), rate * 2);
        QCOMPARE(u16(34), quint16(16));
        QCOMPARE(wav.mid(36, 4), QByteArray("data"));
        QCOMPARE(u32(40), quint32(wav.size() - 44));
        const double seconds = (wav.size() - 44) / 2.0 / rate;
        QVERIFY2(seconds >= 2.0 && seconds <= 5.0, qPrintable(QString::number(seconds)));
        // Loud, and on average between the two tones: count the rising zero crossings.
        int peak = 0, rising = 0;
        for (int at = 44, previous = 0; at + 1 < wav.size(); at += 2) {
            const int s = qFromLittleEndian<qint16>(wav.constData() + at);
            peak = std::max(peak, std::abs(s));
            if (previous < 0 && s >= 0) ++rising;
            previous = s;
        }
        QVERIFY(peak > 16000);
        QVERIFY2(rising / seconds > 650 && rising / seconds < 900, qPrintable(QString::number(rising / seconds)));
    }
};

OSTREVO_GUI_TEST_MAIN(TestSiren)
#include "test_siren.moc"
