// The review view's stretch as a file: the picture as PNG, and its values as CSV (every reply where the
// picture was drawn from them, else a row a column with each value's least and greatest).
#pragma once

#include "commission/ReviewSource.h"
#include "graph/ReviewPicture.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace commission {

// The CSV text: a comment line naming the source and the stretch, the headings, then the rows. Every
// cell is a number, a time or words of the program's own (no cell a spreadsheet takes for a formula).
QByteArray ReviewCsv(const QString& source, const graph::ReviewPicture& picture, const ReviewDetail* replies);
// Writes bytes, or the image as PNG, to path through a temporary file that replaces it only when complete;
// false with error ("The file ... could not be written: ...").
bool WriteWhole(const QString& path, const QByteArray& bytes, QString& error);
bool WritePng(const QString& path, const QImage& image, QString& error);

} // namespace commission
