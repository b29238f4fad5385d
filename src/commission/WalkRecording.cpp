#include "commission/WalkRecording.h"

#include "commission/BarRoom.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "seriallink/PollCycle.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

namespace commission {

WalkRecording::WalkRecording(QWidget& window, CommissioningHost& host, QAction* recordAction)
    : QObject(&window), window_(window), host_(host), recordAction_(recordAction) {
    auto make = [this](const char* name, const QString& caption, Qt::Key key, const QString& tip) {
        auto* a = new QAction(caption, &window_);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(QKeySequence(key));
        a->setShortcutContext(Qt::WindowShortcut);
        a->setToolTip(tip);
        a->setEnabled(false); // while recording
        window_.addAction(a);
        return a;
    };
    markPassAction_ = make("ActionMarkPass", QStringLiteral("Mar&k Pass"), Qt::Key_M,
                           QStringLiteral("A pass begins now, with the note beside (M)"));
    markQuietAction_ = make("ActionMarkQuiet", QStringLiteral("Mark &Quiet"), Qt::Key_Q,
                            QStringLiteral("A stretch with nobody in the field begins now (Q)"));
    endMarkAction_ = make("ActionEndMark", QStringLiteral("En&d Mark"), Qt::Key_E,
                          QStringLiteral("The pass or quiet stretch under way ends now (E)"));
    connect(markPassAction_, &QAction::triggered, this, &WalkRecording::MarkPass);
    connect(markQuietAction_, &QAction::triggered, this, &WalkRecording::MarkQuiet);
    connect(endMarkAction_, &QAction::triggered, this, &WalkRecording::EndMark);

    bar_ = new QToolBar(QStringLiteral("Marks"), &window_);
    bar_->setObjectName(QStringLiteral("MarkBar"));
    bar_->setMovable(false);
    bar_->setFloatable(false);
    bar_->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* label = new QLabel(QStringLiteral("Note for the ne&xt pass:"), bar_);
    label->setContentsMargins(4, 0, 4, 0);
    bar_->addWidget(label);
    noteEdit_ = new QLineEdit(bar_);
    noteEdit_->setObjectName(QStringLiteral("PassNote"));
    noteEdit_->setPlaceholderText(QStringLiteral("10 m, left to right"));
    noteEdit_->setMaxLength(recording::MaxNoteLength);
    noteEdit_->setMinimumWidth(220);
    noteEdit_->setToolTip(QStringLiteral("Optional: taken by the next Mark Pass or Mark Quiet (Enter marks a pass, "
                                         "Escape leaves the note)"));
    label->setBuddy(noteEdit_);
    bar_->addWidget(noteEdit_);
    // Enter marks the pass and, like Escape, gives the keys back to the marks: in the note M, Q and E
    // are letters, and the next Q or E of a walk must not end up in it.
    connect(noteEdit_, &QLineEdit::returnPressed, this, [this] {
        MarkPass();
        leaveNote();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), noteEdit_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, this, &WalkRecording::leaveNote);
    for (QAction* a : {markPassAction_, markQuietAction_, endMarkAction_}) {
        // The button's caption names the key (the menu's item shows it beside).
        a->setIconText(a->text().remove(QLatin1Char('&')) + QStringLiteral(" (") +
                       a->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')'));
        auto* button = new QToolButton(bar_);
        button->setDefaultAction(a);
        button->setObjectName(a->objectName() + QStringLiteral("Button"));
        bar_->addWidget(button);
        if (a == markPassAction_) markPassButton_ = button;
    }
    bar_->hide();

    // Four times a second: a lost link is told soon, the clock once a second.
    clock_.setInterval(250);
    connect(&clock_, &QTimer::timeout, this, &WalkRecording::showTime);
    connect(&host_.link(), &seriallink::PollCycle::connecting, this, &WalkRecording::connecting);
    // The moment polling stops (before any box about it), not at the next look of the clock.
    connect(&host_.link(), &seriallink::PollCycle::stopped, this, &WalkRecording::showTime);
}

void WalkRecording::leaveNote() {
    if (noteEdit_->hasFocus()) markPassButton_->setFocus(Qt::ShortcutFocusReason);
}

void WalkRecording::showPressed(bool on) {
    recordAction_->setChecked(on); // its toggled signal sets the button
    showControls();
}

void WalkRecording::showControls() {
    const bool on = recorder_.Recording();
    ShowBarWithRoom(window_, bar_, on);
    markPassAction_->setEnabled(on);
    markQuietAction_->setEnabled(on);
    endMarkAction_->setEnabled(on && segmentOpen_);
}

void WalkRecording::Toggled(bool on) {
    if (!on) {
        if (!recorder_.Recording()) return;
        const auto lines = recorder_.Lines();
        if (const QString problem = stopWriting(); !problem.isEmpty())
            host_.ShowNotice(QStringLiteral("Recorded %1 replies, but the recording %2.").arg(lines).arg(problem));
        else host_.ShowNotice(QStringLiteral("Recorded %1 replies to \"%2\".").arg(lines).arg(recorder_.Path()));
        return;
    }
    if (recorder_.Recording()) return;
    // Pressed only once the recording is being written: not while its file is asked for.
    showPressed(false);
    if (host_.link().State() != seriallink::LinkState::Polling) {
        host_.ShowNotice(QStringLiteral("Not recording: connect first (a walk test records the detector's status "
                                        "replies)."));
        return;
    }
    const QString chosen = dialogs::GetFileName(
        &window_, dialogs::FileDialogKind::Save, QStringLiteral("Record Walk Test"), QStringLiteral("CSV (*.csv)"),
        QStringLiteral("walk ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm")) +
            QStringLiteral(".csv"));
    if (chosen.isEmpty()) return showPressed(false);
    // The file is created (or replaced) only once the user agreed to its name.
    const QString path =
        dialogs::ConfirmReplacing(&window_, chosen, dialogs::WithExtension(chosen, QStringLiteral("csv")));
    if (path.isEmpty()) return showPressed(false);
    // The link may have gone down while the dialog was open: nothing would be recorded.
    if (host_.link().State() != seriallink::LinkState::Polling) {
        showPressed(false);
        host_.ShowNotice(QStringLiteral("Not recording: the link to the detector went down while the file was "
                                        "chosen; connect again first."));
        return;
    }
    QString error;
    if (!recorder_.Start(path, error)) {
        showPressed(false);
        host_.ShowNotice(QStringLiteral("Not recording: ") + error);
        dialogs::ShowWarning(&window_, error);
        return;
    }
    pauseCauses_.clear();
    awaitingSameDetector_ = false;
    parametersWritten_.reset();
    passes_ = quiets_ = 0;
    segmentOpen_ = false;
    segmentText_.clear();
    walk_ = WalkAnalysis();
    walkPath_ = path;
    noticeKind_.clear();
    showPressed(true);
    clock_.start();
    // On the LOGS tab nothing comes until the VIEW tab is shown again.
    if (host_.CurrentTab() != 0) beginPause(QStringLiteral("LOGS tab"), 0);
    showTime();
}

QString WalkRecording::stopWriting() {
    endPause(); // a pause at the end is told too
    QString problem;
    recorder_.Stop(&problem);
    walk_.Finish();
    clock_.stop();
    pauseCauses_.clear();
    awaitingSameDetector_ = false;
    showPressed(false);
    return problem;
}

void WalkRecording::endRecording(const QString& cause) {
    const auto lines = recorder_.Lines();
    const QString problem = stopWriting();
    const QString name = QFileInfo(recorder_.Path()).fileName();
    host_.ShowNotice(QStringLiteral("Recording stopped: %1. \"%2\" holds the %3 replies recorded until then%4.")
                         .arg(cause, name)
                         .arg(lines)
                         .arg(problem.isEmpty() ? QString() : QStringLiteral(" (the recording ") + problem + ')'));
}

void WalkRecording::connecting() {
    if (!recorder_.Recording()) {
        // The walk recorded belongs to the connection before.
        walk_ = WalkAnalysis();
        walkPath_.clear();
        return;
    }
    // Back by itself after a loss: most likely the same detector, which its parameters will tell.
    if (host_.link().Reconnecting()) {
        beginPause(QStringLiteral("link lost"), recorder_.LastReplyMs());
        awaitingSameDetector_ = true;
        return;
    }
    endRecording(QStringLiteral("the link was connected again, perhaps to another detector"));
}

void WalkRecording::showTime() {
    if (!recorder_.Recording()) return;
    const seriallink::LinkState state = host_.link().State();
    if (state == seriallink::LinkState::Reconnecting) {
        // The link was lost; the detector's replies may come again.
        beginPause(QStringLiteral("link lost"), recorder_.LastReplyMs());
    } else if (state != seriallink::LinkState::Polling) {
        // Nothing more can come into this recording once polling has stopped: the next replies would
        // follow a new Connect, perhaps to another detector.
        endRecording(state == seriallink::LinkState::Halted ? QStringLiteral("the detector stopped answering")
                                                            : QStringLiteral("the link was closed"));
        return;
    }
    if (Paused()) {
        const QString text = QStringLiteral("Recording paused: ") + PauseCause();
        notice(text, text);
        return;
    }
    const auto s = recorder_.ElapsedMs() / 1000;
    notice(QStringLiteral("Recording %1:%2, %3 replies%4")
               .arg(s / 60)
               .arg(s % 60, 2, 10, QLatin1Char('0'))
               .arg(recorder_.Lines())
               .arg(segmentOpen_ ? QStringLiteral(", ") + segmentText_ : QString()),
           segmentOpen_ ? segmentText_ : QStringLiteral("clock"));
}

void WalkRecording::notice(const QString& text, const QString& kind) {
    // Said once a second (something else may have been said meanwhile), and at once when what it says
    // changes in more than its clock and count.
    const std::int64_t second = recorder_.ElapsedMs() / 1000;
    if (kind == noticeKind_ && second == noticeSecond_) return;
    noticeKind_ = kind;
    noticeSecond_ = second;
    host_.ShowRunningCount(text, kind);
}

void WalkRecording::TabShown(int index) {
    if (!recorder_.Recording() || host_.link().State() != seriallink::LinkState::Polling) return;
    if (index != 0) beginPause(QStringLiteral("LOGS tab"), recorder_.ElapsedMs());
    // (Back on the VIEW tab the pause ends with the first status reply.)
}

void WalkRecording::beginPause(const QString& cause, std::int64_t fromMs) {
    if (pauseCauses_.isEmpty()) pauseFromMs_ = std::max<std::int64_t>(0, fromMs);
    if (!pauseCauses_.contains(cause)) pauseCauses_ << cause;
    notice(QStringLiteral("Recording paused: ") + PauseCause(), QStringLiteral("Recording paused: ") + PauseCause());
}

bool WalkRecording::endPause() {
    if (pauseCauses_.isEmpty() || !recorder_.Recording()) return true;
    recording::Mark m;
    m.kind = recording::Mark::Kind::Paused;
    m.ms = pauseFromMs_;
    m.lengthMs = std::max<std::int64_t>(0, recorder_.ElapsedMs() - pauseFromMs_);
    m.text = PauseCause();
    pauseCauses_.clear();
    if (graph::GraphWindow* g = host_.graphics())
        g->AddPause(QStringLiteral("paused %1 s: %2").arg(QString::number(double(m.lengthMs) / 1000, 'f', 1), m.text),
                    static_cast<int>(std::min(double(m.lengthMs) / 46.5, double(g->State().GraphWidth))));
    return write(m);
}

bool WalkRecording::write(const recording::Mark& m) {
    QString cause;
    if (!recorder_.WriteMark(m, cause)) {
        endRecording(cause); // told without a box: this may run inside the poll tick
        return false;
    }
    walk_.Mark(m);
    if (MarkWritten) MarkWritten(m);
    return true;
}

void WalkRecording::StatusArrived(const std::uint8_t* status58) {
    if (!recorder_.Recording()) return;
    const seriallink::PollCycle& link = host_.link();
    if (awaitingSameDetector_) {
        // The first status after the link came back follows the detector's read-back.
        awaitingSameDetector_ = false;
        if (parametersWritten_ && link.ParametersKnown() && link.stores().parameters != *parametersWritten_) {
            endRecording(QStringLiteral("the detector that answered when the link came back reports other "
                                        "parameters, perhaps it is another one"));
            // Its walk is not this detector's: no report of this connection takes it.
            walk_ = WalkAnalysis();
            walkPath_.clear();
            return;
        }
    }
    const bool wasPaused = Paused();
    if (!endPause()) return;
    if (link.ParametersKnown() && (!parametersWritten_ || *parametersWritten_ != link.stores().parameters)) {
        recording::Mark m;
        m.kind = recording::Mark::Kind::Parameters;
        m.ms = recorder_.ElapsedMs();
        m.parameters = link.stores().parameters;
        if (!write(m)) return;
        parametersWritten_ = link.stores().parameters;
    }
    QString cause;
    if (!recorder_.Record(status58, cause)) {
        endRecording(cause); // told without a box: this runs inside the poll tick
        return;
    }
    walk_.Reply(recorder_.LastReplyMs(), protocol::DecodeStatus(status58));
    if (wasPaused) {
        noticeKind_.clear();
        showTime();
    }
}

void WalkRecording::mark(recording::Mark::Kind kind) {
    using Kind = recording::Mark::Kind;
    if (!recorder_.Recording()) {
        host_.ShowNotice(QStringLiteral("Nothing is marked: no walk test is being recorded (press Record first)."));
        return;
    }
    // While paused nothing of the walk is recorded: a pass marked now would take in the pause.
    if (Paused()) {
        host_.ShowNotice(
            QStringLiteral("Nothing is marked: the recording is paused (%1); mark once it goes on.").arg(PauseCause()));
        return;
    }
    recording::Mark m;
    m.kind = kind;
    m.ms = recorder_.ElapsedMs();
    QString shown;
    if (kind == Kind::End) {
        if (!segmentOpen_) return;
        shown = QString();
    } else {
        m.number = kind == Kind::Pass ? ++passes_ : ++quiets_;
        m.text = recording::CleanNote(noteEdit_->text());
        noteEdit_->clear();
        shown = (kind == Kind::Pass ? QStringLiteral("Pass %1") : QStringLiteral("Quiet %1")).arg(m.number) +
                (m.text.isEmpty() ? QString() : QStringLiteral(": ") + m.text);
        segmentText_ = (kind == Kind::Pass ? QStringLiteral("pass %1") : QStringLiteral("quiet %1")).arg(m.number) +
                       (m.text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m.text));
    }
    if (!write(m)) return;
    segmentOpen_ = kind != Kind::End;
    if (graph::GraphWindow* g = host_.graphics()) {
        g->AddMark(kind == Kind::Pass    ? graph::Mark::Kind::Pass
                   : kind == Kind::Quiet ? graph::Mark::Kind::Quiet
                                         : graph::Mark::Kind::End,
                   shown);
        g->ShowNow();
    }
    showControls();
    noticeKind_.clear();
    showTime();
}

void WalkRecording::MarkPass() {
    mark(recording::Mark::Kind::Pass);
}

void WalkRecording::MarkQuiet() {
    mark(recording::Mark::Kind::Quiet);
}

void WalkRecording::EndMark() {
    mark(recording::Mark::Kind::End);
}

} // namespace commission

#include "moc_WalkRecording.cpp"
