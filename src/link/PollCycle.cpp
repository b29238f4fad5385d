#include "link/PollCycle.h"

#include "link/PortList.h"

#include <QTimer>
#include <exception>

PollCycle::PollCycle(LinkView& view, QTimer* timer2, QObject* parent)
    : QObject(parent), view_(view), timer2_(timer2), serialFactory_([] { return std::make_unique<TBlockSerial>(); }) {
    connect(timer2_, &QTimer::timeout, this, &PollCycle::Timer2Timer);
}

PollCycle::~PollCycle() = default;

int PollCycle::ExchangeLimitMs(int replyTimeoutMs, int replyLength) {
    constexpr int BitsPerByte = 10;
    constexpr int Baud = 19200;
    return replyTimeoutMs + (2 * replyLength * BitsPerByte * 1000 + Baud - 1) / Baud;
}

LinkState PollCycle::State() const {
    if (!LinkActive()) return LinkState::Closed;
    return timer2_->isActive() ? LinkState::Polling : LinkState::Halted;
}

void PollCycle::logError(const LoggedException* exception, const std::string& text) {
    try {
        view_.LogError(exception, text);
    } catch (const std::exception& e) {
        view_.ShowMessage(std::string("The error log could not be written: ") + e.what());
    }
}

void PollCycle::closed() {
    view_.ShowLinkState(false);
}

void PollCycle::Connect() {
    if (!serial_) serial_ = serialFactory_();
    // Whatever detector answers now, its parameters are unknown until it has reported them, and a
    // frame made before (for the detector the link had then, perhaps another one) is never sent
    // to it: the first frame after Connect is the read-back request.
    ParametersKnown = false;
    const bool dropped = PendingSettings;
    PendingSettings = false;
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
        // Each step runs only while the ones before it succeeded, so the message names the real
        // cause (a failed open would otherwise be reported as the configuration's bad handle).
        serial_->OpenPort(port);
        if (serial_->ErrorCode == 0) serial_->ConfigureLine(19200, 8, 'N', 0, false, false);
        if (serial_->ErrorCode == 0) serial_->SetInputQueueSize(128);
        if (serial_->ErrorCode == 0) serial_->ApplyLineSettings();
        if (serial_->ErrorCode != 0) {
            const std::string message = OpenFailureMessage(serial_->ErrorCode, serial_->ErrorText, serial_->DevicePath);
            timer2_->stop();
            if (LinkActive()) serial_->ClosePort();
            closed();
            view_.ShowMessage(message);
            return;
        }
        view_.ShowLinkState(true);
        PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
        RetryCount = 0;
        troubled_ = false;
        timer2_->start();
    } catch (const std::exception& e) {
        timer2_->stop();
        if (LinkActive()) serial_->ClosePort();
        closed();
        const LoggedException logged{ExceptionClassName(e), e.what()};
        logError(&logged, "");
        view_.ShowMessage(e.what());
    }
}

void PollCycle::Disconnect() {
    timer2_->stop();
    if (LinkActive()) serial_->ClosePort();
    closed();
}

void PollCycle::Exit() {
    if (serial_) {
        serial_->ClosePort();
        serial_.reset();
    }
    timer2_->stop();
}

void PollCycle::RequestReadBack() {
    readBackRequested_ = true;
    PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
}

void PollCycle::PageControl1Change(int index) {
    if (!LinkActive() || readBackRequested_) return;
    // Back on the VIEW tab before the parameters are known, the read-back is what it needs.
    if (index == 0 && !ParametersKnown) PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
    else if (index == 0) PollRequest.ArmPoll(frames::Status, frames::StatusReplyLength);
    else if (index == 1) PollRequest.ArmPoll(frames::EventLog, frames::EventLogReplyLength);
}

void PollCycle::resync() {
    BytesDiscarded += static_cast<std::uint64_t>(serial_->ResyncInput(ResyncQuietMs, ResyncLimitMs));
}

void PollCycle::failExchange() {
    ++FailedExchanges;
    troubled_ = true;
    if (RetryCount != MaxRetries) {
        ++RetryCount;
        timer2_->start();
        return;
    }
    RetryCount = 0;
    timer2_->stop();
    closed();
    std::string message = "Error Time Out";
    // A port that fails for a reason of its own (an adapter pulled out) says so as well.
    if (serial_->ErrorCode != 0 && serial_->ErrorCode < ErrAlreadyOwned)
        message += "\nThe port reports: " + serial_->ErrorText;
    // The failure is named by the serial layer, or by the frame check when the bytes came whole.
    const std::string cause = serial_->ErrorCode == 0 && failedCheck_ != frames::FrameCheck::Good
                                  ? std::string(frames::FrameCheckText(failedCheck_))
                                  : serial_->ErrorText;
    const std::string text = " BuffRX[0]= " + std::to_string(ReceiveBuffer[0]) +
                             " LenRX= " + std::to_string(PollRequest.ExpectedReplyLength()) + " message: " + cause;
    // The text is made first: the port may be closed (Exit) while the message box is open.
    view_.ShowMessage(message);
    logError(nullptr, text);
}

// The next request after an exchange. The VIEW tab polls the status, or the read-back for as long
// as the parameters are not known. The LOGS tab keeps its event-memory poll, and goes back to it
// after the read-back that follows a settings change, so that its grid keeps refreshing.
void PollCycle::rearm(std::uint8_t goodCode) {
    if (readBackRequested_) {
        PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
        return;
    }
    const int tab = view_.CurrentTab();
    if (tab == 0) {
        if (ParametersKnown) PollRequest.ArmPoll(frames::Status, frames::StatusReplyLength);
        else PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
    } else if (tab == 1 && goodCode == frames::ParameterReadBack) {
        PollRequest.ArmPoll(frames::EventLog, frames::EventLogReplyLength);
    }
}

void PollCycle::Timer2Timer() {
    timer2_->stop();
    view_.StepActivity();
    if (!LinkActive()) {
        timer2_->start();
        return;
    }
    // Output still queued: try again on the next tick rather than stopping the poll for good.
    if (serial_->PendingOutput() != 0) {
        timer2_->start();
        return;
    }
    if (PendingSettings) {
        const int length = SettingsFrame[2] + 5;
        const int sent = serial_->SendBytes(SettingsFrame.data(), length);
        if (sent != length || serial_->ErrorCode != 0) {
            // Not gone out: it stays pending (the next Connect sends it first), and the failure
            // counts like a failed exchange so that a dead line still ends in a time-out.
            failedCheck_ = frames::FrameCheck::Good;
            failExchange();
            return;
        }
        PendingSettings = false;
        emit settingsSent(SettingsFrame);
        view_.FillActivity();
        timer2_->start();
        return;
    }

    serial_->SendBytes(PollRequest.bytes().data(), static_cast<int>(PollRequest.bytes().size()));
    ReceiveBuffer.fill(0);
    const int expected = PollRequest.ExpectedReplyLength();
    const int timeout = view_.ReplyTimeoutMs();
    int received = 0;
    try {
        received = serial_->ReceiveBytes(ReceiveBuffer.data(), expected, timeout, ExchangeLimitMs(timeout, expected));
    } catch (const std::exception& e) {
        timer2_->stop();
        const LoggedException logged{ExceptionClassName(e), e.what()};
        logError(&logged, "");
        closed();
        view_.ShowMessage(e.what());
        return;
    }

    // A failed exchange (no reply, a short one, or one without its STX) counts towards the time-out,
    // and whatever is still on its way is thrown away so that the retry starts in step.
    if (serial_->ErrorCode != 0 || ReceiveBuffer[0] != frames::STX || received != expected) {
        failedCheck_ =
            serial_->ErrorCode == 0 && received == expected ? frames::FrameCheck::BadStx : frames::FrameCheck::Good;
        resync();
        failExchange();
        return;
    }

    std::uint8_t goodCode = 0;
    if (frames::CheckReplyFrame(ReceiveBuffer, expected) != frames::FrameCheck::Good) {
        // A complete but damaged frame: dropped, neither counted nor resetting the count. What may
        // follow it (noise, the rest of a reply out of step) goes with it.
        ++DroppedFrames;
        troubled_ = true;
        serial_->FlushOutput();
        ReceiveBuffer.fill(0);
        resync();
    } else {
        if (troubled_) ++Recoveries;
        troubled_ = false;
        RetryCount = 0;
        view_.ShowLinkState(true);
        const std::uint8_t code = frames::DispatchReply(ReceiveBuffer, Stores);
        ReceiveBuffer.fill(0);
        ++GoodReplies;
        LastReplyCode = code;
        goodCode = code;
        if (code == frames::ParameterReadBack) {
            ParametersKnown = true;
            readBackRequested_ = false;
        }
        try {
            view_.ReplyArrived(code);
        } catch (const std::exception& e) {
            // A fault in showing a reply: reported, and the poll timer stays as the consumer left it.
            const bool wasRunning = timer2_->isActive();
            timer2_->stop();
            view_.ShowMessage(e.what());
            if (wasRunning) timer2_->start();
            return;
        }
    }
    rearm(goodCode);
    timer2_->start();
}
