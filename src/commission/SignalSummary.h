// A recording's replies summed up on its clock in a bounded memory, whatever its length: cells of equal
// time, each the least and greatest of every signal and threshold, the flags OR'ed and the marks made in
// it (a graph::ReviewColumn), with levels of four cells to one above them, so that a column of a picture
// of any stretch is made of a few cells. When a reply comes beyond the last cell the cells are joined
// two to one (each twice as long), so that the cells stay within their number.
#pragma once

#include "graph/ReviewPicture.h"
#include "protocol/StatusRecord.h"

#include <cstdint>
#include <vector>

namespace commission {

// The review view's values of a reply: the signals plotted (the signal, or the direct-conversion signal
// while the graph's Direct Convert is ticked: the view shows the signal) and the thresholds (each
// channel's compensation value, where the graph draws its threshold line).
struct Reading {
    std::int64_t ms = 0;
    std::array<std::uint16_t, 3> signal{}, threshold{};
    std::uint16_t alarmFlags = 0, stateFlags = 0;
};
Reading ReadingOf(std::int64_t ms, const protocol::StatusRecord& s);

class SignalSummary {
  public:
    // 2^17 cells of 30 bytes with their levels: under 6 MB for any recording (a 2 GB one of replies 10 ms
    // apart has cells of 2.3 s).
    static constexpr int DefaultCells = 1 << 17;
    explicit SignalSummary(int maxCells = DefaultCells);

    // Empties it: cells of cellMs (at least 1) from fromMs on.
    void Reset(std::int64_t fromMs, std::int64_t cellMs);
    void Add(const Reading& r);
    // A mark (graph::MarkBit) made at ms.
    void AddMark(std::int64_t ms, std::uint8_t bit);

    // The columns of [fromMs, fromMs + n * msPerColumn): each the cells that begin within it, or, where a
    // column is narrower than a cell, the cell it lies in. exact: each column holds exactly the replies
    // of its time, as when fromMs lies on a cell's start and msPerColumn is a whole number of cells
    // (ExactFrom, ExactWidth).
    void Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out, bool& exact) const;
    // For columns of about msPerColumn: the nearest place at or before ms, and the nearest width at least
    // msPerColumn (and a cell), whose columns hold exactly their replies, each made of a few cells of a level.
    std::int64_t ExactFrom(std::int64_t ms, double msPerColumn) const;
    double ExactWidth(double msPerColumn) const;

    std::int64_t CellMs() const { return cellMs_; }
    std::int64_t FromMs() const { return fromMs_; }
    std::int64_t Replies() const { return replies_; }
    // The highest signal or threshold summed up (for the value axes); 0 when none.
    int Highest() const { return highest_; }
    // The memory the cells take.
    std::size_t Bytes() const;

  private:
    std::int64_t unitFor(double msPerColumn) const;
    void join();
    void rebuildLevels();
    graph::ReviewColumn& cellAt(std::int64_t ms);

    int maxCells_;
    std::int64_t fromMs_ = 0, cellMs_ = 1;
    std::int64_t replies_ = 0;
    int highest_ = 0;
    // levels_[0] the cells, levels_[k] four cells of level k - 1 each; each grows as far as it is used.
    std::vector<std::vector<graph::ReviewColumn>> levels_;
};

} // namespace commission
