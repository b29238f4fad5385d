#include "seriallink/PollCycle.h"

#include "protocol/PortList.h"

#include <QTimer>
#include <algorithm>
#include <exception>
#include <thread>

namespace seriallink {

PollCycle::PollCycle(LinkView& view, QTimer* pollTimer, QObject* parent)
    : QObject(parent), view_(view), pollTimer_(pollTimer), pause_(pollTimer->interval()),
      serialFactory_([] { return std::make_unique<protocol::SerialPort>(); }), reconnectTimer_(new QTimer(this)) {
    // The exchange's sleeps (through a reply's line time, to the end of the pause) end when they should:
    // the kernel would let each run up to 50 us late, twice an exchange, to wake the thread together
    // with others.
    protocol::SerialPort::SharpenSleeps();
    connect(pollTimer_, &QTimer::timeout, this, &PollCycle::tick);
    reconnectTimer_->setInterval(ReconnectPollMs);
    connect(reconnectTimer_, &QTimer::timeout, this, &PollCycle::tryReconnect);
}

PollCycle::~PollCycle() = default;

int PollCycle::WireTimeMs(int count) {
    constexpr int BitsPerByte = 10;
    constexpr int Baud = 19200;
    return (count * BitsPerByte * 1000 + Baud - 1) / Baud;
}

int PollCycle::ExchangeLimitMs(int replyTimeoutMs, int replyLength) {
    return replyTimeoutMs + WireTimeMs(2 * replyLength);
}

bool PollCycle::Reconnecting() const {
    return reconnectTimer_->isActive() || awaitingReply_;
}

LinkState PollCycle::State() const {
    if (Reconnecting()) return LinkState::Reconnecting;
    if (!LinkActive()) return LinkState::Closed;
    return pollTimer_->isActive() ? LinkState::Polling : LinkState::Halted;
}

void PollCycle::logError(const errorlog::LoggedException* exception, const std::string& text, bool quietly) {
    try {
        view_.LogError(exception, text);
    } catch (const std::exception& e) {
        const std::string said = std::string("The error log could not be written: ") + e.what();
        if (quietly) view_.ShowLinkNotice(said);
        else view_.ShowMessage(said);
    }
}

void PollCycle::closed() {
    view_.ShowLinkState(false);
}

bool PollCycle::openPort(const std::string& port) {
    // Each step runs only while the ones before it succeeded, so the message names the real cause
    // (a failed open would otherwise be reported as the configuration's bad handle).
    serial_->OpenPort(port);
    if (serial_->ErrorCode == 0) serial_->ConfigureLine(19200, 8, 'N', 0, false, false);
    if (serial_->ErrorCode == 0) serial_->SetInputQueueSize(128);
    if (serial_->ErrorCode == 0) serial_->ApplyLineSettings();
    if (serial_->ErrorCode == 0) return true;
    if (LinkActive()) serial_->ClosePort();
    return false;
}

void PollCycle::startPolling() {
    ++counters_.Connections;
    if (!awaitingReply_) view_.ShowLinkState(true); // (a reconnection shows it at the first good reply)
    pollRequest_.ArmPoll(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength);
    retryCount_ = 0;
    damagedRun_ = 0;
    troubled_ = false;
    parametersStale_ = false; // (nothing is sent before the read-back anyway)
    startPause();
}

void PollCycle::Connect() {
    if (!serial_) serial_ = serialFactory_();
    reconnectTimer_->stop();
    awaitingReply_ = false;
    lossLogged_ = false;
    // Whatever detector answers now, its parameters are unknown until it has reported them, and a
    // frame made before (for the detector the link had then, perhaps another one) is never sent
    // to it: the first frame after Connect is the read-back request.
    parametersKnown_ = false;
    const bool dropped = pendingSettings_;
    pendingSettings_ = false;
    readBackRequested_ = false;
    emit connecting(dropped);
    try {
        serial_->ClosePort();
        serial_->RaiseExcept = false;
        const std::string port = view_.SelectedPort();
        if (port.empty()) {
            view_.ShowMessage("set the COM port number");
            return;
        }
        connectedPort_ = port;
        if (!openPort(port)) {
            const std::string message =
                protocol::OpenFailureMessage(serial_->ErrorCode, serial_->ErrorText, serial_->DevicePath);
            pollTimer_->stop();
            closed();
            view_.ShowMessage(message);
            return;
        }
        startPolling();
    } catch (const std::exception& e) {
        pollTimer_->stop();
        if (LinkActive()) serial_->ClosePort();
        closed();
        const errorlog::LoggedException logged{errorlog::ExceptionClassName(e), e.what()};
        logError(&logged, "");
        view_.ShowMessage(e.what());
    }
}

void PollCycle::Disconnect() {
    reconnectTimer_->stop();
    awaitingReply_ = false;
    pollTimer_->stop();
    if (LinkActive()) serial_->ClosePort();
    closed();
    emit stopped();
}

void PollCycle::PortChosen(const std::string& port) {
    if (Reconnecting() && port != reconnectPort_) Disconnect();
}

void PollCycle::Exit() {
    reconnectTimer_->stop();
    awaitingReply_ = false;
    if (serial_) {
        serial_->ClosePort();
        serial_.reset();
    }
    pollTimer_->stop();
    emit stopped();
}

void PollCycle::loseLink(const std::string& message, const errorlog::LoggedException* exception,
                         const std::string& logText) {
    pollTimer_->stop();
    retryCount_ = 0;
    damagedRun_ = 0;
    awaitingReply_ = false;
    // The entry first: a program killed while the box is open has still logged the failure. A link
    // that keeps failing while it reconnects has its entry already. (Reconnecting, no box is shown:
    // a log that cannot be written is said in the status bar.)
    if (!lossLogged_) logError(exception, logText, view_.ReconnectAutomatically());
    const std::string port = connectedPort_; // (the dialog may name another one by now)
    if (!view_.ReconnectAutomatically() || port.empty()) {
        closed();
        emit stopped();
        view_.ShowMessage(message);
        return;
    }
    // The port is closed (an adapter pulled out leaves a dead descriptor) and looked for again.
    lossLogged_ = true;
    serial_->ClosePort();
    reconnectPort_ = port;
    view_.ShowReconnecting();
    view_.ShowLinkNotice("Link lost, reconnecting to " + port + "...");
    reconnectTimer_->start();
    emit stopped();
}

// While reconnecting: as soon as the port is there again and opens, polling starts afresh, clean as
// after Connect.
void PollCycle::tryReconnect() {
    if (!serial_->DevicePresent(reconnectPort_)) return;
    try {
        serial_->RaiseExcept = false;
        if (!openPort(reconnectPort_)) return; // not ready yet (busy, still being set up): next time
    } catch (const std::exception&) {
        if (LinkActive()) serial_->ClosePort();
        return;
    }
    // The port is back: polling starts afresh, clean as after Connect. The link counts as back only
    // once the detector answers (a port can come back without the detector behind it).
    reconnectTimer_->stop();
    awaitingReply_ = true;
    parametersKnown_ = false;
    const bool dropped = pendingSettings_;
    pendingSettings_ = false;
    readBackRequested_ = false;
    emit connecting(dropped); // (which says so when a change made meanwhile was dropped)
    startPolling();
}

void PollCycle::QueueSettings(const std::array<std::uint8_t, 46>& frame) {
    settingsFrame_ = frame;
    pendingSettings_ = true;
}

void PollCycle::RequestReadBack() {
    readBackRequested_ = true;
    pollRequest_.ArmPoll(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength);
}

void PollCycle::tabChanged(int index) {
    if (!LinkActive() || readBackRequested_) return;
    // Back on the VIEW tab before the parameters are known, the read-back is what it needs.
    if (index == 0 && !parametersKnown_)
        pollRequest_.ArmPoll(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength);
    else if (index == 0) pollRequest_.ArmPoll(protocol::frames::Status, protocol::frames::StatusReplyLength);
    else if (index == 1) pollRequest_.ArmPoll(protocol::frames::EventLog, protocol::frames::EventLogReplyLength);
}

void PollCycle::resync() {
    counters_.BytesDiscarded += static_cast<std::uint64_t>(serial_->ResyncInput(ResyncQuietMs, ResyncLimitMs));
}

void PollCycle::failExchange() {
    ++counters_.FailedExchanges;
    troubled_ = true;
    parametersStale_ = true;
    if (retryCount_ != MaxRetries) {
        ++retryCount_;
        startPause();
        return;
    }
    // The failure is named by the serial layer, or by the frame check when the bytes came whole.
    const bool frameCheck = serial_->ErrorCode == 0 && failedCheck_ != protocol::frames::FrameCheck::Good;
    const std::string cause =
        frameCheck ? std::string(protocol::frames::FrameCheckText(failedCheck_)) : serial_->ErrorText;
    const std::string text = " BuffRX[0]= " + std::to_string(receiveBuffer_[0]) +
                             " LenRX= " + std::to_string(pollRequest_.ExpectedReplyLength()) + " message: " + cause;
    // A port that fails for a reason of its own (an adapter pulled out) says so as well.
    const std::string portError =
        serial_->ErrorCode != 0 && serial_->ErrorCode < protocol::ErrAlreadyOwned ? serial_->ErrorText : std::string();
    loseLink(protocol::TimeOutMessage(connectedPort_, frameCheck ? cause : std::string(), portError), nullptr, text);
}

// A complete frame that fails the frame check is dropped, neither counted as a failed exchange nor
// resetting the count. What may follow it (noise, the rest of a reply out of step) goes with it.
// A detector that sends nothing else (another firmware's records) loses the link all the same.
bool PollCycle::dropDamagedFrame(protocol::frames::FrameCheck check) {
    ++counters_.DroppedFrames;
    troubled_ = true;
    parametersStale_ = true;
    serial_->FlushOutput(WireTimeMs(protocol::frames::EventLogReplyLength) + view_.ReplyTimeoutMs());
    receiveBuffer_.fill(0);
    resync();
    if (++damagedRun_ < MaxDamagedFrames) return false;
    const std::string text = " BuffRX[0]= " + std::to_string(protocol::frames::STX) +
                             " LenRX= " + std::to_string(pollRequest_.ExpectedReplyLength()) +
                             " message: " + protocol::frames::FrameCheckText(check);
    loseLink(protocol::TimeOutMessage(connectedPort_, protocol::frames::FrameCheckText(check), std::string()), nullptr,
             text);
    return true;
}

// The next request after an exchange. The VIEW tab polls the status, or the read-back for as long
// as the parameters are not known. The LOGS tab keeps its event-memory poll, and goes back to it
// after the read-back that follows a settings change, so that its grid keeps refreshing.
void PollCycle::rearm(std::uint8_t goodCode) {
    if (readBackRequested_) {
        pollRequest_.ArmPoll(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength);
        return;
    }
    const int tab = view_.CurrentTab();
    if (tab == 0) {
        if (parametersKnown_) pollRequest_.ArmPoll(protocol::frames::Status, protocol::frames::StatusReplyLength);
        else pollRequest_.ArmPoll(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength);
    } else if (tab == 1 && goodCode == protocol::frames::ParameterReadBack) {
        pollRequest_.ArmPoll(protocol::frames::EventLog, protocol::frames::EventLogReplyLength);
    }
}

void PollCycle::startPause() {
    pauseEnd_ = std::chrono::steady_clock::now() + pause_;
    pollTimer_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, pause_.count() - 1)));
}

void PollCycle::waitForPauseEnd() {
    // At most the millisecond the timer woke early (or the whole pause, for a tick called before it).
    if (std::chrono::steady_clock::now() < pauseEnd_) std::this_thread::sleep_until(pauseEnd_);
}

void PollCycle::tick() {
    // Inside a box opened from the tick the timer may run (the pause began when the reply came): that
    // tick comes again once the box has closed.
    if (inTick_) return;
    inTick_ = true;
    const struct TickEnd {
        bool& inTick;
        ~TickEnd() { inTick = false; }
    } tickEnd{inTick_};
    pollTimer_->stop();
    view_.StepActivity();
    if (!LinkActive()) {
        if (!Reconnecting()) startPause();
        return;
    }
    waitForPauseEnd();
    const int timeout = view_.ReplyTimeoutMs();
    // Output still queued: it has its line time to go out. A queue that does not drain is a failed
    // exchange, so that a stuck transmitter ends in a time-out instead of ticking on forever.
    if (const int queued = serial_->PendingOutput();
        queued > 0 && !serial_->FlushOutput(WireTimeMs(queued) + timeout)) {
        failedCheck_ = protocol::frames::FrameCheck::Good;
        failExchange();
        return;
    }
    if (pendingSettings_ && parametersStale_) {
        // The detector may have changed its parameters while the line failed: they are read again
        // first, and the frame is made anew on them.
        pendingSettings_ = false;
        RequestReadBack();
        emit settingsHeld();
    }
    if (pendingSettings_) {
        const int length = settingsFrame_[2] + 5;
        const int sent = serial_->SendBytes(settingsFrame_.data(), length, WireTimeMs(length) + timeout);
        if (sent != length || serial_->ErrorCode != 0) {
            // Not gone out: it stays pending until the next Connect drops it, and the failure counts
            // like a failed exchange so that a dead line still ends in a time-out.
            failedCheck_ = protocol::frames::FrameCheck::Good;
            failExchange();
            return;
        }
        pendingSettings_ = false;
        emit settingsSent(settingsFrame_);
        view_.FillActivity();
        startPause();
        return;
    }

    const int requestLength = static_cast<int>(pollRequest_.bytes().size());
    const int sent =
        serial_->SendBytes(pollRequest_.bytes().data(), requestLength, WireTimeMs(requestLength) + timeout);
    if (sent != requestLength || serial_->ErrorCode != 0) {
        failedCheck_ = protocol::frames::FrameCheck::Good;
        failExchange();
        return;
    }
    receiveBuffer_.fill(0);
    const int expected = pollRequest_.ExpectedReplyLength();
    int received = 0;
    try {
        received = serial_->ReceiveBytes(receiveBuffer_.data(), expected, timeout, ExchangeLimitMs(timeout, expected));
    } catch (const std::exception& e) {
        const errorlog::LoggedException logged{errorlog::ExceptionClassName(e), e.what()};
        loseLink(e.what(), &logged, "");
        return;
    }

    // A failed exchange (no reply, a short one, or one without its STX) counts towards the time-out,
    // and whatever is still on its way is thrown away so that the retry starts in step.
    if (serial_->ErrorCode != 0 || receiveBuffer_[0] != protocol::frames::STX || received != expected) {
        failedCheck_ = serial_->ErrorCode == 0 && received == expected ? protocol::frames::FrameCheck::BadStx
                                                                       : protocol::frames::FrameCheck::Good;
        resync();
        failExchange();
        return;
    }

    std::uint8_t goodCode = 0;
    if (const protocol::frames::FrameCheck check = protocol::frames::CheckReplyFrame(receiveBuffer_, expected);
        check != protocol::frames::FrameCheck::Good) {
        if (dropDamagedFrame(check)) return; // the link is lost
    } else {
        if (troubled_) ++counters_.Recoveries;
        troubled_ = false;
        lossLogged_ = false;
        if (awaitingReply_) {
            awaitingReply_ = false;
            ++counters_.Reconnections;
            view_.ShowLinkBack(reconnectPort_);
        }
        retryCount_ = 0;
        damagedRun_ = 0;
        const std::uint8_t code = protocol::frames::DispatchReply(receiveBuffer_, stores_);
        receiveBuffer_.fill(0);
        ++counters_.GoodReplies;
        counters_.LastReplyCode = code;
        goodCode = code;
        if (code == protocol::frames::ParameterReadBack) {
            parametersKnown_ = true;
            readBackRequested_ = false;
            parametersStale_ = false;
        }
        // The pause runs while the reply is shown: showing it never delays the next request.
        startPause();
        try {
            view_.ShowLinkState(true);
            view_.ReplyArrived(code);
        } catch (const std::exception& e) {
            // A fault in showing a reply: the link stops, says so and logs it, rather than polling
            // on (or not) behind captions that say connected.
            const errorlog::LoggedException logged{errorlog::ExceptionClassName(e), e.what()};
            pollTimer_->stop();
            logError(&logged, "");
            closed();
            emit stopped();
            view_.ShowMessage(e.what());
            return;
        }
    }
    rearm(goodCode);
    if (!pollTimer_->isActive()) startPause();
}

} // namespace seriallink

#include "moc_PollCycle.cpp"
