// The siren's sound module (ostrevo-sound.so): a short WAV through QSoundEffect, played once, never
// blocking. Loaded by the program only where a siren can sound (Siren.cpp).
#include "monitor/SoundOutput.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace monitor {

namespace {

// QSoundEffect reports a damaged file or a dead sink through its Error status, the end of a play through
// playing turning false, and ignores play() once in error; all of these become finished or failed here.
class SoundEffectOutput : public SoundOutput {
  public:
    SoundEffectOutput() {
        effect_.setLoopCount(1);
        QObject::connect(&effect_, &QSoundEffect::statusChanged, &effect_, [this] { statusChanged(); });
        QObject::connect(&effect_, &QSoundEffect::playingChanged, &effect_, [this] { playingChanged(); });
    }
    // QSoundEffect stops itself on destruction; that is no end to report.
    ~SoundEffectOutput() override { effect_.disconnect(); }

    void load(const QString& path) override {
        if (QMediaDevices::defaultAudioOutput().isNull()) {
            tellFailed(QCoreApplication::translate("Siren", "no sound output device"));
            return;
        }
        const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        // The same file stays loaded: playing it again needs no second decoding. After an error it is
        // loaded afresh (the sound device may be back).
        if (effect_.source() == url && effect_.status() != QSoundEffect::Null &&
            effect_.status() != QSoundEffect::Error)
            return;
        if (effect_.status() == QSoundEffect::Error) effect_.setSource(QUrl());
        effect_.setSource(url);
    }

    void play() override {
        const QSoundEffect::Status status = effect_.status();
        if (status == QSoundEffect::Error || status == QSoundEffect::Null) {
            tellFailed(status == QSoundEffect::Error ? errorReason()
                                                     : QCoreApplication::translate("Siren", "no sound loaded"));
            return;
        }
        active_ = true;
        effect_.play();
    }

    void stop() override {
        active_ = false;
        effect_.stop();
    }

  private:
    QString errorReason() const {
        return QCoreApplication::translate("Siren", "%1 cannot be played")
            .arg(QDir::toNativeSeparators(effect_.source().toLocalFile()));
    }

    void tellFailed(const QString& reason) {
        if (failed) failed(reason);
    }

    void statusChanged() {
        if (effect_.status() != QSoundEffect::Error) return;
        active_ = false;
        tellFailed(errorReason());
    }

    void playingChanged() {
        if (effect_.isPlaying() || !active_) return;
        active_ = false;
        if (finished) finished();
    }

    QSoundEffect effect_;
    bool active_ = false; // a play of ours is going on and has not ended yet
};

} // namespace

extern "C" Q_DECL_EXPORT SoundOutput* ostrevo_make_sound_output() {
    return new SoundEffectOutput;
}

} // namespace monitor
