#include <gtest/gtest.h>

#include <QImage>

#include <vector>

#include "app/shared/loss_graph.h"
#include "app/shared/view_colours.h"
#include "sessions/loss_graph_data.h"
#include "tests/app/widget_image.h"

namespace {

using app_test::pixel;
using app_test::render;
using app_test::rgb;

const QColor kBackground(64, 64, 64);

struct Pixel {
    int x, y;
    QColor colour;
};

// 320 × 120: slots of 8 columns, the newest bar on columns 232 .. 237, the one before on
// 224 .. 229; 1000 tenths of a percent reach the top. Samples (frame loss, remote loss,
// correction) oldest first. Vectors: the graphs' edge cases, lines joining two samples, and rates
// off the scale.
const struct LossCase {
    const char* name;
    std::vector<std::vector<int>> samples;
    std::vector<Pixel> pixels;
} kLossCases[] = {
    {"half",
     {{500, 0, 0}},
     {{232, 60, frameLossColor}, {237, 118, frameLossColor}, {235, 59, kBackground}, {238, 100, kBackground}}},
    {"full", {{1000, 0, 0}}, {{235, 1, frameLossColor}, {235, 118, frameLossColor}}},
    {"none", {{0, 0, 0}}, {{235, 100, kBackground}}},
    {"off the scale", {{5000, 0, 0}, {-400, 0, 0}}, {{227, 1, frameLossColor}, {235, 100, kBackground}}},
    {"lines", {{0, 500, 250}, {0, 500, 250}}, {{228, 59, remoteLossColor}, {228, 90, correctionColor}}},
};

TEST(LossGraph, DrawsTheNewestSampleAtTheRight) {
    for (const LossCase& c : kLossCases) {
        LossGraphData series;
        qint64 takenMs = 0;
        for (const auto& s : c.samples) series.addSample(4, s[0], s[1], s[2], 0, takenMs += 1000);  // a second apart
        series.setPeer(4);
        LossGraph graph;
        graph.resize(320, 120);
        graph.setSeries(&series);
        const QImage image = render(graph);
        for (const Pixel& p : c.pixels)
            EXPECT_EQ(rgb(pixel(image, p.x, p.y)), rgb(p.colour)) << c.name << " at " << p.x << "," << p.y;
    }
}

// Without a series, without samples for the series' peer, or too narrow for a column per sample
// (plotW / 30 < 1, which the main window's form allows), a graph shows only its background.
TEST(LossGraph, ShowsOnlyItsBackgroundWhenThereIsNothingToDraw) {
    LossGraphData series;
    series.addSample(4, 500, 500, 500, 0, 0);
    const struct {
        const char* name;
        int width, peer;
        bool hasSeries, isBlank;
    } cases[] = {{"no series", 320, 4, false, true},
                 {"other peer", 320, 5, true, true},
                 {"109 wide", 109, 4, true, true},
                 {"110 wide", 110, 4, true, false}};
    for (const auto& c : cases) {
        series.setPeer(c.peer);
        LossGraph graph, blank;
        for (LossGraph* g : {&graph, &blank}) {
            g->setMinimumSize(0, 0);
            g->resize(c.width, 120);
        }
        if (c.hasSeries) graph.setSeries(&series);
        EXPECT_EQ(render(graph) == render(blank), c.isBlank) << c.name;
    }
}

}  // namespace
