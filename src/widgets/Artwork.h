// Pictures the program draws itself: the action bar's images and the NTC thermometer scale.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace widgets {

// Image of the action bar's image list by index (0 open, 1 save, 2 connect, 4 exit, 5 port set-up,
// 8 graph, 9 recording): the desktop theme's icon where there is one, else a drawing of our own.
QIcon ActionIcon(int index);
// The desktop theme's icon alone; null where it has none.
QIcon ThemedActionIcon(int index);
// Whether the desktop names an icon theme of its own. Without one Qt falls back to "hicolor", which holds
// programs' own icons rather than these: asking it costs several milliseconds and almost never finds one.
bool DesktopHasIconTheme();
// The drawing of our own for an index, 24 x 24; null for an index the program does not use.
QPixmap DrawnActionIcon(int index);
// A thermometer scale from -30 to 70 degrees Celsius, top to bottom 70 .. -30.
QPixmap DrawNtcScale(const QSize& size);

} // namespace widgets
