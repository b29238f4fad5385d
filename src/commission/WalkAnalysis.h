// What a walk test shows, from its replies and marks: each pass and quiet stretch with every channel's
// peak against the detector's threshold and the outputs that fired, the recording's pauses, and the
// thresholds that would tell the passes from the quiet.
#pragma once

#include "commission/Recording.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace commission {

// The channels as the report and the suggestion name them: MW, PIR HIGH ABOVE, PIR DOWN UNDER.
QString WalkChannelName(int channel);

// A pass or a quiet stretch. The value compared is the channel's level on the threshold scale (what the
// threshold track bar's selection shows); the threshold is the channel's threshold (TRange) as the
// detector reported it.
struct WalkSegment {
    recording::Mark::Kind kind = recording::Mark::Kind::Pass; // Pass or Quiet
    int number = 0;
    QString note;
    std::int64_t startMs = 0;
    std::int64_t endMs = -1; // the next mark, an end mark, or the last reply of the recording
    int replies = 0;
    std::array<int, 3> peak{-1, -1, -1}; // the highest level per channel; -1 without a reply
    std::array<std::int64_t, 3> peakMs{};
    std::array<int, 3> threshold{-1, -1, -1}; // at its start; -1 when the recording does not say
    bool thresholdsChanged = false;           // the detector reported other thresholds during it
    std::array<bool, 3> detected{};           // the detector's own detection bit was seen
    // Each output: how long after the start it switched on (first time), -1 when it did not.
    std::array<std::int64_t, 3> outputAfterMs{-1, -1, -1};
    std::array<bool, 3> outputOnAtStart{}; // on already when it began (held from before)
    std::int64_t pausedMs = 0;             // of it, not recorded (LOGS tab, link lost)
    std::int64_t order = 0;                // its place among all the recording's passes and quiet stretches
    bool notable = false;                  // kept beyond the first ones for what it shows (KeepAlso)
    bool isPass() const { return kind == recording::Mark::Kind::Pass; }
};

struct WalkPause {
    std::int64_t startMs = 0, lengthMs = 0;
    QString cause;
};

// Fed with a recording's replies and marks in their order. Its memory stays bounded whatever the recording
// holds: the first KeptInFull passes and quiet stretches (and pauses) are kept whole; of the later ones only
// those a threshold suggestion turns on (each channel's highest quiet stretch and weakest pass, recorded
// whole or paused), so that the suggestions are those of all of them.
class WalkAnalysis {
  public:
    static constexpr std::int64_t KeptInFull = 1000;

    void Reply(std::int64_t ms, const protocol::StatusRecord& s);
    void Mark(const recording::Mark& m);
    // The recording ends here: a pass or quiet stretch still under way ends with the last reply.
    void Finish();

    const std::vector<WalkSegment>& Segments() const { return segments_; }
    const std::vector<WalkPause>& Pauses() const { return pauses_; }
    // Later segments for which notable is true are kept as well (the first KeptInFull of them; the rest are
    // only counted): a report lists every pass missed and every quiet stretch flagged.
    void KeepAlso(std::function<bool(const WalkSegment&)> notable) { notable_ = std::move(notable); }
    std::int64_t NotableLeftOut() const { return notableLeftOut_; }
    // All the passes and quiet stretches, and all the pauses, kept or not.
    std::int64_t SegmentCount() const { return segmentCount_; }
    std::int64_t PassCount() const { return passCount_; }
    std::int64_t QuietCount() const { return segmentCount_ - passCount_; }
    std::int64_t PauseCount() const { return pauseCount_; }
    std::int64_t PausedMs() const { return pausedMs_; }
    // The detector's parameters the recording named last.
    const std::optional<protocol::params::Parameters>& Parameters() const { return parameters_; }
    std::int64_t Replies() const { return replies_; }
    std::int64_t FirstMs() const { return firstMs_; }
    std::int64_t LastMs() const { return lastMs_; }
    bool HasMarks() const { return !segments_.empty() || !pauses_.empty(); }

  private:
    void close(std::int64_t ms);
    // The segment just closed: a candidate for the suggestions' slots, kept while one holds it.
    void settle();

    std::vector<WalkSegment> segments_;
    // Each channel's highest quiet stretch and weakest pass so far, recorded whole and paused: the order of
    // the segment (-1: none yet) and its peak.
    struct Best {
        std::int64_t order = -1;
        int peak = 0;
    };
    std::array<Best, 12> best_{};
    std::int64_t segmentCount_ = 0, pauseCount_ = 0, pausedMs_ = 0, passCount_ = 0;
    std::function<bool(const WalkSegment&)> notable_;
    std::int64_t notableKept_ = 0, notableLeftOut_ = 0;
    bool open_ = false;
    std::vector<WalkPause> pauses_;
    std::optional<protocol::params::Parameters> parameters_;
    std::optional<std::uint16_t> lastState_; // the outputs of the reply before
    std::int64_t replies_ = 0, firstMs_ = -1, lastMs_ = -1;
};

// How far a peak lies above (or below) the threshold, in % of the threshold, to the nearest whole one.
int MarginPercent(int peak, int threshold);

// A threshold for one channel that tells the passes from the quiet with room on both sides: halfway
// between the highest peak of any quiet stretch and the lowest peak of any pass (rounded up, within the
// control's range), suggested only where it lies at least RequiredMargin() above that quiet peak and as
// far below that weakest pass; none when the two are too close (said, with both figures) or the weakest
// pass did not rise above the quiet. A pass or quiet stretch the recording paused in may miss its peak:
// it is left out (and said) while others of its kind were recorded whole.
struct ThresholdSuggestion {
    int quietPeak = -1, quietNumber = 0;     // and the quiet stretch it was seen in
    int weakestPass = -1, weakestNumber = 0; // and the pass
    QString weakestNote;
    int current = -1; // the threshold now; -1 when not known
    // The threshold looked at (halfway, within the control's range) and its margins: how far it lies
    // above the quiet peak, and below the weakest pass; -1 where no threshold lies between them.
    int candidate = -1;
    int quietMargin = -1, passMargin = -1;
    int requiredMargin = -1; // what each margin must be at least, for the candidate
    int suggested = -1;      // the candidate, where both margins hold; else -1
    QString reason;          // why not, in words; or a remark on the suggestion
};
// The least room a suggested threshold keeps on each side: MinMarginLevels levels, and at least
// MinMarginPercent % of the threshold (rounded up).
constexpr int MinMarginLevels = 10;
constexpr int MinMarginPercent = 5;
int RequiredMargin(int threshold);
// Whether a recording can give suggestions: at least one quiet stretch and one pass, each with replies.
// When not, why says what is missing.
bool CanSuggestThresholds(const std::vector<WalkSegment>& segments, QString& why);
// The passes and quiet stretches the suggestion leaves out, paused while recorded: "pass 2", ...
QStringList LeftOutOfSuggestions(const std::vector<WalkSegment>& segments);
std::array<ThresholdSuggestion, 3> SuggestThresholds(const std::vector<WalkSegment>& segments,
                                                     const std::array<int, 3>& current);

} // namespace commission
