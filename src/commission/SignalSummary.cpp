#include "commission/SignalSummary.h"

#include <algorithm>
#include <cmath>

namespace commission {

namespace {

constexpr int LevelFactor = 4;

} // namespace

Reading ReadingOf(std::int64_t ms, const protocol::StatusRecord& s) {
    Reading r;
    r.ms = ms;
    for (int c = 0; c < 3; ++c) {
        // A signal of 0 is shown and plotted as 1, as the graph and the bars show it.
        r.signal[c] = std::max<std::uint16_t>(1, s.channels[c].signal);
        r.threshold[c] = s.channels[c].compensation;
    }
    r.alarmFlags = s.alarmFlags;
    r.stateFlags = s.stateFlags;
    return r;
}

SignalSummary::SignalSummary(int maxCells) : maxCells_(std::max(LevelFactor, maxCells)) {
    Reset(0, 1);
}

void SignalSummary::Reset(std::int64_t fromMs, std::int64_t cellMs) {
    fromMs_ = fromMs;
    cellMs_ = std::max<std::int64_t>(1, cellMs);
    replies_ = 0;
    highest_ = 0;
    levels_.assign(1, {});
    for (int cells = maxCells_; cells > LevelFactor; cells = (cells + LevelFactor - 1) / LevelFactor)
        levels_.emplace_back();
}

std::size_t SignalSummary::Bytes() const {
    std::size_t all = 0;
    for (const auto& level : levels_) all += level.capacity() * sizeof(graph::ReviewColumn);
    return all;
}

void SignalSummary::join() {
    // Two cells to one: the summary covers twice the time in the same number of cells.
    std::vector<graph::ReviewColumn>& cells = levels_[0];
    const std::size_t joined = (cells.size() + 1) / 2;
    for (std::size_t k = 0; k < joined; ++k) {
        graph::ReviewColumn cell = cells[2 * k];
        if (2 * k + 1 < cells.size()) cell.Add(cells[2 * k + 1]);
        cells[k] = cell;
    }
    cells.resize(joined);
    cellMs_ *= 2;
    rebuildLevels();
}

void SignalSummary::rebuildLevels() {
    for (std::size_t level = 1; level < levels_.size(); ++level) {
        const std::vector<graph::ReviewColumn>& below = levels_[level - 1];
        std::vector<graph::ReviewColumn>& cells = levels_[level];
        cells.assign((below.size() + LevelFactor - 1) / LevelFactor, {});
        for (std::size_t k = 0; k < below.size(); ++k) cells[k / LevelFactor].Add(below[k]);
    }
}

graph::ReviewColumn& SignalSummary::cellAt(std::int64_t ms) {
    // The times of a recording only grow; one that goes back before the first is counted in the first cell.
    while ((std::max(ms, fromMs_) - fromMs_) / cellMs_ >= maxCells_) join();
    const auto index = static_cast<std::size_t>((std::max(ms, fromMs_) - fromMs_) / cellMs_);
    std::vector<graph::ReviewColumn>& cells = levels_[0];
    if (index >= cells.size()) cells.resize(index + 1);
    return cells[index];
}

void SignalSummary::Add(const Reading& r) {
    graph::ReviewColumn& cell = cellAt(r.ms);
    cell.Add(r.signal, r.threshold, r.alarmFlags, r.stateFlags);
    ++replies_;
    for (int c = 0; c < 3; ++c) highest_ = std::max({highest_, int(r.signal[c]), int(r.threshold[c])});
    // The same reply in the cell of each level above.
    auto index = static_cast<std::size_t>((std::max(r.ms, fromMs_) - fromMs_) / cellMs_);
    for (std::size_t level = 1; level < levels_.size(); ++level) {
        index /= LevelFactor;
        std::vector<graph::ReviewColumn>& cells = levels_[level];
        if (index >= cells.size()) cells.resize(index + 1);
        cells[index].Add(r.signal, r.threshold, r.alarmFlags, r.stateFlags);
    }
}

void SignalSummary::AddMark(std::int64_t ms, std::uint8_t bit) {
    cellAt(ms).marks |= bit;
    auto index = static_cast<std::size_t>((std::max(ms, fromMs_) - fromMs_) / cellMs_);
    for (std::size_t level = 1; level < levels_.size(); ++level) {
        index /= LevelFactor;
        std::vector<graph::ReviewColumn>& cells = levels_[level];
        if (index >= cells.size()) cells.resize(index + 1);
        cells[index].marks |= bit;
    }
}

std::int64_t SignalSummary::unitFor(double msPerColumn) const {
    // A column of many cells is a whole number of the cells of a level above (at least 32 of them), so
    // that it is made of a few of those.
    const double cells = std::max(1.0, msPerColumn / double(cellMs_));
    std::int64_t unit = 1;
    while (unit * LevelFactor * 32 <= cells && unit * LevelFactor < (std::int64_t(1) << 40)) unit *= LevelFactor;
    return unit * cellMs_;
}

std::int64_t SignalSummary::ExactFrom(std::int64_t ms, double msPerColumn) const {
    const std::int64_t unit = unitFor(msPerColumn);
    const std::int64_t offset = ms - fromMs_;
    const std::int64_t units = offset >= 0 ? offset / unit : -((-offset + unit - 1) / unit);
    return fromMs_ + units * unit;
}

double SignalSummary::ExactWidth(double msPerColumn) const {
    const auto unit = double(unitFor(msPerColumn));
    return unit * std::max(1.0, std::ceil(msPerColumn / unit - 1e-9));
}

void SignalSummary::Fill(std::int64_t fromMs, double msPerColumn, int n, std::vector<graph::ReviewColumn>& out,
                         bool& exact) const {
    out.assign(static_cast<std::size_t>(std::max(0, n)), {});
    exact = false;
    if (n <= 0 || msPerColumn <= 0) return;
    // Columns that are whole numbers of cells, beginning on a cell's start, hold exactly their replies;
    // they are made from the coarsest level whose cells still fall each within one column.
    const auto wholeMs = static_cast<std::int64_t>(std::llround(msPerColumn));
    const std::int64_t offset = fromMs - fromMs_;
    exact = std::abs(msPerColumn - double(wholeMs)) < 1e-6 && wholeMs % cellMs_ == 0 && offset % cellMs_ == 0;
    std::size_t level = 0;
    std::int64_t width = cellMs_;
    while (level + 1 < levels_.size()) {
        const std::int64_t next = width * LevelFactor;
        const bool fits = exact ? wholeMs % next == 0 && offset % next == 0 : double(next) <= msPerColumn;
        if (!fits) break;
        ++level;
        width = next;
    }
    const std::vector<graph::ReviewColumn>& cells = levels_[level];
    const auto count = static_cast<std::int64_t>(cells.size());
    // A cell belongs to the column its start lies in.
    const auto firstCell = [&](double ms) {
        return static_cast<std::int64_t>(std::ceil((ms - double(fromMs_)) / double(width) - 1e-9));
    };
    for (int i = 0; i < n; ++i) {
        const double start = double(fromMs) + i * msPerColumn, end = start + msPerColumn;
        std::int64_t k0 = firstCell(start), k1 = firstCell(end);
        if (k1 <= k0) { // narrower than a cell: the cell it lies in
            k0 = static_cast<std::int64_t>(std::floor((start - double(fromMs_)) / double(width)));
            k1 = k0 + 1;
        }
        graph::ReviewColumn& column = out[static_cast<std::size_t>(i)];
        for (std::int64_t k = std::max<std::int64_t>(0, k0); k < std::min(k1, count); ++k)
            column.Add(cells[static_cast<std::size_t>(k)]);
    }
}

} // namespace commission
