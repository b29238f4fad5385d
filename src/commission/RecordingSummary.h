// A recording read in the background for the review view, never whole in memory: first a sample spread
// over the whole file (the picture of a 2 GB recording comes within a fraction of a second), then every
// line in order, which makes the summary exact as it goes (SignalSummary) and finds the passes, quiet
// stretches and pauses. A stretch short enough is read from the file itself, every reply of it
// (RequestDetail). The window's thread only asks; the reading is done by two threads of its own.
#pragma once

#include "commission/Recording.h"
#include "commission/ReviewSource.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace commission {

class RecordingSummary : public ReviewSource {
    Q_OBJECT
  public:
    // The sample: so many places evenly through the file, a few replies each; a file smaller than
    // SampleAbove is read whole at once instead.
    static constexpr int SampleCount = 2048;
    static constexpr int RepliesPerSample = 4;
    static constexpr qint64 SampleAbove = 16 * 1024 * 1024;
    // A stretch of at most so many replies is read from the file for a picture of it.
    static constexpr std::size_t DetailLimit = 250000;
    // Passes, quiet stretches and pauses kept with their names; beyond them, a mark is a tick.
    static constexpr std::size_t MaxSpans = 10000;

    explicit RecordingSummary(QObject* parent = nullptr);
    ~RecordingSummary() override;
    RecordingSummary(const RecordingSummary&) = delete;
    RecordingSummary& operator=(const RecordingSummary&) = delete;

    // Starts reading path (a regular file on a disk); false with error when it cannot be read.
    bool Open(const QString& path, QString& error);
    // Stops reading (the threads end before it returns) and forgets the file.
    void Close();
    QString Path() const { return path_; }

    // The review view's questions (ReviewSource.h).
    std::int64_t StartMs() const override;
    std::int64_t EndMs() const override;
    QDateTime WallAtZero() const override;
    int ValueTop() const override;
    QString Title() const override;
    QString Remark() const override;

    struct Progress {
        std::int64_t firstMs = -1, lastMs = -1; // the first and last reply (the last as far as known)
        std::int64_t readToMs = -1;             // the summary is exact up to here
        double read = 0;                        // of the file, 0 to 1
        bool sampled = false, complete = false;
        QString failure;              // why the reading stopped before the end (a bad line, a read error)
        QDateTime wallAtZero;         // the wall-clock time of 0 ms on the recording's clock; invalid if unknown
        int valueTop = 800;           // the value axes' top: 800, or above the highest value
        std::size_t spansLeftOut = 0; // marks beyond MaxSpans, shown as ticks
        std::int64_t replies = 0;     // read so far
    };
    Progress progress() const;

    // The columns of a stretch (SignalSummary::Fill): what the full reading has reached, exact; beyond it,
    // the sample's estimate. exact: every column holds exactly its replies.
    void Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out,
              bool& exact) const override;
    std::int64_t ExactFrom(std::int64_t ms, double msPerColumn) const override;
    double ExactWidth(double msPerColumn) const override;
    std::int64_t CellMs() const override;
    std::vector<graph::ReviewSpan> Spans(std::int64_t fromMs, std::int64_t toMs) const override;
    // Read from the file in the background (at most DetailLimit replies).
    void RequestDetail(std::int64_t fromMs, std::int64_t toMs) override;
    std::shared_ptr<const ReviewDetail> LastDetail() const override;
    std::size_t DetailLimitReplies() const override { return DetailLimit; }
    double MsPerReply() const override;
    std::size_t Bytes() const override;

  private:
    void scan();
    void readDetail();
    void told();
    void addSpanMark(const recording::Mark& m);

    QString path_;
    qint64 size_ = 0;
    std::int64_t lastModifiedMs_ = -1; // the file's last change (its last line), ms since the epoch
    mutable std::mutex lock_;
    SignalSummary exact_, sampled_;
    Progress progress_;
    std::vector<graph::ReviewSpan> spans_;
    bool spanOpen_ = false;
    std::int64_t lastMarkMs_ = -1;
    std::shared_ptr<const ReviewDetail> detail_;
    std::int64_t wantFrom_ = 0, wantTo_ = 0;
    std::atomic<std::uint64_t> wanted_{0};
    std::uint64_t served_ = 0;
    std::condition_variable detailWanted_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> toldSoon_{false};
    std::thread scanner_, detailReader_;
};

} // namespace commission
