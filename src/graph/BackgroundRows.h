// Copying the graph's background onto its screen image a row at a time, for the frame drawn whole and
// the frame drawn by parts.
#pragma once

#include <QImage>

namespace graph {

// Row y of the background from column x on, count pixels of it, onto a row of the screen.
void CopyBackgroundRow(QRgb* to, const QImage& background, int y, int x, int count);
// A background the screen can be copied from row by row: the same size, 32 or 8 bits a pixel.
bool CopiesOnto(const QImage& background, const QImage& screen);

} // namespace graph
