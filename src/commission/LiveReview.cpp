#include "commission/LiveReview.h"

#include <algorithm>

namespace commission {

namespace {

constexpr std::size_t MaxSpans = 2000;

} // namespace

LiveReview::LiveReview(QObject* parent) : ReviewSource(parent) {
    tell_.setSingleShot(true);
    tell_.setInterval(250);
    connect(&tell_, &QTimer::timeout, this, &ReviewSource::changed);
    summary_.Reset(0, 10);
}

void LiveReview::Connected(const QString& port) {
    port_ = port;
    clock_.start();
    connectedAt_ = QDateTime::currentDateTime();
    summary_.Reset(0, 10);
    recent_.clear();
    spans_.clear();
    spanOpen_ = false;
    firstMs_ = lastMs_ = -1;
    detail_.reset();
    emit changed();
}

void LiveReview::Reply(const protocol::StatusRecord& s) {
    if (!clock_.isValid()) Connected(port_);
    const Reading r = ReadingOf(clock_.elapsed(), s);
    summary_.Add(r);
    recent_.push_back(r);
    if (recent_.size() > KeptReplies) recent_.pop_front();
    if (firstMs_ < 0) firstMs_ = r.ms;
    lastMs_ = r.ms;
    if (!tell_.isActive()) tell_.start();
}

void LiveReview::MarkAt(graph::ReviewSpan::Kind kind, std::int64_t fromMs, std::int64_t toMs, const QString& name,
                        const QString& brief) {
    const bool pause = kind == graph::ReviewSpan::Kind::Pause;
    if (!pause) EndAt(fromMs);
    summary_.AddMark(fromMs, kind == graph::ReviewSpan::Kind::Pass    ? graph::MarkPassBit
                             : kind == graph::ReviewSpan::Kind::Quiet ? graph::MarkQuietBit
                                                                      : graph::MarkPauseBit);
    if (spans_.size() >= MaxSpans) return;
    graph::ReviewSpan span{kind, fromMs, std::max(fromMs, toMs), name, brief};
    // A pass or quiet stretch under way stays the last: a pause goes before it.
    if (pause && spanOpen_) spans_.insert(spans_.end() - 1, span);
    else spans_.push_back(span);
    if (!pause) spanOpen_ = true;
    emit changed();
}

void LiveReview::EndAt(std::int64_t ms) {
    if (!spanOpen_) return;
    spans_.back().toMs = std::max(spans_.back().fromMs, ms);
    spanOpen_ = false;
    summary_.AddMark(ms, graph::MarkEndBit);
}

std::int64_t LiveReview::StartMs() const {
    return firstMs_ < 0 ? -1 : 0;
}

int LiveReview::ValueTop() const {
    return std::max(800, (summary_.Highest() + 99) / 100 * 100);
}

QString LiveReview::Title() const {
    if (!connectedAt_.isValid()) return QStringLiteral("the live connection (not connected yet)");
    return QStringLiteral("the live connection on %1 since %2")
        .arg(port_.isEmpty() ? QStringLiteral("its port") : port_, connectedAt_.toString(QStringLiteral("HH:mm:ss")));
}

QString LiveReview::Remark() const {
    if (firstMs_ < 0) return QStringLiteral("No status reply since Connect (the VIEW tab polls the status).");
    return QString();
}

void LiveReview::Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out,
                      bool& exact) const {
    summary_.Fill(fromMs, msPerColumn, n, out, exact);
}

std::int64_t LiveReview::ExactFrom(std::int64_t ms, double msPerColumn) const {
    return summary_.ExactFrom(ms, msPerColumn);
}

double LiveReview::ExactWidth(double msPerColumn) const {
    return summary_.ExactWidth(msPerColumn);
}

std::vector<graph::ReviewSpan> LiveReview::Spans(std::int64_t fromMs, std::int64_t toMs) const {
    std::vector<graph::ReviewSpan> out;
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        graph::ReviewSpan span = spans_[i];
        if (spanOpen_ && i + 1 == spans_.size()) span.toMs = std::max(span.fromMs, lastMs_);
        if (span.toMs >= fromMs && span.fromMs < toMs) out.push_back(span);
    }
    return out;
}

void LiveReview::RequestDetail(std::int64_t fromMs, std::int64_t toMs) {
    auto detail = std::make_shared<ReviewDetail>();
    detail->fromMs = fromMs;
    detail->toMs = std::min(toMs, lastMs_ + 1); // (replies still to come are not in it)
    // Whole when the replies kept reach back to the stretch's start (or to the connection's).
    detail->whole = recent_.empty() || recent_.front().ms <= fromMs || recent_.front().ms == firstMs_;
    if (detail->whole) {
        const auto from = std::lower_bound(recent_.begin(), recent_.end(), fromMs,
                                           [](const Reading& r, std::int64_t ms) { return r.ms < ms; });
        for (auto it = from; it != recent_.end() && it->ms < toMs; ++it) detail->readings.push_back(*it);
    }
    detail_ = std::move(detail);
    QMetaObject::invokeMethod(this, &ReviewSource::detailReady, Qt::QueuedConnection);
}

double LiveReview::MsPerReply() const {
    if (summary_.Replies() < 2 || lastMs_ <= firstMs_) return 47;
    return double(lastMs_ - firstMs_) / double(summary_.Replies() - 1);
}

std::size_t LiveReview::Bytes() const {
    return summary_.Bytes() + recent_.size() * sizeof(Reading) +
           (detail_ ? detail_->readings.capacity() * sizeof(Reading) : 0);
}

} // namespace commission

#include "moc_LiveReview.cpp"
