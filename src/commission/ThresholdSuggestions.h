// "Suggest Thresholds...": from a walk test with at least one quiet stretch and one pass, each channel's
// quiet peak, weakest pass peak, threshold now and a threshold between them (or why there is none).
// Nothing is sent unless the user applies it: then the usual question lists the changes, and one
// settings frame carries them.
#pragma once

#include "commission/CommissioningHost.h"
#include "commission/RecordingScan.h"

#include <QObject>
#include <array>
#include <functional>

class QAction;
class QDialog;
class QWidget;

namespace commission {

struct SuggestionView {
    QString file; // the recording's name
    std::array<ThresholdSuggestion, 3> channels;
    QStringList leftOut;    // passes and quiet stretches left out, paused while recorded
    QString thresholdsFrom; // "the detector", "the recording", or empty when not known
    bool canApply = false;  // a connected detector whose parameters are known
    QString otherDetector;  // why the recording may be another detector's; empty when it matches
};

class ThresholdSuggestions : public QObject {
    Q_OBJECT
  public:
    ThresholdSuggestions(QWidget& window, CommissioningHost& host);

    QAction* suggestAction = nullptr; // "Suggest Thresholds..."
    // Proposed in the file dialog: the recording made or replayed last.
    std::function<QString()> LastRecording;
    // Shows the suggestions; true when the user applies them, with apply set for the channels chosen.
    // Tests replace it.
    std::function<bool(const SuggestionView& view, std::array<bool, 3>& apply)> ShowSuggestions;

    void Execute();
    // The dialog that shows them, not yet shown (the caller owns it): a table with a box per channel
    // to apply it, Apply... and Close.
    static QDialog* MakeDialog(QWidget* parent, const SuggestionView& view);
    // Reads the recording (a slice per turn) and shows what it suggests.
    void SuggestFrom(const QString& path);

  private:
    void show(const QString& path);
    bool showDialog(const SuggestionView& view, std::array<bool, 3>& apply);
    void apply(const SuggestionView& view, const std::array<bool, 3>& channels, std::uint64_t connection);

    QWidget& window_;
    CommissioningHost& host_;
    RecordingScan scan_;
};

} // namespace commission
