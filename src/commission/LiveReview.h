// The live connection so far, for the review view: every status reply since Connect summed up in a
// bounded memory (SignalSummary), the last KeptReplies of them kept whole for a close look.
#pragma once

#include "commission/ReviewSource.h"

#include <QElapsedTimer>
#include <QTimer>
#include <deque>

namespace commission {

class LiveReview : public ReviewSource {
    Q_OBJECT
  public:
    // About 48 minutes at 21 replies a second, 1.4 MB.
    static constexpr std::size_t KeptReplies = 60000;
    // The cells grow from 10 ms, joined two to one as the connection goes on: 2^16 of them, 2.7 MB with
    // their levels at most, a day in cells of 1.3 s.
    static constexpr int Cells = 1 << 16;

    explicit LiveReview(QObject* parent = nullptr);

    // A new connection on port: what the last one showed goes.
    void Connected(const QString& port);
    // A status reply that has just arrived.
    void Reply(const protocol::StatusRecord& s);
    // A pass or a quiet stretch (to as from: it lasts until the next one or an end), or a pause, that
    // the walk test marked on this connection, on its clock; and the end of the one under way.
    void MarkAt(graph::ReviewSpan::Kind kind, std::int64_t fromMs, std::int64_t toMs, const QString& name,
                const QString& brief);
    void EndAt(std::int64_t ms);
    // The connection's clock: ms since Connect.
    std::int64_t NowMs() const { return clock_.isValid() ? clock_.elapsed() : 0; }

    std::int64_t StartMs() const override;
    std::int64_t EndMs() const override { return lastMs_; }
    QDateTime WallAtZero() const override { return connectedAt_; }
    int ValueTop() const override;
    QString Title() const override;
    QString Remark() const override;
    void Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out,
              bool& exact) const override;
    std::int64_t ExactFrom(std::int64_t ms, double msPerColumn) const override;
    double ExactWidth(double msPerColumn) const override;
    std::int64_t CellMs() const override { return summary_.CellMs(); }
    std::vector<graph::ReviewSpan> Spans(std::int64_t fromMs, std::int64_t toMs) const override;
    void RequestDetail(std::int64_t fromMs, std::int64_t toMs) override;
    std::shared_ptr<const ReviewDetail> LastDetail() const override { return detail_; }
    std::size_t DetailLimitReplies() const override { return KeptReplies; }
    double MsPerReply() const override;
    std::size_t Bytes() const override;

  private:
    QElapsedTimer clock_;
    QDateTime connectedAt_;
    QString port_;
    SignalSummary summary_{Cells};
    std::deque<Reading> recent_;
    std::int64_t firstMs_ = -1, lastMs_ = -1;
    std::vector<graph::ReviewSpan> spans_;
    bool spanOpen_ = false;
    std::shared_ptr<const ReviewDetail> detail_;
    QTimer tell_; // the view hears of new replies a few times a second, not at each
};

} // namespace commission
