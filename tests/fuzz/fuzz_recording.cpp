// Walk-test recordings, as a replay reads them: any bytes as one line of a recording. Oracle: a line
// that parses is written back and parses again to the same reply and the same time, and its written
// form is stable (writing the second parse gives the same text).
#include "commission/Recording.h"

#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool same(const monitor::StatusRecord& a, const monitor::StatusRecord& b) {
    return monitor::EncodeStatus(a) == monitor::EncodeStatus(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A replay reads UTF-8 lines of at most RecordingReader::MaxLineLength bytes.
    if (size > static_cast<std::size_t>(RecordingReader::MaxLineLength)) return 0;
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::int64_t ms = 0;
    monitor::StatusRecord s;
    QString error;
    if (!recording::ParseLine(line, ms, s, error)) {
        check(!error.isEmpty()); // a refusal always says why
        return 0;
    }
    const QString written = recording::CsvLine(ms, s);
    std::int64_t ms2 = 0;
    monitor::StatusRecord s2;
    check(recording::ParseLine(written, ms2, s2, error));
    check(ms2 == ms && same(s, s2));
    check(recording::CsvLine(ms2, s2) == written);
    return 0;
}
