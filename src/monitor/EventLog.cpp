#include "monitor/EventLog.h"

#include "widgets/StringGrid.h"

void LabelLogGrid(StringGrid& grid) {
    for (int r = 1; r < grid.RowCount(); ++r) grid.setCell(0, r, QString::number(r) + QLatin1Char(' '));
    const char* const headings[] = {"Num\u00b0",          "ALLARM",     "Max MW",     "Max Pir HIGH ABOVE",
                                    "Max Pir DOWN UNDER", "Max Mask 1", "Max Mask 2", "Noise Ir 1",
                                    "Noise Ir 2",         "Ntc:"};
    for (int c = 0; c < 10; ++c) grid.setCell(c, 0, QString::fromUtf8(headings[c]));
}

void ClearLogGrid(StringGrid& grid) {
    for (int c = 1; c < grid.ColCount(); ++c)
        for (int r = 1; r < grid.RowCount(); ++r) grid.setCell(c, r, QString());
}
