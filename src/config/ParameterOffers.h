// Whole parameter sets offered to the detector (a parameter file, the set read at Connect or when the
// detector arrived, suggested thresholds, the undoing of a change): the user sees every change one makes
// and agrees, then it goes out as one frame made on the detector's parameters as they are.
#pragma once

#include "protocol/ParameterBlock.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;
namespace seriallink {
class PollCycle;
} // namespace seriallink
namespace view {
struct ViewControls;
} // namespace view

namespace config {

class ParameterSender;
class ReadBack;

class ParameterOffers : public QObject {
    Q_OBJECT
  public:
    struct Offer {
        // The set to send, made on the detector's parameters as the link's store holds them now (a file
        // or a remembered set gives its own bytes whatever the store holds).
        std::function<protocol::params::Record()> make;
        QString what;     // names the command in a message: "Loading a configuration"
        QString question; // "Load "a.bin" into the detector?"
        QString source;   // "\"a.bin\"", "The set read at Connect"
        QStringList notes;
        std::uint64_t connection = 0; // the connection it is meant for
        bool undoable = true;         // once sent, Undo Last Change can take it back
        // The offer is over: its frame went out, or the detector held the set already.
        std::function<void()> done;
    };

    ParameterOffers(QWidget* window, view::ViewControls& view, seriallink::PollCycle& link, ParameterSender& sender,
                    ReadBack& readBack);

    void setNotice(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }
    // Where this run's arrival set is kept as a file; none: kept for the run only.
    void setArrivalFolder(const QString& folder) { arrivalFolder_ = folder; }

    // Asks (listing every change), then sends. After a failed exchange the set waits for the detector's
    // fresh parameters and is compared with them: when it would change anything the question did not
    // list, the question is asked again with the new list.
    void offer(const Offer& offer);
    // How long a decision waits for a question or dialog open at the time to close, and looks again.
    static constexpr int DecideLaterMs = 250;
    // An agreed set waits for the detector's fresh parameters, or for its tick.
    bool Waiting() const { return waiting_.has_value(); }

    // Polling, with the detector's parameters read: said in a box when not, naming what needs it.
    bool DetectorReady(const QString& what);
    // The answer is still for the link it was asked on: said in a box when not.
    bool SameConnection(std::uint64_t connection, const QString& what);

    // The commands.
    void revertToConnectTime();
    void revertToArrival();
    void undoLastChange();

    // The first parameters read from a detector in this run, where and when.
    struct Arrival {
        protocol::params::Record record{};
        QString port, file;
        QDateTime at;
        std::uint64_t connection = 0;
    };
    const std::optional<Arrival>& arrival() const { return arrival_; }

  signals:
    void waitingChanged();
    void arrivalKept();

  private:
    struct Agreed {
        Offer offer;
        QStringList listed;
        bool awaitingReadBack = false;
        protocol::params::Parameters before; // what the set replaced, once sent
        protocol::params::Parameters after;
        protocol::params::Record beforeRecord{}; // the store before it was shown
    };
    // "MW Pulses: 4 -> 1" for every setting bytes would change on the detector.
    QStringList changes(const protocol::params::Record& bytes) const;
    bool ask(const Offer& offer, const QStringList& changes, const QString& preface);
    void go(const Offer& offer, const QStringList& listed);
    void send(const Offer& offer, const protocol::params::Record& bytes, const QStringList& listed);
    void drop(const QString& why);
    void decideAgain();
    void readBackTaken();
    void keepArrival();
    // p as a record, its pad bytes as the store holds them.
    protocol::params::Record recordOn(const protocol::params::Parameters& p) const;
    void notice(const QString& text);

    QWidget* window_;
    view::ViewControls& view_;
    seriallink::PollCycle& link_;
    ParameterSender& sender_;
    ReadBack& readBack_;
    std::function<void(const QString&)> notice_;
    std::optional<Agreed> waiting_;
    std::optional<Arrival> arrival_;
    QString arrivalFolder_;
    bool deciding_ = false; // a decision is posted for after the tick
};

// Keeps record as a parameter file in folder, named by its time and port, and removes all but the
// newest keep such files. Returns the file's path, or an empty string with error set.
QString KeepArrivalFile(const QString& folder, const protocol::params::Record& record, const QString& port,
                        const QDateTime& at, QString& error, int keep = 100);

} // namespace config
