// The graph window and its drawing, checked pixel by pixel on the images.
#include "GuiTestMain.h"
#include "graph/GraphPainter.h"
#include "graph/GraphPlace.h"
#include "graph/GraphWindow.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <cmath>
#include <functional>

Q_DECLARE_METATYPE(graph::GraphPlace::Where)

namespace {

const QColor Black(0, 0, 0);
const QColor GridGrey(40, 40, 40);

QColor px(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

int countInRow(const QImage& img, int y, const QColor& c) {
    int n = 0;
    for (int x = 0; x < img.width(); ++x) n += px(img, x, y) == c;
    return n;
}

} // namespace

class TestGraph : public QObject {
    Q_OBJECT
    graph::GraphWindow* g = nullptr;

    void feed(std::uint16_t mw, std::uint16_t up, std::uint16_t down, std::uint16_t comp = 400) {
        g->FeedStatus({{{mw, comp}, {up, comp}, {down, comp}}});
    }

  private slots:
    void init() { g = new graph::GraphWindow(nullptr); }
    void cleanup() { delete g; }

    void windowAndLayers() {
        QCOMPARE(g->windowTitle(), QString("View"));
        QVERIFY(g->windowFlags() & Qt::Tool);
        QCOMPARE(g->minimumHeight(), g->maximumHeight());
        QVERIFY(g->maximumWidth() <= 1000);
        for (QWidget* layer : {static_cast<QWidget*>(g->backgroundLayer()), static_cast<QWidget*>(g->alarmLayer()),
                               static_cast<QWidget*>(g->screenLayer())})
            QCOMPARE(layer->geometry(), QRect(2, 15, 988, 277));
        QCOMPARE(g->Screen().size(), QSize(988, 277));
        QCOMPARE(g->State().GraphWidth, 988);
        for (const graph::TraceBuffer& t : g->State().traces) QCOMPARE(int(t.size()), 988);
        for (bool on : g->State().show) QVERIFY(on);
        QCOMPARE(g->State().traces[graph::UpPirThreshold][500].Y, 160);
        QCOMPARE(g->State().traces[graph::DownPirTrace][7].X, 7);
        // The middle layer stays empty and transparent; the screen is on top.
        QCOMPARE(g->Alarm().pixelColor(100, 100).alpha(), 0);
        QCOMPARE(g->screenLayer(), g->findChildren<graph::ImageLayer*>().last());
        QCOMPARE(g->clearAction()->text(), QString("Clear"));
        QVERIFY(g->directConvertAction()->isCheckable());
        QVERIFY(!g->DirectConvert());
    }

    void freshBackgroundIsTheGridOnBlack() {
        const QImage& bg = g->Background();
        QCOMPARE(graph::MidRow(), 138); // 277 / 2 = 138.5 goes to the even neighbour
        // Away from the caption every pixel is black or grid grey.
        for (int y = 0; y < 255; ++y)
            for (int x = 0; x < bg.width(); ++x) {
                const QColor c = px(bg, x, y);
                QVERIFY2(c == Black || c == GridGrey, qPrintable(QString("%1,%2").arg(x).arg(y)));
            }
        // Grid rows every 10 pixels across the full width.
        for (int y = 10; y < 277; y += 10) {
            QCOMPARE(px(bg, 0, y), GridGrey);
            QCOMPARE(px(bg, 987, y), GridGrey);
        }
        QCOMPARE(px(bg, 1, 5), Black);
        // Fine vertical lines (the first at 10) run from row 18 and end before row 258.
        QCOMPARE(px(bg, 10, 17), Black);
        QCOMPARE(px(bg, 10, 18), GridGrey);
        QCOMPARE(px(bg, 10, 257), GridGrey);
        QCOMPARE(px(bg, 10, 258), Black);
        // The tall lines every tenth of the width run from top to bottom; nine are seen.
        QCOMPARE(px(bg, 99, 0), GridGrey);
        QCOMPARE(px(bg, 99, 276), GridGrey);
        QCOMPARE(px(bg, 889, 3), GridGrey);
        int tallLines = 0;
        for (int x = 0; x < bg.width(); ++x) tallLines += px(bg, x, 3) == GridGrey;
        QCOMPARE(tallLines, 9);
        // Short ticks on the centre line (x0 = 494): five pixels wide, at rows 4 i.
        QCOMPARE(px(bg, 492, 264), GridGrey);
        QCOMPARE(px(bg, 496, 264), GridGrey);
        QCOMPARE(px(bg, 491, 264), Black);
        QCOMPARE(px(bg, 497, 264), Black);
        QCOMPARE(px(bg, 496, 4), GridGrey);
        QCOMPARE(px(bg, 490, 4), Black);
        // Grey levels only: kept at 8 bits a pixel. The screen starts as a copy of it.
        QCOMPARE(bg.format(), QImage::Format_Grayscale8);
        QCOMPARE(g->Screen(), bg.convertToFormat(g->Screen().format()));
    }

    void redrawingTheBackgroundGivesTheSamePicture() {
        const QImage first = g->Background();
        QImage screen = g->Screen(), background = first;
        graph::DrawBackground(screen, background);
        QCOMPARE(background, first);
        // A stray mark on a grid line is removed with the grid it touches.
        background.setPixelColor(61, 60, QColor(200, 0, 0));
        graph::DrawBackground(screen, background);
        QCOMPARE(background, first);
    }

    void floodFillStopsAtTheBorderColour() {
        QImage img(20, 20, QImage::Format_RGB32);
        img.fill(Qt::white);
        for (int x = 0; x < 20; ++x) img.setPixelColor(x, 10, Qt::black);
        graph::FloodFillToBorder(img, 5, 5, Qt::black, Qt::black);
        QCOMPARE(px(img, 19, 0), Black);
        QCOMPARE(px(img, 0, 9), Black);
        QCOMPARE(px(img, 5, 11), QColor(Qt::white));                // beyond the border
        graph::FloodFillToBorder(img, 25, 5, Qt::black, Qt::black); // outside: nothing happens
        // A picture of one colour throughout is filled whole; one of the border's colour not at all.
        for (const QColor& colour : {QColor(Qt::white), QColor(Qt::black)}) {
            img.fill(colour);
            graph::FloodFillToBorder(img, 5, 5, Qt::black, Qt::blue);
            const QColor expected = colour == Qt::white ? QColor(Qt::blue) : colour;
            QCOMPARE(px(img, 0, 0), expected);
            QCOMPARE(px(img, 19, 19), expected);
        }
    }

    void samplesOnTheirRows() {
        graph::State state = g->State();
        graph::FeedSample(state, graph::Channel::Microwave, 1); // a 0 becomes 1 before the graph sees it
        QCOMPARE(state.traces[graph::MwTrace][0].Y, 80);
        graph::FeedSample(state, graph::Channel::Microwave, 5); // 0.5 goes to the even neighbour 0
        QCOMPARE(state.traces[graph::MwTrace][0].Y, 80);
        graph::FeedSample(state, graph::Channel::Microwave, 15); // 1.5 goes to 2
        QCOMPARE(state.traces[graph::MwTrace][0].Y, 78);
        graph::FeedSample(state, graph::Channel::Microwave, 25); // 2.5 goes to 2
        QCOMPARE(state.traces[graph::MwTrace][0].Y, 78);
        graph::FeedSample(state, graph::Channel::LowerPir, 1000); // no clamping: into the band above
        QCOMPARE(state.traces[graph::DownPirTrace][0].Y, 140);

        // Through a whole reply: a zero signal is plotted on the baseline, 15 two rows up.
        g->MoveSweepTo(300);
        feed(0, 15, 0);
        QCOMPARE(g->State().traces[graph::MwTrace][300].Y, 80);
        QCOMPARE(g->State().traces[graph::UpPirTrace][300].Y, 158);
        QCOMPARE(px(g->Screen(), 300, 158), graph::TraceColour[graph::UpPirTrace]);
        QCOMPARE(px(g->Screen(), 200, 240), graph::TraceColour[graph::DownPirTrace]);
        QCOMPARE(g->State().SweepPosition, 301);
    }

    void thresholdFromTheCompensationValue() {
        feed(100, 100, 100, 810); // on the band tops: rows 0, 80, 160
        QCOMPARE(g->State().traces[graph::MwThreshold][17].Y, 0);
        QCOMPARE(g->State().traces[graph::UpPirThreshold][17].Y, 80);
        QCOMPARE(g->State().traces[graph::DownPirThreshold][900].Y, 160);
        QCOMPARE(g->State().traces[graph::DownPirThreshold][900].X, 900);
        // Dash-dot-dot in the threshold colour, the gaps black.
        const int lit = countInRow(g->Screen(), 0, graph::ThresholdColour[graph::MwTrace]);
        QVERIFY(lit > 400 && lit < 900);
        QVERIFY(countInRow(g->Screen(), 0, Black) > 100);
        feed(100, 100, 100, 400); // (810 - 400) / 10 = 41
        QCOMPARE(g->State().traces[graph::UpPirThreshold][0].Y, 121);
        feed(100, 100, 100, 825); // above the band top: -1.5 goes to -2
        QCOMPARE(g->State().traces[graph::MwThreshold][0].Y, -2);
        feed(100, 100, 100, 0);
        QCOMPARE(g->State().traces[graph::MwThreshold][0].Y, 81);
    }

    void directConvertHidesTheThresholdsUntilUnticked() {
        feed(100, 100, 100, 810);
        QVERIFY(countInRow(g->Screen(), 0, graph::ThresholdColour[graph::MwTrace]) > 0);
        g->directConvertToggled();
        QVERIFY(g->DirectConvert());
        QVERIFY(countInRow(g->Screen(), 0, graph::ThresholdColour[graph::MwTrace]) > 0); // only the next reply shows it
        feed(100, 100, 100, 810);
        QCOMPARE(countInRow(g->Screen(), 0, graph::ThresholdColour[graph::MwTrace]), 0);
        for (const graph::TracePoint& p : g->State().traces[graph::UpPirThreshold]) QVERIFY(p.X == 0 && p.Y == 0);
        QVERIFY(px(g->Screen(), 0, 0) == Black);
        g->directConvertAction()->trigger(); // unticked from the menu
        QVERIFY(!g->DirectConvert());
        feed(100, 100, 100, 810);
        QVERIFY(countInRow(g->Screen(), 0, graph::ThresholdColour[graph::MwTrace]) > 400);
        QCOMPARE(g->State().traces[graph::MwThreshold][321].X, 321);
    }

    void theSweepWrapsAfterAFullWidth() {
        for (int i = 0; i < g->State().GraphWidth; ++i) feed(200, 300, 400);
        QCOMPARE(g->State().SweepPosition, 0);
        QCOMPARE(g->State().traces[graph::MwTrace][987].Y, 60);
        feed(500, 300, 400); // overwrites the oldest column
        QCOMPARE(g->State().traces[graph::MwTrace][0].Y, 30);
        QCOMPARE(g->State().SweepPosition, 1);
    }

    void labelsFollowTheNewestPoint() {
        g->MoveSweepTo(400);
        feed(300, 1, 1);
        // The MW point is at (400, 50): its label's cell starts one pixel right and below.
        QCOMPARE(px(g->Screen(), 401, 51), graph::LabelCyan);
        QVERIFY(px(g->Screen(), 400, 50) != graph::LabelCyan);
        QCOMPARE(px(g->Screen(), 401, 161), graph::LabelCyan); // UP PIR at (400, 160)
        QCOMPARE(px(g->Screen(), 401, 241), graph::LabelCyan);
        QCOMPARE(px(g->Screen(), 401, 49), Black); // nothing above the point
    }

    void clearFlattensTheSignalsOnly() {
        g->MoveSweepTo(10);
        feed(300, 400, 500, 500);
        const QImage before = g->Screen();
        const graph::TraceBuffer threshold = g->State().traces[graph::MwThreshold];
        g->clearGraph();
        QCOMPARE(g->State().traces[graph::MwTrace][10].Y, 80);
        QCOMPARE(g->State().traces[graph::DownPirTrace][10].Y, 240);
        QCOMPARE(g->State().traces[graph::MwThreshold][10].Y, threshold[10].Y);
        QCOMPARE(g->State().SweepPosition, 11);
        QCOMPARE(g->Screen(), before); // unchanged until the next reply
    }

    // Each reply redraws only what changed (the columns around the new samples, the channel names'
    // cells, a moved threshold's rows): frame after frame, the screen must be exactly the whole
    // frame drawn afresh, whatever the signals and thresholds do and wherever the sweep is.
    void drawingOnlyWhatChangedGivesTheWholeFrame() {
        struct Phase {
            const char* name;
            int replies;
            std::function<std::array<graph::GraphWindow::ChannelValues, 3>(int)> reply;
            std::function<void(graph::GraphWindow&, int)> before; // done before some replies
        };
        auto wave = [](int i, int centre, int height) {
            const double d = (i % 400 - centre) / 25.0;
            return static_cast<std::uint16_t>(40 + 15 * std::sin(i * 0.9) + height * std::exp(-d * d));
        };
        const std::vector<Phase> phases{
            {"walks past the detector, the sweep wrapping",
             2200,
             [&](int i) {
                 return std::array<graph::GraphWindow::ChannelValues, 3>{
                     {{wave(i, 200, 620), 600}, {wave(i, 260, 700), 560}, {wave(i, 320, 540), 640}}};
             },
             {}},
            {"thresholds moving with every few replies",
             400,
             [&](int i) {
                 const auto comp = static_cast<std::uint16_t>(400 + 40 * ((i / 3) % 9));
                 return std::array<graph::GraphWindow::ChannelValues, 3>{
                     {{wave(i, 100, 900), comp},
                      {wave(i, 150, 300), std::uint16_t(900 - comp)},
                      {std::uint16_t(i % 2 ? 0 : 2000), comp}}};
             },
             {}},
            {"Direct Convert on and off", 300,
             [&](int i) {
                 return std::array<graph::GraphWindow::ChannelValues, 3>{
                     {{wave(i, 50, 700), 500}, {wave(i, 90, 200), 500}, {wave(i, 130, 400), 820}}};
             },
             [](graph::GraphWindow& g, int i) {
                 if (i % 70 == 0) g.directConvertToggled();
             }},
            {"cleared now and then", 300,
             [&](int i) {
                 return std::array<graph::GraphWindow::ChannelValues, 3>{
                     {{wave(i, 50, 700), 450}, {std::uint16_t(i * 7 % 1200), 450}, {wave(i, 20, 100), 450}}};
             },
             [](graph::GraphWindow& g, int i) {
                 if (i % 90 == 45) g.clearGraph();
             }},
            {"a narrower window", 700,
             [&](int i) {
                 return std::array<graph::GraphWindow::ChannelValues, 3>{
                     {{wave(i, 30, 800), 700}, {wave(i, 60, 800), 300}, {wave(i, 90, 800), 100}}};
             },
             [](graph::GraphWindow& g, int i) {
                 if (i == 0) g.resize(420, g.height());
             }},
        };
        g->show();
        QVERIFY(QTest::qWaitForWindowExposed(g));
        QImage whole(g->Screen().size(), QImage::Format_RGB32);
        for (const Phase& phase : phases) {
            for (int i = 0; i < phase.replies; ++i) {
                if (phase.before) phase.before(*g, i);
                g->FeedStatus(phase.reply(i));
                // The whole frame of the same reply: labels at the newest point, before the sweep moved.
                graph::State drawn = g->State();
                drawn.SweepPosition = (drawn.SweepPosition + drawn.GraphWidth - 1) % drawn.GraphWidth;
                if (whole.size() != g->Screen().size()) whole = QImage(g->Screen().size(), QImage::Format_RGB32);
                graph::PlotTraces(drawn, whole, g->Background());
                graph::DrawLabels(drawn, whole);
                if (g->Screen() == whole) continue;
                QPoint at;
                for (int y = 0; y < whole.height() && at.isNull(); ++y)
                    for (int x = 0; x < whole.width(); ++x)
                        if (g->Screen().pixel(x, y) != whole.pixel(x, y)) {
                            at = QPoint(x, y);
                            break;
                        }
                QFAIL(qPrintable(QStringLiteral("%1, reply %2: pixel %3,%4 differs from the whole frame")
                                     .arg(phase.name)
                                     .arg(i)
                                     .arg(at.x())
                                     .arg(at.y())));
            }
        }
    }

    void resizingRebuildsAtTheNewWidth() {
        g->show();
        QVERIFY(QTest::qWaitForWindowExposed(g));
        g->MoveSweepTo(900);
        feed(300, 400, 500);
        g->resize(600, g->height());
        QCOMPARE(g->screenLayer()->width(), 596);
        QCOMPARE(g->State().GraphWidth, 596);
        for (const graph::TraceBuffer& t : g->State().traces) QCOMPARE(int(t.size()), 596);
        QCOMPARE(g->State().traces[graph::MwTrace][100].Y, 80); // flat again
        QCOMPARE(g->State().SweepPosition, 0);                  // 901 no longer fits
        QCOMPARE(g->Screen().size(), QSize(596, 277));
        QCOMPARE(px(g->Screen(), 5, 5), Black);
        feed(300, 400, 500); // and the next sample lands inside
        QCOMPARE(g->State().SweepPosition, 1);
        // A wider window keeps a sweep position that still fits.
        g->MoveSweepTo(500);
        g->resize(900, g->height());
        QCOMPARE(g->State().SweepPosition, 500);
        g->resize(2000, g->height()); // no wider than the design
        QVERIFY(g->width() <= 992);
        // Closing only hides: the traces are kept for the next "View Graphic".
        QVERIFY(g->close());
        QVERIFY(!g->isVisible());
        QCOMPARE(int(g->State().traces[graph::MwTrace].size()), g->State().GraphWidth);
    }

    // Where the graph window goes, for the screens installers use: never over the main window, always
    // on the screen; inside the main window where no such place exists. Frames include the title bars.
    void graphNeverCoversTheMainWindow_data() {
        using Where = graph::GraphPlace::Where;
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QSize>("graph");
        QTest::addColumn<QRect>("last");
        QTest::addColumn<Where>("where");
        const QSize decorated(994, 315); // 992 x 294 with a window manager's frame
        const QRect centred1080(454, 319, 1011, 441);
        QTest::newRow("1920x1080, window manager")
            << QRect(0, 0, 1920, 1080) << centred1080 << decorated << QRect() << Where::Below;
        QTest::newRow("1920x1080, none") << QRect(0, 0, 1920, 1080) << QRect(455, 330, 1009, 420) << QSize(992, 294)
                                         << QRect() << Where::Below;
        QTest::newRow("1366x768, window manager")
            << QRect(0, 0, 1366, 768) << QRect(177, 163, 1011, 441) << decorated << QRect() << Where::BelowMainMoved;
        QTest::newRow("1366x768 above a 40 px panel")
            << QRect(0, 0, 1366, 728) << QRect(177, 143, 1011, 441) << decorated << QRect() << Where::InMainWindow;
        QTest::newRow("scale 2 on 2880x1800")
            << QRect(0, 0, 1440, 900) << QRect(214, 229, 1011, 441) << decorated << QRect() << Where::BelowMainMoved;
        QTest::newRow("maximised-tall main window")
            << QRect(0, 0, 1920, 1080) << QRect(0, 0, 1920, 1080) << decorated << QRect() << Where::InMainWindow;
        QTest::newRow("wide screen, main low on the left")
            << QRect(0, 0, 3840, 1080) << QRect(100, 700, 1011, 441) << decorated << QRect() << Where::Beside;
        QTest::newRow("main at the right edge")
            << QRect(0, 0, 2560, 900) << QRect(1549, 400, 1011, 441) << decorated << QRect() << Where::Beside;
        QTest::newRow("second screen to the left")
            << QRect(-1920, 0, 1920, 1080) << QRect(-1500, 100, 1011, 441) << decorated << QRect() << Where::Below;
        QTest::newRow("smaller than the graph")
            << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 441) << decorated << QRect() << Where::InMainWindow;
        QTest::newRow("last place, clear of it")
            << QRect(0, 0, 1920, 1080) << centred1080 << decorated << QRect(QPoint(20, 0), decorated) << Where::Kept;
        QTest::newRow("last place, over its status bar") << QRect(0, 0, 1920, 1080) << centred1080 << decorated
                                                         << QRect(QPoint(454, 740), decorated) << Where::Below;
        QTest::newRow("last place, off the screen") << QRect(0, 0, 1920, 1080) << centred1080 << decorated
                                                    << QRect(QPoint(2500, 10), decorated) << Where::Below;
    }

    void graphNeverCoversTheMainWindow() {
        QFETCH(QRect, area);
        QFETCH(QRect, main);
        QFETCH(QSize, graph);
        QFETCH(QRect, last);
        QFETCH(graph::GraphPlace::Where, where);
        const graph::GraphPlace place = graph::PlaceGraph(area, main, graph, last);
        QCOMPARE(int(place.where), int(where));
        if (where == graph::GraphPlace::Where::InMainWindow) {
            QCOMPARE(place.main, main);
            return;
        }
        QCOMPARE(place.graph.size(), graph);
        QCOMPARE(place.main.size(), main.size());
        QVERIFY2(area.contains(place.graph),
                 qPrintable(QString("graph at %1,%2").arg(place.graph.x()).arg(place.graph.y())));
        QVERIFY(area.contains(place.main) || place.main == main);
        QVERIFY(!place.graph.intersects(place.main));
        // Only where neither below nor beside fits does the main window move, and then only upwards.
        QCOMPARE(place.main != main, where == graph::GraphPlace::Where::BelowMainMoved);
        if (place.main != main) {
            QVERIFY(place.main.top() < main.top());
            QCOMPARE(place.graph.top(), place.main.bottom() + 1);
        }
    }

    // Marks on the graph: a line at the moment between two replies, a pause as a band the sweep goes
    // past with the traces on their baselines under it, each gone when the sweep comes back over it;
    // every frame drawn by parts equals the frame drawn whole.
    void marksAreDrawnAndSweptAway_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("columns"); // the band's width; 1 for a line
        QTest::newRow("a pass") << "pass" << 1;
        QTest::newRow("a pause") << "pause" << 40;
        QTest::newRow("a pause across the right edge") << "edge" << 60;
    }

    void marksAreDrawnAndSweptAway() {
        QFETCH(QString, kind);
        QFETCH(int, columns);
        const int W = g->State().GraphWidth;
        const int start = kind == "edge" ? W - 20 : 300;
        g->MoveSweepTo(start);
        if (kind == "pass") g->AddMark(graph::Mark::Kind::Pass, "Pass 1: 10 m");
        else g->AddPause("paused 3.2 s: LOGS tab", columns);
        QCOMPARE(g->State().SweepPosition, (start + (kind == "pass" ? 0 : columns)) % W);
        const QColor colour = graph::MarkColour(kind == "pass" ? graph::Mark::Kind::Pass : graph::Mark::Kind::Pause);
        auto drawnWhole = [&] {
            // (The frame of the last reply was drawn before the sweep moved on.)
            graph::State before = g->State();
            before.SweepPosition = (before.SweepPosition + W - 1) % W;
            QImage whole = g->Screen().copy();
            graph::DrawnFrame fresh;
            graph::DrawFrame(before, whole, g->Background(), fresh);
            return whole;
        };
        for (int i = 0; i < 30; ++i) feed(300 + 7 * i, 400, 500);
        QVERIFY(g->Screen() == drawnWhole());
        for (int k = 0; k < columns; ++k) QCOMPARE(px(g->Screen(), (start + k) % W, 40), colour);
        if (kind != "pass")
            QCOMPARE(g->State().traces[graph::MwTrace][static_cast<std::size_t>((start + 5) % W)].Y, 80);
        // Once around: the sweep has overwritten the mark's columns.
        for (int i = 0; i < W; ++i) feed(40, 40, 40);
        QVERIFY(g->State().marks.empty());
        QVERIFY(g->Screen() == drawnWhole());
        QVERIFY(px(g->Screen(), (start + 1) % W, 40) != colour);
    }

    // However many marks come at one moment (a recording of nothing but marks), its column keeps a line of
    // each kind and its newest few labels, so a flood costs what its pixels cost; a label at the right edge
    // stands whole, left of its line.
    void aFloodOfMarksAtOneMoment_data() {
        QTest::addColumn<int>("ends");
        QTest::addColumn<int>("passes");
        QTest::addColumn<int>("kept");
        QTest::newRow("ends") << 100000 << 0 << 1;
        QTest::newRow("passes with notes") << 0 << 20000 << graph::LabelsPerColumn;
        QTest::newRow("both") << 5000 << 5000 << graph::LabelsPerColumn + 1;
    }
    void aFloodOfMarksAtOneMoment() {
        QFETCH(int, ends);
        QFETCH(int, passes);
        QFETCH(int, kept);
        const int W = g->State().GraphWidth;
        g->MoveSweepTo(W - 2);
        for (int i = 0; i < std::max(ends, passes); ++i) {
            if (i < ends) g->AddMark(graph::Mark::Kind::End, QString());
            if (i < passes) g->AddMark(graph::Mark::Kind::Pass, QString("Pass %1: a long note at the edge").arg(i + 1));
        }
        QCOMPARE(int(g->State().marks.size()), kept);
        if (passes) QCOMPARE(g->State().marks.back().text, QString("Pass %1: a long note at the edge").arg(passes));
        g->ShowNow();
        // The newest label is drawn whole left of its line: its last letters' pixels end before the column.
        const graph::Mark& newest = g->State().marks.back();
        if (passes) {
            QVERIFY(!newest.label.isNull());
            const QImage& screen = g->Screen();
            const int y = screen.height() - newest.label.height() / 2 - 1;
            QCOMPARE(px(screen, W - 3, y), graph::MarkColour(graph::Mark::Kind::Pass));
        }
    }

    // "Freeze": the picture stays while the replies go on feeding the traces; unfrozen, it shows them.
    void freezeKeepsThePicture() {
        for (int i = 0; i < 100; ++i) feed(300, 400, 500);
        const QImage before = g->Screen().copy();
        g->freezeAction()->trigger();
        QVERIFY(g->Frozen());
        QCOMPARE(g->windowTitle(), QString("View (frozen)"));
        for (int i = 0; i < 100; ++i) feed(600, 200, 100);
        QCOMPARE(g->State().SweepPosition, 200);
        QVERIFY(g->Screen() == before);
        g->freezeAction()->trigger();
        QCOMPARE(g->windowTitle(), QString("View"));
        graph::State last = g->State(); // as the last reply drew it
        last.SweepPosition -= 1;
        QImage whole = g->Screen().copy();
        graph::DrawnFrame fresh;
        graph::DrawFrame(last, whole, g->Background(), fresh);
        QVERIFY(g->Screen() == whole);
        QVERIFY(g->Screen() != before);
    }
};

OSTREVO_GUI_TEST_MAIN(TestGraph)
#include "test_graph.moc"
