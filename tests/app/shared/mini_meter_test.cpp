#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEvent>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "app/shared/meter_bars.h"
#include "app/shared/meter_widget.h"
#include "app/shared/mini_meter.h"
#include "tests/app/paint_counter.h"
#include "tests/app/widget_image.h"
#include "tests/support/unplaced_session.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// What the tile shows round the meter's frames, distinct from every colour of the meter.
const QColor kTile(200, 30, 200);

// A tile-like parent whose background shows wherever the meter paints nothing.
struct Tile {
    QWidget widget;
    explicit Tile(QSize meterSize) {
        widget.setAutoFillBackground(true);
        QPalette palette = widget.palette();
        palette.setColor(QPalette::Window, kTile);
        widget.setPalette(palette);
        widget.resize(meterSize + QSize(20, 20));
    }
};

// The small meter as its form once built it: a frame of grey per pair of bars, laid out with
// these margins and spacings, four horizontal MeterWidget bars. The look to keep, pixel for pixel.
struct FormMeter {
    QWidget* meter;
    std::vector<MeterWidget*> bars;

    explicit FormMeter(QWidget* parent) : meter(new QWidget(parent)) {
        auto* outer = new QVBoxLayout(meter);
        outer->setSpacing(2);
        outer->setContentsMargins(1, 1, 1, 1);
        for (int pair = 0; pair < 2; ++pair) {
            auto* frame = new QWidget(meter);
            frame->setStyleSheet(QStringLiteral("background-color: grey;"));
            auto* inner = new QVBoxLayout(frame);
            inner->setSpacing(1);
            inner->setContentsMargins(2, 1, 2, 1);
            for (int k = 0; k < 2; ++k) {
                auto* bar = new MeterWidget(frame);
                bar->setGradient();
                inner->addWidget(bar);
                bars.push_back(bar);
            }
            outer->addWidget(frame);
        }
    }
};

// Levels in dB as the session reports them: four levels, and four marks when `hasMarks`.
struct Report {
    const char* name;
    bool hasMarks;
    std::array<float, 8> db;

    void give(MiniMeter& meter) const {
        if (hasMarks) {
            meter.allLevels(db[0], db[1], db[2], db[3], db[4], db[5], db[6], db[7]);
        } else {
            meter.levels(db[0], db[1], db[2], db[3]);
        }
    }
    void give(FormMeter& form) const {
        MeterBars<MeterWidget> bars(*form.bars[0], *form.bars[1], *form.bars[2], *form.bars[3]);
        if (hasMarks) {
            bars.allLevels(db);
        } else {
            bars.levels(db[0], db[1], db[2], db[3]);
        }
    }
};

// The look of silence (the form at rest), of levels from silence to beyond full scale, and of
// marks (a peak mark at the top, inside, and at silence), at the meter's smallest, usual and
// largest sizes, odd and even.
TEST(MiniMeter, LooksAsItsFormDid) {
    const Report reports[] = {
        {"silence", false, {-80, -80, -80, -80}},
        {"levels", false, {0, -6, -36, -80}},
        {"clipping and unreadable", false, {3, kNaN, -71.5f, -12}},
        {"marks", true, {-10, -20, -30, -72, 0, -15, -29, -72}},
    };
    const QSize sizes[] = {{90, 25}, {137, 37}, {138, 38}, {111, 50}, {180, 60}};
    for (const QSize& size : sizes) {
        for (const Report& report : reports) {
            Tile oldTile(size);
            FormMeter form(&oldTile.widget);
            form.meter->setGeometry(QRect(QPoint(10, 10), size));
            Tile newTile(size);
            auto* meter = new MiniMeter(&newTile.widget);
            meter->setGeometry(QRect(QPoint(10, 10), size));
            oldTile.widget.show();  // lays the form out
            newTile.widget.show();
            ASSERT_TRUE(app_test::flushPostedEvents());
            report.give(form);
            report.give(*meter);
            EXPECT_TRUE(app_test::samePixels(app_test::render(newTile.widget), app_test::render(oldTile.widget)))
                << report.name << " at " << size.width() << "x" << size.height();
        }
    }
}

// The regions the meter is asked to paint, and whether anything under it paints.
class PaintRegions : public QObject {
public:
    PaintRegions(MiniMeter& meter, QWidget& tile) : meter_(meter), tile_(tile) {
        meter.installEventFilter(this);
        tile.installEventFilter(this);
    }
    std::vector<QRegion> meterPaints;
    int tilePaints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        if (watched == &meter_) meterPaints.push_back(static_cast<QPaintEvent*>(event)->region());
        if (watched == &tile_) ++tilePaints;
        return false;
    }

private:
    MiniMeter& meter_;
    QWidget& tile_;
};

// At 137 x 37 the bars are 131 pixels long from x = 3; the receive-left bar spans rows 2 to 8,
// the transmit-left bar rows 21 to 27. Only the columns whose pixels change are painted, by the
// meter alone: the tile beneath is never asked.
TEST(MiniMeter, PaintsOnlyTheColumnsThatChange) {
    Tile tile({137, 37});
    auto* meter = new MiniMeter(&tile.widget);
    meter->setGeometry(10, 10, 137, 37);
    tile.widget.show();
    meter->levels(-36, -72, -72, -72);  // receive left lit to column 66
    ASSERT_TRUE(app_test::flushPostedEvents());
    PaintRegions paints(*meter, tile.widget);
    const struct Step {
        const char* what;
        std::function<void()> act;
        QRect painted;  // empty: no paint
    } steps[] = {
        {"a level that lights more columns", [&] { meter->levels(-28.8f, -72, -72, -72); }, {3 + 66, 2, 13, 7}},
        {"the same pixels", [&] { meter->levels(-28.79f, -72, -72, -72); }, {}},
        {"a level falls twice before the frame",
         [&] {
             meter->levels(-36, -72, -72, -72);
             meter->levels(-72, -72, -72, -72);
         },
         {3, 2, 79, 7}},
        {"a mark shows at silence: none to see", [&] { meter->allLevels(-72, -72, -72, -72, -72, -72, -72, -72); }, {}},
        {"a transmit mark appears",
         [&] { meter->allLevels(-72, -72, -72, -72, -72, -72, -36, -72); },
         {3 + 64, 21, 2, 7}},
        {"a mark that keeps its columns", [&] { meter->allLevels(-72, -72, -72, -72, -72, -72, -35.9f, -72); }, {}},
        {"the mark moves: its old and new columns",
         [&] { meter->allLevels(-72, -72, -72, -72, -72, -72, -30, -72); },
         {3 + 64, 21, 13, 7}},
    };
    for (const Step& step : steps) {
        paints.meterPaints.clear();
        step.act();
        ASSERT_TRUE(app_test::flushPostedEvents());
        if (step.painted.isEmpty()) {
            EXPECT_TRUE(paints.meterPaints.empty()) << step.what;
        } else {
            ASSERT_EQ(paints.meterPaints.size(), 1u) << step.what;
            EXPECT_EQ(paints.meterPaints.front(), QRegion(step.painted)) << step.what;
        }
    }
    EXPECT_EQ(paints.tilePaints, 0);
}

// The tile's pixels on screen, which partial repaints have left, are those of a whole paint.
::testing::AssertionResult screenShowsAWholePaint(QWidget& tile) {
    return app_test::samePixels(tile.screen()->grabWindow(tile.winId()).toImage(), app_test::render(tile));
}

// A meter out of sight paints nothing and shows its levels once back in sight; what reaches the
// screen after many partial repaints (levels and marks rising and falling by a dB or two, and
// marks coming and going) is what a whole paint shows, and so after a reset out of sight in a
// minimised window: empty bars.
TEST(MiniMeter, PartialRepaintsLeaveTheScreenAsAWholePaint) {
    Tile tile({137, 37});
    auto* meter = new MiniMeter(&tile.widget);
    meter->setGeometry(10, 500, 137, 37);  // out of the tile
    tile.widget.show();
    ASSERT_TRUE(app_test::flushPostedEvents());
    app_test::PaintCounter paints(meter);
    meter->levels(-3, -6, -9, -12);
    ASSERT_TRUE(app_test::flushPostedEvents());
    EXPECT_EQ(paints.count, 0);
    meter->move(10, 10);
    ASSERT_TRUE(app_test::flushPostedEvents());
    EXPECT_TRUE(screenShowsAWholePaint(tile.widget));

    for (int round = 0; round < 40; ++round) {
        const float db = -20 + 6 * std::sin(round * 0.4f);
        if (round % 10 < 5) {
            meter->allLevels(db, db - 3, db - 6, -72, db + 2, db, -72, -72);
        } else {
            meter->levels(db, db - 3, db - 6, -72);
        }
        ASSERT_TRUE(app_test::flushPostedEvents());
        ASSERT_TRUE(screenShowsAWholePaint(tile.widget)) << "round " << round;
    }
    // Reset while the window is minimised: restored, it shows empty bars, not the levels before.
    tile.widget.showMinimized();
    ASSERT_TRUE(app_test::flushPostedEvents());
    meter->reset();
    tile.widget.showNormal();
    ASSERT_TRUE(app_test::flushPostedEvents());
    for (const MiniMeter::Bar bar : {MiniMeter::kRxl, MiniMeter::kRxr, MiniMeter::kTxl, MiniMeter::kTxr})
        EXPECT_EQ(meter->bar(bar).level(), 0.0f) << bar;
    EXPECT_TRUE(screenShowsAWholePaint(tile.widget));
}

// Whether the receive-left bar of a 137 x 37 meter at (10, 10) in its tile is hatched: it holds
// pixels of neither the unlit cover nor the lit colours.
bool isHatched(const QImage& tile) {
    const QColor hatch = meterAwaitingHatch().color();
    for (int y = 12; y <= 18; ++y) {
        for (int x = 13; x < 144; ++x) {
            if (app_test::pixel(tile, x, y) == hatch) return true;
        }
    }
    return false;
}

// Until its first level after it is given a session or reset, the meter shows hatched bars, not
// the empty bars of silence; the first level shows the whole meter anew, silence as empty bars.
TEST(MiniMeter, HatchesItsBarsUntilTheFirstLevel) {
    Tile tile({137, 37});
    auto* meter = new MiniMeter(&tile.widget);
    meter->setGeometry(10, 10, 137, 37);
    tile.widget.show();
    test_support::UnplacedSession session(QStringLiteral("codec"), QUuid::createUuid());
    const auto silence = [&] { meter->levels(-80, -80, -80, -80); };
    const struct Step {
        const char* what;
        std::function<void()> act;
        bool isHatched;
    } steps[] = {
        {"a new meter", [] {}, true},
        {"silence", silence, false},
        {"a reset", [&] { meter->reset(); }, true},
        {"a level with marks", [&] { meter->allLevels(-80, -80, -80, -80, -6, -6, -6, -6); }, false},
        {"a session", [&] { meter->showLevelsOf(&session); }, true},
        {"its level", silence, false},
        {"the same session", [&] { meter->showLevelsOf(&session); }, false},
        {"none", [&] { meter->showLevelsOf(nullptr); }, true},
    };
    for (const Step& step : steps) {
        step.act();
        ASSERT_TRUE(app_test::flushPostedEvents());
        const QImage image = app_test::render(tile.widget);
        EXPECT_EQ(isHatched(image), step.isHatched) << step.what;
        if (!step.isHatched) {
            EXPECT_EQ(app_test::pixel(image, 80, 15), kMeterUnlit) << step.what;
        }
        EXPECT_TRUE(screenShowsAWholePaint(tile.widget)) << step.what;
    }
}

}  // namespace
