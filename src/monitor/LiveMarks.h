// Whether the VIEW tab's readings are live: while nothing is polled (the link closed or halted, the
// LOGS tab shown, a replay ended) the bars, lamps and values keep their last state, greyed, so that
// nobody takes them for the detector's present state; the next status reply makes them live again.
#pragma once

#include <QList>

class QWidget;
namespace view {
struct ViewControls;
} // namespace view
namespace graph {
class GraphWindow;
} // namespace graph

namespace monitor {

class LiveMarks {
  public:
    explicit LiveMarks(view::ViewControls& view) : view_(view) {}

    void SetLive(bool live);
    bool Live() const { return live_; }
    // Empties the readings (bars at their least, lamps out, values "---") and the graph's traces,
    // as after a replay: what they showed belonged to the recording.
    void Clear(graph::GraphWindow* graphics);

  private:
    QList<QWidget*> readings() const;

    view::ViewControls& view_;
    bool live_ = true;
};

} // namespace monitor
