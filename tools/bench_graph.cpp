// Prints what one status reply's graph work costs at the design size: threshold traces,
// samples, the frame (PlotTraces), labels and the sweep advance.
#include "app/Fonts.h"
#include "graph/Graphic.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterProgramFonts();
    TGraphics graphics(nullptr);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs + 200; ++i) {
        const auto v = static_cast<std::uint16_t>(300 + 250 * std::sin(i * 0.05));
        const auto t0 = std::chrono::steady_clock::now();
        graphics.FeedStatus({{{v, 600}, {static_cast<std::uint16_t>(v / 2), 500}, {v, 650}}});
        const auto t1 = std::chrono::steady_clock::now();
        if (i >= 200) us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count()); // after warm-up
    }
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const double p99 = us[us.size() * 99 / 100];
    const double wireUs = 36.5e3; // a status exchange on the wire: 70 bytes at 19200 baud, 8N1
    std::printf("graph work per status reply at %dx%d, %d runs:\n", graphics.Screen.width(), graphics.Screen.height(),
                runs);
    std::printf("  median %.1f us (%.2f %% of the %.1f ms a status reply spends on the wire; target under 0.5 ms)\n",
                median, 100.0 * median / wireUs, wireUs / 1000);
    std::printf("  99th percentile %.1f us\n", p99);
    return 0;
}
