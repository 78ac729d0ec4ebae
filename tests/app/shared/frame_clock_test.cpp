#include <gtest/gtest.h>

#include <QUuid>
#include <QWidget>

#include <chrono>
#include <memory>
#include <string>

#include "app/shared/frame_clock.h"
#include "app/shared/mini_meter.h"
#include "tests/app/paint_counter.h"
#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"

namespace {

// A window with two small meters of one codec: one in sight, one below the window's edge.
struct MeteredWindow {
    QWidget window;
    MiniMeter* shown = new MiniMeter(&window);
    MiniMeter* clipped = new MiniMeter(&window);
    std::unique_ptr<FrameClock> clock;
    QUuid uuid = QUuid::createUuid();
    test_support::UnplacedSession session{uuid.toString(), uuid};

    explicit MeteredWindow(std::chrono::milliseconds period) {
        window.resize(200, 100);
        clipped->move(0, 500);
        clock = std::make_unique<FrameClock>(&window, period);
        for (MiniMeter* meter : {shown, clipped}) meter->showLevelsOf(&session);
        window.show();
    }
    const LevelBar& bar(MiniMeter* meter) { return meter->bar(MiniMeter::kRxl); }
    // The codec reports its receive-left level in dB, as a subscribing codec does.
    void report(int db) {
        Message report;
        report.parse("<unso id=\"metering\"><metering rmlf=\"" + std::to_string(db) + "\"/></unso>");
        session.cache_message(report, QStringLiteral("metering"));
        ASSERT_TRUE(QMetaObject::invokeMethod(&session, "cb_unso_metering", Q_ARG(Message, report)));
    }
};

TEST(FrameClock, ReportsBetweenTwoFramesRepaintOnceWithTheNewestLevel) {
    MeteredWindow fleet(std::chrono::hours(1));
    auto* cell = new QWidget(&fleet.window);  // a statistics cell, say
    cell->setGeometry(100, 60, 50, 20);
    cell->show();
    fleet.window.update();  // a first frame, and the next not for an hour
    ASSERT_TRUE(app_test::flushPostedEvents());
    app_test::PaintCounter paints(fleet.shown);
    app_test::PaintCounter cellPaints(cell);
    for (const int db : {-36, -24, -18}) {
        fleet.report(db);
        cell->update();
        ASSERT_TRUE(app_test::flushPostedEvents());
    }
    EXPECT_EQ(paints.count + cellPaints.count, 0);
    EXPECT_EQ(fleet.bar(fleet.shown).level(), 0.0f) << "levels are read at the frame";
    fleet.clock.reset();  // serves the frame that waits
    ASSERT_TRUE(app_test::flushPostedEvents());
    EXPECT_EQ(paints.count, 1);
    EXPECT_EQ(cellPaints.count, 1);
    EXPECT_EQ(fleet.bar(fleet.shown).level(), 0.75f);
    EXPECT_EQ(fleet.bar(fleet.clipped).level(), 0.0f) << "a meter out of sight reads nothing";
}

TEST(FrameClock, AHeldRepaintComesAtTheEndOfItsPeriodAndAMeterInSightAgainCatchesUp) {
    MeteredWindow fleet(std::chrono::milliseconds(50));
    for (const int db : {-36, -18, 0}) fleet.report(db);
    EXPECT_TRUE(test_support::wait_processing_events([&] { return fleet.bar(fleet.shown).level() == 1.0f; }));
    EXPECT_EQ(fleet.bar(fleet.clipped).level(), 0.0f);
    fleet.clipped->move(0, 50);  // scrolled into sight: it reads the newest levels
    EXPECT_TRUE(test_support::wait_processing_events([&] { return fleet.bar(fleet.clipped).level() == 1.0f; }));
}

}  // namespace
