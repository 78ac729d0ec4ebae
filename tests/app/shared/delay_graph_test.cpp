#include <gtest/gtest.h>

#include <QImage>

#include <climits>
#include <vector>

#include "app/shared/delay_graph.h"
#include "app/shared/view_colours.h"
#include "ipc/base/ipc_clock.h"
#include "sessions/delay_graph_data.h"
#include "tests/app/paint_counter.h"
#include "tests/app/widget_image.h"
#include "tests/support/qt_wait.h"

namespace {

using app_test::pixel;
using app_test::render;
using app_test::rgb;

const QColor kBackground(64, 64, 64);
const QColor kTarget(232, 224, 0);
const QColor kTick(160, 160, 160);

struct Pixel {
    int x, y;
    QColor colour;
};

// 320 × 120: the newest bar on columns 232 .. 237, the one taken a second before on 224 .. 229;
// ticks every ten seconds along the bottom. The scale runs to the largest delay or target shown
// plus a sixteenth. Samples (buffer delay, jitter, target, and when taken in seconds if not a
// second after the one before) oldest first. Vectors: the graphs' edge cases (480 gives a scale
// of 510: (300, 100) is 47 rows of delay under 23 of jitter, the target line on row 8), figures at
// the end of the int range (INT_MAX is 112 rows of INT_MAX × 17/16), jitter beyond the delay, an
// empty scale, and samples of the slow pace, five seconds apart, after one beyond the 30 s shown.
const struct DelayCase {
    const char* name;
    std::vector<std::vector<int>> samples;
    std::vector<Pixel> pixels;
} kDelayCases[] = {
    {"stacked",
     {{300, 100, 480}, {300, 100, 480}},
     {{235, 73, delayColor},
      {235, 118, delayColor},
      {235, 72, jitterColor},
      {235, 50, jitterColor},
      {235, 49, kBackground},
      {230, 8, kTarget},
      {238, 100, kBackground}}},
    {"int range",
     {{INT_MAX, 0, INT_MAX}, {INT_MAX, INT_MAX, INT_MAX}},
     {{227, 12, delayColor}, {227, 118, delayColor}, {237, 8, jitterColor}, {237, 7, kBackground}}},
    {"jitter beyond the delay", {{100, 300, 0}}, {{235, 1, jitterColor}, {235, 118, jitterColor}}},
    {"zeros", {{0, 0, 0}, {0, 0, 0}}, {{235, 60, kBackground}, {227, 100, kBackground}}},
    {"five seconds apart",
     {{9000, 0, 9000, -40}, {300, 100, 480, 0}, {300, 100, 480, 5}},
     {{235, 73, delayColor}, {195, 73, delayColor}, {227, 100, kBackground}, {160, 118, kTick}}},
    // The "-30 s" label stays on the background where the oldest bar stands.
    {"thirty seconds",
     std::vector<std::vector<int>>(30, {300, 100, 480}),
     {{1, 110, kBackground}, {1, 119, kBackground}, {57, 110, delayColor}}},
};

TEST(DelayGraph, StacksDelayAndJitterUnderTheTargetLine) {
    for (const DelayCase& c : kDelayCases) {
        DelayGraphData series;
        qint64 takenMs = 0;
        for (const auto& s : c.samples)
            series.addSample(2, s[0], s[1], s[2], takenMs = s.size() > 3 ? s[3] * 1000 : takenMs + 1000);
        series.setPeer(2);
        DelayGraph graph;
        graph.resize(320, 120);
        graph.setSeries(&series);
        const QImage image = render(graph);
        for (const Pixel& p : c.pixels)
            EXPECT_EQ(rgb(pixel(image, p.x, p.y)), rgb(p.colour)) << c.name << " at " << p.x << "," << p.y;
    }
    EXPECT_EQ(GraphWidget::formatAxisValue(510), "51.0");
    EXPECT_EQ(GraphWidget::formatAxisValue(qint64{INT_MAX} + INT_MAX / 16), "228170137.4");
}

// What a series looks like while its statistics stopped coming: its colours' lightness in grey.
QColor stale(const QColor& live) {
    return QColor(live.lightness(), live.lightness(), live.lightness());
}

// Whether the part of the image at the top left holds white: the words of a stale graph.
bool hasWords(const QImage& image) {
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 150; ++x) {
            if (pixel(image, x, y) == Qt::white) return true;
        }
    }
    return false;
}

// A stall: the graph greys the samples and places them by the clock, so the gap since the newest
// grows at the right and nothing reads as current; words at the top left say so, and it repaints
// with the clock though no sample comes. Live again, the newest stands at the right in its colours.
// The newest sample was taken 9.6 s before the paint (slot 10: columns 152 .. 157; the one before
// it on 144 .. 149).
TEST(DelayGraph, AStalledGraphGreysAndSlidesWithTheClock) {
    const struct {
        bool isStale;
        std::vector<Pixel> pixels;
    } cases[] = {
        {true,
         {{155, 73, stale(delayColor)},
          {155, 72, stale(jitterColor)},
          {147, 73, stale(delayColor)},
          {235, 73, kBackground},
          {227, 73, kBackground}}},
        {false, {{235, 73, delayColor}, {235, 72, jitterColor}, {227, 73, delayColor}, {155, 73, kBackground}}},
    };
    for (const auto& c : cases) {
        DelayGraphData series;
        const qint64 newestMs = ipc_now_us() / 1000 - 9600;
        series.addSample(2, 300, 100, 480, newestMs - 1000);
        series.addSample(2, 300, 100, 480, newestMs);
        series.setPeer(2);
        DelayGraph graph;
        graph.resize(320, 120);
        graph.setSeries(&series);
        graph.setStale(c.isStale);
        const QImage image = render(graph);
        for (const Pixel& p : c.pixels)
            EXPECT_EQ(rgb(pixel(image, p.x, p.y)), rgb(p.colour)) << c.isStale << " at " << p.x << "," << p.y;
        EXPECT_EQ(hasWords(image), c.isStale);
        if (c.isStale) {
            graph.show();
            ASSERT_TRUE(app_test::flushPostedEvents());
            app_test::PaintCounter paints(&graph);
            EXPECT_TRUE(test_support::wait_processing_events([&] { return paints.count >= 3; }));
        }
    }
}

}  // namespace
