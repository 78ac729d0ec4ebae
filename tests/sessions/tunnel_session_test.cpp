#include <gtest/gtest.h>

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <memory>
#include <string>

#include "ipc/message/message.h"
#include "sessions/tunnel_bitrate.h"
#include "sessions/tunnel_conn_stats.h"
#include "sessions/tunnel_session.h"
#include "tests/sessions/tunnel_test_fakes.h"

namespace {

using tunnel_test::fakeButtonFactory;
using tunnel_test::FakeGraph;
using tunnel_test::labels;
using tunnel_test::xml;

// One side of a "conn" node after two reports (the tunnel session's edge cases: the throttle pair,
// divisions by 1000 truncating toward zero). The remote side reads the same keys with "r".
struct ConnStatsCase {
    const char* before;
    const char* after;
    int throttled, th, td, tp, d;
};

const ConnStatsCase kConnStats[] = {
    {"", R"(td="5000" th="2999")", 1, 2, 5, 0, 0},
    {R"(td="1" th="7000")", R"(td="1000")", 0, 0, 1, 0, 0},  // "td" without "th" clears the pair
    {R"(td="1" th="7000")", R"(tp="1999")", 1, 7, 0, 1, 0},  // no "td": the pair stays
    {"", R"(tp="-1999" d="-3")", 0, 0, 0, -1, -3},
};

std::string remote(const std::string& attributes) {  // every name gets the prefix "r"
    std::string out;
    for (size_t start = 0; start < attributes.size();) {
        const size_t end = std::min(attributes.find(' ', start), attributes.size());
        out += " r" + attributes.substr(start, end - start);
        start = end + 1;
    }
    return out;
}

TEST(TunnelConnStats, LocalAndRemoteKeysFollowTheSameRules) {
    for (const auto& c : kConnStats) {
        TunnelConnStats local, far;
        for (const char* report : {c.before, c.after}) {
            local.parseLocal(xml(std::string("<conn ") + report + "/>"));
            far.parseRemote(xml("<conn" + remote(report) + "/>"));
        }
        for (const TunnelConnStats* side : {&local, &far}) {
            EXPECT_EQ(side->throttled, c.throttled) << c.after;
            EXPECT_EQ(side->th, c.th) << c.after;
            EXPECT_EQ(side->td, c.td) << c.after;
            EXPECT_EQ(side->tp, c.tp) << c.after;
            EXPECT_EQ(side->d, c.d) << c.after;
        }
    }
}

// Bit rates of one "codec" node, starting from 7, 3, throttled (the tunnel session's edge cases).
struct BitrateCase {
    const char* codec;
    int nominal, throttledRate;
    bool throttled;
};

const BitrateCase kBitrates[] = {
    {R"(<codec><enc nbr="64000" tbr="32000"/></codec>)", 64, 32, true},
    {R"(<codec><enc nbr="64000" tbr="999"/></codec>)", 64, 0, false},
    {R"(<codec><enc nbr="64000" tbr="64000"/></codec>)", 64, 64, false},
    {R"(<codec><dec nbr="1000" tbr="500"/></codec>)", 7, 3, true},  // no "enc": nothing changes
};

TEST(TunnelBitrate, ThrottledOnlyBelowANonZeroNominalRate) {
    for (const auto& c : kBitrates) {
        TunnelBitrate rate{7, 3, true};
        rate.update(xml(c.codec));
        EXPECT_EQ(rate.nominal_bitrate, c.nominal) << c.codec;
        EXPECT_EQ(rate.throttled_bitrate, c.throttledRate) << c.codec;
        EXPECT_EQ(rate.throttled, c.throttled) << c.codec;
    }
}

TEST(TunnelSession, DelayReportWithoutLimitKeepsTheLimitButZeroesTheRecord) {
    TunnelSession session(7, "");
    const char* full = R"(<sess dm="120" rdm="80" d5="200" rdma="true"/>)";
    EXPECT_TRUE(session.updateDelay(xml(full)));
    EXPECT_FALSE(session.updateDelay(xml(full)));
    EXPECT_EQ(session.txStats.delay_points[4], 200);
    EXPECT_TRUE(session.rxStats.delay_mode_auto);
    EXPECT_TRUE(session.updateDelay(xml(R"(<sess rdm="80" d5="200" rdma="true"/>)")));
    EXPECT_EQ(session.max_allowed_delay_tx, 120);
    EXPECT_EQ(session.txStats.max_allowed_delay, 0);
    EXPECT_EQ(session.max_allowed_delay_rx, 80);
}

TEST(TunnelSession, SkippedConnectionKeepsItsButtonIndexButTakesNoGraphPosition) {
    TunnelSession session(7, "");
    QObject container;
    FakeGraph graph;
    session.setIfcWidget(&container, fakeButtonFactory);
    session.txStats.utilGrapher.set(&graph);
    session.rxStats.lossGrapher.set(&graph);
    EXPECT_TRUE(session.updateRxCodecStats(
        xml(R"(<sess rpl="5" rplt="6"><conn ri="1"/><conn li="2" ri="4" tp="7000" rtp="3000"/></sess>)")));

    ASSERT_EQ(session.connections().size(), 1u);
    EXPECT_EQ(session.connections().at("2:4")->graphIndex, 0);
    for (bool transmit : {true, false}) {
        ASSERT_EQ(labels(container, transmit).size(), 1u);
        EXPECT_EQ(labels(container, transmit)[0]->index, 1);
    }
    ASSERT_EQ(graph.throughputs.size(), 1u);
    EXPECT_EQ(graph.throughputs[0], std::make_pair(QVector<int>{7}, true));
    EXPECT_EQ(session.rxValues(), QVector<int>{3});
    EXPECT_EQ(graph.losses, (std::vector<std::vector<int>>{{5, 6, 0}}));
    EXPECT_EQ(graph.repaints, 2);
}

TEST(TunnelSession, ReportWithoutConnectionsDeletesThemButResendsTheLastValues) {
    TunnelSession session(7, "");
    QObject container;
    FakeGraph graph;
    session.setIfcWidget(&container, fakeButtonFactory);
    session.rxStats.utilGrapher.set(&graph);
    const Message two = xml(R"(<sess><conn li="1" ri="1" rtp="2000"/><conn li="2" ri="2" rtp="4000"/></sess>)");
    EXPECT_TRUE(session.updateRxCodecStats(two));
    EXPECT_FALSE(session.updateRxCodecStats(two));
    EXPECT_TRUE(session.updateRxCodecStats(xml("<sess/>")));
    EXPECT_FALSE(session.updateRxCodecStats(xml("<sess/>")));

    EXPECT_TRUE(session.connections().empty());
    EXPECT_EQ(labels(container, true).size(), 2u);
    ASSERT_EQ(graph.throughputs.size(), 4u);
    EXPECT_EQ(graph.throughputs[2], std::make_pair(QVector<int>{2, 4}, true));
    EXPECT_EQ(graph.throughputs[3], std::make_pair(QVector<int>{2, 4}, false));
}

TEST(TunnelSession, StatusNamesConnectionsUntilTheNextStatisticsUpdate) {
    TunnelSession session(7, "");
    EXPECT_FALSE(session.updateSessionStatus(xml(R"(<sess sid="8" active="true"><conn li="9" ri="9"/></sess>)")));
    EXPECT_TRUE(session.connections().empty());
    EXPECT_TRUE(session.updateSessionStatus(
        xml(R"(<sess sid="7" active="true" state="up"><conn li="3" ri="5" ldesc="eth0" rdesc="wan1"/></sess>)")));
    EXPECT_TRUE(session.active);
    EXPECT_EQ(session.state, "up");
    EXPECT_EQ(session.connections().at("3:5")->ldesc, "eth0");

    session.updateRxCodecStats(xml(R"(<sess><conn li="1" ri="1"/></sess>)"));
    EXPECT_EQ(session.connections().count("3:5"), 0u);
    EXPECT_EQ(session.connections().count("1:1"), 1u);
}

TEST(TunnelSession, ButtonsFollowTheConnectionsAndSwapDescriptionsForReceive) {
    TunnelSession session(7, "");
    QObject container;
    session.setIfcWidget(&container, fakeButtonFactory);
    session.updateSessionStatus(xml(R"(<sess sid="7"><conn li="3" ri="5" ldesc="eth0" rdesc="wan1"/></sess>)"));
    session.updateRxCodecStats(xml(R"(<sess><conn li="3" ri="5"/><conn li="4" ri="6"/></sess>)"));
    auto tx = labels(container, true);
    auto rx = labels(container, false);
    ASSERT_EQ(tx.size(), 2u);
    ASSERT_EQ(rx.size(), 2u);
    EXPECT_EQ(tx[0]->first + ">" + tx[0]->second, "eth0>wan1");
    EXPECT_EQ(rx[0]->first + ">" + rx[0]->second, "wan1>eth0");
    session.showRxWidgets();
    EXPECT_FALSE(tx[0]->shown);
    EXPECT_TRUE(rx[1]->shown);

    // 3:5 leaves with both its buttons; 4:6 moves up to position 0.
    QPointer<QObject> leaving = tx[0];
    EXPECT_TRUE(session.updateRxCodecStats(xml(R"(<sess><conn li="4" ri="6"/></sess>)")));
    EXPECT_TRUE(leaving.isNull());
    tx = labels(container, true);
    ASSERT_EQ(tx.size(), 1u);
    EXPECT_EQ(tx[0]->uid, "4:6");
    EXPECT_EQ(tx[0]->index, 0);
    EXPECT_EQ(labels(container, false).size(), 1u);
}

TEST(TunnelSession, ConnectionsAreCappedAndCountedOnce) {
    TunnelSession session(7, "");
    std::string report = R"(<sess><conn li="0" ri="0" tp="5000"/>)";
    for (int i = 0; i < TunnelSession::kMaxConnections + 8; ++i)
        report += "<conn li=\"" + std::to_string(i) + "\" ri=\"0\" tp=\"1000\"/>";
    session.updateRxCodecStats(xml(report + "</sess>"));
    EXPECT_EQ(session.connections().size(), static_cast<size_t>(TunnelSession::kMaxConnections));
    EXPECT_EQ(session.txValues().size(), TunnelSession::kMaxConnections);
    EXPECT_EQ(session.txValues()[0], 5);  // the first listing of 0:0 counts
    EXPECT_EQ(session.updateConnection(xml(R"(<conn li="99" ri="0"/>)")), nullptr);
    EXPECT_NE(session.updateConnection(xml(R"(<conn li="0" ri="0"/>)")), nullptr);
}

TEST(TunnelSession, DestroyedPageWidgetsAreNeverUsedAgain) {
    TunnelSession session(7, "");
    auto container = std::make_unique<QObject>();
    auto graph = std::make_unique<FakeGraph>();
    session.setIfcWidget(container.get(), fakeButtonFactory);
    session.txStats.utilGrapher.set(graph.get());
    session.txStats.lossGrapher.set(graph.get());
    const Message report = xml(R"(<sess pl="5"><conn li="1" ri="1"/></sess>)");
    session.updateRxCodecStats(report);
    ASSERT_EQ(graph->losses.size(), 1u);

    // The page goes first, its container taking the buttons along: ASan fails any later use.
    container.reset();
    graph.reset();
    EXPECT_EQ(session.ifcWidget(), nullptr);
    session.updateRxCodecStats(xml(R"(<sess><conn li="2" ri="2"/></sess>)"));
    session.showRxWidgets();
    session.clearIfcWidgets();
}

TEST(TunnelSession, ResetWidgetsAndDestructionDeleteTheButtons) {
    QObject container;
    FakeGraph graph;
    {
        TunnelSession session(7, "");
        session.setIfcWidget(&container, fakeButtonFactory);
        session.rxStats.utilGrapher.set(&graph);
        const Message report = xml(R"(<sess><conn li="1" ri="1"/></sess>)");
        session.updateRxCodecStats(report);
        EXPECT_EQ(container.children().size(), 2);
        session.resetWidgets();
        EXPECT_TRUE(container.children().isEmpty());
        session.updateRxCodecStats(report);
        EXPECT_EQ(graph.throughputs.size(), 1u);

        session.setIfcWidget(&container, fakeButtonFactory);
        session.updateRxCodecStats(report);
        EXPECT_EQ(container.children().size(), 2);
    }
    // A session never leaves buttons behind for a connection that is gone.
    EXPECT_TRUE(container.children().isEmpty());
}

}  // namespace
