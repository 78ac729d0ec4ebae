#include <gtest/gtest.h>

#include <QImage>

#include "app/tunnel/utilization_grapher.h"
#include "tests/app/widget_image.h"

namespace {

using app_test::kFrameFill;
using app_test::kOutline;
using app_test::pixel;
using app_test::render;
using app_test::rgb;

const QColor kValue[] = {QColor(204, 0, 204), QColor(0, 0, 255), QColor(0, 255, 0)};
const QColor kStale0(68, 68, 68);

// 640 pixels wide: bars of (640 - 40) / 60 = 10 columns, bar i on columns 10 i .. 10 i + 9.
int barColumn(int bar) {
    return bar * 10 + 5;
}

TEST(UtilizationGrapher, StacksTheValuesOfEachSampleOnTheSummedScale) {
    // (100, 50, 0) and (200, 0, 0), 160 pixels high: hi is 200, so the first bar is 80 pixels of
    // value 0 under 40 of value 1, the second 160 of value 0. A rectangle's top row is its outline.
    UtilizationGrapher graph;
    graph.resize(640, 160);
    graph.addSample(0, {100, 50, 0}, false);
    graph.addSample(0, {200, 0, 0}, false);
    const QImage image = render(graph);
    // clang-format off
    const struct {
        int bar, row;
        QColor colour;
    } expected[] = {
        {58, 159, kValue[0]}, {58, 81, kValue[0]}, {58, 80, kOutline},
        {58, 79, kValue[1]},  {58, 41, kValue[1]}, {58, 40, kOutline},
        {58, 39, kFrameFill}, {59, 1, kValue[0]},  {57, 150, kFrameFill},
    };
    // clang-format on
    for (const auto& e : expected)
        EXPECT_EQ(rgb(pixel(image, barColumn(e.bar), e.row)), rgb(e.colour)) << "bar " << e.bar << " row " << e.row;
    EXPECT_EQ(rgb(pixel(image, 599, 100)), rgb(kValue[0]));  // bar 59 ends on column 599
    for (int x = 602; x < 640; ++x) EXPECT_NE(rgb(pixel(image, x, 100)), rgb(kValue[0])) << x;
}

TEST(UtilizationGrapher, KeepsTheFirstThreeValuesAndTheLastSixtySamples) {
    UtilizationGrapher graph;
    graph.resize(640, 120);
    graph.addSample(0, {10, 20, 30, 1000}, false);  // hi 60, not 1060: 20, 40 and 60 rows
    QImage image = render(graph);
    EXPECT_EQ(rgb(pixel(image, barColumn(59), 110)), rgb(kValue[0]));
    EXPECT_EQ(rgb(pixel(image, barColumn(59), 80)), rgb(kValue[1]));
    EXPECT_EQ(rgb(pixel(image, barColumn(59), 30)), rgb(kValue[2]));

    // Then 60 samples of one value j + 1 (missing values 0): the first sample is gone, hi is 60
    // and bar i is 2 (i + 1) rows high.
    for (int j = 0; j < UtilizationGrapher::kCapacity; ++j) graph.addSample(0, {j + 1}, false);
    image = render(graph);
    for (int bar : {0, 1, 30, 58}) {
        const int top = 120 - 2 * (bar + 1);
        EXPECT_EQ(rgb(pixel(image, barColumn(bar), top + 1)), rgb(kValue[0])) << bar;
        EXPECT_EQ(rgb(pixel(image, barColumn(bar), top - 1)), rgb(kFrameFill)) << bar;
    }
}

TEST(UtilizationGrapher, BarsBeforeAResetAreGrey) {
    UtilizationGrapher graph;
    graph.resize(640, 100);
    for (int j = 0; j < 4; ++j) graph.addSample(0, {50}, j == 3);
    QImage image = render(graph);
    EXPECT_EQ(rgb(pixel(image, barColumn(59), 80)), rgb(kValue[0]));
    for (int bar : {56, 57, 58}) EXPECT_EQ(rgb(pixel(image, barColumn(bar), 80)), rgb(kStale0)) << bar;

    graph.addSample(0, {50}, false);  // one more coloured bar at the right
    image = render(graph);
    EXPECT_EQ(rgb(pixel(image, barColumn(58), 80)), rgb(kValue[0]));
    EXPECT_EQ(rgb(pixel(image, barColumn(57), 80)), rgb(kStale0));

    // After clear() the ring starts again, and its newest bar is still coloured.
    graph.clear();
    EXPECT_EQ(rgb(pixel(render(graph), barColumn(59), 80)), rgb(kFrameFill));
    graph.addSample(0, {50}, false);
    EXPECT_EQ(rgb(pixel(render(graph), barColumn(59), 80)), rgb(kValue[0]));
}

TEST(UtilizationGrapher, EmptyGraphShowsTheFrameAndTheThreeLabels) {
    UtilizationGrapher graph;
    graph.resize(640, 160);
    const QImage image = render(graph);
    for (int x = 1; x < 599; x += 37) EXPECT_EQ(rgb(pixel(image, x, 80)), rgb(kFrameFill)) << x;
    const QColor background = pixel(image, 639, 40);
    for (int baseline : {10, (160 >> 1) + 5, 160}) {  // some ink just above each label's baseline
        bool inked = false;
        for (int y = baseline - 8; y < baseline; ++y)
            for (int x = 602; x < 640; ++x) inked |= pixel(image, x, y) != background;
        EXPECT_TRUE(inked) << baseline;
    }
    graph.resize(30, 50);  // narrower than the labels: no bars at all
    graph.addSample(0, {5, 5, 5}, true);
    const QImage narrow = render(graph);
    for (int x = 0; x < 30; ++x) EXPECT_NE(rgb(pixel(narrow, x, 45)), rgb(kValue[0])) << x;
}

}  // namespace
