#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <limits>
#include <memory>
#include <vector>

#include "app/shared/meter_widget.h"
#include "tests/app/paint_counter.h"
#include "tests/app/widget_image.h"

namespace {

using app_test::pixel;
using app_test::render;
using app_test::rgb;

const QColor kUnlit(64, 64, 64);
const QColor kMark(100, 170, 255);
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

enum class Shows { Grey, Mark, Lit };

Shows classify(const QColor& colour) {
    return colour == kUnlit ? Shows::Grey : colour == kMark ? Shows::Mark : Shows::Lit;
}

// Rows (vertical bar) or columns (horizontal bar) from..to and what they show.
struct Span {
    int from, to;
    Shows shows;
};

// The bar's edge cases: a level covers trunc(length × (1 - level)) pixels from the top or the
// right; a mark is two rows from trunc(H × (1 - second)). Levels beyond 0..1 draw as the nearest
// end, NaN as empty.
const struct BarCase {
    const char* name;
    bool horizontal;
    int length;  // height of a vertical bar, width of a horizontal one
    float level, secondLevel;
    bool hasSecondLevel;
    std::vector<Span> spans;
} kBarCases[] = {
    {"half", false, 200, 0.5f, 0, false, {{0, 99, Shows::Grey}, {100, 199, Shows::Lit}}},
    {"horizontal", true, 90, 0.25f, 0, false, {{0, 22, Shows::Lit}, {23, 89, Shows::Grey}}},
    {"top mark", false, 200, 0.5f, 1, true, {{0, 1, Shows::Mark}, {2, 99, Shows::Grey}, {100, 199, Shows::Lit}}},
    {"bottom mark", false, 200, 1, 0, true, {{0, 199, Shows::Lit}}},
    {"NaN", false, 200, kNaN, kNaN, true, {{0, 199, Shows::Grey}}},
    {"beyond the ends", false, 200, 7, -3, true, {{0, 199, Shows::Lit}}},
    {"below empty", true, 90, -0.5f, 0, false, {{0, 89, Shows::Grey}}},
};

TEST(MeterWidget, CoversTheUnlitPartAndDrawsTheMark) {
    for (const BarCase& c : kBarCases) {
        MeterWidget bar;
        if (c.horizontal) bar.setGradient();
        bar.resize(c.horizontal ? c.length : 20, c.horizontal ? 12 : c.length);
        bar.setLevels(c.level, c.secondLevel, c.hasSecondLevel);
        const QImage image = render(bar);
        for (const Span& span : c.spans) {
            for (int i = span.from; i <= span.to; ++i) {
                const QColor colour = c.horizontal ? pixel(image, i, 6) : pixel(image, 10, i);
                ASSERT_EQ(classify(colour), span.shows) << c.name << " at " << i << ": " << rgb(colour);
            }
        }
    }
    // A full bar runs from red at the top to green at the bottom.
    MeterWidget bar;
    bar.resize(20, 200);
    bar.setLevels(1, 0, false);
    const QImage image = render(bar);
    const QColor top = pixel(image, 10, 0);
    const QColor bottom = pixel(image, 10, 199);
    EXPECT_TRUE(top.red() > 200 && top.green() < 60 && top.blue() < 60) << rgb(top);
    EXPECT_TRUE(bottom.green() > 180 && bottom.red() < 40) << rgb(bottom);
}

// The bar's colours come from its style sheet, as given; meterGradient is the same gradient, for
// meters that paint their bars themselves.
TEST(MeterWidget, StyleSheetAndGradientShowTheSameColours) {
    const struct {
        bool horizontal;
        const char* sheet;
    } cases[] = {
        {false, "background: qlineargradient( x1:0 y2:0, x2:0 y1:1, stop:0 #0c2, stop:0.5 #3d0, stop:0.75 #ee0, "
                "stop:0.833333 #df0, stop:0.916667 #ea0, stop:0.92 #f00);"},
        {true, "background: qlineargradient( x1:0 y2:0, x2:1 y1:0, stop:0 #0c2, stop:0.5 #2e1, stop:0.75 #ee0, "
               "stop:0.833333 #df0, stop:0.916667 #ea0, stop:0.92 #f00);"},
    };
    for (const auto& c : cases) {
        MeterWidget bar;
        if (c.horizontal) bar.setGradient();
        EXPECT_EQ(bar.styleSheet().toStdString(), c.sheet);
        bar.resize(c.horizontal ? 131 : 20, c.horizontal ? 7 : 200);
        bar.setLevels(1, 0, false);
        QImage expected(bar.size(), QImage::Format_ARGB32);
        QPainter(&expected).fillRect(bar.rect(), meterGradient(c.horizontal ? Qt::Horizontal : Qt::Vertical));
        EXPECT_TRUE(app_test::samePixels(render(bar), expected)) << (c.horizontal ? "horizontal" : "vertical");
    }
}

TEST(MeterWidget, RepaintsOnlyWhenAPixelChanges) {
    MeterWidget bar;
    bar.resize(20, 200);
    app_test::PaintCounter paints(&bar);
    bar.show();
    ASSERT_TRUE(app_test::flushPostedEvents());
    // Levels 0.501 and 0.503 both cover 99 rows, marks at 0.402 and 0.403 both start on row 119,
    // and a mark at 0 lies below the bar.
    const struct {
        float level, second;
        bool hasSecond, repaints;
    } steps[] = {
        {0.501f, 0, false, true},      {0.503f, 0, false, false},  {0.503f, 0.402f, true, true},
        {0.503f, 0.403f, true, false}, {0.503f, 0.0f, true, true}, {0.503f, 0.0f, false, false},
    };
    for (const auto& step : steps) {
        const int before = paints.count;
        bar.setLevels(step.level, step.second, step.hasSecond);
        ASSERT_TRUE(app_test::flushPostedEvents());
        EXPECT_EQ(paints.count > before, step.repaints) << step.level << " " << step.second;
    }
}

// Vectors: the meter scale's edge cases.
TEST(MeterScale, LevelToFraction) {
    const struct {
        float db;
        double fraction;
    } cases[] = {{3, 1.0}, {0, 1.0}, {-72, 0.0}, {-80, 0.0}, {-54, 0.25}, {kNaN, 0.0}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(levelToFraction(c.db), c.fraction) << c.db;
}

}  // namespace
