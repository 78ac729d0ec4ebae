#include <gtest/gtest.h>

#include <QSet>

#include <climits>

#include "sessions/delay_graph_data.h"
#include "sessions/graph_data.h"
#include "sessions/loss_graph_data.h"

namespace {

TEST(GraphData, ThirtyOneSamplesKeepTheNewestThirtyNewestFirst) {
    LossGraphData loss;
    DelayGraphData delay;
    int changes = 0;
    QObject::connect(&loss, &GraphData::dataChanged, [&] { ++changes; });
    QObject::connect(&delay, &GraphData::dataChanged, [&] { ++changes; });

    for (int sample = 1; sample <= 31; ++sample) {
        delay.addSample(7, sample, 100 + sample, 200 + sample, 0);
        loss.addSample(7, sample, 100 + sample, 200 + sample, 1, 0);
    }
    EXPECT_EQ(changes, 0) << "announced only when asked, outside the session mutex";
    delay.announceChanges();
    loss.announceChanges();
    loss.announceChanges();
    EXPECT_EQ(changes, 2);

    const LossSeries loss_series = loss.series(7);
    const DelaySeries delay_series = delay.series(7);
    ASSERT_EQ(loss_series.frameLossRate.size(), loss.capacity());
    ASSERT_EQ(loss_series.remoteLoss.size(), 30);
    ASSERT_EQ(loss_series.correction.size(), 30);
    ASSERT_EQ(delay_series.points.size(), delay.capacity());
    ASSERT_EQ(delay_series.desiredDelay.size(), 30);
    for (int i = 0; i < 30; ++i) {
        const int sample = 31 - i;  // index 0 holds the newest
        EXPECT_EQ(loss_series.frameLossRate[i], sample);
        EXPECT_EQ(loss_series.remoteLoss[i], 100 + sample);
        EXPECT_EQ(loss_series.correction[i], 201 + sample);
        EXPECT_EQ(delay_series.points[i].bufferDelay, sample);
        EXPECT_EQ(delay_series.points[i].packetJitter, 100 + sample);
        EXPECT_EQ(delay_series.desiredDelay[i], 200 + sample);
    }
}

TEST(GraphData, HasDataOnlyForPeersWithSamples) {
    GraphData base;
    LossGraphData loss;
    DelayGraphData delay;
    loss.addSample(3, 1, 1, 1, 1, 0);
    delay.addSample(3, 1, 1, 1, 0);
    for (int peer : {0, 3, 4}) EXPECT_FALSE(base.hasData(peer)) << peer;
    EXPECT_TRUE(loss.hasData(3));
    EXPECT_TRUE(delay.hasData(3));
    EXPECT_FALSE(loss.hasData(4));
    EXPECT_FALSE(delay.hasData(4));
    EXPECT_TRUE(loss.series(4).frameLossRate.isEmpty());
    EXPECT_TRUE(delay.series(4).points.isEmpty());
}

TEST(GraphData, SeriesOfPeersMissingFromTheLatestStatisticsAreDropped) {
    LossGraphData loss;
    DelayGraphData delay;
    for (int peer : {1, 2, 3}) {
        delay.addSample(peer, 10, 2, 40, 0);
        loss.addSample(peer, 5, 0, 0, 0, 0);
    }
    int changes = 0;
    QObject::connect(&loss, &GraphData::dataChanged, [&] { ++changes; });
    QObject::connect(&delay, &GraphData::dataChanged, [&] { ++changes; });

    delay.announceChanges();
    loss.announceChanges();
    changes = 0;
    delay.retainPeers({1, 3});
    loss.retainPeers({1, 3});
    delay.announceChanges();
    loss.announceChanges();
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(delay.hasData(1) && delay.hasData(3) && loss.hasData(1) && loss.hasData(3));
    EXPECT_FALSE(delay.hasData(2));
    EXPECT_FALSE(loss.hasData(2));

    delay.retainPeers({1, 3});  // nothing to drop, nothing to announce
    delay.announceChanges();
    EXPECT_EQ(changes, 2);
}

TEST(GraphData, ClearDropsEverySeriesSilentlyAndTheNextSampleStartsAfresh) {
    LossGraphData loss;
    DelayGraphData delay;
    for (int sample = 0; sample < 5; ++sample) {
        delay.addSample(1, sample, 0, 0, 0);
        loss.addSample(1, sample, 0, 0, 0, 0);
    }
    delay.announceChanges();
    loss.announceChanges();
    int changes = 0;
    QObject::connect(&loss, &GraphData::dataChanged, [&] { ++changes; });
    QObject::connect(&delay, &GraphData::dataChanged, [&] { ++changes; });
    delay.clear();
    loss.clear();
    delay.announceChanges();
    loss.announceChanges();
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(delay.hasData(1));
    EXPECT_FALSE(loss.hasData(1));

    delay.addSample(1, 9, 0, 0, 0);
    loss.addSample(1, 9, 0, 0, 0, 0);
    EXPECT_EQ(delay.series(1).points.size(), 1);
    EXPECT_EQ(loss.series(1).frameLossRate.size(), 1);
}

struct CorrectionCase {
    int up, down, sum;
};
// Correction rates are codec figures: their sum is held to the int range instead of overflowing.
const CorrectionCase kCorrections[] = {
    {3, 4, 7},
    {INT_MAX, 1, INT_MAX},
    {INT_MIN, -1, INT_MIN},
    {INT_MAX, INT_MIN, -1},
};

TEST(GraphData, CorrectionIsTheSumOfBothDirections) {
    for (const CorrectionCase& c : kCorrections) {
        LossGraphData loss;
        loss.addSample(1, 0, 0, c.up, c.down, 0);
        EXPECT_EQ(loss.series(1).correction.value(0), c.sum) << c.up << " + " << c.down;
    }
}

}  // namespace
