#include "graph/BackgroundRows.h"
#include "graph/Fonts.h"
#include "graph/GraphPainter.h"

#include <QPainter>
#include <algorithm>
#include <cstring>
#include <vector>

namespace graph {
namespace {
int midRow = 0;

// Lines end one pixel short of their end point, as pen moves do on a canvas.
void hline(QImage& img, int y, int x1, int x2, QRgb c) {
    if (y < 0 || y >= img.height()) return;
    x1 = std::max(x1, 0);
    x2 = std::min(x2, img.width());
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = x1; x < x2; ++x) row[x] = c;
}

void vline(QImage& img, int x, int y1, int y2, QRgb c) {
    if (x < 0 || x >= img.width()) return;
    y1 = std::max(y1, 0);
    y2 = std::min(y2, img.height());
    for (int y = y1; y < y2; ++y) reinterpret_cast<QRgb*>(img.scanLine(y))[x] = c;
}

// Grey pixels only (the grid and its caption on black): the background is kept at 8 bits a pixel, a
// quarter of the memory, with every pixel as it was.
void keepSmall(QImage& background) {
    if (background.format() != QImage::Format_RGB32) return;
    const int w = background.width(), h = background.height();
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(background.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qRed(row[x]) != qGreen(row[x]) || qRed(row[x]) != qBlue(row[x])) return;
    }
    QImage grey(background.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(background.constScanLine(y));
        uchar* to = grey.scanLine(y);
        for (int x = 0; x < w; ++x) to[x] = static_cast<uchar>(qRed(row[x]));
    }
    background = grey;
}

} // namespace

// (A background of 8 bits a pixel holds grey levels only.)
void CopyBackgroundRow(QRgb* to, const QImage& background, int y, int x, int count) {
    if (background.format() == QImage::Format_Grayscale8) {
        const uchar* from = background.constScanLine(y) + x;
        for (int i = 0; i < count; ++i) to[i] = 0xFF000000u | from[i] * 0x010101u;
        return;
    }
    std::memcpy(to, reinterpret_cast<const QRgb*>(background.constScanLine(y)) + x,
                static_cast<std::size_t>(count) * sizeof(QRgb));
}

bool CopiesOnto(const QImage& background, const QImage& screen) {
    return background.size() == screen.size() && screen.format() == QImage::Format_RGB32 &&
           (background.format() == QImage::Format_RGB32 || background.format() == QImage::Format_Grayscale8);
}

void FloodFillToBorder(QImage& image, int x, int y, const QColor& border, const QColor& fill) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    const QRgb stop = border.rgb() | 0xFF000000u;
    const QRgb paint = fill.rgb() | 0xFF000000u;
    uchar* const bits = image.bits(); // (scanLine() would check for a shared copy at every pixel)
    const qsizetype stride = image.bytesPerLine();
    auto at = [&](int px, int py) -> QRgb& { return reinterpret_cast<QRgb*>(bits + py * stride)[px]; };
    auto open = [&](int px, int py) { return (at(px, py) | 0xFF000000u) != stop && at(px, py) != paint; };
    if (!open(x, y)) return;
    // A picture of one colour throughout (a fresh one) is all reached: filled at once.
    const QRgb seed = at(x, y);
    bool uniform = true;
    for (int py = 0; uniform && py < image.height(); ++py) {
        const QRgb* row = &at(0, py);
        uniform = std::all_of(row, row + image.width(), [seed](QRgb p) { return p == seed; });
    }
    if (uniform) {
        image.fill(paint);
        return;
    }
    // Scanline fill: fill a run, then seed the runs above and below it.
    std::vector<QPoint> seeds{{x, y}};
    while (!seeds.empty()) {
        const QPoint s = seeds.back();
        seeds.pop_back();
        if (!open(s.x(), s.y())) continue;
        int left = s.x(), right = s.x();
        while (left > 0 && open(left - 1, s.y())) --left;
        while (right + 1 < image.width() && open(right + 1, s.y())) ++right;
        for (int px = left; px <= right; ++px) at(px, s.y()) = paint;
        for (int ny : {s.y() - 1, s.y() + 1}) {
            if (ny < 0 || ny >= image.height()) continue;
            bool inRun = false;
            for (int px = left; px <= right; ++px) {
                const bool o = open(px, ny);
                if (o && !inRun) seeds.push_back({px, ny});
                inRun = o;
            }
        }
    }
}

int MidRow() {
    return midRow;
}

void DrawBackground(QImage& screen, QImage& background) {
    midRow = RoundHalfEven(screen.height() / 2.0);
    FloodFillToBorder(background, 60, 60, BackgroundColour, BackgroundColour);
    DrawGrid(background);
    keepSmall(background);
    CopyBackground(screen, background);
}

void DrawGrid(QImage& bg) {
    if (bg.format() != QImage::Format_RGB32) bg = bg.convertToFormat(QImage::Format_RGB32);
    const int W = bg.width(), H = bg.height();
    const double step = W / 100.0;
    const QRgb grid = GridColour.rgb();
    for (int y = 10; y <= 480; y += 10) hline(bg, y, 0, W, grid);
    const int x0 = RoundHalfEven(W / 2.0);
    for (int i = 1; i <= 100; ++i) {
        if (i % 5 == 0) hline(bg, 4 * i, x0 - 4, x0 + 5, grid);
        else hline(bg, 4 * i, x0 - 2, x0 + 3, grid);
    }
    for (int i = 1; i <= 16; ++i) vline(bg, RoundHalfEven(i * step * 10), 0, H, grid);
    for (int i = 1; i <= 100; ++i) vline(bg, RoundHalfEven(i * step), midRow - 120, midRow + 120, grid);

    QPainter p(&bg);
    QFont f(SmallFontFamily());
    f.setPointSize(6);
    p.setFont(f);
    p.setPen(CaptionGrey);
    p.setBackgroundMode(Qt::TransparentMode);
    p.drawText(QPoint(10, H - 15 + QFontMetrics(f).ascent()), Caption);
}

void CopyBackground(QImage& screen, const QImage& background) {
    if (screen.size() == background.size() && screen.format() == background.format()) {
        std::memcpy(screen.bits(), background.constBits(), static_cast<std::size_t>(background.sizeInBytes()));
        return;
    }
    if (CopiesOnto(background, screen)) {
        for (int y = 0; y < screen.height(); ++y)
            CopyBackgroundRow(reinterpret_cast<QRgb*>(screen.scanLine(y)), background, y, 0, screen.width());
        return;
    }
    QPainter p(&screen);
    p.drawImage(0, 0, background);
}

void SetupGraph(QImage& screen, QImage& background) {
    DrawBackground(screen, background); // (which copies it onto the screen)
}

} // namespace graph
