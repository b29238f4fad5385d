// The poll cycle: Connect and Disconnect, and the 10 ms tick that does one exchange with the
// detector (send the pending settings frame, or poll and check one reply), with retries and time-out.
#pragma once

#include "errorlog/ErrorLog.h"
#include "protocol/Frames.h"
#include "protocol/SerialPort.h"
#include "protocol/StatusRecord.h"

#include <QObject>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace seriallink {

// What the poll cycle needs of the screen: the chosen port and time-out, the shown tab, and the
// places where it shows the link state, its activity and its messages.
class LinkView {
  public:
    virtual ~LinkView() = default;
    virtual std::string SelectedPort() = 0;
    virtual int ReplyTimeoutMs() = 0;
    virtual int CurrentTab() = 0;
    // Captions and enabled states of a connected (true) or a closed or halted (false) link.
    virtual void ShowLinkState(bool connected) = 0;
    // The activity bar: one step (wrapping at the end), or full.
    virtual void StepActivity() = 0;
    virtual void FillActivity() = 0;
    // A message box; never called while the poll timer runs.
    virtual void ShowMessage(const std::string& text) = 0;
    // A notice in the status bar, for what the user should know but need not answer.
    virtual void ShowLinkNotice(const std::string& text) = 0;
    // A lost link is back: the detector answered on its port again.
    virtual void ShowLinkBack(const std::string& port) { ShowLinkNotice("Link back on " + port + "."); }
    // Whether a lost link is connected again without asking (the port dialog's choice).
    virtual bool ReconnectAutomatically() = 0;
    // Captions while the link waits for its port to come back: Disconnect stops the waiting.
    virtual void ShowReconnecting() = 0;
    // Appends to the error log; throws ELogWriteError when the log cannot be written.
    virtual void LogError(const errorlog::LoggedException* exception, const std::string& text) = 0;
    // A good reply was copied into its store; code is the reply's own code.
    virtual void ReplyArrived(std::uint8_t code) = 0;
};

// Reconnecting: the link was lost, its port is closed, and the program waits for the port to come
// back (an adapter plugged in again) to connect by itself.
enum class LinkState { Closed, Polling, Halted, Reconnecting };

class PollCycle : public QObject {
    Q_OBJECT
  public:
    static constexpr int MaxRetries = 5;
    // Complete frames in a row that fail the frame check before the link counts as lost.
    static constexpr int MaxDamagedFrames = 6;
    // How often a lost link looks for its port while reconnecting.
    static constexpr int ReconnectPollMs = 200;
    // After a failed exchange the input is thrown away once the line has been quiet this long (a
    // USB adapter passes bytes on in bursts up to 16 ms apart), waiting no longer than the limit.
    static constexpr int ResyncQuietMs = 20;
    static constexpr int ResyncLimitMs = 50;
    // The longest one exchange may take: the reply time-out plus twice the reply's time on the line
    // at 19200 baud (ten bits a byte).
    static int ExchangeLimitMs(int replyTimeoutMs, int replyLength);
    // The time count bytes take on the line at 19200 baud, rounded up.
    static int WireTimeMs(int count);
    using SerialFactory = std::function<std::unique_ptr<protocol::SerialPort>()>;

    PollCycle(LinkView& view, QTimer* pollTimer, QObject* parent = nullptr);
    ~PollCycle() override;

    void Connect();
    // Disconnect, also while reconnecting: the link is closed and stays so.
    void Disconnect();
    // The user chose a port: a lost link no longer waits for its old one.
    void PortChosen(const std::string& port);
    void tick();
    void tabChanged(int index);
    // Asks for the detector's parameters with the next poll, whatever the tab and the reply that
    // comes first: after a frame that changes them, the program must learn what the detector made of it.
    void RequestReadBack();
    bool ReadBackRequested() const { return readBackRequested_; }
    // An exchange failed, or a frame was damaged, since the detector last reported its parameters: what
    // the program knows of them may be old, and no settings frame goes out before they are read again.
    bool ParametersStale() const { return parametersStale_; }
    // Exit: close the port and release the serial object, stop polling.
    void Exit();

    bool LinkActive() const { return serial_ && serial_->PortOpen; }
    // The port the link was last opened with (the port dialog may name another by now); empty before
    // the first Connect.
    const std::string& ConnectedPort() const { return connectedPort_; }
    bool Reconnecting() const;
    QTimer* PollTimer() const { return pollTimer_; }
    LinkState State() const;
    protocol::SerialPort* Serial() const { return serial_.get(); }
    void setSerialFactory(SerialFactory factory) { serialFactory_ = std::move(factory); }

    // The request each exchange sends when no settings frame is due (status, read-back, event memory...).
    const protocol::frames::PollRequest& pollRequest() const { return pollRequest_; }
    void ArmPoll(std::uint8_t code, int replyLength) { pollRequest_.ArmPoll(code, replyLength); }
    // A settings frame for the next exchange, in place of one still waiting.
    void QueueSettings(const std::array<std::uint8_t, 46>& frame);
    // The waiting settings frame goes nowhere.
    void DropSettings() { pendingSettings_ = false; }
    bool SettingsPending() const { return pendingSettings_; }
    // The last settings frame queued, sent or not.
    const std::array<std::uint8_t, 46>& settingsFrame() const { return settingsFrame_; }
    // The detector's last reply of each kind. The parameters' store also takes a file's record sent whole,
    // the status store a recorded reply shown again.
    const protocol::frames::ReplyStores& stores() const { return stores_; }
    void StoreParameters(const std::array<std::uint8_t, protocol::frames::DetectorParametersSize>& record) {
        stores_.parameters = record;
    }
    void StoreStatus(const protocol::StatusBytes& status) { stores_.status = status; }
    const protocol::frames::ReceiveBuffer& receiveBuffer() const { return receiveBuffer_; }
    // Failed exchanges in a row towards the time-out, and damaged frames in a row towards a lost link.
    int RetryCount() const { return retryCount_; }
    int DamagedRun() const { return damagedRun_; }
    // The detector's parameters have been read back (or loaded from a file) since the last
    // Connect: until then the controls hold defaults that must never be sent, and the VIEW tab
    // keeps asking for the read-back instead of the status.
    bool ParametersKnown() const { return parametersKnown_; }
    // The parameters count as known without a read-back (a caller that has them from elsewhere).
    void MarkParametersKnown() { parametersKnown_ = true; }

    struct Counters {
        // Good replies since the program started, and the code of the last one.
        std::uint64_t GoodReplies = 0;
        std::uint8_t LastReplyCode = 0;
        // Exchanges that failed (counted towards the time-out), complete but damaged frames that were
        // dropped, good replies that ended a run of either, and the stray bytes thrown away meanwhile.
        std::uint64_t FailedExchanges = 0;
        std::uint64_t DroppedFrames = 0;
        std::uint64_t Recoveries = 0;
        std::uint64_t BytesDiscarded = 0;
        // Connections made so far, by the user or by themselves: a question asked during one is stale when
        // this has moved on (the detector may be another one).
        std::uint64_t Connections = 0;
        // Links lost and found again without the user.
        std::uint64_t Reconnections = 0;
    };
    const Counters& counters() const { return counters_; }

  signals:
    // A settings frame went out on the line.
    void settingsSent(const std::array<std::uint8_t, 46>& frame);
    // Connect begins, and starts clean: nothing made before it is sent after it. When a settings
    // frame was still waiting (made for the detector the link had before), it was dropped;
    // settingsFrame() still holds it, for whoever wants to say what was lost.
    void connecting(bool droppedSettings);
    // A settings frame was due while the parameters were stale: it was not sent, and the read-back
    // goes out instead. Whoever made the frame makes it again on the fresh parameters.
    void settingsHeld();
    // Polling has stopped: the link was closed (Disconnect, Exit, a fault in showing a reply) or lost
    // (halted, or waiting for its port to come back). Said before any box about it opens.
    void stopped();

  private:
    void closed();
    // Opens the chosen port with the detector's line settings; false (and the serial layer's error)
    // when it cannot be had.
    bool openPort(const std::string& port);
    // The start of every connection, by the user or by itself: nothing made before is sent, and the
    // first exchange reads the parameters back.
    void startPolling();
    // Writes the log; a log that cannot be written is reported, never lost silently.
    void logError(const errorlog::LoggedException* exception, const std::string& text, bool quietly = false);
    // The link is lost: polling stops, the log has its entry first, then the user is told (a box),
    // or, when asked for, the program waits for the port to come back.
    void loseLink(const std::string& message, const errorlog::LoggedException* exception, const std::string& logText);
    void tryReconnect();
    void failExchange();
    // True when the frame was the last of too many in a row, and the link is lost.
    bool dropDamagedFrame(protocol::frames::FrameCheck check);
    // Waits for the line to calm down and empties the input, so that the next exchange starts in step.
    void resync();
    void rearm(std::uint8_t goodCode);
    // The pause before the next request begins now: the poll timer wakes the tick shortly before
    // its end and the tick waits out the rest, so that the request goes out the pause after the
    // reply, however coarse the timer (a timer of 10 ms waits up to 11).
    void startPause();
    void waitForPauseEnd();

    LinkView& view_;
    QTimer* pollTimer_;
    protocol::frames::PollRequest pollRequest_;
    bool pendingSettings_ = false;
    std::array<std::uint8_t, 46> settingsFrame_{};
    protocol::frames::ReceiveBuffer receiveBuffer_{};
    protocol::frames::ReplyStores stores_;
    int retryCount_ = 0;
    int damagedRun_ = 0;
    bool parametersKnown_ = false;
    Counters counters_;
    // The pause between a reply and the next request: the poll timer's interval when the cycle was made.
    std::chrono::milliseconds pause_;
    std::chrono::steady_clock::time_point pauseEnd_{};
    // A box or a dialog opened from inside the tick runs the event loop: the tick never runs inside itself.
    bool inTick_ = false;
    std::unique_ptr<protocol::SerialPort> serial_;
    SerialFactory serialFactory_;
    // The frame check a failed exchange's reply failed (Good when the serial layer reported the failure).
    protocol::frames::FrameCheck failedCheck_ = protocol::frames::FrameCheck::Good;
    bool troubled_ = false; // a failed exchange or a dropped frame since the last good reply
    bool readBackRequested_ = false;
    bool parametersStale_ = false;
    QTimer* reconnectTimer_;
    std::string connectedPort_; // the name the link was opened with
    std::string reconnectPort_;
    bool lossLogged_ = false;    // a lost link already has its log entry until a good reply
    bool awaitingReply_ = false; // reconnected: the port is open again, the detector not heard yet
};

} // namespace seriallink
