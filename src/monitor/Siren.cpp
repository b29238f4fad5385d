// The alarm siren: the siren file looked up, played once per alarm through the platform's player, rested
// after a failure. The players are each platform's (SirenPlayerPosix.cpp, SirenPlayerWin32.cpp).
#include "monitor/Siren.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <exception>

namespace monitor {

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

namespace {

// The folder of the default siren: where SirenFileLookup() found it, else the executable's (no siren).
QString DefaultSirenFolder() {
    const QString file = SirenFileLookup();
    return file.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(file).path();
}

} // namespace

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
        if (!player_) player_ = PlatformPlayer();
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

#include "moc_Siren.cpp"
