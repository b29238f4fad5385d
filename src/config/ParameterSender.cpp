#include "config/ParameterSender.h"

#include "config/ParameterText.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"
#include "widgets/GaugeBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

namespace config {

using namespace protocol::params;

QString FlashStateText(FlashState state) {
    switch (state) {
    case FlashState::Unknown: return QString();
    case FlashState::Unchanged: return QStringLiteral("no changes");
    case FlashState::NotStored:
    case FlashState::StoreSent: return QStringLiteral("not stored in flash");
    case FlashState::Stored: return QStringLiteral("stored in flash");
    }
    return QString();
}

ParameterSender::ParameterSender(view::ViewControls& view, seriallink::PollCycle& link, QObject* parent)
    : QObject(parent), view_(view), link_(link) {}

bool ParameterSender::mayChange() const {
    return !showing_ && link_.LinkActive() && link_.ParametersKnown();
}

void ParameterSender::requestReadBack() {
    link_.RequestReadBack();
}

void ParameterSender::notice(const QString& text) {
    if (notice_) notice_(text);
}

void ParameterSender::setFlash(FlashState state) {
    if (state == flash_) return;
    flash_ = state;
    emit flashStateChanged(state);
}

// Every Connect starts clean. What was made for the detector the link had before is dropped, and
// the user is told what was lost.
void ParameterSender::connecting(bool droppedSettings) {
    const bool byItself = link_.Reconnecting();
    const bool answeredBefore = !firstReadBackDue_; // the connection before this one had its read-back
    // The changes not sent: those the user made since the last read-back, when they never went out.
    int changes = 0;
    if (droppedSettings || held_) { // (a frame held for a read-back that never came was not sent either)
        // Against what the detector reported last: a file or a revert sets the store ahead of it.
        const Parameters before = DecodeRecord(lastReadBack_.value_or(link_.stores().parameters));
        Parameters unsent = edits_;
        unsent.reserved = before.reserved;
        changes = static_cast<int>(CompareParameters(unsent, before).size());
    }
    // A lens chosen for the detector before is not this one's: both back to "User", their full ranges.
    LensesToUser();
    const bool store = storePending_;
    storePending_ = false;
    FlagAccumulator = 0;
    pendingIsEcho_ = false;
    held_ = false;
    sendWhole_ = false;
    noiseSeen_ = {};
    statusNoise_ = {};
    echoRecheck_ = {};
    echoQueuedMask_ = echoQueuedBits_ = echoSentMask_ = echoSentBits_ = 0;
    noiseEchoRefused_ = false;
    linkBackText_.clear();
    // Going back is to the set read at the user's own Connect, also after the link came back by itself.
    if (!byItself) {
        connectTime_.reset();
        userConnection_ = link_.counters().Connections + 1; // (counted once the port is open)
        // (Undo steps back on this detector only; a link back by itself is taken to be the same one.)
        if (!undo_.empty()) {
            undo_.clear();
            emit undoStepsChanged();
        }
    }
    // The flash state stays as the last connection left it until this detector reports its
    // parameters. When that connection had them read, what it left unstored is kept to know this
    // detector by: the parameters it reported last, and the last set sent to it (whose read-back
    // may never have come). A connection lost before its read-back knew nothing new.
    if (answeredBefore) {
        unstoredBefore_.clear();
        if (flash_ == FlashState::NotStored || flash_ == FlashState::StoreSent) {
            unstoredBefore_.push_back(DecodeRecord(lastReadBack_.value_or(link_.stores().parameters)));
            if (lastSent_) unstoredBefore_.push_back(*lastSent_);
        }
    }
    firstReadBackDue_ = true;
    // A store whose read-back never came is not known to have happened.
    if (flash_ == FlashState::StoreSent) setFlash(FlashState::NotStored);
    lastReadBack_.reset();
    lastSent_.reset();
    // What an earlier reconnection dropped is still to be told when the detector has not answered
    // since (nothing new can be made meanwhile: changes wait for its parameters).
    if (!byItself || answeredBefore) droppedNotice_.clear();
    if (changes == 0 && !store) return;
    const QString what = changes == 0   ? QStringLiteral("a request to store in flash")
                         : changes == 1 ? QStringLiteral("1 change")
                                        : QStringLiteral("%1 changes").arg(changes);
    const bool several = changes > 1 || (changes > 0 && store);
    const QString text = what +
                         (changes > 0 && store ? QStringLiteral(" and a request to store in flash") : QString()) +
                         (several ? QStringLiteral(" made while the link was down were not sent.")
                                  : QStringLiteral(" made while the link was down was not sent."));
    // Back by itself, the link says it again when the detector answers, so that it is not lost behind
    // "Link back on ...".
    if (byItself) droppedNotice_ = text;
    notice(text.at(0).toUpper() + text.mid(1));
}

bool ParameterSender::FlashAwaitingReport() const {
    return firstReadBackDue_ && link_.LinkActive();
}

bool ParameterSender::FrameWaiting() const {
    return link_.SettingsPending() || held_;
}

bool ParameterSender::UserChangeWaiting() const {
    return (link_.SettingsPending() && !pendingIsEcho_ && !sendWhole_) || held_;
}

QString ParameterSender::LinkBackNotice(const QString& port) {
    const QString dropped = std::exchange(droppedNotice_, QString());
    linkBackText_ = QStringLiteral("Link back on ") + port +
                    (dropped.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + dropped);
    return linkBackText_;
}

void ParameterSender::frameSent(const std::array<std::uint8_t, 46>& frame) {
    lastSent_ = queued_;
    pendingIsEcho_ = false;
    if (std::exchange(sendWhole_, false)) emit wholeSetSent();
    if (echoQueuedMask_) {
        echoSentMask_ |= echoQueuedMask_;
        echoSentBits_ =
            static_cast<std::uint16_t>((echoSentBits_ & ~echoQueuedMask_) | (echoQueuedBits_ & echoQueuedMask_));
        echoQueuedMask_ = echoQueuedBits_ = 0;
    }
    // A store request is kept until a frame carrying it has gone out on the line.
    if (frame[24] & (StoreRequest >> 8)) {
        storePending_ = false;
        setFlash(FlashState::StoreSent);
        notice(QStringLiteral("Sent: the detector was asked to store its parameters in flash."));
    } else {
        // (The detector's own switch told back to it changes its parameters as well.)
        setFlash(FlashState::NotStored);
    }
    emit unstoredChangesChanged();
}

// The line failed before a queued frame went out: it waits for the detector's fresh parameters. A whole
// set is not made again here (whoever offered it decides again); a store request that went with it is.
void ParameterSender::frameHeld() {
    held_ = true;
    if (!std::exchange(sendWhole_, false)) return;
    if (lastReadBack_) edits_ = DecodeRecord(*lastReadBack_);
    held_ = storePending_;
    emit wholeSetHeld();
}

void ParameterSender::ReadBackArrived() {
    const Parameters fresh = DecodeRecord(link_.stores().parameters);
    // A frame held back while the line failed: made again on what the detector holds now (it may have
    // changed other values meanwhile).
    const bool held = std::exchange(held_, false) && lastReadBack_;
    edits_ = held ? remakeHeld(DecodeRecord(*lastReadBack_), fresh) : fresh;
    if (!connectTime_) {
        connectTime_ = link_.stores().parameters;
        connectTimeConnection_ = userConnection_;
    }
    lastReadBack_ = link_.stores().parameters;
    noiseSeen_ = {}; // the next status reply is the first since this read-back
    if (echoSentMask_) {
        const bool kept = (fresh.flags & echoSentMask_) != (echoSentBits_ & echoSentMask_);
        echoSentMask_ = echoSentBits_ = 0;
        if (kept && !noiseEchoRefused_) {
            noiseEchoRefused_ = true;
            notice(QStringLiteral("The detector keeps its PIR noise reduction under its own control: its switches are "
                                  "shown, and no longer sent back to it."));
        }
    }
    if (firstReadBackDue_) {
        firstReadBackDue_ = false;
        const bool unstored = flash_ == FlashState::NotStored;
        const bool same = std::any_of(unstoredBefore_.begin(), unstoredBefore_.end(),
                                      [&fresh](const Parameters& p) { return CompareParameters(p, fresh).empty(); });
        // (Said after "Link back on ...", not instead of it.)
        if (unstored && !same)
            notice((linkBackText_.isEmpty() ? QString() : linkBackText_ + QLatin1Char(' ')) +
                   QStringLiteral("The detector reports other parameters than when the changes were made: the "
                                  "changes not stored in its flash are gone (it was switched off, or it is "
                                  "another detector)."));
        if (!(unstored && same)) {
            flashSet_ = fresh;
            storedSince_ = false;
        }
        setFlash(unstored && same ? FlashState::NotStored : FlashState::Unchanged);
    } else if (flash_ == FlashState::StoreSent) {
        flashSet_ = fresh;
        storedSince_ = true;
        setFlash(FlashState::Stored);
    } else if (flash_ == FlashState::NotStored && flashSet_ && !held && !link_.SettingsPending() &&
               CompareParameters(fresh, *flashSet_).empty()) {
        // Changed back to what its flash holds (a revert, an undo, a control moved back).
        setFlash(storedSince_ ? FlashState::Stored : FlashState::Unchanged);
    }
    linkBackText_.clear();
    if (held) {
        pendingIsEcho_ = false;
        if (!(edits_ == fresh) || storePending_) {
            queue(edits_, false);
            requestReadBack();
        } else {
            echoQueuedMask_ = echoQueuedBits_ = 0; // nothing left to tell it
        }
    }
    emit unstoredChangesChanged();
    emit readBackTaken();
}

QStringList ParameterSender::UnstoredChanges() const {
    QStringList lines;
    if (!flashSet_ || fileEditing_ || flash_ == FlashState::Unknown) return lines;
    for (const ParameterDifference& d : CompareParameters(edits_, *flashSet_))
        lines << QStringLiteral("%1: %2 -> %3").arg(d.name, d.detectorValue, d.fileValue);
    return lines;
}

void ParameterSender::noteStep(const Parameters& before, const Parameters& after) {
    if (before == after) return;
    constexpr qint64 DragMs = 700; // one control moved again this soon after (a drag, a held arrow): one step
    constexpr std::size_t Kept = 100;
    auto fields = [](const Parameters& a, const Parameters& b) {
        QStringList names;
        for (const ParameterDifference& d : CompareParameters(a, b)) names << d.name;
        return names;
    };
    if (!undo_.empty() && undo_.back().after == before && undo_.back().connection == link_.counters().Connections) {
        Step& last = undo_.back();
        // Changes that go out in one frame are one step, and so are the steps of one drag.
        const bool oneFrame = link_.SettingsPending() && !pendingIsEcho_;
        const bool oneDrag = lastStepClock_.isValid() && lastStepClock_.elapsed() < DragMs &&
                             fields(last.before, last.after) == fields(before, after);
        if (oneFrame || oneDrag) {
            last.after = after;
            if (last.after == last.before) undo_.pop_back(); // moved back where it was
            lastStepClock_.start();
            emit undoStepsChanged();
            return;
        }
    }
    undo_.push_back({before, after, nextStepId_++, link_.counters().Connections});
    if (undo_.size() > Kept) undo_.erase(undo_.begin());
    lastStepClock_.start();
    emit undoStepsChanged();
}

void ParameterSender::AddStep(const Parameters& before, const Parameters& after) {
    if (before == after) return;
    undo_.push_back({before, after, nextStepId_++, link_.counters().Connections});
    lastStepClock_.invalidate();
    emit undoStepsChanged();
}

void ParameterSender::StepUndone(std::uint64_t id) {
    const auto at = std::find_if(undo_.begin(), undo_.end(), [id](const Step& s) { return s.id == id; });
    if (at == undo_.end()) return;
    undo_.erase(at);
    lastStepClock_.invalidate();
    emit undoStepsChanged();
}

void ParameterSender::StartFileEdits(const Parameters& file) {
    fileEdits_ = file;
    fileEditing_ = true;
}

void ParameterSender::EndFileEdits() {
    fileEditing_ = false;
}

void ParameterSender::edit(const std::function<void(Parameters&)>& change) {
    if (fileEditing_ && !showing_) {
        change(fileEdits_);
        emit fileEdited();
        return;
    }
    if (!mayChange()) return;
    const Parameters before = edits_;
    change(edits_);
    noteStep(before, edits_);
    queue(edits_, false);
    requestReadBack();
}

bool ParameterSender::SendParameters(Parameters p) {
    if (fileEditing_ || showing_ || !link_.LinkActive() || !link_.ParametersKnown()) return false;
    // The set goes in place of any frame still waiting: the detector's own switch told back to it is not
    // told with it (the set says what it says), and is not taken for sent either.
    pendingIsEcho_ = false;
    echoQueuedMask_ = echoQueuedBits_ = 0;
    held_ = false;
    edits_ = p;
    sendWhole_ = true;
    queue(p, false);
    requestReadBack();
    return true;
}

void ParameterSender::TellAtLinkBack(const QString& text) {
    droppedNotice_ = droppedNotice_.isEmpty() ? text : droppedNotice_ + QLatin1Char(' ') + text;
}

void ParameterSender::queue(Parameters p, bool echo) {
    if (fileEditing_) return; // (a file on the controls is never a detector's set)
    if (FlagAccumulator & StoreRequest) storePending_ = true;
    // The store bit goes out only when the user asked for it: never because the parameters the
    // frame is made of (the detector's own report, say) happen to carry it.
    p.flags = static_cast<std::uint16_t>((p.flags & ~StoreRequest) | FlagAccumulator);
    if (storePending_) p.flags |= StoreRequest;
    FlagAccumulator = 0;
    queued_ = p;
    link_.QueueSettings(EncodeSettingsFrame(p));
    pendingIsEcho_ = echo;
}

void ParameterSender::requestStore() {
    if (fileEditing_) {
        notice(QStringLiteral("Nothing stored: a file is open, no detector is connected."));
        return;
    }
    if (storeToFlash_) storeToFlash_->setEnabled(false);
    if (link_.LinkActive()) {
        if (link_.ParametersKnown()) {
            FlagAccumulator |= StoreRequest;
            // The parameters as the detector reported them with the user's changes, also one that
            // went out and waits for its read-back: a store never takes a change back.
            queue(edits_, false);
            requestReadBack();
        } else if (notice_) {
            // Said without a box: the poll goes on meanwhile, and no box may run its ticks.
            notice_(QStringLiteral("Nothing stored: the detector's parameters have not been read yet."));
        }
    }
    if (storeToFlash_) storeToFlash_->setEnabled(true);
}

} // namespace config

#include "moc_ParameterSender.cpp"
