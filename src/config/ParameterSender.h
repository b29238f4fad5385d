// The settings controls of the VIEW tab: every change sends the whole parameter set to the detector
// (one settings frame, then a read-back), the PIR lens presets, and "Store To Flash".
#pragma once

#include "config/ParameterText.h"
#include "protocol/ParameterBlock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QAction;
namespace seriallink {
class PollCycle;
} // namespace seriallink
namespace view {
struct ViewControls;
} // namespace view

namespace config {

// What the detector's flash holds, as far as this program can tell, for the detector of the current
// (or last) connection.
enum class FlashState {
    Unknown,   // no parameters read since Connect
    Unchanged, // read back, and nothing sent to it since Connect
    NotStored, // a change was sent after the last store
    StoreSent, // a store request went out; its read-back has not come yet
    Stored,    // the store request went out and the read-back followed
};
// The status bar's words for it ("not stored in flash", ...); empty for Unknown.
QString FlashStateText(FlashState state);

class ParameterSender : public QObject {
    Q_OBJECT
  public:
    ParameterSender(view::ViewControls& view, seriallink::PollCycle& link, QObject* parent = nullptr);

    // Connects every settings control's change signal (which fires on changes made by code too)
    // to its handler, and the Store To Flash action to requestStore.
    void wire(QAction* storeToFlash);
    // Where the handlers say something that needs no answer (the status bar).
    void setNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }

    // Queues a frame of the given parameters as they are (not through the controls, which would
    // clamp them), then the read-back: a whole set the user agreed to, made on the detector's fresh
    // parameters. When the line fails before it has gone out, it is not made again here: wholeSetHeld()
    // says so, and whoever offered it decides again on the next read-back. Nothing while the link is not
    // open, the detector's parameters are not known, or a file is on the controls (false).
    bool SendParameters(protocol::params::Parameters p);
    // Said again when the link is back by itself, after "Link back on ...": what the reconnection dropped.
    void TellAtLinkBack(const QString& text);

    // While a Showing lives, values are being shown, not chosen (a read-back, a file, the detector's
    // own switches): the handlers neither edit the parameters nor build a frame.
    class Showing {
      public:
        explicit Showing(ParameterSender& s) : s_(s), was_(s.showing_) { s_.showing_ = true; }
        ~Showing() { s_.showing_ = was_; }
        Showing(const Showing&) = delete;
        Showing& operator=(const Showing&) = delete;

      private:
        ParameterSender& s_;
        bool was_;
    };

    // A status reply says whether the detector has a PIR channel's noise reduction on: the box follows.
    // When the detector switched it between two status replies, under manual noise reduction, and its
    // parameters say otherwise, it is told once, with a frame made of its parameters with only that
    // bit changed, followed by one read-back. A detector that keeps its own bit all the same is not
    // told again on this connection.
    void FollowDetectorNoiseReduction(int pir, bool on);
    // A reply 9 has been shown: the flash state and the parameters at Connect follow it, and a frame
    // held back for it is made again on it.
    void ReadBackArrived();
    FlashState Flash() const { return flash_; }
    // The link was connected again and the detector has not reported its parameters since: the flash
    // state is the one the last connection left.
    bool FlashAwaitingReport() const;
    // The parameters the detector reported first after the user's last Connect (a reconnection by
    // itself keeps them), and the connection they were read on.
    const std::optional<protocol::params::Record>& ConnectTimeParameters() const { return connectTime_; }
    std::uint64_t ConnectTimeConnection() const { return connectTimeConnection_; }
    // The notice for a link that came back by itself, with what the reconnection dropped: "Link back on
    // <port>: 1 change made while the link was down was not sent."
    QString LinkBackNotice(const QString& port);
    // Bits that the next build adds to ParameterFlags (StoreRequest after "Store To Flash").
    std::uint16_t FlagAccumulator = 0;
    // A store request that has not gone out yet: every rebuilt frame carries it until one has.
    bool StoreRequestPending() const { return storePending_; }
    // A frame waits: pending for the next tick, or held back until the parameters are read again.
    bool FrameWaiting() const;
    // A change of the user's waits to go out (pending, or held for a fresh read-back).
    bool UserChangeWaiting() const;

    // What the detector holds now (as far as the program knows: its last read-back with the changes
    // sent or queued since) against what its flash holds (the set read at Connect, or at the last
    // store's read-back), one line per setting: "PIR HIGH ABOVE Pulses: 2 -> 3".
    QStringList UnstoredChanges() const;

    // The user's changes sent to this detector, newest last, for Undo Last Change: each is the set
    // before and after it. A drag of one control is one step.
    struct Step {
        protocol::params::Parameters before, after;
        std::uint64_t id = 0;
        std::uint64_t connection = 0; // the connection it was made on
    };
    const std::vector<Step>& UndoSteps() const { return undo_; }
    // A whole set was sent in place of before: one step back.
    void AddStep(const protocol::params::Parameters& before, const protocol::params::Parameters& after);
    // The step with this id was undone (its frame went out): it leaves the list.
    void StepUndone(std::uint64_t id);

    // A parameter file opened without a detector is on the controls: their changes edit it, each its own
    // value as for a detector, and nothing is queued for the line while it lasts (a store neither).
    void StartFileEdits(const protocol::params::Parameters& file);
    void EndFileEdits();
    bool FileEditing() const { return fileEditing_; }
    const protocol::params::Parameters& FileEdits() const { return fileEdits_; }

    // Both lenses back to "User" with their full ranges, quietly: nothing is edited or sent.
    void LensesToUser();
    // Handlers. A control's change does nothing while the link is closed or the detector's
    // parameters are not known yet (or while values are shown); otherwise it writes its own value
    // into the parameters to send, queues them and arms the read-back. In file mode it writes its
    // value into the file's.
    void pir1LensChanged();
    void pir2LensChanged();
    void requestStore();

  signals:
    void flashStateChanged(FlashState state);
    // What UnstoredChanges() lists may have changed.
    void unstoredChangesChanged();
    void undoStepsChanged();
    // A whole set went out on the line; or it was held back because the line had failed (nothing of it
    // is sent until whoever offered it has decided again on the fresh parameters).
    void wholeSetSent();
    void wholeSetHeld();
    // A read-back has been shown and taken in (after the flash state followed it).
    void readBackTaken();
    // A control's change edited the file on the controls.
    void fileEdited();

  private:
    bool mayChange() const;
    void requestReadBack();
    void applyLens(int pir);
    void edit(const std::function<void(protocol::params::Parameters&)>& change);
    void queue(protocol::params::Parameters p, bool echo);
    void connecting(bool droppedSettings);
    void frameSent(const std::array<std::uint8_t, 46>& frame);
    void frameHeld();
    // A frame held while the line failed, made again on what the detector reports now: the user's
    // changes on the fresh set. The detector's own noise-reduction switch is decided again at the next
    // status reply (no temperature compensation, and the bit still differs from what the status shows).
    protocol::params::Parameters remakeHeld(const protocol::params::Parameters& old,
                                            const protocol::params::Parameters& fresh);
    void noteStep(const protocol::params::Parameters& before, const protocol::params::Parameters& after);
    void setFlash(FlashState state);
    void notice(const QString& text);

    view::ViewControls& view_;
    seriallink::PollCycle& link_;
    QAction* storeToFlash_ = nullptr;
    bool storePending_ = false;
    bool showing_ = false;
    bool pendingIsEcho_ = false; // the pending frame is the detector's own switch told back to it
    bool held_ = false;          // a frame waits for a fresh read-back (the line failed since the last)
    bool sendWhole_ = false;     // the pending set is a file or a revert, to go exactly as it is
    // Each PIR channel's noise reduction in the last status reply since Connect or the last read-back,
    // and in the last status reply since Connect.
    std::array<std::optional<bool>, 2> noiseSeen_, statusNoise_;
    // A switch held back while the line failed, to be told if the first status reply after the fresh
    // read-back still shows it.
    std::array<std::optional<bool>, 2> echoRecheck_;
    // The noise-reduction bits told to the detector, queued and sent, that its next read-back must show.
    std::uint16_t echoQueuedMask_ = 0, echoQueuedBits_ = 0, echoSentMask_ = 0, echoSentBits_ = 0;
    bool noiseEchoRefused_ = false; // it kept its own bits: not told again on this connection
    bool firstReadBackDue_ = true;  // connected, and no read-back since
    QString droppedNotice_;
    QString linkBackText_; // said at the link's return, until its first read-back
    std::uint64_t connectTimeConnection_ = 0, userConnection_ = 0;
    FlashState flash_ = FlashState::Unknown;
    // The parameters to send: the detector's, with the user's changes since its last read-back.
    protocol::params::Parameters edits_;
    std::optional<protocol::params::Record> connectTime_;
    // The sets a connection that left changes unstored knew of: the detector's last reply, and the
    // last set sent to it (its read-back may never have come).
    std::vector<protocol::params::Parameters> unstoredBefore_;
    std::optional<protocol::params::Record> lastReadBack_; // this connection's last read-back
    // What the detector's flash holds as far as the program knows: the set read at Connect, or the read-back
    // that confirmed a store; storedSince_ when that was a store of the user's.
    std::optional<protocol::params::Parameters> flashSet_;
    bool storedSince_ = false;
    std::vector<Step> undo_;
    std::uint64_t nextStepId_ = 1;
    QElapsedTimer lastStepClock_;                          // since the newest step was made or grown
    protocol::params::Parameters queued_;                  // the set of the pending frame
    std::optional<protocol::params::Parameters> lastSent_; // the set of the last frame that went out
    std::function<void(const QString&)> notice_;
    bool fileEditing_ = false;
    protocol::params::Parameters fileEdits_; // the file's values with the changes made on the controls
};

// The offsets of one relay output's bytes in the 44-byte parameter record.
constexpr int OutputRecordOffset(int output) {
    return 28 + 5 * output;
}

} // namespace config
