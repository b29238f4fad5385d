#include "commission/Commissioning.h"

#include "config/ConfigFile.h"
#include "config/ParameterText.h"
#include "config/RememberedSettings.h"
#include "config/Settings.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "link/PollCycle.h"
#include "monitor/Indicators.h"
#include "monitor/LiveMarks.h"
#include "monitor/StatusView.h"
#include "view/ViewPage.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>

Commissioning::Commissioning(QWidget& window, CommissioningHost& host)
    : QObject(&window), window_(window), host_(host) {
    auto make = [this](const char* name, const QString& caption) {
        auto* a = new QAction(caption, &window_);
        a->setObjectName(QString::fromLatin1(name));
        window_.addAction(a);
        return a;
    };
    reportAction = make("ActionReport", QStringLiteral("&Installation Report..."));
    recordAction = make("ActionRecord", QStringLiteral("&Record"));
    recordAction->setCheckable(true);
    recordAction->setToolTip(QStringLiteral("Record every status reply of a walk test to a CSV file"));
    replayAction = make("ActionReplay", QStringLiteral("Re&play..."));
    replayAction->setCheckable(true);
    compareAction = make("ActionCompare", QStringLiteral("Co&mpare with Detector..."));
    connect(reportAction, &QAction::triggered, this, &Commissioning::ReportExecute);
    // (Not toggled: a refusal unchecks the action, which must reach its button after the check that the
    // click made, not before it.)
    connect(recordAction, &QAction::triggered, this, &Commissioning::RecordToggled);
    connect(replayAction, &QAction::triggered, this, &Commissioning::ReplayExecute);
    connect(compareAction, &QAction::triggered, this, &Commissioning::CompareExecute);
    AskReportDetails = [this](QString& s, QString& i, QString& n) { return askDetailsWithDialog(s, i, n); };

    // What the status store holds before the first reply of a connection is another detector's (or a
    // replay's): the report does not take it for this one's.
    connect(&host_.link(), &PollCycle::connecting, this, [this] {
        statusSinceConnect_ = false;
        if (recorder_.Recording())
            endRecording(QStringLiteral("the link was connected again, perhaps to another detector"));
        // A report waiting for the event memory was meant for the detector of the connection before.
        if (reportPath_.isEmpty()) return;
        reportPath_.clear();
        reportDeadline_.stop();
        host_.ShowNotice(QStringLiteral("The installation report was not written: the link was connected again "
                                        "before the detector sent its event memory."));
    });
    // A recording stops as the link does: the next replies would follow a new Connect, perhaps to
    // another detector.
    connect(&host_.link(), &PollCycle::stopped, this, [this] {
        if (recorder_.Recording()) endRecording(stopCause());
    });
    recordingClock_.setInterval(1000);
    connect(&recordingClock_, &QTimer::timeout, this, &Commissioning::showRecordingTime);
    reportDeadline_.setSingleShot(true);
    reportDeadline_.setInterval(3000);
    connect(&reportDeadline_, &QTimer::timeout, this, [this] {
        reportPath_.clear();
        dialogs::ShowWarning(&window_, QStringLiteral("The detector did not send its event memory, so the report "
                                                      "was not written. Check the link and try again."));
    });
    replayStatus_.setInterval(1000);
    connect(&replayStatus_, &QTimer::timeout, this, &Commissioning::showReplayTime);
    replayTimer_.setSingleShot(true);
    replayTimer_.setTimerType(Qt::PreciseTimer);
    connect(&replayTimer_, &QTimer::timeout, this, &Commissioning::replayNext);
}

bool Commissioning::parametersKnown(const QString& what) {
    if (host_.link().State() == LinkState::Polling && host_.link().ParametersKnown) return true;
    dialogs::ShowMessage(&window_, what + QStringLiteral(" needs a connected detector whose parameters have been "
                                                         "read: connect to it first."));
    return false;
}

// ---- Installation report ----

bool Commissioning::askDetailsWithDialog(QString& site, QString& installer, QString& note) {
    QDialog dialog(&window_);
    dialog.setWindowTitle(QStringLiteral("Installation Report"));
    auto* form = new QFormLayout(&dialog);
    QSettings settings;
    auto* siteEdit = new QLineEdit(settings.value(QStringLiteral("report/site")).toString());
    auto* installerEdit = new QLineEdit(settings.value(QStringLiteral("report/installer")).toString());
    auto* noteEdit = new QPlainTextEdit(settings.value(QStringLiteral("report/note")).toString());
    noteEdit->setTabChangesFocus(true);
    form->addRow(QStringLiteral("&Site:"), siteEdit);
    form->addRow(QStringLiteral("&Installer:"), installerEdit);
    form->addRow(QStringLiteral("&Note:"), noteEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return false;
    site = siteEdit->text();
    installer = installerEdit->text();
    note = noteEdit->toPlainText();
    settings.setValue(QStringLiteral("report/site"), site);
    settings.setValue(QStringLiteral("report/installer"), installer);
    settings.setValue(QStringLiteral("report/note"), note);
    remembered::Sync(settings);
    return true;
}

void Commissioning::ReportExecute() {
    if (!parametersKnown(QStringLiteral("The installation report"))) return;
    const std::uint64_t connection = host_.link().Connections;
    ReportContents r;
    if (!AskReportDetails(r.site, r.installer, r.note)) return;
    const QString suggested =
        dialogs::FileNameFrom((r.site.isEmpty() ? QStringLiteral("report") : r.site) + QLatin1Char(' ') +
                              QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".pdf"));
    const QString chosen =
        dialogs::GetFileName(&window_, dialogs::FileDialogKind::Save, QStringLiteral("Installation Report"),
                             QStringLiteral("PDF (*.pdf)"), suggested);
    if (chosen.isEmpty()) return;
    const QString path =
        dialogs::ConfirmReplacing(&window_, chosen, dialogs::WithExtension(chosen, QStringLiteral("pdf")));
    if (path.isEmpty()) return;
    // The link may have been connected anew (by itself) while the questions were open: the report
    // would describe a detector the installer did not look at.
    if (!parametersKnown(QStringLiteral("The installation report"))) return;
    if (host_.link().Connections != connection) {
        dialogs::ShowMessage(&window_,
                             QStringLiteral("The link was connected again while the questions were open, "
                                            "perhaps to another detector: no report was written. Try again."));
        return;
    }
    r.port = host_.PortName();
    r.lenses[0] = host_.view().pir1.lens->currentText();
    r.lenses[1] = host_.view().pir2.lens->currentText();
    r.programVersion = host_.programVersion();
    report_ = r;
    reportPath_ = path;
    // The event memory is read fresh: one poll of it, then the poll goes on as before.
    host_.link().PollRequest.ArmPoll(frames::EventLog, frames::EventLogReplyLength);
    reportDeadline_.start();
}

void Commissioning::EventLogArrived() {
    if (reportPath_.isEmpty()) return;
    reportDeadline_.stop();
    // Written after the poll tick has ended, so that no box is shown from inside it.
    QTimer::singleShot(0, this, &Commissioning::writeReport);
}

void Commissioning::writeReport() {
    const QString path = reportPath_;
    reportPath_.clear();
    if (path.isEmpty()) return;
    const frames::ReplyStores& stores = host_.link().Stores;
    report_.written = QDateTime::currentDateTime();
    report_.parameters = params::DecodeRecord(stores.parameters); // as the detector reported them
    report_.status = monitor::DecodeStatus(stores.status.data());
    report_.statusKnown = statusSinceConnect_;
    report_.flash = FlashStateText(host_.settings().Flash());
    report_.events = monitor::DecodeEventLog(stores.eventLog.data());
    if (GraphWindow* g = host_.graphics(); g && statusSinceConnect_) report_.graph = g->Screen;
    QString error;
    if (WriteReport(path, report_, error))
        dialogs::ShowMessage(&window_, QStringLiteral("The report was written to \"%1\".").arg(path));
    else dialogs::ShowWarning(&window_, error);
}

// ---- Walk-test recording ----

void Commissioning::RecordToggled(bool on) {
    if (!on) {
        if (!recorder_.Recording()) return;
        const auto lines = recorder_.Lines();
        recorder_.Stop();
        recordingClock_.stop();
        host_.ShowNotice(QStringLiteral("Recorded %1 replies to \"%2\".").arg(lines).arg(recorder_.Path()));
        return;
    }
    if (recorder_.Recording()) return;
    // Pressed only once the recording is being written: not while the file is asked for, nor after a
    // refusal.
    showRecordPressed(false);
    if (host_.link().State() != LinkState::Polling) {
        host_.ShowNotice(QStringLiteral("Not recording: connect first (a walk test records the detector's status "
                                        "replies)."));
        return;
    }
    const QString chosen = dialogs::GetFileName(
        &window_, dialogs::FileDialogKind::Save, QStringLiteral("Record Walk Test"), QStringLiteral("CSV (*.csv)"),
        QStringLiteral("walk ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm")) +
            QStringLiteral(".csv"));
    if (chosen.isEmpty()) return;
    // The file is created (or replaced) only once the user agreed to its name.
    const QString path =
        dialogs::ConfirmReplacing(&window_, chosen, dialogs::WithExtension(chosen, QStringLiteral("csv")));
    if (path.isEmpty()) return;
    // The link may have gone down while the dialog was open: nothing would be recorded.
    if (host_.link().State() != LinkState::Polling) {
        host_.ShowNotice(QStringLiteral("Not recording: the link to the detector went down while the file was "
                                        "chosen; connect again first."));
        return;
    }
    QString error;
    if (!recorder_.Start(path, error)) {
        host_.ShowNotice(QStringLiteral("Not recording: ") + error);
        dialogs::ShowWarning(&window_, error);
        return;
    }
    showRecordPressed(true);
    recordingClock_.start();
    showRecordingTime();
}

void Commissioning::showRecordPressed(bool on) {
    recordAction->setChecked(on); // its toggled signal sets the button
}

void Commissioning::endRecording(const QString& cause) {
    const auto lines = recorder_.Lines();
    const QString name = QFileInfo(recorder_.Path()).fileName();
    recorder_.Stop();
    recordingClock_.stop();
    showRecordPressed(false);
    host_.ShowNotice(QStringLiteral("Recording stopped: %1. \"%2\" holds the %3 replies recorded until then.")
                         .arg(cause, name)
                         .arg(lines));
}

QString Commissioning::stopCause() {
    switch (host_.link().State()) {
    case LinkState::Halted: return QStringLiteral("the link was lost");
    case LinkState::Reconnecting:
        return QStringLiteral("the link was lost; reconnecting to %1 (Record again once it is back)")
            .arg(host_.PortName());
    default: return QStringLiteral("the link was closed");
    }
}

void Commissioning::showRecordingTime() {
    const auto s = recorder_.ElapsedMs() / 1000;
    host_.ShowRunningCount(QStringLiteral("Recording %1:%2, %3 replies")
                         .arg(s / 60)
                         .arg(s % 60, 2, 10, QLatin1Char('0'))
                         .arg(recorder_.Lines()));
}

void Commissioning::StatusArrived(const std::uint8_t* status58) {
    statusSinceConnect_ = true;
    if (!recorder_.Recording()) return;
    QString cause;
    if (!recorder_.Record(status58, cause)) endRecording(cause); // told without a box: this runs inside the poll tick
}

// ---- Replay ----

void Commissioning::ReplayExecute() {
    if (Replaying()) {
        StopReplay();
        return;
    }
    const QSignalBlocker quiet(replayAction);
    replayAction->setChecked(false);
    if (host_.link().LinkActive() || host_.link().Reconnecting()) {
        // A replay shows a recording where the detector's replies would go: the link must be closed.
        if (!dialogs::AskYesNo(&window_, QStringLiteral("A recording is replayed while no detector is connected.\n"
                                                        "Disconnect from the detector and replay?")))
            return;
        if (host_.link().State() == LinkState::Halted) host_.link().Disconnect(); // only the port to close
        else host_.connectOrDisconnect(); // Disconnect, which asks first when changes are not stored
        if (host_.link().State() != LinkState::Closed) return; // the user kept the link
    }
    const QString path = dialogs::GetFileName(&window_, dialogs::FileDialogKind::Open,
                                              QStringLiteral("Replay Walk Test"), QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) StartReplay(path);
}

bool Commissioning::StartReplay(const QString& path) {
    StopReplay();
    QString error;
    if (!replay_.Open(path, error)) {
        dialogs::ShowWarning(&window_, error);
        return false;
    }
    replayName_ = path;
    replayFirstMs_ = -1;
    replayShownMs_ = 0;
    replayShiftMs_ = -1;
    replayLastMs_ = -1;
    replayPending_ = false;
    host_.indicators().setSirenAllowed(false); // the lamps show the walk again, the siren stays quiet
    {
        const QSignalBlocker quiet(replayAction);
        replayAction->setChecked(true);
    }
    replayClock_.start();
    replayStatus_.start();
    replayNext();
    if (Replaying()) showReplayTime();
    return true;
}

namespace {
QString minutes(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

void Commissioning::showReplayTime() {
    if (!Replaying()) return;
    const std::int64_t first = std::max<std::int64_t>(replayFirstMs_, 0);
    QString text = QStringLiteral("Replaying %1 \u2013 %2")
                       .arg(QFileInfo(replayName_).fileName(), minutes(replayShownMs_ - first));
    if (replay_.LastMs() >= first) text += QStringLiteral(" of ") + minutes(replay_.LastMs() - first);
    host_.ShowRunningCount(text);
}

void Commissioning::replayNext() {
    if (!replayPending_) {
        QString error;
        switch (replay_.Next(pendingMs_, pendingStatus_, error)) {
        case RecordingReader::Result::End:
            StopReplay();
            host_.ShowNotice(QStringLiteral("Replay finished."));
            return;
        case RecordingReader::Result::Bad: {
            const qint64 line = replay_.LineNumber();
            StopReplay();
            dialogs::ShowWarning(
                &window_, QStringLiteral("Line %1 of \"%2\" is not a status reply: %3. The replay stopped there.")
                              .arg(line)
                              .arg(replayName_, error));
            return;
        }
        case RecordingReader::Result::Failed: {
            const qint64 line = replay_.LineNumber();
            StopReplay();
            dialogs::ShowWarning(&window_, QStringLiteral("The replay of \"%1\" stopped after line %2: the file could "
                                                          "not be read on: %3")
                                               .arg(replayName_)
                                               .arg(line)
                                               .arg(error));
            return;
        }
        case RecordingReader::Result::Later: // a slice of the file held no reply: on with it on the next turn
            replayTimer_.start(0);
            return;
        case RecordingReader::Result::Reply: break;
        }
        replayPending_ = true;
        // At its recorded pace, but a pause longer than MaxReplayGapMs (a clock that jumped, a
        // recording left running) is shortened to it; a time that goes back plays at once.
        if (replayShiftMs_ < 0) replayShiftMs_ = replayFirstMs_ = pendingMs_;
        if (replayLastMs_ >= 0 && pendingMs_ - replayLastMs_ > maxGapMs_)
            replayShiftMs_ += pendingMs_ - replayLastMs_ - maxGapMs_;
        replayLastMs_ = pendingMs_;
    }
    const std::int64_t due = pendingMs_ - replayShiftMs_;
    if (due > replayClock_.elapsed()) { // not yet
        replayTimer_.start(static_cast<int>(std::min<std::int64_t>(due - replayClock_.elapsed(), maxGapMs_)));
        return;
    }
    replayPending_ = false;
    replayShownMs_ = pendingMs_;
    const auto bytes = monitor::EncodeStatus(pendingStatus_);
    auto& store = host_.link().Stores.status;
    std::copy(bytes.begin(), bytes.end(), store.begin());
    host_.liveMarks().SetLive(true);
    host_.statusView().SplitFlags(store);
    host_.statusView().ShowStatus(store);
    replayTimer_.start(0);
}

void Commissioning::StopReplay() {
    const bool was = Replaying();
    replayTimer_.stop();
    replayStatus_.stop();
    replay_.Close();
    replayPending_ = false;
    host_.indicators().setSirenAllowed(true);
    const QSignalBlocker quiet(replayAction);
    replayAction->setChecked(false);
    if (!was) return;
    host_.ShowNotice(QString());
    // What the view shows belonged to the recording: it is emptied, and not live.
    host_.liveMarks().Clear(host_.graphics());
    host_.liveMarks().SetLive(false);
}

// ---- Compare ----

void Commissioning::CompareExecute() {
    if (!parametersKnown(QStringLiteral("Comparing a file with the detector"))) return;
    const QString path = dialogs::GetFileName(&window_, dialogs::FileDialogKind::Open,
                                              QStringLiteral("Compare with Detector"), QStringLiteral("bin (*.bin)"));
    if (path.isEmpty()) return;
    params::Record file{};
    QString error;
    if (!configfile::ReadParameterFile(path, file, error)) {
        dialogs::ShowWarning(&window_, error);
        return;
    }
    const auto differences =
        CompareParameters(params::DecodeRecord(file), params::DecodeRecord(host_.link().Stores.parameters));
    if (differences.empty()) {
        dialogs::ShowMessage(&window_, QStringLiteral("\"%1\" and the detector hold the same parameters.").arg(path));
        return;
    }
    QString text =
        QStringLiteral("\"%1\" and the detector differ in %2 parameter(s):\n").arg(path).arg(differences.size());
    for (const ParameterDifference& d : differences)
        text += QStringLiteral("\n%1: file %2, detector %3").arg(d.name, d.fileValue, d.detectorValue);
    dialogs::ShowMessage(&window_, text);
}
