// How the monitoring views write values: plain decimals, and temperatures in whole degrees Celsius.
#pragma once

#include <QString>

namespace monitor {

// Decimal, with a minus sign when negative, no leading zeros and no digit grouping.
inline QString NumberText(int v) {
    return QString::number(v);
}

// A temperature as a general number of at most four significant digits, followed by "°C".
inline QString DegreesText(int celsius) {
    return QString::number(static_cast<double>(celsius), 'g', 4) + QStringLiteral("\u00b0C");
}

} // namespace monitor
