// Where the graph window goes so that it never covers the main window: below it, beside it, below it
// with the main window moved up, or, where the screen cannot hold both, inside the main window.
#pragma once

#include <QRect>

namespace graph {

struct GraphPlace {
    enum class Where { Kept, Below, Beside, BelowMainMoved, InMainWindow };
    Where where = Where::InMainWindow;
    QRect graph; // the graph window's frame on the screen (none inside the main window)
    QRect main;  // the main window's frame, moved up for BelowMainMoved
};

// area: the screen's available area; main: the main window's frame (its title bar included); graph: the
// graph window's frame size; last: where the user left the graph window before (kept when it is on the
// screen and clear of the main window), or an empty rectangle.
GraphPlace PlaceGraph(const QRect& area, const QRect& main, const QSize& graph, const QRect& last = QRect());

} // namespace graph
