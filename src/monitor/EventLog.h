// The LOGS tab's grid of the detector's event memory: headings, row numbers, the ten entries of a
// reply and clearing.
#pragma once

#include <cstdint>

class QString;

namespace widgets {
class StringGrid;
} // namespace widgets

namespace monitor {

// Numbers rows 1 .. last as "1 ", "2 ", ... in column 0 and writes the headings into row 0.
void LabelLogGrid(widgets::StringGrid& grid);
// Widens the columns to their headings, and the event column to the longest event name.
void FitLogGrid(widgets::StringGrid& grid);
// Empties every cell of the grid body; headings and row numbers stay.
void ClearLogGrid(widgets::StringGrid& grid);
// Rewrites rows 1 .. 10 from the 220 bytes of an event-memory reply. The grid ends as if it had
// been cleared and refilled, but only the cells whose text changes are written (and repainted). While
// cells are chosen (to be copied) nothing changes.
void ShowEventLog(widgets::StringGrid& grid, const std::uint8_t* eventLog220);
// Writes the grid, headings included, to a CSV file, replacing one only once the new one is complete.
// False, with error naming the file and the reason, when it cannot.
bool WriteLogGridCsv(const widgets::StringGrid& grid, const QString& path, QString& error);

} // namespace monitor
