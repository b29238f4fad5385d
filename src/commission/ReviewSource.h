// What the review view shows: a recording (RecordingSummary) or the live connection so far (LiveReview),
// each summed up in a bounded memory, with every reply of a short stretch on request.
#pragma once

#include "commission/SignalSummary.h"
#include "graph/ReviewPicture.h"

#include <QDateTime>
#include <QObject>
#include <memory>
#include <vector>

namespace commission {

// Every reply of a stretch.
struct ReviewDetail {
    std::int64_t fromMs = 0, toMs = 0;
    std::vector<Reading> readings;
    bool whole = false; // all replies of the stretch (false: too many of them, or they could not be read)
};

class ReviewSource : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // The first and the last reply on the source's clock; -1 when there is none yet.
    virtual std::int64_t StartMs() const = 0;
    virtual std::int64_t EndMs() const = 0;
    // The wall-clock time of 0 ms on that clock; invalid when not known.
    virtual QDateTime WallAtZero() const = 0;
    // The value axes' top.
    virtual int ValueTop() const = 0;
    // What it is ("walk.csv", "the live connection since 14:03:27"), and what to say of it now ("Reading
    // the recording: 40 %"); empty when nothing.
    virtual QString Title() const = 0;
    virtual QString Remark() const = 0;
    // The columns of a stretch; exact: each holds exactly its replies (SignalSummary::Fill).
    virtual void Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out,
                      bool& exact) const = 0;
    virtual std::int64_t ExactFrom(std::int64_t ms, double msPerColumn) const = 0;
    virtual double ExactWidth(double msPerColumn) const = 0;
    // The summary's finest cells: a column narrower than this needs the replies themselves.
    virtual std::int64_t CellMs() const = 0;
    virtual std::vector<graph::ReviewSpan> Spans(std::int64_t fromMs, std::int64_t toMs) const = 0;
    // Every reply of [fromMs, toMs): detailReady once LastDetail holds it (perhaps at once).
    virtual void RequestDetail(std::int64_t fromMs, std::int64_t toMs) = 0;
    virtual std::shared_ptr<const ReviewDetail> LastDetail() const = 0;
    // About how far apart its replies are, in ms (to tell how many a stretch holds).
    virtual double MsPerReply() const = 0;
    // The most replies a detail holds.
    virtual std::size_t DetailLimitReplies() const = 0;
    // The memory it takes.
    virtual std::size_t Bytes() const = 0;

  signals:
    void changed();     // more is known: the picture may change
    void detailReady(); // LastDetail holds the stretch asked for last
};

} // namespace commission
