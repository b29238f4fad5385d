#include "monitor/Siren.h"

#include "monitor/SoundOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QtEndian>
#include <dlfcn.h>
#include <exception>
#include <glob.h>
#include <thread>

namespace monitor {

namespace {

// The length of a PCM WAV file from its header, or -1 when the header does not tell.
int WavLengthMs(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") return -1;
    quint32 byteRate = 0;
    for (;;) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8) return -1;
        const quint32 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = file.read(size + (size & 1));
            if (fmt.size() < 12) return -1;
            byteRate = qFromLittleEndian<quint32>(fmt.constData() + 8);
        } else if (chunk.startsWith("data")) {
            if (byteRate == 0) return -1;
            return static_cast<int>(qMin<quint64>(quint64(size) * 1000 / byteRate, 24 * 3600 * 1000));
        } else if (!file.seek(file.pos() + size + (size & 1))) {
            return -1;
        }
    }
}

// Plays through the sound module. Loading it (Qt Multimedia and the sound libraries behind it, some
// milliseconds) happens in a thread of its own; the output is made, and the sound loaded, on the
// user-interface thread once it is there.
class SoundModulePlayer : public SirenPlayer {
  public:
    SoundModulePlayer(QStringList folders, std::function<bool()> soundOutput)
        : folders_(std::move(folders)), soundOutput_(std::move(soundOutput)) {}
    ~SoundModulePlayer() override {
        if (loader_.joinable()) loader_.join();
        output_.reset(); // (before the signals it would report go)
    }

    void prepare(const QString& path) override {
        if (state_ != State::Idle || !soundOutput_()) return;
        path_ = path;
        startLoading();
    }

    void load(const QString& path) override {
        if (path != path_ || durationMs_ < 0) durationMs_ = WavLengthMs(path);
        path_ = path;
        if (state_ == State::Ready) return output_->load(path);
        if (state_ == State::Loading) return;
        if (!soundOutput_()) {
            emit failed(QCoreApplication::translate("Siren", "no sound output device"));
            return;
        }
        startLoading();
    }

    void play() override {
        if (state_ == State::Ready) output_->play();
        else if (state_ == State::Loading) playWanted_ = true;
    }

    void stop() override {
        playWanted_ = false;
        if (state_ == State::Ready) output_->stop();
    }

    int durationMs() const override { return durationMs_; }

  private:
    enum class State { Idle, Loading, Ready };

    void startLoading() {
        QString module;
        for (const QString& folder : folders_)
            if (const QString path = QDir(folder).filePath(QString::fromLatin1(SoundModuleFile));
                QFileInfo(path).isFile()) {
                module = path;
                break;
            }
        if (module.isEmpty()) {
            emit failed(QCoreApplication::translate("Siren", "its sound module %1 is missing")
                            .arg(QString::fromLatin1(SoundModuleFile)));
            return;
        }
        state_ = State::Loading;
        if (loader_.joinable()) loader_.join(); // (the last try, long over)
        loader_ = std::thread([this, file = QFile::encodeName(module)] {
            // Loaded for good: Qt's libraries are never unloaded.
            void* handle = ::dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
            auto make = handle ? reinterpret_cast<MakeSoundOutput>(::dlsym(handle, MakeSoundOutputName)) : nullptr;
            const QString error = make ? QString() : QString::fromLocal8Bit(::dlerror());
            QMetaObject::invokeMethod(
                this, [this, make, error] { loaded(make, error); }, Qt::QueuedConnection);
        });
    }

    void loaded(MakeSoundOutput make, const QString& error) {
        if (!make) {
            state_ = State::Idle; // the next alarm tries again
            playWanted_ = false;
            emit failed(QCoreApplication::translate("Siren", "its sound module cannot be loaded: %1").arg(error));
            return;
        }
        output_.reset(make());
        QPointer<SoundModulePlayer> self(this);
        output_->finished = [self] {
            if (self) emit self->finished();
        };
        output_->failed = [self](const QString& reason) {
            if (self) emit self->failed(reason);
        };
        state_ = State::Ready;
        if (!path_.isEmpty()) output_->load(path_);
        if (std::exchange(playWanted_, false)) output_->play();
    }

    const QStringList folders_;
    const std::function<bool()> soundOutput_;
    State state_ = State::Idle;
    std::unique_ptr<SoundOutput> output_;
    std::thread loader_;
    QString path_;
    int durationMs_ = -1;
    bool playWanted_ = false; // asked to play while loading
};

// The folder of the default siren: where SirenFileLookup() found it, else the executable's (no siren).
QString DefaultSirenFolder() {
    const QString file = SirenFileLookup();
    return file.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(file).path();
}

} // namespace

namespace {

#ifndef OSTREVO_DATA_FROM_BIN
#define OSTREVO_DATA_FROM_BIN ""
#endif
#ifndef OSTREVO_DATA_DIR
#define OSTREVO_DATA_DIR ""
#endif
#ifndef OSTREVO_MODULE_FROM_BIN
#define OSTREVO_MODULE_FROM_BIN ""
#endif
#ifndef OSTREVO_MODULE_DIR
#define OSTREVO_MODULE_DIR ""
#endif

// The executable's folder, the installed folder relative to it, and the installed folder at the prefix the
// program was built for (each where the build names one).
QStringList installedFolders(const QString& fromProgram, const QString& atPrefix) {
    const QString program = QCoreApplication::applicationDirPath();
    QStringList folders{program};
    if (!fromProgram.isEmpty()) folders << QDir::cleanPath(program + QLatin1Char('/') + fromProgram);
    if (!atPrefix.isEmpty()) folders << atPrefix;
    return folders;
}

} // namespace

QStringList SirenFolders() {
    QStringList folders = installedFolders(QStringLiteral(OSTREVO_DATA_FROM_BIN), QStringLiteral(OSTREVO_DATA_DIR));
    folders << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("ostrevo-setup"),
                                         QStandardPaths::LocateDirectory);
    folders.removeDuplicates();
    return folders;
}

QStringList SoundModuleFolders() {
    QStringList folders = installedFolders(QStringLiteral(OSTREVO_MODULE_FROM_BIN), QStringLiteral(OSTREVO_MODULE_DIR));
    folders.removeDuplicates();
    return folders;
}

bool SoundOutputLikely() {
    // Qt Multimedia plays through a PulseAudio server (PipeWire's stands in for it): named, or at its socket
    // in the user's runtime folder or the system's. Or a sound card's playback device.
    if (!qEnvironmentVariableIsEmpty("PULSE_SERVER")) return true;
    QStringList sockets{QStringLiteral("/run/pulse/native")};
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty())
        sockets << runtime + QStringLiteral("/pulse/native") << runtime + QStringLiteral("/pipewire-0");
    for (const QString& socket : sockets)
        if (QFileInfo::exists(socket)) return true;
    glob_t found{};
    const bool card = ::glob("/dev/snd/pcmC*D*p", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    ::globfree(&found);
    return card;
}

std::unique_ptr<SirenPlayer> ModulePlayer(const QStringList& folders, std::function<bool()> soundOutput) {
    return std::make_unique<SoundModulePlayer>(folders, std::move(soundOutput));
}

QString SirenFileLookup(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(Siren::FileName));
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

Siren::Siren(QObject* parent) : Siren(DefaultSirenFolder(), nullptr, parent) {}

Siren::Siren(const QString& folder, std::unique_ptr<SirenPlayer> player, QObject* parent)
    : QObject(parent), player_(std::move(player)) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(FileName));
    if (QFileInfo(path).isFile()) {
        filePath_ = path;
        // Only a siren that can sound needs the sound system.
        if (!player_) player_ = ModulePlayer();
    }
    if (player_) {
        connect(player_.get(), &SirenPlayer::finished, this, &Siren::playFinished);
        connect(player_.get(), &SirenPlayer::failed, this, &Siren::playerFailed);
    }
    endTimer_.setSingleShot(true);
    connect(&endTimer_, &QTimer::timeout, this, &Siren::playTimedOut);
}

Siren::~Siren() {
    // The player may still report the play it is stopping; nobody is listening any more.
    if (player_) player_->disconnect(this);
}

void Siren::Prepare() {
    if (!filePath_.isEmpty() && player_) player_->prepare(filePath_);
}

bool Siren::Available() const {
    return !filePath_.isEmpty() && player_ && !(failed_ && failedAt_.elapsed() < retryAfterMs_);
}

void Siren::StartSiren() {
    if (!Available()) return;
    failed_ = false; // tried (again)
    try {
        player_->stop();
        player_->load(filePath_);
        if (failed_) return; // the load failed at once
        // Set before play(): a play refused at once ends it again through playerFailed.
        playing_ = true;
        const int length = player_->durationMs();
        endTimer_.start((length >= 0 ? length : UnknownLengthMs) + EndMarginMs);
        player_->play();
    } catch (const std::exception& e) {
        playerFailed(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        playerFailed(tr("unknown sound error"));
    }
}

void Siren::playEnded() {
    playing_ = false;
    endTimer_.stop();
}

void Siren::playFinished() {
    playEnded();
    if (!reported_) return;
    reported_ = false;
    emit availableAgain();
}

void Siren::playerFailed(const QString& reason) {
    failed_ = true;
    failedAt_.start();
    playEnded();
    try {
        player_->stop();
    } catch (...) {
        // Already given up on: nothing more to do with this player.
    }
    if (reported_) return;
    reported_ = true;
    const QString text = tr("The siren is off (%1); the next alarm after a minute tries it again.").arg(reason);
    QMetaObject::invokeMethod(
        this, [this, text] { emit unavailableNow(text); }, Qt::QueuedConnection);
}

void Siren::playTimedOut() {
    if (!playing_) return;
    // Neither played out nor failed in time: the play counts as ended and the next alarm tries again.
    try {
        player_->stop();
    } catch (const std::exception& e) {
        playerFailed(QString::fromLocal8Bit(e.what()));
        return;
    } catch (...) {
        playerFailed(tr("unknown sound error"));
        return;
    }
    playEnded();
}

} // namespace monitor
