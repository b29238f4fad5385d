// The review view's plot: a stretch of a ReviewSource drawn by graph::PaintReview, one column a pixel,
// with a cursor that reads the values under the mouse, zoom (Ctrl+wheel, + and -) and scrolling (wheel,
// arrow keys, Page Up and Down, Home, End) over the whole of it. Columns wider than the summary's cells
// come from the summary, exact; narrower ones, and any stretch of a few hundred thousand replies, from
// the replies themselves, read in the background (the summary shows until they are there).
#pragma once

#include "commission/ReviewSource.h"
#include "graph/ReviewPicture.h"

#include <QPointer>
#include <QWidget>
#include <optional>

namespace commission {

class ReviewPlot : public QWidget {
    Q_OBJECT
  public:
    explicit ReviewPlot(QWidget* parent = nullptr);

    // What it shows (not owned); null: nothing. The whole of it shows first.
    void setSource(ReviewSource* source);
    ReviewSource* source() const { return source_; }

    void ShowWhole();
    // Zooms in (factor below 1) or out around a column (the middle when none), within the whole.
    void ZoomBy(double factor, std::optional<int> aroundColumn = std::nullopt);
    void ScrollBy(double columns);
    void ScrollTo(std::int64_t fromMs);
    // Shows [fromMs, toMs) across the plot.
    void ShowStretch(std::int64_t fromMs, std::int64_t toMs);
    // The live connection's end stays in sight while it grows, unless the user scrolled away from it.
    bool Following() const { return following_; }

    std::int64_t FromMs() const { return static_cast<std::int64_t>(fromMs_); }
    double MsPerColumn() const { return msPerColumn_; }
    std::int64_t ToMs() const { return FromMs() + static_cast<std::int64_t>(msPerColumn_ * Columns()); }
    int Columns() const;
    // The whole that can be shown: from the first reply to the last.
    std::int64_t WholeFromMs() const;
    std::int64_t WholeToMs() const;

    // The picture as it is now (without the cursor), made afresh from the source.
    const graph::ReviewPicture& Picture();
    // Whether every column of the picture holds exactly its replies; and whether they came from the
    // replies themselves (else from the summary).
    bool Exact();
    bool FromReplies();
    // The replies of the picture, when it was drawn from them.
    std::shared_ptr<const ReviewDetail> Replies();
    // The cursor's column (none: the mouse is not over the plot) and what it reads there.
    std::optional<int> CursorColumn() const { return cursor_; }
    void setCursorColumn(std::optional<int> column);
    QString CursorReading();
    // The picture as drawn on the screen, at the plot's size, without the cursor (Export PNG).
    QImage Render(qreal scale = 1);

  signals:
    void viewChanged();    // another stretch, or more of the source: the scroll bar follows
    void readingChanged(); // the cursor's reading

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void setView(double fromMs, double msPerColumn);
    void sourceChanged();
    void rebuild();
    std::optional<int> columnAt(int x) const;

    QPointer<ReviewSource> source_;
    double fromMs_ = 0, msPerColumn_ = 1000;
    bool following_ = true;
    bool wholeShown_ = true; // the whole is shown, and stays so as it grows
    std::optional<int> cursor_;
    graph::ReviewPicture picture_;
    bool dirty_ = true, exact_ = false, fromReplies_ = false;
    std::shared_ptr<const ReviewDetail> replies_;
    std::int64_t askedFrom_ = -1, askedTo_ = -1; // the replies asked for last
};

} // namespace commission
