#include <gtest/gtest.h>

#include <QMap>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/tunnel_info.h"
#include "tests/sessions/tunnel_test_fakes.h"

namespace {

using tunnel_test::fakeButtonFactory;
using tunnel_test::labels;
using tunnel_test::xml;

// The codec session as far as the tunnel model sees it: a reply cache that hands out the reports
// it holds, never copies, and the three tunnel signals, raised after the report is stored, as the
// session's report slots do.
class FakeCodecSession : public QObject {
    Q_OBJECT

public:
    std::shared_ptr<const Message> shared_cached_message(const QString& name) { return cache.value(name); }

    void store(const std::string& name, const std::string& report) {
        cache[QString::fromStdString(name)] = std::make_shared<const Message>(xml(report));
    }

    void deliver(const std::string& name, const std::string& report) {
        store(name, report);
        signal(name);
    }

    // The report's signal once more, as when several were queued before the first was handled.
    void signal(const std::string& name) {
        if (name == "tun_stats") emit recvTunStats(key);
        if (name == "tun_conns") emit recvTunConns(key);
        if (name == "tunnelStatus") emit recvTunnelStatus(key);
    }

    QMap<QString, std::shared_ptr<const Message>> cache;
    const QUuid key = QUuid::createUuid();

signals:
    void recvTunConns(QUuid);
    void recvTunStats(QUuid);
    void recvTunnelStatus(QUuid);
};

// Every signal of the model, in the order raised.
class Recorder {
public:
    explicit Recorder(TunnelInfo& model) {
        QObject::connect(&model, &TunnelInfo::sessionCreate, [this](int sid) { add("create", sid); });
        QObject::connect(&model, &TunnelInfo::sessionDestroy, [this](int sid) { add("destroy", sid); });
        QObject::connect(&model, &TunnelInfo::sessionDelayUpdate, [this](int sid) { add("delay", sid); });
        QObject::connect(&model, &TunnelInfo::sessionStatsUpdate, [this](int sid) { add("stats", sid); });
        QObject::connect(&model, &TunnelInfo::braidlinkStatus,
                         [this](const QString& colour) { events.push_back(colour.toStdString()); });
        QObject::connect(&model, &TunnelInfo::connsChanged, [this] { events.push_back("conns"); });
    }

    std::vector<std::string> take() {
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }

private:
    void add(const char* what, int sid) { events.push_back(std::string(what) + " " + std::to_string(sid)); }

    std::vector<std::string> events;
};

struct Report {
    const char* name;
    const char* xml;
};

// A sequence of reports, the signals the last one raises and the session left current (-1: none).
// Vectors: the tunnel model's edge cases and lifecycle table, and the decided mends (a status
// without "node" is ignored; a listed current session is kept among several).
struct SequenceCase {
    const char* name;
    std::vector<Report> reports;
    std::vector<std::string> lastEvents;
    int sessionSid;
};

const char* const kStats7 =
    R"(<unso><stats><sess sid="7" addr="10.1.1.1" dm="100"><conn li="3" ri="5"/></sess></stats></unso>)";
const char* const kStats8 = R"(<unso><stats><sess sid="8" dm="50"><conn li="1" ri="1"/></sess></stats></unso>)";

const std::vector<SequenceCase>& sequenceCases() {
    static const std::vector<SequenceCase> cases = {
        {"first statistics", {{"tun_stats", kStats7}}, {"create 7", "delay 7", "stats 7", "green"}, 7},
        {"same statistics again", {{"tun_stats", kStats7}, {"tun_stats", kStats7}}, {"green"}, 7},
        {"another sid",
         {{"tun_stats", kStats7}, {"tun_stats", kStats8}},
         {"destroy 7", "conns", "create 8", "delay 8", "stats 8", "green"},
         8},
        {"empty stats",
         {{"tun_stats", kStats7}, {"tun_stats", "<unso><stats/></unso>"}},
         {"destroy 7", "conns", "gray"},
         -1},
        {"empty stats, no session", {{"tun_stats", "<unso><stats/></unso>"}}, {"gray"}, -1},
        {"two stats children", {{"tun_stats", kStats7}, {"tun_stats", "<unso><stats/><stats/></unso>"}}, {}, 7},
        {"connections", {{"tun_conns", R"(<unso><conns><sess sid="7" active="true"/></conns></unso>)"}}, {"conns"}, -1},
        {"connections without conns", {{"tun_conns", "<unso><sess/></unso>"}}, {}, -1},
        {"status, one active idle session",
         {{"tunnelStatus", R"(<resp><node><sess sid="4" active="true" active_conns="0"/></node></resp>)"}},
         {"create 4"},
         4},
        {"status, two idle sessions",
         {{"tunnelStatus", R"(<resp><node><sess sid="4" active="true"/><sess sid="5" active="true"/></node></resp>)"}},
         {},
         -1},
        {"status, first session with connections",
         {{"tunnelStatus", R"(<resp><node><sess sid="4" active="true"/><sess sid="5" active="true" active_conns="2"/>)"
                           R"(<sess sid="6" active="true" active_conns="1"/></node></resp>)"}},
         {"create 5"},
         5},
        {"status, inactive",
         {{"tunnelStatus", R"(<resp><node><sess sid="4" active_conns="3"/></node></resp>)"}},
         {},
         -1},
        {"status never replaces",
         {{"tun_stats", kStats7},
          {"tunnelStatus", R"(<resp><node><sess sid="9" active="true" active_conns="3"/></node></resp>)"}},
         {},
         7},
        {"failed status with a node",
         {{"tunnelStatus", R"(<resp fail="true"><node><sess sid="4" active="true"/></node></resp>)"}},
         {"create 4"},
         4},
        {"failed status", {{"tunnelStatus", R"(<resp fail="true"/>)"}}, {}, -1},
        {"status without a node", {{"tun_stats", kStats7}, {"tunnelStatus", R"(<resp seq="tunnelStatus"/>)"}}, {}, 7},
        {"listed current session among several",
         {{"tun_stats", kStats7},
          {"tun_stats", R"(<unso><stats><sess sid="8" dm="1"/><sess sid="7" dm="100"><conn li="3" ri="5"/></sess>)"
                        R"(<sess sid="9"/></stats></unso>)"}},
         {"green"},
         7},
        {"unlisted current session among several",
         {{"tun_stats", kStats7}, {"tun_stats", R"(<unso><stats><sess sid="8"/><sess sid="9" d="3"/></stats></unso>)"}},
         {"destroy 7", "conns", "create 9", "delay 9", "green"},
         9},
    };
    return cases;
}

TEST(TunnelInfo, ReportsCreateUpdateAndDestroyTheSession) {
    for (const auto& c : sequenceCases()) {
        FakeCodecSession codec;
        TunnelInfo model(&codec);
        Recorder recorder(model);
        for (const Report& report : c.reports) {
            recorder.take();
            codec.deliver(report.name, report.xml);
        }
        EXPECT_EQ(recorder.take(), c.lastEvents) << c.name;
        EXPECT_EQ(model.session() ? model.session()->sid() : -1, c.sessionSid) << c.name;
    }
}

// Figures inside "stats" and the colour they give: rates in tenths of a percent, over 100 is red,
// throttling either way is yellow (the tunnel model's status table and edge cases).
struct ColourCase {
    const char* stats;
    const char* colour;
};

const ColourCase kColours[] = {
    {R"(<sess pl="100" plt="100" rpl="100" rplt="100"/>)", "green"},
    {R"(<sess pl="101"/>)", "red"},
    {R"(<sess plt="101"/>)", "red"},
    {R"(<sess rpl="101"/>)", "red"},
    {R"(<sess rplt="101"/>)", "red"},
    {R"(<sess pl="-500"/>)", "green"},
    // The transmit rates reach the session that the same report creates.
    {R"(<codec><enc nbr="64000" tbr="32000"/></codec><sess pl="100"/>)", "yellow"},
    {R"(<sess><codec><enc nbr="64000" tbr="32000"/></codec></sess>)", "yellow"},
    {R"(<codec><enc nbr="64000" tbr="64000"/></codec><sess/>)", "green"},
    {R"(<codec><enc nbr="64000" tbr="32000"/></codec><sess rplt="101"/>)", "red"},
};

TEST(TunnelInfo, StatusColourFollowsLossLateAndThrottling) {
    for (const auto& c : kColours) {
        FakeCodecSession codec;
        TunnelInfo model(&codec);
        QString colour;
        QObject::connect(&model, &TunnelInfo::braidlinkStatus, [&colour](const QString& value) { colour = value; });
        codec.deliver("tun_stats", std::string("<unso><stats>") + c.stats + "</stats></unso>");
        EXPECT_EQ(colour.toStdString(), c.colour) << c.stats;
    }
}

TEST(TunnelInfo, ConnectionReportsCountSessionsAndUpdateTheCurrentOne) {
    FakeCodecSession codec;
    TunnelInfo model(&codec);
    Recorder recorder(model);
    const char* one =
        R"(<unso><conns><sess sid="7" state="up"><conn li="3" ri="5" rdesc="wan1"/></sess></conns></unso>)";
    for (const char* report : {one, one, R"(<unso><conns><sess/><sess/></conns></unso>)"})
        codec.deliver("tun_conns", report);
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"conns", "conns"}));
    EXPECT_EQ(model.connSessionCount(), 2);

    codec.deliver("tun_stats", kStats7);
    codec.deliver("tun_conns", one);
    EXPECT_EQ(model.session()->state, "up");
    EXPECT_EQ(model.session()->connections().at("3:5")->rdesc, "wan1");

    codec.store("tunnelStatus", R"(<unso><sess sid="7" state="ok"/></unso>)");
    model.handleUnsoTunnelStatus(QUuid());
    EXPECT_EQ(model.session()->state, "ok");
}

TEST(TunnelInfo, ConstructionReadsWhatIsAlreadyCached) {
    FakeCodecSession codec;
    codec.store("tun_stats", kStats7);
    TunnelInfo model(&codec);
    ASSERT_NE(model.session(), nullptr);
    EXPECT_EQ(model.session()->max_allowed_delay_tx, 100);
}

TEST(TunnelInfo, SessionIsStillCurrentWhileItsDestructionIsAnnounced) {
    FakeCodecSession codec;
    TunnelInfo model(&codec);
    QObject container;
    int announcedSid = -1;
    QObject::connect(&model, &TunnelInfo::sessionCreate,
                     [&] { model.session()->setIfcWidget(&container, fakeButtonFactory); });
    QObject::connect(&model, &TunnelInfo::sessionDestroy, [&] {
        announcedSid = model.session()->sid();
        model.session()->clearIfcWidgets();
    });
    codec.deliver("tun_stats", kStats7);
    codec.deliver("tun_stats", kStats8);
    EXPECT_EQ(announcedSid, 7);
    ASSERT_EQ(labels(container, true).size(), 1u);
    EXPECT_EQ(labels(container, true)[0]->uid, "1:1");

    model.detachSession();
    EXPECT_TRUE(container.children().isEmpty());
}

// Two reports of a kind may arrive before the first signal is handled: the model reads the newer
// at the first and has nothing new at the second. A refresh reads every report again.
TEST(TunnelInfo, AReportIsHandledOnceHoweverOftenItIsSignalled) {
    FakeCodecSession codec;
    TunnelInfo model(&codec);
    QObject container;
    QObject::connect(&model, &TunnelInfo::sessionCreate,
                     [&] { model.session()->setIfcWidget(&container, fakeButtonFactory); });
    Recorder recorder(model);
    codec.deliver("tun_stats", kStats7);
    codec.signal("tun_stats");
    codec.deliver("tun_conns", R"(<unso><conns><sess sid="7"/></conns></unso>)");
    codec.signal("tun_conns");
    codec.deliver("tunnelStatus", R"(<resp><node><sess sid="7" state="up"/></node></resp>)");
    codec.signal("tunnelStatus");
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"create 7", "delay 7", "stats 7", "green", "conns"}));
    EXPECT_EQ(model.session()->state, "up");

    model.detachSession();  // as the tunnel page leaves it
    ASSERT_TRUE(container.children().isEmpty());
    model.session()->setIfcWidget(&container, fakeButtonFactory);
    model.refresh();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"stats 7", "green"}));
    EXPECT_EQ(labels(container, true).size(), 1u) << "the buttons are made again";
}

TEST(TunnelInfo, ListenerThatRefreshesInsideAHandlerIsSafe) {
    FakeCodecSession codec;
    TunnelInfo model(&codec);
    QObject::connect(&model, &TunnelInfo::sessionDestroy, [&] { model.refresh(); });
    codec.deliver("tun_stats", kStats7);
    codec.deliver("tun_stats", kStats8);
    EXPECT_EQ(model.session()->sid(), 8);
}

}  // namespace

#include "tunnel_info_test.moc"
