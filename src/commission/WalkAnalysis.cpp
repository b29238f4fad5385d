#include "commission/WalkAnalysis.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace commission {

namespace {

constexpr int DetectionBit[3] = {protocol::AlarmMw, protocol::AlarmPir1, protocol::AlarmPir2};

} // namespace

QString WalkChannelName(int channel) {
    static const char* const names[3] = {"MW", "PIR HIGH ABOVE", "PIR DOWN UNDER"};
    return QString::fromLatin1(names[std::clamp(channel, 0, 2)]);
}

void WalkAnalysis::Reply(std::int64_t ms, const protocol::StatusRecord& s) {
    ++replies_;
    if (firstMs_ < 0) firstMs_ = ms;
    lastMs_ = ms;
    if (open_) {
        WalkSegment& seg = segments_.back();
        ++seg.replies;
        for (int c = 0; c < 3; ++c) {
            // The level on the threshold scale, the value the threshold track bar's selection shows
            // against the threshold (the plotted signal may be on a scale of its own).
            const int level = s.channels[c].level;
            if (level > seg.peak[c]) {
                seg.peak[c] = level;
                seg.peakMs[c] = ms;
            }
            if ((s.alarmFlags >> DetectionBit[c]) & 1) seg.detected[c] = true;
            const bool on = (s.stateFlags >> (protocol::StateOut1 + c)) & 1;
            // The first reply of the recording: an output already on is held from before it.
            const bool was = lastState_ ? (*lastState_ >> (protocol::StateOut1 + c)) & 1 : on;
            if (seg.replies == 1 && !lastState_ && on) seg.outputOnAtStart[c] = true;
            if (on && !was && seg.outputAfterMs[c] < 0)
                seg.outputAfterMs[c] = std::max<std::int64_t>(0, ms - seg.startMs);
        }
    }
    lastState_ = s.stateFlags;
}

void WalkAnalysis::close(std::int64_t ms) {
    if (!open_) return;
    WalkSegment& seg = segments_.back();
    seg.endMs = std::max(seg.startMs, ms);
    open_ = false;
    settle();
}

void WalkAnalysis::settle() {
    const WalkSegment& seg = segments_.back();
    bool candidate = false;
    if (seg.replies > 0) {
        // The slot of each channel for this kind and wholeness: a quiet stretch higher, or a pass weaker, than
        // the one it holds (the first of equals stays, as the suggestions take it).
        const int slot = (seg.isPass() ? 6 : 0) + (seg.pausedMs > 0 ? 3 : 0);
        for (int c = 0; c < 3; ++c) {
            Best& b = best_[static_cast<std::size_t>(slot + c)];
            if (b.order >= 0 && (seg.isPass() ? seg.peak[c] >= b.peak : seg.peak[c] <= b.peak)) continue;
            b = {seg.order, seg.peak[c]};
            candidate = true;
        }
    }
    if (seg.order < KeptInFull) return;
    if (notable_ && notable_(seg)) {
        if (notableKept_ < KeptInFull) {
            ++notableKept_;
            segments_.back().notable = true;
            return; // (kept for good: it is not one a slot can let go)
        }
        ++notableLeftOut_;
    }
    if (!candidate) {
        segments_.pop_back();
        return;
    }
    // Later segments a slot no longer holds go (the first ones, and the notable ones, stay whole).
    const auto held = [this](const WalkSegment& s) {
        return s.notable || std::any_of(best_.begin(), best_.end(), [&s](const Best& b) { return b.order == s.order; });
    };
    segments_.erase(std::remove_if(segments_.begin() + KeptInFull, segments_.end(),
                                   [&held](const WalkSegment& s) { return !held(s); }),
                    segments_.end());
}

void WalkAnalysis::Mark(const recording::Mark& m) {
    using Kind = recording::Mark::Kind;
    switch (m.kind) {
    case Kind::Pass:
    case Kind::Quiet: {
        close(m.ms);
        WalkSegment seg;
        seg.kind = m.kind;
        seg.number = m.number;
        seg.note = m.text;
        seg.startMs = m.ms;
        seg.order = segmentCount_++;
        if (m.kind == Kind::Pass) ++passCount_;
        if (parameters_)
            for (int c = 0; c < 3; ++c) seg.threshold[c] = parameters_->channels[c].trange;
        if (lastState_)
            for (int c = 0; c < 3; ++c) seg.outputOnAtStart[c] = (*lastState_ >> (protocol::StateOut1 + c)) & 1;
        segments_.push_back(seg);
        open_ = true;
        break;
    }
    case Kind::End: close(m.ms); break;
    case Kind::Paused:
        if (pauseCount_++ < KeptInFull) pauses_.push_back({m.ms, m.lengthMs, m.text});
        pausedMs_ += m.lengthMs;
        if (open_) segments_.back().pausedMs += m.lengthMs;
        break;
    case Kind::Parameters: {
        const protocol::params::Parameters p = protocol::params::DecodeRecord(m.parameters);
        if (open_) {
            WalkSegment& seg = segments_.back();
            for (int c = 0; c < 3; ++c) {
                if (seg.threshold[c] < 0) seg.threshold[c] = p.channels[c].trange; // known only now
                else if (seg.threshold[c] != p.channels[c].trange) seg.thresholdsChanged = true;
            }
        }
        parameters_ = p;
        break;
    }
    }
}

void WalkAnalysis::Finish() {
    close(lastMs_);
}

int MarginPercent(int peak, int threshold) {
    if (threshold <= 0) return 0;
    return static_cast<int>(std::nearbyint(100.0 * (peak - threshold) / threshold));
}

int RequiredMargin(int threshold) {
    return std::max(MinMarginLevels, (threshold * MinMarginPercent + 99) / 100);
}

bool CanSuggestThresholds(const std::vector<WalkSegment>& segments, QString& why) {
    const auto with = [&](bool pass) {
        return std::any_of(segments.begin(), segments.end(),
                           [pass](const WalkSegment& s) { return s.isPass() == pass && s.replies > 0; });
    };
    const bool quiet = with(false), pass = with(true);
    if (quiet && pass) return true;
    why = !quiet && !pass ? QStringLiteral("it holds no quiet stretch and no pass with replies (mark them with Mark "
                                           "Quiet and Mark Pass while recording)")
          : !quiet        ? QStringLiteral("it holds no quiet stretch with replies (mark one with Mark Quiet while "
                                                  "recording, with nobody in the field)")
                          : QStringLiteral("it holds no pass with replies (mark each walk with Mark Pass while "
                                                  "recording)");
    return false;
}

namespace {

// A stretch the recording paused in (the LOGS tab, a lost link) may miss its peak: it counts only where
// no stretch of its kind was recorded whole.
std::vector<bool> leftOutOf(const std::vector<WalkSegment>& segments) {
    const auto whole = [&](bool pass) {
        return std::any_of(segments.begin(), segments.end(), [pass](const WalkSegment& s) {
            return s.isPass() == pass && s.replies > 0 && s.pausedMs == 0;
        });
    };
    const bool wholePasses = whole(true), wholeQuiets = whole(false);
    std::vector<bool> out;
    for (const WalkSegment& s : segments)
        out.push_back(s.replies > 0 && s.pausedMs > 0 && (s.isPass() ? wholePasses : wholeQuiets));
    return out;
}

} // namespace

QStringList LeftOutOfSuggestions(const std::vector<WalkSegment>& segments) {
    const std::vector<bool> left = leftOutOf(segments);
    QStringList names;
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (left[i])
            names << QStringLiteral("%1 %2")
                         .arg(segments[i].isPass() ? QStringLiteral("pass") : QStringLiteral("quiet"))
                         .arg(segments[i].number);
    return names;
}

std::array<ThresholdSuggestion, 3> SuggestThresholds(const std::vector<WalkSegment>& segments,
                                                     const std::array<int, 3>& current) {
    std::array<ThresholdSuggestion, 3> out;
    const std::vector<bool> left = leftOutOf(segments);
    for (int c = 0; c < 3; ++c) {
        ThresholdSuggestion& t = out[c];
        t.current = current[c];
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const WalkSegment& s = segments[i];
            if (s.replies == 0 || left[i]) continue;
            if (!s.isPass() && s.peak[c] > t.quietPeak) {
                t.quietPeak = s.peak[c];
                t.quietNumber = s.number;
            } else if (s.isPass() && (t.weakestPass < 0 || s.peak[c] < t.weakestPass)) {
                t.weakestPass = s.peak[c];
                t.weakestNumber = s.number;
                t.weakestNote = s.note;
            }
        }
        if (t.quietPeak < 0 || t.weakestPass < 0) continue;
        const QString pass = QStringLiteral("pass %1%2")
                                 .arg(t.weakestNumber)
                                 .arg(t.weakestNote.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(t.weakestNote));
        if (t.weakestPass <= t.quietPeak) {
            t.reason = QStringLiteral("no threshold separates them: the weakest pass, %1, peaked at %2, not above the "
                                      "highest quiet peak, %3 (quiet %4)")
                           .arg(pass)
                           .arg(t.weakestPass)
                           .arg(t.quietPeak)
                           .arg(t.quietNumber);
            continue;
        }
        // The detector detects a level at or above its threshold: above the quiet, at most the weakest
        // pass, and with room on both sides for a warmer night or a walk a little farther off.
        const int halfway = t.quietPeak + (t.weakestPass - t.quietPeak + 1) / 2;
        const protocol::params::ValueRange range = protocol::params::ThresholdRange[static_cast<std::size_t>(c)];
        const int candidate = std::clamp(halfway, range.min, range.max);
        const auto holds = [&t](int threshold) {
            const int needed = RequiredMargin(threshold);
            return threshold - t.quietPeak >= needed && t.weakestPass - threshold >= needed;
        };
        if (candidate > t.quietPeak && candidate <= t.weakestPass) {
            t.candidate = candidate;
            t.quietMargin = candidate - t.quietPeak;
            t.passMargin = t.weakestPass - candidate;
            t.requiredMargin = RequiredMargin(candidate);
        }
        if (!holds(halfway)) {
            t.reason = QStringLiteral("the quiet stretch peaked at %1 (quiet %2), the weakest pass at %3 (pass %4%5): "
                                      "too close for a margin of %6 on each side; was someone in the field?")
                           .arg(t.quietPeak)
                           .arg(t.quietNumber)
                           .arg(t.weakestPass)
                           .arg(t.weakestNumber)
                           .arg(t.weakestNote.isEmpty() ? QString() : QStringLiteral(": ") + t.weakestNote)
                           .arg(RequiredMargin(halfway));
            continue;
        }
        if (t.candidate < 0) {
            t.reason = QStringLiteral("no threshold the control can take (%1..%2) separates them: quiet peak %3, "
                                      "weakest pass %4 (%5)")
                           .arg(range.min)
                           .arg(range.max)
                           .arg(t.quietPeak)
                           .arg(t.weakestPass)
                           .arg(pass);
            continue;
        }
        if (!holds(candidate)) {
            t.reason =
                QStringLiteral("halfway would be %1, but the control takes %2..%3: %4 keeps only %5 from the "
                               "%6, less than a margin of %7")
                    .arg(halfway)
                    .arg(range.min)
                    .arg(range.max)
                    .arg(candidate)
                    .arg(std::min(t.quietMargin, t.passMargin))
                    .arg(t.quietMargin < t.passMargin ? QStringLiteral("quiet peak") : QStringLiteral("weakest pass"))
                    .arg(t.requiredMargin);
            continue;
        }
        t.suggested = candidate;
        if (candidate != halfway)
            t.reason = QStringLiteral("halfway would be %1; the control takes %2..%3")
                           .arg(halfway)
                           .arg(range.min)
                           .arg(range.max);
        else if (candidate == t.current) t.reason = QStringLiteral("the threshold is there already");
    }
    return out;
}

} // namespace commission
