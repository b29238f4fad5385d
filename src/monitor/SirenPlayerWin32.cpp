// The siren's player on Windows: the WAV file read into memory once and played through the Windows sound
// API (waveOut), which needs no module of its own. A play is stopped at once (waveOutReset), its end is told
// by the sound system (WOM_DONE, handed to the user-interface thread), and a machine without a sound output
// is reported as such. The siren is installed beside the program.
#include "monitor/Siren.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QtEndian>
#include <atomic>
#include <cstring>
#include <windows.h>

#include <mmsystem.h>

namespace monitor {

namespace {

// A PCM WAV file's format and samples; empty samples when the file is not one.
struct WavSound {
    WAVEFORMATEX format{};
    QByteArray samples;
};

WavSound readWav(const QString& path) {
    WavSound sound;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return sound;
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") return sound;
    bool haveFormat = false;
    for (;;) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8) return {};
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = file.read(size + (size & 1));
            if (fmt.size() < 16) return {};
            std::memcpy(&sound.format, fmt.constData(), 16); // the PCM part: tag, channels, rates, sizes
            sound.format.cbSize = 0;
            haveFormat = true;
        } else if (chunk.startsWith("data")) {
            if (!haveFormat || size > 64u * 1024 * 1024) return {};
            sound.samples = file.read(size);
            if (sound.samples.size() != static_cast<qsizetype>(size)) return {};
            return sound;
        } else if (!file.seek(file.pos() + size + (size & 1))) {
            return {};
        }
    }
}

QString soundError(MMRESULT result) {
    if (result == MMSYSERR_NODRIVER || result == MMSYSERR_BADDEVICEID || ::waveOutGetNumDevs() == 0)
        return QCoreApplication::translate("Siren", "no sound output device");
    wchar_t text[MAXERRORLENGTH] = {};
    ::waveOutGetErrorTextW(result, text, MAXERRORLENGTH);
    return QString::fromWCharArray(text);
}

class WaveOutPlayer : public SirenPlayer {
  public:
    ~WaveOutPlayer() override { close(); }

    void load(const QString& path) override {
        if (path != path_ || sound_.samples.isEmpty()) {
            close();
            path_ = path;
            sound_ = readWav(path);
            durationMs_ = WavLengthMs(path);
        }
        if (sound_.samples.isEmpty()) {
            emit failed(
                QCoreApplication::translate("Siren", "%1 cannot be played").arg(QDir::toNativeSeparators(path)));
            return;
        }
        if (device_) return; // open already: playing it again needs nothing more
        // Opened with a callback that only hands the end of a play to this object's thread.
        HWAVEOUT device = nullptr;
        const MMRESULT opened = ::waveOutOpen(&device, WAVE_MAPPER, &sound_.format, reinterpret_cast<DWORD_PTR>(&done),
                                              reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
        if (opened != MMSYSERR_NOERROR) {
            emit failed(soundError(opened));
            return;
        }
        device_ = device;
        header_ = WAVEHDR{};
        header_.lpData = sound_.samples.data();
        header_.dwBufferLength = static_cast<DWORD>(sound_.samples.size());
        if (const MMRESULT prepared = ::waveOutPrepareHeader(device_, &header_, sizeof header_);
            prepared != MMSYSERR_NOERROR) {
            close();
            emit failed(soundError(prepared));
        }
    }

    void play() override {
        if (!device_) {
            emit failed(QCoreApplication::translate("Siren", "no sound loaded"));
            return;
        }
        ++play_;
        active_ = true;
        if (const MMRESULT written = ::waveOutWrite(device_, &header_, sizeof header_); written != MMSYSERR_NOERROR) {
            active_ = false;
            const QString reason = soundError(written);
            close(); // the next alarm opens the device afresh
            emit failed(reason);
        }
    }

    void stop() override {
        active_ = false;
        ++play_; // the end of the play being stopped is not reported
        if (device_) ::waveOutReset(device_);
    }

    int durationMs() const override { return durationMs_; }

  private:
    // The sound system's thread: no waveOut call may be made here, and nothing of the player touched but
    // the count of plays; the end goes to the player's thread.
    static void CALLBACK done(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
        if (message != WOM_DONE) return;
        auto* player = reinterpret_cast<WaveOutPlayer*>(instance);
        const unsigned play = player->play_.load();
        QPointer<WaveOutPlayer> alive(player);
        QMetaObject::invokeMethod(
            player,
            [alive, play] {
                if (alive) alive->ended(play);
            },
            Qt::QueuedConnection);
    }

    void ended(unsigned play) {
        if (play != play_.load() || !active_) return; // stopped meanwhile, or another play under way
        active_ = false;
        emit finished();
    }

    void close() {
        if (!device_) return;
        ++play_;
        ::waveOutReset(device_);
        ::waveOutUnprepareHeader(device_, &header_, sizeof header_);
        ::waveOutClose(device_);
        device_ = nullptr;
    }

    QString path_;
    WavSound sound_;
    int durationMs_ = -1;
    HWAVEOUT device_ = nullptr;
    WAVEHDR header_{};
    std::atomic<unsigned> play_{0}; // counts the plays begun and ended by hand: a late end is known as such
    bool active_ = false;           // a play of ours is going on and has not ended yet
};

} // namespace

QStringList SirenFolders() {
    return {QCoreApplication::applicationDirPath()};
}

std::unique_ptr<SirenPlayer> PlatformPlayer() {
    return std::make_unique<WaveOutPlayer>();
}

} // namespace monitor
