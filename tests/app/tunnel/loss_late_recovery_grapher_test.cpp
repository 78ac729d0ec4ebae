#include <gtest/gtest.h>

#include <QImage>

#include <vector>

#include "app/tunnel/loss_late_recovery_grapher.h"
#include "tests/app/widget_image.h"

namespace {

using app_test::kFrameFill;
using app_test::kOutline;
using app_test::pixel;
using app_test::render;
using app_test::rgb;

const QColor kLoss(119, 0, 0);
const QColor kLate(221, 0, 0);
const QColor kRecovery(68, 204, 0);

struct Row {
    int y;
    QColor colour;
};

// One sample and the colours down the middle of the newest bar. Parts are value × H / 1000 rows
// stacked from the bottom row; each rectangle's top row is its outline. Vectors: the grapher's
// edge case (10, 20, 30 in 100 rows), the same at a height that leaves room for the fills, and
// rates outside 0 .. 100 %, which stay inside the graph.
struct LossCase {
    int height;
    int loss, late, recovery;
    std::vector<Row> rows;
};

const LossCase kLossCases[] = {
    {100,
     10,
     20,
     30,
     {{99, kOutline}, {98, kLate}, {97, kOutline}, {96, kRecovery}, {95, kRecovery}, {94, kOutline}, {93, kFrameFill}}},
    {1000,
     100,
     200,
     300,
     {{999, kLoss},
      {901, kLoss},
      {900, kOutline},
      {899, kLate},
      {701, kLate},
      {700, kOutline},
      {699, kRecovery},
      {401, kRecovery},
      {400, kOutline},
      {399, kFrameFill}}},
    {1000, 0, 500, 0, {{999, kLate}, {501, kLate}, {500, kOutline}, {499, kFrameFill}}},
    {100, 5000, 0, 0, {{99, kLoss}, {1, kLoss}}},
    {100, -300, 0, 400, {{99, kRecovery}, {61, kRecovery}, {60, kOutline}, {59, kFrameFill}}},
};

TEST(LossLateRecoveryGrapher, StacksLossLateAndRecoveryFromTheBottom) {
    for (const auto& c : kLossCases) {
        LossLateRecoveryGrapher graph;
        graph.resize(640, c.height);
        graph.addSample(0, c.loss, c.late, c.recovery);
        const QImage image = render(graph);
        for (const Row& row : c.rows)
            EXPECT_EQ(rgb(pixel(image, 595, row.y)), rgb(row.colour))
                << c.loss << "," << c.late << "," << c.recovery << " row " << row.y;
    }
}

TEST(LossLateRecoveryGrapher, SixtyBarsOfTenColumnsInA640PixelGraph) {
    LossLateRecoveryGrapher graph;
    graph.resize(640, 100);
    graph.addSample(0, 0, 1000, 0);  // the 61st sample below pushes this one out
    for (int j = 0; j < LossLateRecoveryGrapher::kCapacity; ++j) graph.addSample(0, 1000, 0, 0);
    const QImage image = render(graph);
    // Bar 0 on columns 0..9, bar 59 on 590..599, each with its outline on its first column; the
    // right outline of bar 59 is column 600.
    for (int x : {1, 9, 591, 599}) EXPECT_EQ(rgb(pixel(image, x, 50)), rgb(kLoss)) << x;
    for (int x : {0, 10, 590, 600}) EXPECT_EQ(rgb(pixel(image, x, 50)), rgb(kOutline)) << x;
    for (int x = 601; x < 640; ++x) EXPECT_NE(rgb(pixel(image, x, 50)), rgb(kLoss)) << x;
}

}  // namespace
