// The LOGS tab's grid of the detector's event memory: headings, row numbers and clearing.
#pragma once

class StringGrid;

// Numbers rows 1 .. last as "1 ", "2 ", ... in column 0 and writes the headings into row 0.
void LabelLogGrid(StringGrid& grid);
// Empties every cell of the grid body; headings and row numbers stay.
void ClearLogGrid(StringGrid& grid);
