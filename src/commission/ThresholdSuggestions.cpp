#include "commission/ThresholdSuggestions.h"

#include "config/ParameterText.h"

#include "config/ConfigFile.h"
#include "config/ParameterOffers.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

namespace commission {

namespace {

QString number(int v) {
    return v < 0 ? QStringLiteral("---") : QString::number(v);
}

QString MarginRule() {
    return QStringLiteral("The rule: halfway between the two peaks (rounded up, within the control's range), and only "
                          "where that leaves at least %1 levels, and at least %2 % of the threshold, on each side: "
                          "room for a warmer night and for a walk a little farther off.")
        .arg(MinMarginLevels)
        .arg(MinMarginPercent);
}

} // namespace

ThresholdSuggestions::ThresholdSuggestions(QWidget& window, CommissioningHost& host)
    : QObject(&window), window_(window), host_(host), scan_(this) {
    suggestAction = new QAction(QStringLiteral("S&uggest Thresholds..."), &window_);
    suggestAction->setObjectName(QStringLiteral("ActionSuggestThresholds"));
    suggestAction->setToolTip(QStringLiteral("Thresholds between the quiet and the passes of a walk test"));
    window_.addAction(suggestAction);
    connect(suggestAction, &QAction::triggered, this, &ThresholdSuggestions::Execute);
    ShowSuggestions = [this](const SuggestionView& v, std::array<bool, 3>& a) { return showDialog(v, a); };
}

void ThresholdSuggestions::Execute() {
    const QString path = dialogs::GetFileName(
        &window_, dialogs::FileDialogKind::Open, QStringLiteral("Suggest Thresholds from a Walk Test"),
        QStringLiteral("CSV (*.csv)"), LastRecording ? LastRecording() : QString());
    if (!path.isEmpty()) SuggestFrom(path);
}

void ThresholdSuggestions::SuggestFrom(const QString& path) {
    QString error;
    const bool started = scan_.Start(
        path,
        [this, path](const QString& failure) {
            if (!failure.isEmpty()) dialogs::ShowWarning(&window_, failure);
            else show(path);
        },
        error);
    if (!started) {
        dialogs::ShowWarning(&window_, error);
        return;
    }
    host_.ShowNotice(
        QStringLiteral("Reading \"%1\" for its passes and quiet stretches...").arg(QFileInfo(path).fileName()));
}

void ThresholdSuggestions::show(const QString& path) {
    const WalkAnalysis& walk = scan_.Analysis();
    const QString name = QFileInfo(path).fileName();
    host_.ShowNotice(QString());
    QString why;
    if (!CanSuggestThresholds(walk.Segments(), why)) {
        dialogs::ShowMessage(&window_, QStringLiteral("\"%1\" gives no suggestion: %2.").arg(name, why));
        return;
    }
    SuggestionView view;
    view.file = name;
    const seriallink::PollCycle& link = host_.link();
    view.canApply = link.State() == seriallink::LinkState::Polling && link.ParametersKnown();
    std::array<int, 3> current{-1, -1, -1};
    if (view.canApply) {
        const protocol::params::Parameters p = protocol::params::DecodeRecord(link.stores().parameters);
        for (int c = 0; c < 3; ++c) current[c] = p.channels[c].trange;
        view.thresholdsFrom = QStringLiteral("the detector");
        // A walk recorded with other parameters (thresholds aside) was perhaps another detector's.
        if (walk.Parameters()) {
            protocol::params::Parameters recorded = *walk.Parameters();
            for (int c = 0; c < 3; ++c) recorded.channels[c].trange = p.channels[c].trange;
            if (!config::CompareParameters(recorded, p).empty())
                view.otherDetector = QStringLiteral("the recording was made with other parameters than this "
                                                    "detector has now (thresholds aside): perhaps it is another "
                                                    "detector's walk, or its set was changed since.");
        }
    } else if (walk.Parameters()) {
        for (int c = 0; c < 3; ++c) current[c] = walk.Parameters()->channels[c].trange;
        view.thresholdsFrom = QStringLiteral("the recording");
    }
    view.channels = SuggestThresholds(walk.Segments(), current);
    view.leftOut = LeftOutOfSuggestions(walk.Segments());
    // The question and the frame are for the detector the user looked at while choosing.
    const std::uint64_t connection = link.counters().Connections;
    std::array<bool, 3> chosen{};
    if (!ShowSuggestions(view, chosen)) return;
    apply(view, chosen, connection);
}

void ThresholdSuggestions::apply(const SuggestionView& view, const std::array<bool, 3>& channels,
                                 std::uint64_t connection) {
    const QString what = QStringLiteral("Applying suggested thresholds");
    const seriallink::PollCycle& link = host_.link();
    bool any = false;
    for (std::size_t c = 0; c < 3; ++c) any = any || (channels[c] && view.channels[c].suggested >= 0);
    if (!any) return;
    // The detector's own record as it is when it is asked and when it is sent, with the thresholds
    // changed: its pad bytes as they are.
    const auto make = [&link, view, channels] {
        protocol::params::Parameters p = protocol::params::DecodeRecord(link.stores().parameters);
        for (std::size_t c = 0; c < 3; ++c)
            if (channels[c] && view.channels[c].suggested >= 0)
                p.channels[c].trange = static_cast<std::uint16_t>(view.channels[c].suggested);
        protocol::params::Record bytes = protocol::params::EncodeRecord(p);
        for (int pad : protocol::params::RecordPadOffsets)
            bytes[static_cast<std::size_t>(pad)] = link.stores().parameters[static_cast<std::size_t>(pad)];
        return bytes;
    };
    QStringList notes;
    if (!view.otherDetector.isEmpty()) notes << QStringLiteral("Note: ") + view.otherDetector;
    const view::ViewControls& v = host_.view();
    if (v.pir1.lens->currentIndex() != 0 || v.pir2.lens->currentIndex() != 0)
        notes << QStringLiteral("Note: both PIR lenses go back to \"User\", so that the thresholds meet the "
                                "controls' full ranges.");
    const QString source = QStringLiteral("the suggestion from \"%1\"").arg(view.file);
    config::ParameterOffers::Offer offer;
    offer.make = make;
    offer.what = what;
    offer.question = QStringLiteral("Send the thresholds suggested from \"%1\" to the detector?").arg(view.file);
    offer.source = source;
    offer.notes = notes;
    offer.connection = connection;
    host_.configFiles().offers().offer(offer);
}

bool ThresholdSuggestions::showDialog(const SuggestionView& view, std::array<bool, 3>& apply) {
    const std::unique_ptr<QDialog> dialog(MakeDialog(&window_, view));
    if (dialog->exec() != QDialog::Accepted) return false;
    const auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("SuggestionTable"));
    for (int c = 0; c < 3; ++c) apply[c] = table->item(c, 0)->checkState() == Qt::Checked;
    return true;
}

QDialog* ThresholdSuggestions::MakeDialog(QWidget* parent, const SuggestionView& view) {
    auto* d = new QDialog(parent);
    QDialog& dialog = *d;
    dialog.setObjectName(QStringLiteral("SuggestThresholds"));
    dialog.setWindowTitle(QStringLiteral("Suggested Thresholds"));
    auto* layout = new QVBoxLayout(&dialog);
    // The dialog takes the size its table needs: every column whole, no scroll bar.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* intro = new QLabel(
        QStringLiteral("From \"%1\", for each channel: the highest level (on the threshold scale) of its quiet "
                       "stretches, the lowest peak of its passes, the threshold now%2, and a suggestion with its "
                       "margins: how far it lies above the quiet peak and below the weakest pass. Nothing is sent "
                       "unless you apply it.")
            .arg(view.file, view.thresholdsFrom.isEmpty()
                                ? QString()
                                : QStringLiteral(" (as %1 reports it)").arg(view.thresholdsFrom)),
        &dialog);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* rule = new QLabel(MarginRule(), &dialog);
    rule->setObjectName(QStringLiteral("SuggestionRule"));
    rule->setWordWrap(true);
    layout->addWidget(rule);
    enum Column { Apply, Channel, Quiet, Weakest, Now, Suggested, Margins, Remark, Columns };
    auto* table = new QTableWidget(3, Columns, &dialog);
    table->setObjectName(QStringLiteral("SuggestionTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Apply"), QStringLiteral("Channel"), QStringLiteral("Quiet\npeak"),
                                      QStringLiteral("Weakest\npass"), QStringLiteral("Threshold\nnow"),
                                      QStringLiteral("Suggested"), QStringLiteral("Margins\nquiet / pass"),
                                      QStringLiteral("Remark")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setWordWrap(true);
    for (int c = 0; c < 3; ++c) {
        const ThresholdSuggestion& t = view.channels[c];
        auto* check = new QTableWidgetItem;
        const bool useful = view.canApply && t.suggested >= 0 && t.suggested != t.current;
        check->setFlags(useful ? Qt::ItemIsUserCheckable | Qt::ItemIsEnabled : Qt::NoItemFlags);
        check->setCheckState(useful ? Qt::Checked : Qt::Unchecked);
        table->setItem(c, Apply, check);
        const QString weakest = t.weakestPass < 0
                                    ? QStringLiteral("---")
                                    : QStringLiteral("%1 (pass %2)").arg(t.weakestPass).arg(t.weakestNumber);
        const QString quiet = t.quietPeak < 0 ? QStringLiteral("---")
                                              : QStringLiteral("%1 (quiet %2)").arg(t.quietPeak).arg(t.quietNumber);
        // The margins of the threshold looked at, also where they were too small for a suggestion.
        const QString margins =
            t.candidate < 0
                ? QStringLiteral("---")
                : QStringLiteral("%1 / %2 (%3 needed)").arg(t.quietMargin).arg(t.passMargin).arg(t.requiredMargin);
        const QString cells[] = {WalkChannelName(c),
                                 quiet,
                                 weakest,
                                 number(t.current),
                                 t.suggested < 0 ? QStringLiteral("none") : QString::number(t.suggested),
                                 margins,
                                 t.reason};
        for (int k = Channel; k < Columns; ++k) table->setItem(c, k, new QTableWidgetItem(cells[k - Channel]));
    }
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->resizeColumnsToContents();
    // A remark wraps within some forty characters; every other column is as wide as its widest cell.
    const int remarkWidth = table->fontMetrics().averageCharWidth() * 40;
    table->setColumnWidth(Remark, std::max(table->horizontalHeader()->sectionSizeHint(Remark),
                                           std::min(table->columnWidth(Remark), remarkWidth)));
    table->verticalHeader()->setMinimumSectionSize(table->verticalHeader()->defaultSectionSize());
    table->resizeRowsToContents();
    table->setFixedSize(table->horizontalHeader()->length() + 2 * table->frameWidth(),
                        table->verticalHeader()->length() + table->horizontalHeader()->sizeHint().height() +
                            2 * table->frameWidth());
    layout->addWidget(table);
    // The texts wrap within the table's width.
    intro->setFixedWidth(table->width());
    rule->setFixedWidth(table->width());
    if (!view.leftOut.isEmpty()) {
        auto* note = new QLabel(QStringLiteral("Left out: %1, which the recording paused in (the LOGS tab, a lost "
                                               "link), so that its peak may be missing.")
                                    .arg(view.leftOut.join(QStringLiteral(", "))),
                                &dialog);
        note->setObjectName(QStringLiteral("LeftOut"));
        note->setWordWrap(true);
        note->setFixedWidth(table->width());
        layout->addWidget(note);
    }
    if (!view.otherDetector.isEmpty()) {
        auto* note = new QLabel(view.otherDetector.at(0).toUpper() + view.otherDetector.mid(1), &dialog);
        note->setObjectName(QStringLiteral("OtherDetector"));
        note->setWordWrap(true);
        note->setFixedWidth(table->width());
        layout->addWidget(note);
    }
    if (!view.canApply) {
        auto* note = new QLabel(QStringLiteral("Connect to the detector, and wait until its parameters are shown, to "
                                               "apply a suggestion."),
                                &dialog);
        note->setWordWrap(true);
        note->setFixedWidth(table->width());
        layout->addWidget(note);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* applyButton = buttons->addButton(QStringLiteral("&Apply..."), QDialogButtonBox::AcceptRole);
    applyButton->setEnabled(view.canApply);
    // The keyboard starts on the buttons, not in the table.
    (view.canApply ? applyButton : buttons->button(QDialogButtonBox::Close))->setFocus();
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return d;
}

} // namespace commission

#include "moc_ThresholdSuggestions.cpp"
