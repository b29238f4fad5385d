#include "commission/Commissioning.h"

#include "commission/LiveReview.h"
#include "commission/RecordingScan.h"
#include "commission/Replay.h"
#include "commission/ReplayBar.h"
#include "commission/ReportJob.h"
#include "commission/ReportNotice.h"
#include "commission/ReviewWindow.h"
#include "commission/ThresholdSuggestions.h"
#include "commission/WalkRecording.h"
#include "config/ConfigFile.h"
#include "config/ParameterSender.h"
#include "config/ParameterText.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "monitor/Indicators.h"
#include "monitor/LiveMarks.h"
#include "monitor/StatusView.h"
#include "remembered/Remembered.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QSettings>

namespace commission {

Commissioning::Commissioning(QWidget& window, CommissioningHost& host)
    : QObject(&window), window_(window), host_(host) {
    auto make = [this](const char* name, const QString& caption) {
        auto* a = new QAction(caption, &window_);
        a->setObjectName(QString::fromLatin1(name));
        window_.addAction(a);
        return a;
    };
    reportAction_ = make("ActionReport", QStringLiteral("&Installation Report..."));
    recordAction_ = make("ActionRecord", QStringLiteral("&Record"));
    recordAction_->setCheckable(true);
    recordAction_->setToolTip(QStringLiteral("Record every status reply of a walk test to a CSV file"));
    replayAction_ = make("ActionReplay", QStringLiteral("Re&play..."));
    replayAction_->setCheckable(true);
    compareAction_ = make("ActionCompare", QStringLiteral("Co&mpare with Detector..."));
    connect(reportAction_, &QAction::triggered, this, &Commissioning::ReportExecute);
    // (Not toggled: a refusal unchecks the action, which must reach its button after the check that the
    // click made, not before it.)
    connect(recordAction_, &QAction::triggered, this, &Commissioning::RecordToggled);
    connect(replayAction_, &QAction::triggered, this, &Commissioning::ReplayExecute);
    connect(compareAction_, &QAction::triggered, this, &Commissioning::CompareExecute);
    AskReportDetails = [this](QString& s, QString& i, QString& n) { return askDetailsWithDialog(s, i, n); };

    walk_ = new WalkRecording(window_, host_, recordAction_);
    markPassAction_ = walk_->markPassAction();
    markQuietAction_ = walk_->markQuietAction();
    endMarkAction_ = walk_->endMarkAction();
    replayer_ = new Replayer(window_, host_, replayAction_);
    suggestions_ = new ThresholdSuggestions(window_, host_);
    suggestAction_ = suggestions_->suggestAction;
    suggestions_->LastRecording = [this] {
        return replayer_->HasPicture() ? replayer_->Path() : walk_->Recorder().FilePath();
    };
    reportJob_ = new ReportJob(this);
    reportNotice_ = new ReportNotice(window_);
    connect(reportJob_, &ReportJob::finished, this, &Commissioning::reportFinished);
    connect(reportJob_, &ReportJob::progressed, this, [this] {
        if (!reportProgress_ || !reportJob_->Running()) return;
        reportProgress_->setLabelText(
            QStringLiteral("Writing the installation report: %1...").arg(reportJob_->Stage()));
        reportProgress_->setValue(static_cast<int>(reportJob_->Progress() * 100));
    });

    // The review view: a recording, or the live connection since Connect (summed up from its first reply).
    live_ = new LiveReview(this);
    reviewAction_ = make("ActionReview", QStringLiteral("Revie&w Recording..."));
    reviewAction_->setToolTip(QStringLiteral("Read a walk-test recording on a time axis: zoom, scroll, the values at "
                                             "the cursor, the passes and the detector's events"));
    reviewLiveAction_ = make("ActionReviewLive", QStringLiteral("Review &Live Connection"));
    reviewLiveAction_->setToolTip(QStringLiteral("The status replies since Connect on a time axis"));
    connect(reviewAction_, &QAction::triggered, this, [this] {
        const QString path = dialogs::GetFileName(&window_, dialogs::FileDialogKind::Open,
                                                  QStringLiteral("Review Recording"), QStringLiteral("CSV (*.csv)"),
                                                  replayer_->HasPicture() ? replayer_->Path() : QString());
        if (path.isEmpty() || !review().OpenRecording(path)) return;
        review().show();
        review().raise();
        review().activateWindow();
    });
    connect(reviewLiveAction_, &QAction::triggered, this, [this] {
        review().ShowLive();
        review().show();
        review().raise();
        review().activateWindow();
    });
    // Its marks, on the connection's clock: the recording's clock runs behind it by the time Record waited.
    walk_->MarkWritten = [this](const recording::Mark& m) {
        const std::int64_t behind = live_->NowMs() - walk_->Recorder().ElapsedMs();
        using Kind = recording::Mark::Kind;
        switch (m.kind) {
        case Kind::Pass:
        case Kind::Quiet:
            live_->MarkAt(
                m.kind == Kind::Pass ? graph::ReviewSpan::Kind::Pass : graph::ReviewSpan::Kind::Quiet, m.ms + behind,
                m.ms + behind,
                QStringLiteral("%1 %2")
                        .arg(m.kind == Kind::Pass ? QStringLiteral("Pass") : QStringLiteral("Quiet"))
                        .arg(m.number) +
                    (m.text.isEmpty() ? QString() : QStringLiteral(": ") + m.text),
                QStringLiteral("%1%2").arg(m.kind == Kind::Pass ? QLatin1Char('P') : QLatin1Char('Q')).arg(m.number));
            break;
        case Kind::End: live_->EndAt(m.ms + behind); break;
        case Kind::Paused:
            live_->MarkAt(graph::ReviewSpan::Kind::Pause, m.ms + behind, m.ms + behind + m.lengthMs,
                          QStringLiteral("Paused %1 s").arg(double(m.lengthMs) / 1000, 0, 'f', 1) +
                              (m.text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m.text)),
                          QStringLiteral("||"));
            break;
        case Kind::Parameters: break;
        }
    };

    // What the status store holds before the first reply of a connection is another detector's (or a
    // replay's): the report does not take it for this one's.
    connect(&host_.link(), &seriallink::PollCycle::connecting, this, [this] {
        statusSinceConnect_ = false;
        live_->Connected(host_.PortName());
        // The detector speaks again: a replay's picture goes.
        replayer_->ClearPicture();
        // A report waiting for the event memory was meant for before (one being written has what it needs).
        if (reportPath_.isEmpty()) return;
        reportPath_.clear();
        reportDeadline_.stop();
        host_.ShowNotice(QStringLiteral("The installation report was not written: the link was connected again "
                                        "before the detector sent its event memory."));
    });
    reportDeadline_.setSingleShot(true);
    reportDeadline_.setInterval(3000);
    connect(&reportDeadline_, &QTimer::timeout, this, [this] {
        reportPath_.clear();
        dialogs::ShowWarning(&window_, QStringLiteral("The detector did not send its event memory, so the report "
                                                      "was not written. Check the link and try again."));
    });
}

QToolBar* Commissioning::markBar() const {
    return walk_->bar();
}

QToolBar* Commissioning::replayBar() const {
    return replayer_->bar();
}

WalkRecorder& Commissioning::Recorder() {
    return walk_->Recorder();
}

bool Commissioning::Replaying() const {
    return replayer_->Replaying();
}

void Commissioning::setMaxReplayGapMs(std::int64_t ms) {
    replayer_->setMaxGapMs(ms);
}

void Commissioning::TabShown(int index) {
    walk_->TabShown(index);
}

bool Commissioning::parametersKnown(const QString& what) {
    if (host_.link().State() == seriallink::LinkState::Polling && host_.link().ParametersKnown()) return true;
    dialogs::ShowMessage(&window_, what + QStringLiteral(" needs a connected detector whose parameters have been "
                                                         "read: connect to it first (or, for a report, replay a "
                                                         "walk test)."));
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
    const seriallink::PollCycle& link = host_.link();
    // With no detector connected, a replay's picture makes the report: the replayed walk test.
    const bool replayed = link.State() == seriallink::LinkState::Closed && replayer_->HasPicture();
    if (reportJob_->Running()) {
        host_.ShowNotice(QStringLiteral("An installation report is being written: wait for it, or cancel it."));
        if (reportProgress_) reportProgress_->show();
        return;
    }
    if (!replayed && !parametersKnown(QStringLiteral("The installation report"))) return;
    const std::uint64_t connection = link.counters().Connections;
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
    r.programVersion = host_.programVersion();
    if (replayed) {
        reportFromReplay(r, path);
        return;
    }
    // The link may have been connected anew (by itself) while the questions were open: the report
    // would describe a detector the installer did not look at.
    if (!parametersKnown(QStringLiteral("The installation report"))) return;
    if (host_.link().counters().Connections != connection) {
        dialogs::ShowMessage(&window_,
                             QStringLiteral("The link was connected again while the questions were open, "
                                            "perhaps to another detector: no report was written. Try again."));
        return;
    }
    r.port = host_.PortName();
    r.adapter = host_.PortAdapter();
    r.lenses[0] = host_.view().pir1.lens->currentText();
    r.lenses[1] = host_.view().pir2.lens->currentText();
    // The walk test recorded on this connection, as far as it has come: read from its file (while it is
    // being recorded, the file it is written to).
    reportRecording_.clear();
    if (walk_->HasWalk()) {
        r.walkFile = QFileInfo(walk_->WalkPath()).fileName();
        const WalkRecorder& recorder = walk_->Recorder();
        reportRecording_ = recorder.Path() == walk_->WalkPath() ? recorder.FilePath() : walk_->WalkPath();
    }
    report_ = r;
    reportPath_ = path;
    // The event memory is read fresh: one poll of it, then the poll goes on as before.
    host_.link().ArmPoll(protocol::frames::EventLog, protocol::frames::EventLogReplyLength);
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
    const protocol::frames::ReplyStores& stores = host_.link().stores();
    report_.written = QDateTime::currentDateTime();
    report_.eventsRead = report_.written;                                   // (the reply has just arrived)
    report_.parameters = protocol::params::DecodeRecord(stores.parameters); // as the detector reported them
    report_.status = protocol::DecodeStatus(stores.status.data());
    report_.statusKnown = statusSinceConnect_;
    report_.flash = config::FlashStateText(host_.parameterSender().Flash());
    report_.events = protocol::DecodeEventLog(stores.eventLog.data());
    if (graph::GraphWindow* g = host_.graphics(); g && statusSinceConnect_) report_.graph = g->Screen();
    startReport(report_, path, reportRecording_);
}

void Commissioning::reportFromReplay(const ReportContents& details, const QString& path) {
    const QString recording = replayer_->Path();
    // The picture as it is now: the replay may go on while its recording is read whole.
    ReportContents r = details;
    r.fromRecording = true;
    r.walkFile = QFileInfo(recording).fileName();
    r.port.clear();
    r.status = protocol::DecodeStatus(host_.link().stores().status.data());
    r.statusKnown = replayer_->ShownMs() >= 0;
    // (Only a picture the replay drew: with no reply of it shown, the graph is nobody's.)
    if (graph::GraphWindow* g = host_.graphics(); g && r.statusKnown) r.graph = g->Screen();
    r.written = QDateTime::currentDateTime();
    startReport(r, path, recording);
}

void Commissioning::startReport(const ReportContents& r, const QString& path, const QString& recording) {
    reportNotice_->hide();
    reportJob_->Start(r, path, recording);
    // Its progress, with Cancel; the window goes on meanwhile (a long walk takes a moment to read).
    delete reportProgress_;
    reportProgress_ = new QProgressDialog(QStringLiteral("Writing the installation report..."),
                                          QStringLiteral("Cancel"), 0, 100, &window_);
    reportProgress_->setObjectName(QStringLiteral("ReportProgress"));
    reportProgress_->setWindowTitle(QStringLiteral("Installation Report"));
    reportProgress_->setWindowModality(Qt::NonModal);
    reportProgress_->setAutoClose(false);
    reportProgress_->setAutoReset(false);
    reportProgress_->setMinimumDuration(300);
    reportProgress_->setValue(0);
    connect(reportProgress_, &QProgressDialog::canceled, reportJob_, &ReportJob::Cancel);
    host_.ShowNotice(QStringLiteral("Writing the installation report \"%1\"...").arg(QFileInfo(path).fileName()));
}

void Commissioning::reportFinished(bool ok, const QString& error) {
    if (reportProgress_) {
        reportProgress_->deleteLater();
        reportProgress_ = nullptr;
    }
    const QString path = reportJob_->Path();
    if (ok) {
        host_.ShowNotice(QStringLiteral("The report was written to \"%1\".").arg(path));
        reportNotice_->ShowFor(path);
    } else if (error.isEmpty()) {
        host_.ShowNotice(QStringLiteral("The installation report was not written: it was cancelled."));
    } else {
        host_.ShowNotice(QStringLiteral("The installation report was not written."));
        dialogs::ShowWarning(&window_, error.startsWith(QLatin1String("The report"))
                                           ? error
                                           : QStringLiteral("The report was not written: ") + error);
    }
}

// ---- Walk-test recording ----

void Commissioning::RecordToggled(bool on) {
    walk_->Toggled(on);
}

ReviewWindow& Commissioning::review() {
    if (!review_) {
        review_ = new ReviewWindow(&window_, *live_);
        review_->Notice = [this](const QString& text) { host_.ShowNotice(text); };
    }
    return *review_;
}

void Commissioning::StatusArrived(const std::uint8_t* status58) {
    statusSinceConnect_ = true;
    live_->Reply(protocol::DecodeStatus(status58));
    walk_->StatusArrived(status58);
}

// ---- Replay ----

void Commissioning::ReplayExecute() {
    if (Replaying()) {
        StopReplay();
        return;
    }
    {
        const QSignalBlocker quiet(replayAction_);
        replayAction_->setChecked(false);
    }
    if (host_.link().LinkActive() || host_.link().Reconnecting()) {
        // A replay shows a recording where the detector's replies would go: the link must be closed.
        if (!dialogs::AskYesNo(&window_, QStringLiteral("A recording is replayed while no detector is connected.\n"
                                                        "Disconnect from the detector and replay?")))
            return;
        if (host_.link().State() == seriallink::LinkState::Halted) host_.link().Disconnect(); // only the port to close
        else {
            // (After "Store" the link closes once the store is confirmed: the replay goes on from there.)
            host_.disconnectThen([this] { chooseReplay(); });
            return;
        }
    }
    chooseReplay();
}

void Commissioning::chooseReplay() {
    if (host_.link().State() != seriallink::LinkState::Closed) return; // the user kept the link
    const QString path =
        dialogs::GetFileName(&window_, dialogs::FileDialogKind::Open, QStringLiteral("Replay Walk Test"),
                             QStringLiteral("CSV (*.csv)"), replayer_->HasPicture() ? replayer_->Path() : QString());
    if (!path.isEmpty()) StartReplay(path);
}

bool Commissioning::StartReplay(const QString& path) {
    return replayer_->Start(path);
}

void Commissioning::StopReplay() {
    replayer_->Stop();
}

// ---- Compare ----

void Commissioning::CompareExecute() {
    if (!parametersKnown(QStringLiteral("Comparing a file with the detector"))) return;
    const QString path = dialogs::GetFileName(&window_, dialogs::FileDialogKind::Open,
                                              QStringLiteral("Compare with Detector"), QStringLiteral("bin (*.bin)"));
    if (path.isEmpty()) return;
    protocol::params::Record file{};
    QString error;
    if (!config::ReadParameterFile(path, file, error)) {
        dialogs::ShowWarning(&window_, error);
        return;
    }
    const auto differences = config::CompareParameters(
        protocol::params::DecodeRecord(file), protocol::params::DecodeRecord(host_.link().stores().parameters));
    if (differences.empty()) {
        dialogs::ShowMessage(&window_, QStringLiteral("\"%1\" and the detector hold the same parameters.").arg(path));
        return;
    }
    QString text =
        QStringLiteral("\"%1\" and the detector differ in %2 parameter(s):\n").arg(path).arg(differences.size());
    for (const config::ParameterDifference& d : differences)
        text += QStringLiteral("\n%1: file %2, detector %3").arg(d.name, d.fileValue, d.detectorValue);
    dialogs::ShowMessage(&window_, text);
}

} // namespace commission

#include "moc_Commissioning.cpp"
