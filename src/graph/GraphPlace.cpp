#include "graph/GraphPlace.h"

#include <algorithm>

namespace graph {

namespace {

// The start that keeps a span of the given length inside [low, high), nearest to wanted.
int within(int wanted, int length, int low, int high) {
    return std::max(low, std::min(wanted, high - length));
}

} // namespace

GraphPlace PlaceGraph(const QRect& area, const QRect& main, const QSize& graph, const QRect& last) {
    GraphPlace place;
    place.main = main;
    const int areaRight = area.x() + area.width(); // one past the last column
    const int areaBottom = area.y() + area.height();
    if (graph.width() > area.width() || graph.height() > area.height()) return place; // only inside
    if (last.isValid() && area.contains(last) && !last.intersects(main)) {
        place.where = GraphPlace::Where::Kept;
        place.graph = last;
        return place;
    }
    const int left = within(main.x(), graph.width(), area.x(), areaRight);
    // Below, its left edge under the main window's where the screen allows.
    if (main.y() + main.height() + graph.height() <= areaBottom && main.y() + main.height() >= area.y()) {
        place.where = GraphPlace::Where::Below;
        place.graph = QRect(QPoint(left, main.y() + main.height()), graph);
        return place;
    }
    // Beside, on the right or else on the left, level with its top where the screen allows.
    const int top = within(main.y(), graph.height(), area.y(), areaBottom);
    if (main.x() + main.width() + graph.width() <= areaRight) {
        place.where = GraphPlace::Where::Beside;
        place.graph = QRect(QPoint(main.x() + main.width(), top), graph);
        return place;
    }
    if (main.x() - graph.width() >= area.x()) {
        place.where = GraphPlace::Where::Beside;
        place.graph = QRect(QPoint(main.x() - graph.width(), top), graph);
        return place;
    }
    // Both fit one above the other: the main window goes up as far as needed, the graph below it.
    if (main.height() + graph.height() <= area.height() && main.width() <= area.width()) {
        const int mainTop = std::min(std::max(main.y(), area.y()), areaBottom - graph.height() - main.height());
        const int mainLeft = within(main.x(), main.width(), area.x(), areaRight);
        place.where = GraphPlace::Where::BelowMainMoved;
        place.main = QRect(QPoint(mainLeft, mainTop), main.size());
        place.graph =
            QRect(QPoint(within(mainLeft, graph.width(), area.x(), areaRight), mainTop + main.height()), graph);
        return place;
    }
    return place;
}

} // namespace graph
