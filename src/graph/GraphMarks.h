// Labelled marks on the graph: a pass, a quiet stretch and its end as a vertical line at the column of
// their moment, a pause in a recording as a band over the columns it would have filled.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

namespace graph {

struct State;

struct Mark {
    enum class Kind { Pass, Quiet, End, Pause };
    Kind kind = Kind::Pass;
    int column = 0;
    int width = 1; // a pause's band: the columns it covers
    QString text;  // its label; none: the line alone
    QImage label;  // the text, rendered once before it is first drawn (RenderLabels)
};

// How many labels one column keeps: marks made at one moment share its column, and however many come (a
// file of nothing but marks), the column keeps one line of each kind and its newest few labels.
constexpr int LabelsPerColumn = 3;

// The colour a kind of mark is drawn in.
QColor MarkColour(Mark::Kind kind);
// A line at the sweep position, where the next sample goes: the moment between two replies (marks made
// at the same moment stand side by side). An empty text draws the line alone.
void AddMark(State& state, Mark::Kind kind, const QString& text);
// A band of columns from the sweep position, where nothing was recorded: the signal traces lie on
// their baselines under it and the sweep goes on past it.
void AddPause(State& state, const QString& text, int columns);
void ClearMarks(State& state);
// A mark whose column the sweep comes back to is overwritten with it: called as the sweep moves on.
void ForgetMarksAt(State& state, int column);
// Renders the labels not rendered yet: once each, the newest few of a moment only.
void RenderLabels(State& state);
// The marks, within clip: after the traces, before the channel names.
void DrawMarks(const State& state, QImage& screen, const QRect& clip);

} // namespace graph
