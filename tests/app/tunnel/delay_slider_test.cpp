#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QWidget>

#include <algorithm>
#include <vector>

#include "app/tunnel/delay_slider.h"
#include "tests/app/widget_image.h"

namespace {

using app_test::pixel;
using app_test::render;
using app_test::rgb;

const QColor kBands[DelaySlider::kBandCount] = {QColor(255, 0, 0), QColor(255, 187, 0), QColor(255, 255, 0),
                                                QColor(0, 255, 0), QColor(238, 238, 238)};

QString labelAt(const DelaySlider& slider, int x) {
    for (QLabel* label : slider.findChildren<QLabel*>())
        if (label->x() == x) return label->text();
    return QString();
}

// 199 × 60 (W = 200): the bands lie on rows 30 .. 39 (outline rows 30 and 39), band k is
// 2 × band columns wide, and the maximum's label sits at x = 199 - 60.
constexpr int kTop = 30;
constexpr int kMaxLabelX = 139;

// Delay points, scale maximum and the band widths in percent (the slider's edge cases, and points
// out of order or off the scale, which must not overlap).
struct BandCase {
    std::vector<int> points;
    int maximum;
    int bands[DelaySlider::kBandCount];
};

const BandCase kBandCases[] = {
    {{20, 40, 60, 80, 200}, 200, {10, 10, 10, 10, 60}},
    {{30, 30, 30, 30, 90}, 90, {33, 0, 0, 0, 67}},
    {{50, 25, 80, 400, 100}, 100, {50, 0, 50, 0, 0}},
};

TEST(DelaySlider, DrawsFiveBandsFromTheDelayPoints) {
    for (const auto& c : kBandCases) {
        DelaySlider slider(nullptr);
        slider.resize(199, 60);
        slider.setDelayPoints(c.points, c.maximum);
        const QImage image = render(slider);
        EXPECT_EQ(slider.maximum(), c.maximum);
        EXPECT_EQ(labelAt(slider, kMaxLabelX), QString("%1ms").arg(c.maximum));
        // Columns left of 6 hold the dot of a packet delay of 0.
        int x = 0;
        for (int k = 0; k < DelaySlider::kBandCount; ++k) {
            const int width = 2 * c.bands[k];
            for (int column = std::max(x + 1, 6); column < std::min(x + width, 199); ++column)
                ASSERT_EQ(rgb(pixel(image, column, kTop + 4)), rgb(kBands[k])) << "band " << k << " x " << column;
            for (int column = 0; width == 0 && column < 199; ++column)
                ASSERT_NE(rgb(pixel(image, column, kTop + 4)), rgb(kBands[k])) << "band " << k;
            x += width;
        }
        EXPECT_EQ(rgb(pixel(image, 12, kTop + 1)), rgb(kBands[0]));
        EXPECT_EQ(rgb(pixel(image, 12, kTop + 8)), rgb(kBands[0]));
        EXPECT_EQ(rgb(pixel(image, 12, kTop + 9)), rgb(Qt::black));
        EXPECT_NE(rgb(pixel(image, 12, kTop + 10)), rgb(kBands[0]));
    }
}

TEST(DelaySlider, DotMarksThePacketDelayAndNonPositiveMaximaChangeNothing) {
    DelaySlider slider(nullptr);
    slider.resize(199, 60);
    slider.setDelayPoints({90, 90, 90, 90, 90}, 90);  // one red band across
    slider.setMarks(45, 90);
    const QImage image = render(slider);
    // 50 % of W = 200: a 10 × 10 dot centred on column 100, row 35.
    for (int dx : {-3, 0, 3}) EXPECT_EQ(rgb(pixel(image, 100 + dx, kTop + 5)), rgb(Qt::black)) << dx;
    for (int dx : {-8, 8}) EXPECT_EQ(rgb(pixel(image, 100 + dx, kTop + 5)), rgb(kBands[0])) << dx;

    slider.setDelayPoints({1, 2, 3, 4, 5}, 0);
    slider.setMarks(5, -1);
    slider.setDelayPoints({1, 2, 3, 4}, 5);  // not five points
    EXPECT_TRUE(render(slider) == image);
    EXPECT_EQ(slider.maximum(), 90);
    EXPECT_EQ(labelAt(slider, kMaxLabelX), "90ms");

    // Emptied, it shows neither bands nor a dot, like a slider that never had figures.
    slider.clear();
    DelaySlider fresh(nullptr);
    fresh.resize(199, 60);
    const QImage empty = render(fresh);
    EXPECT_TRUE(render(slider) == empty);
    EXPECT_EQ(slider.maximum(), DelaySlider::kEmptyScaleMs);
    for (int column : {2, 100, 190}) EXPECT_NE(rgb(pixel(empty, column, kTop + 5)), rgb(Qt::black)) << column;
}

TEST(DelaySlider, LabelsStayInsideTheSliderWhereverItSits) {
    QWidget page;
    page.resize(600, 100);
    DelaySlider slider(&page);
    slider.setGeometry(120, 20, 300, 60);
    page.show();
    EXPECT_EQ(labelAt(slider, 0), "0ms");
    EXPECT_EQ(labelAt(slider, 300 - 60), "100ms");
    EXPECT_EQ(labelAt(slider, 150 - 40), "Delay");  // its right edge at the middle
}

}  // namespace
