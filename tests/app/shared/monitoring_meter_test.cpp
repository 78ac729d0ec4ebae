#include <gtest/gtest.h>

#include <QFrame>
#include <QImage>
#include <QLabel>

#include <functional>

#include "app/shared/meter_widget.h"
#include "app/shared/monitoring_meter.h"
#include "tests/app/paint_counter.h"
#include "tests/app/widget_image.h"
#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"

namespace {

// At every height the dock gives it, each scale label is centred (to a pixel) on the height of
// its level on the receive bars, all in one column; "RX" stands under the receive bars (left) and
// "TX" under the transmit bars (right).
TEST(MonitoringMeter, LabelsStandBesideTheirLevelsAndUnderTheirBars) {
    const struct {
        const char* label;
        float db;
    } marks[] = {{"label_0", 0}, {"label_6", -6}, {"label_12", -12}, {"label_36", -36}, {"label_72", -72}};
    MonitoringMeter meter;
    const auto child = [&meter](const char* name) { return meter.findChild<QWidget*>(name); };
    meter.show();
    for (int height : {406, 900}) {
        meter.resize(166, height);
        QWidget* rxl = child("rxl");
        ASSERT_TRUE(test_support::wait_processing_events([&] { return rxl->height() > height - 60; })) << height;
        ASSERT_TRUE(app_test::flushPostedEvents());
        const int barTop = rxl->mapTo(&meter, QPoint(0, 0)).y();
        for (const auto& mark : marks) {
            QWidget* label = child(mark.label);
            const double level = barTop + rxl->height() * (1.0 - levelToFraction(mark.db));
            EXPECT_NEAR(label->mapTo(&meter, QPoint(0, 0)).y() + child("label_6")->height() / 2, level, 1.0)
                << mark.label << " at height " << height;
            EXPECT_EQ(label->x(), child("label_0")->x()) << mark.label;
        }
    }
    for (auto [caption, frame, text] : {std::tuple{"label_RX", "leftFrame", "RX"}, {"label_TX", "rightFrame", "TX"}}) {
        auto* label = meter.findChild<QLabel*>(caption);
        const QRect under = child(frame)->geometry();
        const int centre = label->mapTo(&meter, label->rect().center()).x();
        EXPECT_EQ(label->text(), text);
        EXPECT_TRUE(centre > under.left() && centre < under.right()) << caption << " centred at " << centre;
    }
}

// From the moment it is given a codec until that codec's first level, the dock's meter hatches its
// bars, whatever they held before: empty ones would read as silence; so again once the codec leaves
// READY. Without a codec, or once levels came, it shows levels.
TEST(MonitoringMeter, HatchesItsBarsUntilTheCodecsFirstLevel) {
    MonitoringMeter meter;
    meter.resize(200, 300);
    meter.show();  // lays the bars out
    auto* rxl = meter.findChild<MeterWidget*>("rxl");
    test_support::UnplacedSession first(QStringLiteral("first"), QUuid::createUuid());
    test_support::UnplacedSession second(QStringLiteral("second"), QUuid::createUuid());
    bool isTold = false;  // that the codec left READY
    QObject::connect(&first, &IPCObject::changedState, &meter, [&isTold] { isTold = true; });
    const struct Step {
        const char* what;
        std::function<void()> act;
        bool isHatched;
    } steps[] = {
        {"a codec", [&] { meter.setSession(&first); }, true},
        {"its levels", [&] { meter.allLevels(-6, -6, -6, -6, -3, -3, -3, -3); }, false},
        {"its link lost, a new one starting",
         [&] {
             first.set_state(IQEndpointClient::CONNECTING);
             ASSERT_TRUE(test_support::wait_processing_events([&] { return isTold; }));
         },
         true},
        {"its levels again", [&] { meter.allLevels(-6, -6, -6, -6, -3, -3, -3, -3); }, false},
        {"another codec", [&] { meter.setSession(&second); }, true},
        {"none", [&] { meter.setSession(nullptr); }, false},
    };
    const QColor hatch = meterAwaitingHatch().color();
    for (const Step& step : steps) {
        step.act();
        const QImage image = app_test::render(*rxl);
        int hatched = 0;
        int other = 0;  // neither hatching nor the unlit cover: a level or a mark
        for (int y = 0; y < image.height(); ++y) {
            const QColor colour = app_test::pixel(image, image.width() / 2, y);
            hatched += colour == hatch;
            other += colour != hatch && colour != kMeterUnlit;
        }
        EXPECT_EQ(hatched > 0, step.isHatched) << step.what;
        if (step.isHatched) {
            EXPECT_EQ(other, 0) << step.what;
        }
    }
}

}  // namespace
