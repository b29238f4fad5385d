#include "commission/RecordingSummary.h"

#include "commission/Recording.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace commission {

namespace {

// What the full reading hands over at a time, and how often the window hears of it.
constexpr std::size_t Batch = 4096;
constexpr qint64 TellEveryMs = 100;

QString spanBrief(const recording::Mark& m) {
    return QStringLiteral("%1%2")
        .arg(m.kind == recording::Mark::Kind::Pass ? QLatin1Char('P') : QLatin1Char('Q'))
        .arg(m.number);
}

} // namespace

RecordingSummary::RecordingSummary(QObject* parent) : ReviewSource(parent) {}

RecordingSummary::~RecordingSummary() {
    Close();
}

bool RecordingSummary::Open(const QString& path, QString& error) {
    Close();
    // Opened here first, so that a file that cannot be read says so at once.
    RecordingReader probe;
    if (!probe.Open(path, error)) return false;
    path_ = path;
    size_ = QFileInfo(path).size();
    lastModifiedMs_ = QFileInfo(path).lastModified().toMSecsSinceEpoch();
    {
        const std::lock_guard<std::mutex> hold(lock_);
        progress_ = Progress();
        progress_.firstMs = probe.FirstMs();
        progress_.lastMs = probe.LastMs();
        // Cells for the recording's length, as far as its ends tell it (more are joined if it is longer).
        const std::int64_t from = std::max<std::int64_t>(0, probe.FirstMs());
        const std::int64_t length = probe.LastMs() > from ? probe.LastMs() - from + 1 : 0;
        const std::int64_t cellMs =
            std::max<std::int64_t>(1, (length + SignalSummary::DefaultCells - 1) / SignalSummary::DefaultCells);
        exact_.Reset(from, cellMs);
        sampled_.Reset(from, cellMs);
        spans_.clear();
        spanOpen_ = false;
        lastMarkMs_ = -1;
        detail_.reset();
        wanted_ = served_ = 0;
    }
    probe.Close();
    stop_ = false;
    scanner_ = std::thread([this] { scan(); });
    detailReader_ = std::thread([this] { readDetail(); });
    return true;
}

void RecordingSummary::Close() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    detailWanted_.notify_all();
    if (scanner_.joinable()) scanner_.join();
    if (detailReader_.joinable()) detailReader_.join();
    path_.clear();
}

void RecordingSummary::told() {
    // Queued to the window's thread, at most one waiting: a call to an object gone is dropped.
    if (toldSoon_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            toldSoon_ = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

void RecordingSummary::addSpanMark(const recording::Mark& m) {
    using Kind = recording::Mark::Kind;
    const auto close = [this](std::int64_t ms) {
        if (!spanOpen_) return;
        for (auto it = spans_.rbegin(); it != spans_.rend(); ++it)
            if (it->kind != graph::ReviewSpan::Kind::Pause) {
                it->toMs = std::max(it->fromMs, ms);
                break;
            }
        spanOpen_ = false;
    };
    std::uint8_t bit = 0;
    switch (m.kind) {
    case Kind::Pass:
    case Kind::Quiet: {
        close(m.ms);
        bit = m.kind == Kind::Pass ? graph::MarkPassBit : graph::MarkQuietBit;
        if (spans_.size() >= MaxSpans) {
            ++progress_.spansLeftOut;
            break;
        }
        graph::ReviewSpan span;
        span.kind = m.kind == Kind::Pass ? graph::ReviewSpan::Kind::Pass : graph::ReviewSpan::Kind::Quiet;
        span.fromMs = span.toMs = m.ms;
        span.name = QStringLiteral("%1 %2")
                        .arg(m.kind == Kind::Pass ? QStringLiteral("Pass") : QStringLiteral("Quiet"))
                        .arg(m.number) +
                    (m.text.isEmpty() ? QString() : QStringLiteral(": ") + m.text);
        span.brief = spanBrief(m);
        spans_.push_back(span);
        spanOpen_ = true;
        break;
    }
    case Kind::End:
        close(m.ms);
        bit = graph::MarkEndBit;
        break;
    case Kind::Paused: {
        bit = graph::MarkPauseBit;
        lastMarkMs_ = std::max(lastMarkMs_, m.ms + m.lengthMs);
        if (spans_.size() >= MaxSpans) {
            ++progress_.spansLeftOut;
            break;
        }
        graph::ReviewSpan span;
        span.kind = graph::ReviewSpan::Kind::Pause;
        span.fromMs = m.ms;
        span.toMs = m.ms + m.lengthMs;
        span.name = QStringLiteral("Paused %1 s").arg(double(m.lengthMs) / 1000, 0, 'f', 1) +
                    (m.text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m.text));
        span.brief = QStringLiteral("||");
        // An open pass or quiet stretch stays the last of its kind: the pause goes before it.
        spans_.insert(spanOpen_ ? spans_.end() - 1 : spans_.end(), span);
        break;
    }
    case Kind::Parameters: break;
    }
    lastMarkMs_ = std::max(lastMarkMs_, m.ms);
    if (bit) exact_.AddMark(m.ms, bit);
}

void RecordingSummary::scan() {
    RecordingReader reader;
    QString error;
    if (!reader.Open(path_, error)) {
        const std::lock_guard<std::mutex> hold(lock_);
        progress_.failure = error;
        progress_.complete = true;
        told();
        return;
    }
    const qint64 size = std::max<qint64>(1, QFileInfo(path_).size());
    RecordingReader::Entry e;
    std::vector<Reading> batch;
    batch.reserve(Batch);

    // The sample: a few replies at many places, each after the line the place falls in.
    if (size > SampleAbove) {
        for (int i = 0; i < SampleCount && !stop_; ++i) {
            const qint64 place = size / SampleCount * i;
            reader.SeekTo(place);
            for (int taken = 0, lines = 0; taken < RepliesPerSample && lines < 64; ++lines) {
                const RecordingReader::Result r = reader.Next(e, error);
                if (r == RecordingReader::Result::Later || r == RecordingReader::Result::Bad) continue;
                if (r != RecordingReader::Result::Reply && r != RecordingReader::Result::Mark) break;
                if (r == RecordingReader::Result::Reply && (e.offset != place || i == 0)) {
                    batch.push_back(ReadingOf(e.ms, e.status));
                    ++taken;
                }
            }
        }
        const std::lock_guard<std::mutex> hold(lock_);
        for (const Reading& r : batch) sampled_.Add(r);
        progress_.sampled = true;
        progress_.valueTop = std::max(800, (sampled_.Highest() + 99) / 100 * 100);
        batch.clear();
        told();
    }

    // Every line in order.
    reader.SeekTo(0);
    QElapsedTimer sinceTold;
    sinceTold.start();
    std::int64_t lastMs = -1, firstMs = -1;
    std::vector<recording::Mark> marks;
    const auto handOver = [&](bool last) {
        const std::lock_guard<std::mutex> hold(lock_);
        for (const Reading& r : batch) exact_.Add(r);
        for (const recording::Mark& m : marks) addSpanMark(m);
        batch.clear();
        marks.clear();
        progress_.replies = exact_.Replies();
        progress_.readToMs = std::max(progress_.readToMs, lastMs);
        progress_.read = last ? 1.0 : std::min(1.0, double(e.offset) / double(size));
        progress_.valueTop = std::max(progress_.valueTop, (exact_.Highest() + 99) / 100 * 100);
        // (A clock that goes back: the whole reaches from the earliest time to the latest.)
        if (lastMs > progress_.lastMs) progress_.lastMs = lastMs;
        if (firstMs >= 0 && (progress_.firstMs < 0 || firstMs < progress_.firstMs)) progress_.firstMs = firstMs;
        if (last) {
            progress_.complete = true;
            // An open pass or quiet stretch ends with the last reply.
            if (spanOpen_)
                for (auto it = spans_.rbegin(); it != spans_.rend(); ++it)
                    if (it->kind != graph::ReviewSpan::Kind::Pause) {
                        it->toMs = std::max(it->fromMs, lastMs);
                        break;
                    }
            spanOpen_ = false;
            // The sample has served: the exact summary covers all of it now.
            sampled_ = SignalSummary(SignalSummary::DefaultCells);
        }
        // The file was last changed when its last line was written: that gives the clock's wall time.
        const std::int64_t end = std::max(progress_.lastMs, lastMarkMs_);
        if (lastModifiedMs_ > 0 && end >= 0)
            progress_.wallAtZero = QDateTime::fromMSecsSinceEpoch(lastModifiedMs_ - end);
        told();
        sinceTold.restart();
    };
    for (;;) {
        if (stop_) return;
        const RecordingReader::Result r = reader.Next(e, error);
        if (r == RecordingReader::Result::Later) continue;
        if (r == RecordingReader::Result::Reply) {
            batch.push_back(ReadingOf(e.ms, e.status));
            lastMs = std::max(lastMs, e.ms);
            firstMs = firstMs < 0 ? e.ms : std::min(firstMs, e.ms);
        } else if (r == RecordingReader::Result::Mark) {
            marks.push_back(e.mark);
        } else {
            if (r == RecordingReader::Result::Bad)
                error = QStringLiteral("%1 of \"%2\" is neither a status reply nor a mark: %3")
                            .arg(reader.LineName(), path_, error);
            else if (r == RecordingReader::Result::Failed)
                error = QStringLiteral("\"%1\" could not be read on: %2").arg(path_, error);
            else error.clear();
            {
                const std::lock_guard<std::mutex> hold(lock_);
                progress_.failure = error;
            }
            handOver(true);
            return;
        }
        if (batch.size() >= Batch || marks.size() >= Batch || sinceTold.elapsed() >= TellEveryMs) handOver(false);
    }
}

void RecordingSummary::readDetail() {
    RecordingReader reader;
    QString error;
    const bool open = reader.Open(path_, error);
    for (;;) {
        std::int64_t from = 0, to = 0;
        std::uint64_t request = 0;
        {
            std::unique_lock<std::mutex> hold(lock_);
            detailWanted_.wait(hold, [this] { return stop_ || wanted_ != served_; });
            if (stop_) return;
            from = wantFrom_;
            to = wantTo_;
            request = wanted_;
        }
        auto detail = std::make_shared<ReviewDetail>();
        detail->fromMs = from;
        detail->toMs = to;
        if (open) {
            reader.SeekTo(reader.FindTime(from));
            RecordingReader::Entry e;
            for (;;) {
                // A newer request, or the end of the summary: this one is dropped.
                if (stop_ || wanted_ != request) break;
                const RecordingReader::Result r = reader.Next(e, error);
                if (r == RecordingReader::Result::Later || r == RecordingReader::Result::Mark) continue;
                if (r != RecordingReader::Result::Reply) {
                    detail->whole = r == RecordingReader::Result::End;
                    break;
                }
                if (e.ms < from) continue;
                if (e.ms >= to) {
                    detail->whole = true;
                    break;
                }
                if (detail->readings.size() >= DetailLimit) break;
                detail->readings.push_back(ReadingOf(e.ms, e.status));
            }
        }
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (stop_) return;
            served_ = request;
            if (wanted_ != request) continue;
            detail_ = std::move(detail);
        }
        QMetaObject::invokeMethod(
            this, [this] { emit detailReady(); }, Qt::QueuedConnection);
    }
}

std::int64_t RecordingSummary::StartMs() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return progress_.firstMs;
}

std::int64_t RecordingSummary::EndMs() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return progress_.lastMs;
}

QDateTime RecordingSummary::WallAtZero() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return progress_.wallAtZero;
}

int RecordingSummary::ValueTop() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return progress_.valueTop;
}

double RecordingSummary::MsPerReply() const {
    const std::lock_guard<std::mutex> hold(lock_);
    const Progress& p = progress_;
    if (p.replies > 100 && p.readToMs > p.firstMs) return double(p.readToMs - p.firstMs) / double(p.replies);
    // Before that, from the file's size: a reply's line is some 70 bytes long.
    if (p.lastMs > p.firstMs && size_ > 0) return double(p.lastMs - p.firstMs) / std::max(1.0, double(size_) / 70);
    return 10;
}

QString RecordingSummary::Title() const {
    return QFileInfo(path_).fileName();
}

QString RecordingSummary::Remark() const {
    const Progress p = progress();
    if (!p.failure.isEmpty()) return QStringLiteral("Read up to where it failed: ") + p.failure;
    QString text;
    if (!p.complete)
        text = QStringLiteral("Reading the recording: %1 %%2")
                   .arg(int(p.read * 100))
                   .arg(p.sampled ? QStringLiteral("; beyond it, estimated from a sample") : QString());
    if (p.spansLeftOut > 0)
        text += QStringLiteral("%1%2 more marks are ticks above the picture.")
                    .arg(text.isEmpty() ? QString() : QStringLiteral(". "))
                    .arg(p.spansLeftOut);
    return text;
}

RecordingSummary::Progress RecordingSummary::progress() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return progress_;
}

void RecordingSummary::Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out,
                            bool& exact) const {
    const std::lock_guard<std::mutex> hold(lock_);
    exact_.Fill(fromMs, msPerColumn, n, out, exact);
    if (progress_.complete) return;
    // Beyond what the full reading has reached: the sample's estimate.
    std::vector<graph::ReviewColumn> estimate;
    bool ignored = false;
    if (progress_.sampled) sampled_.Fill(fromMs, msPerColumn, n, estimate, ignored);
    for (int i = 0; i < n; ++i) {
        const double end = double(fromMs) + (i + 1) * msPerColumn;
        if (end <= double(progress_.readToMs)) continue;
        exact = false;
        if (!estimate.empty()) out[static_cast<std::size_t>(i)].Add(estimate[static_cast<std::size_t>(i)]);
    }
}

std::int64_t RecordingSummary::ExactFrom(std::int64_t ms, double msPerColumn) const {
    const std::lock_guard<std::mutex> hold(lock_);
    return exact_.ExactFrom(ms, msPerColumn);
}

double RecordingSummary::ExactWidth(double msPerColumn) const {
    const std::lock_guard<std::mutex> hold(lock_);
    return exact_.ExactWidth(msPerColumn);
}

std::int64_t RecordingSummary::CellMs() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return exact_.CellMs();
}

std::vector<graph::ReviewSpan> RecordingSummary::Spans(std::int64_t fromMs, std::int64_t toMs) const {
    const std::lock_guard<std::mutex> hold(lock_);
    std::vector<graph::ReviewSpan> out;
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        graph::ReviewSpan span = spans_[i];
        // The pass or quiet stretch under way, as far as the reading has come.
        if (spanOpen_ && i + 1 == spans_.size()) span.toMs = std::max(span.fromMs, progress_.readToMs);
        if (span.toMs >= fromMs && span.fromMs < toMs) out.push_back(span);
    }
    return out;
}

void RecordingSummary::RequestDetail(std::int64_t fromMs, std::int64_t toMs) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        wantFrom_ = fromMs;
        wantTo_ = toMs;
        ++wanted_;
    }
    detailWanted_.notify_all();
}

std::shared_ptr<const ReviewDetail> RecordingSummary::LastDetail() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return detail_;
}

std::size_t RecordingSummary::Bytes() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return exact_.Bytes() + sampled_.Bytes() + (detail_ ? detail_->readings.capacity() * sizeof(Reading) : 0) +
           spans_.capacity() * sizeof(graph::ReviewSpan);
}

} // namespace commission

#include "moc_RecordingSummary.cpp"
