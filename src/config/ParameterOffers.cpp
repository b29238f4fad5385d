#include "config/ParameterOffers.h"

#include "config/ConfigFile.h"
#include "config/ParameterSender.h"
#include "config/ParameterText.h"
#include "config/ReadBack.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "seriallink/PollCycle.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

namespace config {

using namespace protocol::params;

ParameterOffers::ParameterOffers(QWidget* window, view::ViewControls& view, seriallink::PollCycle& link,
                                 ParameterSender& sender, ReadBack& readBack)
    : QObject(window), window_(window), view_(view), link_(link), sender_(sender), readBack_(readBack) {
    connect(&sender_, &ParameterSender::wholeSetHeld, this, [this] {
        if (!waiting_) return;
        // The line failed before it went out: the screen and the store show the detector's set again
        // until its fresh parameters come, on which it is decided again.
        waiting_->awaitingReadBack = true;
        link_.StoreParameters(waiting_->beforeRecord);
        const ParameterSender::Showing quiet(sender_);
        readBack_.ApplyParameters();
    });
    connect(&sender_, &ParameterSender::wholeSetSent, this, [this] {
        if (!waiting_) return;
        const Agreed sent = std::move(*waiting_);
        waiting_.reset();
        if (sent.offer.undoable) sender_.AddStep(sent.before, sent.after);
        if (sent.offer.done) sent.offer.done();
        emit waitingChanged();
    });
    connect(&sender_, &ParameterSender::readBackTaken, this, &ParameterOffers::readBackTaken);
    // Connect starts clean: a set agreed to for the link before goes nowhere.
    connect(&link_, &seriallink::PollCycle::connecting, this, [this] {
        if (!waiting_) return;
        const QString source = waiting_->offer.source;
        drop(QStringLiteral("the link was connected again before it went out"));
        // Back by itself: said again after "Link back on ...", which would hide it.
        if (link_.Reconnecting()) sender_.TellAtLinkBack(QStringLiteral("%1 was not sent.").arg(source));
    });
}

void ParameterOffers::notice(const QString& text) {
    if (notice_) notice_(text);
}

bool ParameterOffers::DetectorReady(const QString& what) {
    if (link_.State() == seriallink::LinkState::Polling && link_.ParametersKnown()) return true;
    dialogs::ShowMessage(window_, what + QStringLiteral(" needs a connected detector whose parameters have been read: "
                                                        "connect to the detector first, and wait until its "
                                                        "parameters are shown."));
    return false;
}

// After a question: the link may have stopped meanwhile, or been connected again by itself, perhaps
// to another detector, for which the answer was not given.
bool ParameterOffers::SameConnection(std::uint64_t connection, const QString& what) {
    if (!DetectorReady(what)) return false;
    if (link_.counters().Connections == connection) return true;
    dialogs::ShowWarning(window_, QStringLiteral("The link was connected again while the question was open, perhaps "
                                                 "to another detector: nothing was sent. Try again."));
    return false;
}

QStringList ParameterOffers::changes(const Record& bytes) const {
    QStringList lines;
    for (const ParameterDifference& d : CompareParameters(DecodeRecord(bytes), DecodeRecord(link_.stores().parameters)))
        lines << QStringLiteral("%1: %2 -> %3").arg(d.name, d.detectorValue, d.fileValue);
    return lines;
}

Record ParameterOffers::recordOn(const Parameters& p) const {
    Record bytes = EncodeRecord(p);
    for (int pad : RecordPadOffsets)
        bytes[static_cast<std::size_t>(pad)] = link_.stores().parameters[static_cast<std::size_t>(pad)];
    return bytes;
}

bool ParameterOffers::ask(const Offer& offer, const QStringList& lines, const QString& preface) {
    QString text = preface + offer.question +
                   QStringLiteral("\n\nIt changes %1 setting(s) on the detector (now -> %2):\n")
                       .arg(lines.size())
                       .arg(offer.source);
    for (const QString& line : lines) text += QStringLiteral("\n  ") + line;
    for (const QString& note : offer.notes) text += QStringLiteral("\n\n") + note;
    return dialogs::AskYesNo(window_, text);
}

void ParameterOffers::offer(const Offer& offer) {
    if (waiting_) {
        dialogs::ShowMessage(window_, QStringLiteral("%1 waits to be sent: nothing else is sent before it. Try again "
                                                     "once it has gone out.")
                                          .arg(waiting_->offer.source));
        return;
    }
    if (!SameConnection(offer.connection, offer.what)) return;
    const QStringList lines = changes(offer.make());
    if (lines.isEmpty()) {
        dialogs::ShowMessage(
            window_,
            QStringLiteral("%1 holds the same parameters as the detector: nothing was sent.").arg(offer.source));
        if (offer.done) offer.done();
        return;
    }
    if (!ask(offer, lines, QString())) return;
    if (!SameConnection(offer.connection, offer.what)) return;
    go(offer, lines);
}

// The set as agreed, on the detector's parameters as the program knows them now; or, after a failed
// exchange, once they have been read again.
void ParameterOffers::go(const Offer& offer, const QStringList& listed) {
    if (link_.ParametersStale()) {
        waiting_ = Agreed{offer, listed, true, {}, {}};
        link_.RequestReadBack();
        notice(QStringLiteral("An exchange with the detector failed a moment ago: its parameters are read again, and "
                              "%1 is compared with them before anything is sent.")
                   .arg(offer.source.at(0).toLower() + offer.source.mid(1)));
        emit waitingChanged();
        return;
    }
    const Record bytes = offer.make();
    const QStringList now = changes(bytes);
    const auto over = [this] {
        if (!waiting_) return;
        waiting_.reset();
        emit waitingChanged();
    };
    if (now.isEmpty()) {
        over();
        notice(QStringLiteral("%1: the detector holds these parameters already; nothing was sent.").arg(offer.source));
        if (offer.done) offer.done();
        return;
    }
    if (now != listed) {
        // The detector reported other parameters while the question was open.
        const bool yes = ask(offer, now,
                             QStringLiteral("The detector's parameters have changed since you were asked: this is "
                                            "what it changes now.\n\n"));
        if (!yes || !SameConnection(offer.connection, offer.what)) return over();
        go(offer, now);
        return;
    }
    send(offer, bytes, listed);
}

void ParameterOffers::send(const Offer& offer, const Record& bytes, const QStringList& listed) {
    // (The list stays with it: should the line fail before it goes out, it is decided again against it.)
    const Record beforeRecord = link_.stores().parameters;
    const bool changeDropped = sender_.UserChangeWaiting();
    waiting_ = Agreed{offer, listed, false, DecodeRecord(beforeRecord), DecodeRecord(bytes), beforeRecord};
    link_.StoreParameters(bytes); // byte for byte, pads included
    {
        const ParameterSender::Showing quiet(sender_);
        sender_.LensesToUser(); // so that the values meet the full ranges
        readBack_.ApplyParameters();
    }
    if (!sender_.SendParameters(DecodeRecord(bytes))) { // (checked before: only a link that changed meanwhile)
        link_.StoreParameters(beforeRecord);
        drop(QStringLiteral("the detector's parameters are not known now"));
        return;
    }
    if (changeDropped)
        notice(QStringLiteral("A change made a moment ago was not sent: %1 went in its place.")
                   .arg(offer.source.at(0).toLower() + offer.source.mid(1)));
    emit waitingChanged();
}

void ParameterOffers::drop(const QString& why) {
    const QString source = waiting_->offer.source;
    waiting_.reset();
    notice(QStringLiteral("%1 was not sent: %2.").arg(source, why));
    emit waitingChanged();
}

void ParameterOffers::readBackTaken() {
    if (!arrival_) keepArrival();
    if (!waiting_ || !waiting_->awaitingReadBack || deciding_) return;
    // Decided after the tick: it may ask again, and no box opens inside the tick.
    deciding_ = true;
    QTimer::singleShot(0, this, &ParameterOffers::decideAgain);
}

void ParameterOffers::decideAgain() {
    deciding_ = false;
    if (!waiting_ || !waiting_->awaitingReadBack) return;
    // Not inside another question or dialog: decided once it has closed.
    if (QApplication::activeModalWidget()) {
        deciding_ = true;
        QTimer::singleShot(DecideLaterMs, this, &ParameterOffers::decideAgain);
        return;
    }
    if (link_.State() != seriallink::LinkState::Polling || link_.counters().Connections != waiting_->offer.connection) {
        drop(QStringLiteral("the link stopped before the detector's parameters could be compared with it"));
        return;
    }
    if (link_.ParametersStale()) { // failed again since: read once more
        link_.RequestReadBack();
        return;
    }
    // (It stays waiting while it may be asked again: leaving counts it meanwhile.)
    waiting_->awaitingReadBack = false;
    const Offer offer = waiting_->offer;
    const QStringList listed = waiting_->listed;
    go(offer, listed);
}

void ParameterOffers::keepArrival() {
    Arrival a;
    a.record = link_.stores().parameters;
    a.port = QString::fromStdString(link_.ConnectedPort());
    a.at = QDateTime::currentDateTime();
    a.connection = link_.counters().Connections;
    arrival_ = a;
    emit arrivalKept();
    if (arrivalFolder_.isEmpty()) return;
    // Written after the tick: a slow disk never delays the poll.
    QTimer::singleShot(0, this, [this] {
        QString error;
        arrival_->file = KeepArrivalFile(arrivalFolder_, arrival_->record, arrival_->port, arrival_->at, error);
        if (arrival_->file.isEmpty())
            notice(QStringLiteral("The detector's parameters on arrival are kept for this run only: %1").arg(error));
    });
}

void ParameterOffers::revertToConnectTime() {
    const QString what = QStringLiteral("Going back to the settings read at Connect");
    if (!DetectorReady(what)) return;
    const std::optional<Record>& atConnect = sender_.ConnectTimeParameters();
    if (!atConnect) return; // known together with the parameters
    Offer o;
    o.make = [bytes = *atConnect] { return bytes; };
    o.what = what;
    o.question = QStringLiteral("Send the parameters read at Connect back to the detector?");
    o.source = QStringLiteral("The set read at Connect");
    o.connection = link_.counters().Connections;
    // A link that came back by itself may have come back to another detector on the same port.
    if (sender_.ConnectTimeConnection() != o.connection)
        o.notes << QStringLiteral("Note: the link was lost and connected again by itself since your Connect: if "
                                  "another detector is on the line now, these parameters are not its own.");
    offer(o);
}

void ParameterOffers::revertToArrival() {
    const QString what = QStringLiteral("Going back to the settings the detector arrived with");
    if (!DetectorReady(what)) return;
    if (!arrival_) return; // kept with the first read-back
    Offer o;
    o.make = [bytes = arrival_->record] { return bytes; };
    o.what = what;
    o.question = QStringLiteral("Send the parameters the detector arrived with back to it?");
    o.source = QStringLiteral("The set read on arrival (%1 on %2)")
                   .arg(arrival_->at.toString(QStringLiteral("HH:mm:ss")), arrival_->port);
    o.connection = link_.counters().Connections;
    if (arrival_->connection != o.connection)
        o.notes << QStringLiteral("Note: the link has been connected again since (by you or by itself): if another "
                                  "detector is on the line now, these parameters are not its own.");
    if (!arrival_->file.isEmpty())
        o.notes << QStringLiteral("Kept in \"%1\".").arg(QDir::toNativeSeparators(arrival_->file));
    offer(o);
}

void ParameterOffers::undoLastChange() {
    const QString what = QStringLiteral("Undo Last Change");
    if (!DetectorReady(what)) return;
    if (sender_.UndoSteps().empty()) {
        dialogs::ShowMessage(window_, QStringLiteral("Nothing to undo: no change has been sent to this detector since "
                                                     "Connect, or every change has been undone."));
        return;
    }
    const ParameterSender::Step step = sender_.UndoSteps().back();
    Offer o;
    // Only what the step changed goes back, on the detector's parameters as they are.
    o.make = [this, step] {
        return recordOn(Rebase(step.after, step.before, DecodeRecord(link_.stores().parameters)));
    };
    o.what = what;
    o.question = QStringLiteral("Undo the last change on the detector?");
    o.source = QStringLiteral("The undone change");
    o.connection = link_.counters().Connections;
    o.undoable = false;
    o.done = [this, id = step.id] { sender_.StepUndone(id); };
    if (step.connection != o.connection)
        o.notes << QStringLiteral("Note: the link was lost and connected again by itself since this change: if "
                                  "another detector is on the line now, this value is not its own.");
    offer(o);
}

QString KeepArrivalFile(const QString& folder, const Record& record, const QString& port, const QDateTime& at,
                        QString& error, int keep) {
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("the folder \"%1\" could not be made.").arg(QDir::toNativeSeparators(folder));
        return {};
    }
    QString portName = port.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1);
    portName.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QString path = QDir(folder).filePath(
        QStringLiteral("arrival-%1-%2.bin").arg(at.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")), portName));
    if (!WriteParameterFile(path, record, error)) return {};
    // The newest first by their names (times), then all but the newest are removed.
    QStringList kept =
        QDir(folder).entryList({QStringLiteral("arrival-*.bin")}, QDir::Files, QDir::Name | QDir::Reversed);
    kept.removeOne(QFileInfo(path).fileName()); // (the one just written stays, whatever the clock said)
    for (int i = keep - 1; i < kept.size(); ++i) QFile::remove(QDir(folder).filePath(kept[i]));
    return path;
}

} // namespace config

#include "moc_ParameterOffers.cpp"
