// Labelled marks on the graph: a pass, a quiet stretch and its end as a vertical line at the column of
// their moment, a pause in a recording as a band over the columns it would have filled.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

struct GraphState;

struct GraphMark {
    enum class Kind { Pass, Quiet, End, Pause };
    Kind kind = Kind::Pass;
    int column = 0;
    int width = 1; // a pause's band: the columns it covers
    QImage label;  // its text, rendered once
};

// The colour a kind of mark is drawn in.
QColor GraphMarkColour(GraphMark::Kind kind);
// A line at the sweep position, where the next sample goes: the moment between two replies (marks made
// at the same moment stand side by side). An empty text draws the line alone.
void AddGraphMark(GraphState& state, GraphMark::Kind kind, const QString& text);
// A band of columns from the sweep position, where nothing was recorded: the signal traces lie on
// their baselines under it and the sweep goes on past it.
void AddGraphPause(GraphState& state, const QString& text, int columns);
void ClearGraphMarks(GraphState& state);
// A mark whose column the sweep comes back to is overwritten with it: called as the sweep moves on.
void ForgetGraphMarksAt(GraphState& state, int column);
// The marks, within clip: after the traces, before the channel names.
void DrawGraphMarks(const GraphState& state, QImage& screen, const QRect& clip);
