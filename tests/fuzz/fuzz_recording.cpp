// Walk-test recordings, as a replay reads them: any bytes as the lines of a recording. Oracles: a reply
// line that parses is written back and parses again to the same reply and time, and its written form
// is stable; the quick reading of the written form takes nothing the full one refuses, and reads what it
// takes the same; a mark line the same; a comment that names a mark but does not read as one says why; and
// the walk analysed from the lines keeps its own rules (a pass or quiet stretch never ends before it
// began, its peaks are levels it holds, a suggested threshold lies above the quiet and at most the
// weakest pass, within the control's range).
#include "commission/Recording.h"
#include "commission/WalkAnalysis.h"

#include <QStringList>
#include <algorithm>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool same(const protocol::StatusRecord& a, const protocol::StatusRecord& b) {
    return protocol::EncodeStatus(a) == protocol::EncodeStatus(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A replay reads UTF-8 lines of at most RecordingReader::MaxLineLength bytes; a few of them here.
    if (size > static_cast<std::size_t>(8 * commission::RecordingReader::MaxLineLength)) return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    commission::WalkAnalysis walk;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.toUtf8().size() > commission::RecordingReader::MaxLineLength) continue;
        QString error;
        if (line.trimmed().startsWith(QLatin1Char('#'))) {
            commission::recording::Mark m;
            const commission::recording::Comment kind = commission::recording::ParseComment(line, m, error);
            if (kind == commission::recording::Comment::Bad) check(!error.isEmpty());
            if (kind != commission::recording::Comment::Mark) continue;
            const QString written = commission::recording::MarkLine(m);
            commission::recording::Mark again;
            check(commission::recording::ParseComment(written, again, error) == commission::recording::Comment::Mark);
            check(again == m);
            check(commission::recording::MarkLine(again) == written);
            check(written.toUtf8().size() <= commission::RecordingReader::MaxLineLength);
            walk.Mark(m);
            continue;
        }
        std::int64_t ms = 0;
        protocol::StatusRecord s;
        // The quick reading of the written form takes only what the full reading takes, as it takes it.
        std::int64_t quickMs = 0;
        protocol::StatusRecord quick;
        const bool quickly = commission::recording::ParseWrittenLine(line.trimmed().toUtf8(), quickMs, quick);
        if (!commission::recording::ParseLine(line, ms, s, error)) {
            check(!error.isEmpty()); // a refusal always says why
            check(!quickly);
            continue;
        }
        if (quickly) check(quickMs == ms && same(quick, s));
        const QString written = commission::recording::CsvLine(ms, s);
        std::int64_t writtenMs = 0;
        protocol::StatusRecord writtenReply;
        check(commission::recording::ParseWrittenLine(written.toUtf8(), writtenMs, writtenReply));
        check(writtenMs == ms && same(writtenReply, s));
        std::int64_t ms2 = 0;
        protocol::StatusRecord s2;
        check(commission::recording::ParseLine(written, ms2, s2, error));
        check(ms2 == ms && same(s, s2));
        check(commission::recording::CsvLine(ms2, s2) == written);
        walk.Reply(ms, s);
    }
    walk.Finish();
    for (const commission::WalkSegment& seg : walk.Segments()) {
        check(seg.endMs >= seg.startMs);
        for (int c = 0; c < 3; ++c)
            check(seg.replies == 0 ? seg.peak[c] == -1 : seg.peak[c] >= 0 && seg.peak[c] <= 65535);
    }
    const auto suggestions = commission::SuggestThresholds(walk.Segments(), {300, 380, 380});
    for (int c = 0; c < 3; ++c) {
        const commission::ThresholdSuggestion& t = suggestions[c];
        if (t.suggested < 0) continue;
        check(t.suggested > t.quietPeak && t.suggested <= t.weakestPass);
        // With room on each side: at least 10 levels and 5 % of the threshold.
        const int room = std::min(t.suggested - t.quietPeak, t.weakestPass - t.suggested);
        check(room >= 10 && room * 100 >= 5 * t.suggested);
        check(protocol::params::ThresholdRange[static_cast<std::size_t>(c)].contains(t.suggested));
    }
    return 0;
}
