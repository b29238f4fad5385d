// The program's fonts: Tahoma where the machine has it, and the small font of the graph caption.
#pragma once

#include <QFont>
#include <QString>

namespace graph {

// Registers Tahoma and Small Fonts from the folders where Debian's fonts-wine puts them, if
// fontconfig does not already know them. Call once after the application object exists.
void RegisterProgramFonts();
// Tahoma 8 pt, or the system's sans font of that size when there is no Tahoma.
QFont ProgramFont();
// Makes ProgramFont() the font of every kind of widget, whatever the desktop's theme gives each kind
// (a theme may set a larger font for labels, group boxes, menus, ...), now and whenever the theme
// changes the application's fonts later. Call once after the application object exists.
void UseProgramFont();
// The family for the graph's caption: "Small Fonts" or the nearest small font available.
QString SmallFontFamily();

} // namespace graph
