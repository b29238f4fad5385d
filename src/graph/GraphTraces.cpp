#include "graph/GraphPainter.h"

#include <algorithm>
#include <cmath>

namespace graph {

int RoundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

void BuildTraces(State& state, int width) {
    state.GraphWidth = std::max(1, width);
    for (int t = 0; t < 6; ++t) {
        state.traces[t].resize(static_cast<std::size_t>(state.GraphWidth));
        for (int i = 0; i < state.GraphWidth; ++i)
            state.traces[t][static_cast<std::size_t>(i)] = {i, TraceBaseline[t % 3]};
    }
    if (state.SweepPosition >= state.GraphWidth) state.SweepPosition = 0;
    ClearMarks(state);
}

void ResetTraces(State& state) {
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < state.GraphWidth; ++i) state.traces[c][static_cast<std::size_t>(i)] = {i, TraceBaseline[c]};
}

void FeedThreshold(State& state, Channel channel, std::uint16_t compensation, bool directConvert) {
    const auto c = static_cast<std::size_t>(channel);
    TraceBuffer& threshold = state.traces[3 + c];
    const TraceBuffer& signal = state.traces[c];
    if (directConvert) {
        std::fill(threshold.begin(), threshold.end(), TracePoint{0, 0});
        return;
    }
    const int y = BandTop[c] + RoundHalfEven((810 - static_cast<int>(compensation)) / 10.0);
    for (std::size_t i = 0; i < threshold.size(); ++i) threshold[i] = {signal[i].X, y};
}

void FeedSample(State& state, Channel channel, std::uint16_t value) {
    const auto c = static_cast<std::size_t>(channel);
    state.traces[c][static_cast<std::size_t>(state.SweepPosition)].Y = TraceBaseline[c] - RoundHalfEven(value / 10.0);
}

void AdvanceSweep(State& state) {
    ++state.SweepPosition;
    if (state.SweepPosition >= state.GraphWidth) state.SweepPosition = 0;
    if (!state.marks.empty()) ForgetMarksAt(state, state.SweepPosition);
}

} // namespace graph
