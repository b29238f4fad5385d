// The alarm siren: SIREN1.WAV from the program's folder (or, installed, from its data folder), played once
// per alarm without holding up the poll.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

// The folders the program's siren file is looked for in, in this order: the executable's, then the data
// folder of an installation (<prefix>/share/ostrevo-setup: beside the executable's bin folder, at the
// prefix it was built for, and in the XDG data folders).
QStringList SirenFolders();
// The path of the siren file in the first of folders that holds it; empty when none does.
QString SirenFileLookup(const QStringList& folders = SirenFolders());

// What the siren needs of a sound player. The program plays through QSoundEffect; tests use a fake.
// Every signal is delivered on the thread the player lives in (the UI thread).
class SirenPlayer : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~SirenPlayer() override = default;

    // Puts the sound in path in place for play(); loading may go on in the background. A file that
    // cannot be played, or a machine without sound output, is reported through failed(), at once or later.
    virtual void load(const QString& path) = 0;
    // Starts one play of the loaded sound and returns at once.
    virtual void play() = 0;
    // Ends the current play, if any, without a finished() for it.
    virtual void stop() = 0;
    // The loaded sound's length in milliseconds, or -1 while it is not known.
    virtual int durationMs() const { return -1; }

  signals:
    // A play ended by itself: played to its end, or ended by the sound system.
    void finished();
    // The sound cannot be played on this machine: damaged file, no sound device, refused play.
    void failed(const QString& reason);
};

// Plays the siren file once per call of StartSiren and tells when it has ended. A machine that cannot
// play it loses the siren for the rest of the run, is told once through unavailableNow(), and the
// monitoring goes on: nothing here throws, blocks or shows a box.
class Siren : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* FileName = "SIREN1.WAV";
    // Time allowed beyond the sound's length (or beyond UnknownLengthMs) before a play that has not
    // reported its end counts as ended. Generous: a busy sound server may take a second or two longer.
    static constexpr int EndMarginMs = 5000;
    static constexpr int UnknownLengthMs = 5000;

    // The siren SirenFileLookup() finds (beside the executable first), played through QSoundEffect.
    explicit Siren(QObject* parent = nullptr);
    // The siren of folder, played through player (none: through QSoundEffect). The file is looked
    // for here, once; without it the siren stays unavailable for the whole run, silently.
    explicit Siren(const QString& folder, std::unique_ptr<SirenPlayer> player = nullptr, QObject* parent = nullptr);
    ~Siren() override;

    // Plays the siren once from its start (a play still going on is stopped first), sets the playing
    // flag and returns at once. Does nothing while the siren is unavailable.
    void StartSiren();
    // The play has ended (played out, stopped, failed or timed out): clears the playing flag.
    void MediaPlayer1Notify();

    bool Available() const { return available_; }
    bool Playing() const { return playing_; }
    // The siren file's path; empty when there was no file at start-up.
    QString FilePath() const { return filePath_; }

  signals:
    // The siren has just become unavailable for the rest of the run; emitted once, from the event loop
    // after the call that found the fault, so the receiver never runs inside the poll tick. reason is a
    // sentence for the status bar: "The siren is off for this run: no sound output device".
    void unavailableNow(const QString& reason);

  private:
    void playerFailed(const QString& reason);
    void playTimedOut();

    QString filePath_;
    bool available_ = false;
    bool playing_ = false;
    bool reported_ = false;
    std::unique_ptr<SirenPlayer> player_;
    QTimer endTimer_;
};
