#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "tests/support/recording_endpoint.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"
#include "tools/codec-sim/codec_endpoint.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using test_support::RecordingEndpoint;
using test_support::ThreadedManager;
using test_support::wait_until;

// A client endpoint as the program's codec sessions set it up: empty user name, no reconnection
// (a test decides itself when to connect again). It also keeps the text of the error that closed
// its connection and the reasons of the frames it dropped, and counts "systemOpts" that arrived
// before the login had succeeded.
class ProgramEndpoint : public RecordingEndpoint {
public:
    ProgramEndpoint() { reconnect_delay_s = 0; }
    std::string getUser() const override { return ""; }

    void on_connection_state() override {
        // The connection closes (and clears its failed flag) before it reports; its error stays.
        if (connection() && connection()->state() == IPCConn::CLOSED && !connection()->error().empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = connection()->error();
        }
        RecordingEndpoint::on_connection_state();
    }
    void handle_unsolicited(const Message& message) override {
        const bool is_options = message.name() == "systemOpts" || message.child_count("systemOpts") != 0;
        if (is_options && authenticated_count() == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++early_options_;
        }
        RecordingEndpoint::handle_unsolicited(message);
    }

    void on_frame_dropped(const IPCDroppedFrame& frame) override {
        std::lock_guard<std::mutex> lock(mutex_);
        drops_.push_back(frame.reason());
    }

    std::string error() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }
    std::vector<std::string> drops() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return drops_;
    }
    int early_options() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return early_options_;
    }

private:
    mutable std::mutex mutex_;
    std::string error_;
    std::vector<std::string> drops_;
    int early_options_ = 0;
};

std::string address_text(const std::string& host, uint16_t port) {
    const bool is_ipv6 = host.find(':') != std::string::npos;
    return (is_ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// Clients of ours on one manager thread, one endpoint per codec port. The endpoints are declared
// first so that the manager (and its loop) is gone before they are destroyed.
class Clients {
public:
    ProgramEndpoint& connect(const std::string& host, uint16_t port, const std::string& password) {
        endpoints_.push_back(std::make_unique<ProgramEndpoint>());
        ProgramEndpoint& endpoint = *endpoints_.back();
        endpoint.password = password;
        const std::string name = "codec" + std::to_string(endpoints_.size());
        manager_.add_endpoint(name, &endpoint);
        manager_.connect("xmls", "stream", IPCAddress(address_text(host, port), 0), name, 0);
        return endpoint;
    }
    void send(ProgramEndpoint& endpoint, const std::string& xml) {
        IPCMutexGuard guard(manager_.get_lock());
        endpoint.send(Message(xml));
    }
    void subscribe(ProgramEndpoint& endpoint, const std::string& name, uint32_t interval_ms) {
        IPCMutexGuard guard(manager_.get_lock());
        endpoint.subscribe(name, interval_ms);
    }
    void unsubscribe(ProgramEndpoint& endpoint, const std::string& name) {
        IPCMutexGuard guard(manager_.get_lock());
        endpoint.unsubscribe(name);
    }
    int version(ProgramEndpoint& endpoint) {
        IPCMutexGuard guard(manager_.get_lock());
        return endpoint.version();
    }

private:
    std::vector<std::unique_ptr<ProgramEndpoint>> endpoints_;
    ThreadedManager manager_;
};

bool has_response(const ProgramEndpoint& endpoint, const std::string& seq, Message* out = nullptr) {
    for (const Message& reply : endpoint.responses()) {
        if (reply.attributes().get_string("seq", "") != seq) continue;
        if (out) *out = reply;
        return true;
    }
    return false;
}

// Unsolicited frames whose "id" is `id` (for "unso": whose child is named `child`).
std::vector<Message> reports(const ProgramEndpoint& endpoint, const std::string& id, const std::string& child = {}) {
    std::vector<Message> found;
    for (const Message& message : endpoint.unsolicited()) {
        if (message.attributes().get_string("id", "") != id) continue;
        if (!child.empty() && message.child_count(child) == 0) continue;
        found.push_back(message);
    }
    return found;
}

std::vector<Message> frames_named(const ProgramEndpoint& endpoint, const std::string& name) {
    std::vector<Message> found;
    for (const Message& message : endpoint.unsolicited()) {
        if (message.name() == name) found.push_back(message);
    }
    return found;
}

// The "active" attribute of peer `id` in the newest pushed peer list; "" when there is none.
std::string pushed_peer_state(const ProgramEndpoint& endpoint, const std::string& id) {
    const std::vector<Message> lists = reports(endpoint, "unso", "peerList");
    if (lists.empty()) return {};
    const Message& list = lists.back().get_child("peerList", 0);
    for (int row = 0; row < list.size(); ++row) {
        const Message& peer = list.get_child(row);
        if (peer.attributes().get_string("id", "") == id) {
            return peer.attributes().get_string("active", "false");
        }
    }
    return {};
}

std::string temp_path(const std::string& name) {
    const std::string path = ::testing::TempDir() + "codec_sim_test_" + name;
    std::remove(path.c_str());
    return path;
}

// The start-up requests a session sends after login, in its order (versioned codec).
const char* const kStartUpRequests[] = {
    "<getChannelList seq=\"channelList\"/>",
    "<getChannelOpts seq=\"channelOpts\"/>",
    "<getProfileList seq=\"profileList\"/>",
    "<getCodecList seq=\"codecList\"/>",
    "<getPeerList seq=\"peerList\"/>",
    "<getDirectoryServer seq=\"directoryServer\"/>",
    "<getSysOptions seq=\"sysOptions\"/>",
    "<getEventLog clear=\"false\" detail=\"true\" seq=\"eventLog\"/>",
    "<cfgDescribe path=\"netmgr.tunnel\" seq=\"braidlinkSettings\"/>",
    "<cfgGetStatus path=\"netmgr.tunnel\" seq=\"tunnelStatus\"/>",
};
// Then one subscription per name, then "getVersion".
const char* const kStartUpSubscriptions[] = {
    "peer_stats",
    "channel_stats",
    "tun_conns",
    "tun_stats",
    "power",
    "version",
    "metering",
    "cfgStatus:netmgr.tunnel",
    "cfgData:netmgr.tunnel.*",
};

TEST(CodecSim, AnswersTheProgramsStartUpOverBothLoopbackFamilies) {
    for (const char* host : {"127.0.0.1", "::1"}) {
        CodecSimOptions options;
        options.host = host;
        CodecSim fleet(options);
        Clients clients;
        ProgramEndpoint& codec = clients.connect(host, fleet.ports()[0], "tarnel");
        ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; })) << host;

        for (const char* request : kStartUpRequests) clients.send(codec, request);
        for (const char* name : kStartUpSubscriptions) {
            clients.subscribe(codec, name, std::string(name) == "metering" ? 67 : 0);
        }
        clients.send(codec, "<getVersion seq=\"version\"/>");

        std::vector<std::string> seqs = {"version"};
        for (const char* request : kStartUpRequests) {
            seqs.push_back(Message(request).attributes().get_string("seq", ""));
        }
        for (const std::string& seq : seqs) {
            Message reply;
            ASSERT_TRUE(wait_until([&] { return has_response(codec, seq, &reply); })) << host << " " << seq;
            EXPECT_FALSE(reply.attributes().has("fail")) << host << " " << seq;
        }
        Message event_log;
        has_response(codec, "eventLog", &event_log);
        ASSERT_GT(event_log.child_count("e"), 0u) << host;
        EXPECT_FALSE(event_log.get_child("e", 0).value().to_string().empty()) << host;

        ASSERT_EQ(reports(codec, "unso", "systemOpts").size(), 1u) << host;
        EXPECT_GT(reports(codec, "unso", "systemOpts")[0].get_child("systemOpts", 0).child_count("option"), 0u);
        EXPECT_EQ(codec.early_options(), 0) << host;
        ASSERT_TRUE(wait_until([&] { return reports(codec, "metering", "metering").size() >= 3; })) << host;
        EXPECT_TRUE(reports(codec, "metering")[0].get_child(0).attributes().has("rmlf"));
    }
}

TEST(CodecSim, NoLoginModeAdmitsOnTheGreetingAndThenSendsTheOptions) {
    CodecSimOptions options;
    options.mode = CodecSimMode::kNoLogin;
    options.host = "::1";  // a peer the library alone would challenge
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& codec = clients.connect("::1", fleet.ports()[0], "");
    ASSERT_TRUE(wait_until([&] { return reports(codec, "unso", "systemOpts").size() == 1; }));
    EXPECT_EQ(codec.authenticated_count(), 1);
    EXPECT_EQ(codec.early_options(), 0);
}

struct RefusalCase {
    const char* name;
    CodecSimMode mode;
    const char* password;
};
const RefusalCase kRefusals[] = {
    {"wrong password", CodecSimMode::kNormal, "tarnel2"},
    {"refuse mode", CodecSimMode::kRefuse, "tarnel"},
};

TEST(CodecSim, RefusedLoginFailsOnceWithoutAnotherAttempt) {
    for (const RefusalCase& c : kRefusals) {
        CodecSimOptions options;
        options.mode = c.mode;
        options.record_path = temp_path("refusal");
        CodecSim fleet(options);
        Clients clients;
        ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], c.password);
        ASSERT_TRUE(wait_until([&] { return codec.auth_failed_count() == 1; })) << c.name;
        // The client reports its closed connection after the socket is gone, so the codec may let
        // go of its peer first.
        ASSERT_TRUE(wait_until([&] { return fleet.peer_count() == 0 && !codec.error().empty(); })) << c.name;

        EXPECT_EQ(codec.auth_failed_count(), 1) << c.name;
        EXPECT_EQ(codec.authenticated_count(), 0) << c.name;
        EXPECT_EQ(codec.error(), "authentication failure") << c.name;
        std::ifstream record(options.record_path);
        int logins = 0;
        for (std::string line; std::getline(record, line);) {
            logins += line.find(" <login ") != std::string::npos;
        }
        EXPECT_EQ(logins, 1) << c.name;
    }
}

TEST(CodecSim, LegacyCodecIsReachedThroughTheUnversionedDialect) {
    CodecSimOptions options;
    options.mode = CodecSimMode::kLegacy;
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; }));
    EXPECT_EQ(clients.version(codec), 0);
    // Everything arrives under its own name, without the "unso" wrapper.
    ASSERT_TRUE(wait_until([&] { return frames_named(codec, "systemOpts").size() == 1; }));
    EXPECT_EQ(codec.early_options(), 0);

    clients.send(codec, "<getPeerList seq=\"peerList\"/>");
    ASSERT_TRUE(wait_until([&] { return frames_named(codec, "peerList").size() == 1; }));
    EXPECT_GT(frames_named(codec, "peerList")[0].child_count("peer"), 0u);

    clients.send(codec, "<monitor channelStats=\"true\" meterInterval=\"67\" metering=\"true\" peerStats=\"true\" "
                        "queue=\"false\"/>");
    ASSERT_TRUE(wait_until([&] { return frames_named(codec, "levels").size() >= 2; }));
    EXPECT_TRUE(frames_named(codec, "levels")[0].attributes().has("rmlf"));
    ASSERT_TRUE(wait_until([&] { return !frames_named(codec, "peerStats").empty(); }));
}

TEST(CodecSim, ConnectAndDisconnectPushThePeerListToEveryPeer) {
    CodecSim fleet(CodecSimOptions{});
    Clients clients;
    ProgramEndpoint& operator_a = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ProgramEndpoint& operator_b = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ASSERT_TRUE(wait_until([&] { return operator_a.authenticated_count() + operator_b.authenticated_count() == 2; }));

    clients.send(operator_a, "<connect id=\"1\"/>");
    for (ProgramEndpoint* codec : {&operator_a, &operator_b}) {
        EXPECT_TRUE(wait_until([&] { return pushed_peer_state(*codec, "1") == "true"; }));
    }
    clients.send(operator_a, "<disconnect id=\"1\"/>");
    for (ProgramEndpoint* codec : {&operator_a, &operator_b}) {
        EXPECT_TRUE(wait_until([&] { return pushed_peer_state(*codec, "1") == "false"; }));
    }
}

TEST(CodecSim, UnknownCommandGetsThe404Reply) {
    CodecSim fleet(CodecSimOptions{});
    Clients clients;
    ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; }));
    clients.send(codec, "<frobnicate seq=\"f\"/>");
    Message reply;
    ASSERT_TRUE(wait_until([&] { return has_response(codec, "f", &reply); }));
    EXPECT_EQ(reply.attributes().get_int("error_code", 0), 404);
    EXPECT_EQ(reply.attributes().get_string("error_text", ""), "Unknown Command");
}

TEST(CodecSim, RefusedRequestsFailAndChangeNothing) {
    CodecSimOptions options;
    options.refused_requests = {"connect", "getPeerList"};
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; }));
    clients.send(codec, "<connect id=\"1\"/>");
    clients.send(codec, "<getPeerList seq=\"peerList\"/>");
    clients.send(codec, "<getVersion seq=\"version\"/>");
    ASSERT_TRUE(wait_until([&] { return has_response(codec, "version"); }));
    Message refusal;
    for (const char* seq : {"", "peerList"}) {  // "connect" carries no seq, nor does its answer
        ASSERT_TRUE(has_response(codec, seq, &refusal)) << seq;
        EXPECT_TRUE(refusal.attributes().get_bool("fail", false)) << seq;
        EXPECT_EQ(refusal.attributes().get_int("error_code", 0), CodecEndpoint::kRefusedCode) << seq;
    }
    EXPECT_EQ(pushed_peer_state(codec, "1"), "") << "a refused connect pushes no peer list";
}

// As a real codec: a connect that succeeds gets no answer, only the peer list that shows it.
TEST(CodecSim, UnansweredSuccessesAnswerOnlyTheirRefusals) {
    CodecSimOptions options;
    options.unanswered_successes = {"connect"};
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; }));
    clients.send(codec, "<connect id=\"1\"/>");
    clients.send(codec, "<connect id=\"99\"/>");
    clients.send(codec, "<getVersion seq=\"version\"/>");
    ASSERT_TRUE(wait_until([&] { return has_response(codec, "version"); }));
    std::vector<int> seqless_codes;
    for (const Message& reply : codec.responses()) {
        if (!reply.attributes().has("seq")) seqless_codes.push_back(reply.attributes().get_int("error_code", 0));
    }
    EXPECT_EQ(seqless_codes, std::vector<int>{404}) << "only the connect of a peer it lacks is answered";
    EXPECT_TRUE(wait_until([&] { return pushed_peer_state(codec, "1") == "true"; }));
}

TEST(CodecSim, UnknownReportsEachCarryAnIdOfTheirOwn) {
    CodecSimOptions options;
    options.hostile = {HostileKind::kUnknown};
    options.unknown_report_count = 50;
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    std::set<std::string> ids;
    ASSERT_TRUE(wait_until([&] {
        ids.clear();
        for (const Message& message : codec.unsolicited()) {
            const std::string id = message.attributes().get_string("id", "");
            if (id.rfind("cfgData:setting.", 0) == 0) ids.insert(id);
        }
        return ids.size() == 50;
    }));
    EXPECT_EQ(codec.error(), "");
}

TEST(CodecSim, CloseAfterDropsEveryConnectionOnce) {
    CodecSimOptions options;
    options.count = 2;
    options.close_after_ms = 1000;
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& first = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ProgramEndpoint& second = clients.connect("127.0.0.1", fleet.ports()[1], "tarnel");
    ASSERT_TRUE(wait_until([&] { return fleet.peer_count() == 2; }));
    for (ProgramEndpoint* codec : {&first, &second}) {
        EXPECT_TRUE(wait_until([&] { return codec->error() == "remote disconnect"; })) << codec->error();
    }
    ASSERT_TRUE(wait_until([&] { return fleet.peer_count() == 0; }));

    ProgramEndpoint& later = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    EXPECT_TRUE(wait_until([&] { return later.authenticated_count() == 1; }));
}

TEST(CodecSim, FleetOf256CodecsListensOnDistinctPortsAndAcceptsLogins) {
    CodecSimOptions options;
    options.count = 256;
    CodecSim fleet(options);
    const std::set<uint16_t> distinct(fleet.ports().begin(), fleet.ports().end());
    EXPECT_EQ(distinct.size(), 256u);
    EXPECT_EQ(distinct.count(0), 0u);

    Clients clients;
    std::vector<ProgramEndpoint*> codecs;
    for (size_t index : {0, 1, 97, 128, 200, 255}) {
        codecs.push_back(&clients.connect("127.0.0.1", fleet.ports()[index], "tarnel"));
    }
    for (ProgramEndpoint* codec : codecs) {
        EXPECT_TRUE(wait_until([&] { return codec->authenticated_count() == 1; }));
    }
}

// A codec flooding the program with text still sends only frames the program accepts: each period
// a unit name of the longest length, and its event and burst in the log.
TEST(CodecSim, LongTextsAndLogBurstsComeInFramesTheProgramAccepts) {
    CodecSimOptions options;
    options.long_text_length = CodecSimOptions::kMaxLongText;
    options.log_burst = 1000;
    CodecSim fleet(options);
    Clients clients;
    ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
    ASSERT_TRUE(wait_until([&] { return reports(codec, "unso", "sysOptions").size() >= 2; }));
    for (const Message& push : reports(codec, "unso", "sysOptions")) {
        EXPECT_EQ(push.get_child(0).attributes().get_string("unit_name", "").size(), options.long_text_length);
    }
    clients.send(codec, "<getEventLog seq=\"eventLog\"/>");
    Message log;
    ASSERT_TRUE(wait_until([&] { return has_response(codec, "eventLog", &log); }));
    ASSERT_GT(log.child_count("e"), 1000u);
    EXPECT_EQ(log.get_child("e", log.child_count("e") - 1001).value().to_string().size(), options.long_text_length);
    EXPECT_EQ(codec.error(), "");
}

// The milliseconds from each level report the codec sent to the next ("sent_us"; a versioned peer's
// levels come in a child, a legacy peer's bare).
std::vector<double> level_gaps_ms(const ProgramEndpoint& codec, bool is_legacy) {
    std::vector<double> gaps;
    double last_us = 0;
    for (const Message& report : is_legacy ? frames_named(codec, "levels") : reports(codec, "metering", "metering")) {
        const double sent_us =
            std::stod((is_legacy ? report : report.get_child(0)).attributes().get_string("sent_us", "0"));
        if (last_us > 0) gaps.push_back((sent_us - last_us) / 1000.0);
        last_us = sent_us;
    }
    return gaps;
}

// What the fleet's counts file says: its time in microseconds and the level reports it published.
std::pair<double, double> published_levels(const std::string& path) {
    std::ifstream counts(path);
    double at_us = 0, reports = 0, levels = 0;
    counts >> at_us >> reports >> levels;
    return {at_us, levels};
}

struct PaceCase {
    CodecSimMode mode;
    int meter_ms;          // the fleet's fastest pace
    uint32_t interval_ms;  // what the peer asks for; 0: no interval
    int expected_ms;       // the pace the reports must keep
};
const PaceCase kPaces[] = {
    {CodecSimMode::kNormal, 20, 150, 150},  // slower than the fleet's pace
    {CodecSimMode::kNormal, 150, 20, 150},  // faster
    {CodecSimMode::kNormal, 150, 0, 150},   // no interval
    {CodecSimMode::kLegacy, 20, 150, 150},  // through "monitor"
};

// Levels come at the interval a peer asks for, never faster than the fleet measures them, as the
// counts file tells too; asked for none, they stop. (How late a loaded machine lets them come is no
// fault of the pace chosen.)
TEST(CodecSim, LevelsComeAtTheIntervalAskedAndNeverFasterThanTheMeterPace) {
    for (const PaceCase& c : kPaces) {
        const bool is_legacy = c.mode == CodecSimMode::kLegacy;
        SCOPED_TRACE(std::to_string(c.meter_ms) + " " + std::to_string(c.interval_ms) + (is_legacy ? " legacy" : ""));
        CodecSimOptions options;
        options.mode = c.mode;
        options.meter_ms = c.meter_ms;
        options.stamps_reports = true;
        options.counts_path = temp_path("counts");
        CodecSim fleet(options);
        Clients clients;
        ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
        ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; }));
        if (is_legacy) {
            clients.send(codec, "<monitor meterInterval=\"" + std::to_string(c.interval_ms) + "\" metering=\"true\"/>");
        } else {
            clients.subscribe(codec, "metering", c.interval_ms);
        }
        ASSERT_TRUE(wait_until([&] { return level_gaps_ms(codec, is_legacy).size() >= 6; }));
        for (const double gap : level_gaps_ms(codec, is_legacy)) EXPECT_GE(gap, c.expected_ms);

        if (is_legacy) {
            clients.send(codec, "<monitor metering=\"false\"/>");
        } else {
            clients.unsubscribe(codec, "metering");
        }
        // Answered in order: every level report sent before the codec took the request is in by then.
        clients.send(codec, "<getVersion seq=\"version\"/>");
        ASSERT_TRUE(
            wait_until([&] { return has_response(codec, "version") || !frames_named(codec, "version").empty(); }));
        const size_t received = level_gaps_ms(codec, is_legacy).size() + 1;
        double stopped_us = 0;
        ASSERT_TRUE(wait_until([&] {
            const auto [at_us, published] = published_levels(options.counts_path);
            stopped_us = at_us;
            return published >= received;
        }));
        // Three periods of the fleet's clock go by without another report.
        ASSERT_TRUE(wait_until(
            [&] { return published_levels(options.counts_path).first > stopped_us + 3000.0 * c.expected_ms; }));
        EXPECT_EQ(level_gaps_ms(codec, is_legacy).size() + 1, received);
    }
}

struct OptionsCase {
    const char* name;
    int count;
    uint16_t base_port;
    const char* host;
};
// Each must be refused before anything listens.
const OptionsCase kRefusedOptions[] = {
    {"routable host", 1, 0, "192.0.2.1"},
    {"name instead of address", 1, 0, "localhost"},
    {"any address", 1, 0, "0.0.0.0"},
    {"no codecs", 0, 0, "127.0.0.1"},
    {"too many codecs", CodecSimOptions::kMaxCount + 1, 0, "127.0.0.1"},
    {"ports past 65535", 100, 65500, "127.0.0.1"},
};

// Each must be refused too.
const int kRefusedMeterPaces[] = {0, -5, CodecSimOptions::kMaxMeterMs + 1};

TEST(CodecSim, RefusesOptionsThatCannotBeServed) {
    for (const OptionsCase& c : kRefusedOptions) {
        CodecSimOptions options;
        options.count = c.count;
        options.base_port = c.base_port;
        options.host = c.host;
        try {
            CodecSim fleet(options);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()).rfind("CodecSim: ", 0), 0u) << c.name << ": " << e.what();
        }
    }
    for (const int meter_ms : kRefusedMeterPaces) {
        CodecSimOptions options;
        options.meter_ms = meter_ms;
        EXPECT_NE(options.check(), "") << meter_ms;
    }
    CodecSimOptions late;
    late.answer_after_ms = -1;
    EXPECT_EQ(late.check(), "negative time");
    CodecSimOptions wide;
    wide.channels = CodecModel::kMaxChannels + 1;
    EXPECT_NE(wide.check(), "");
    CodecSimOptions crowded;
    crowded.peers = static_cast<int>(CodecModel::kMaxPeers) + 1;
    EXPECT_EQ(crowded.check(), "peers 1025 is outside 0..1024");
}

TEST(CodecSim, PortInUseIsRefusedAndNothingIsLeftListening) {
    CodecSimOptions options;
    for (int attempt = 0; attempt < 20; ++attempt) {
        CodecSim taken(CodecSimOptions{});
        options.count = 1;
        options.base_port = static_cast<uint16_t>(taken.ports()[0] - 1);
        try {
            CodecSim probe(options);  // the port below must be free to begin with
        } catch (const Exception&) {
            continue;
        }
        options.count = 2;  // the second codec collides with `taken`
        EXPECT_THROW(CodecSim refused(options), Exception);
        options.count = 1;  // the first codec of the refused fleet has let its port go
        EXPECT_NO_THROW(CodecSim again(options));
        return;
    }
    GTEST_SKIP() << "no free port next to a taken one";
}

struct HostileCase {
    HostileKind kind;
    const char* drop;    // the start of the reason our client drops a frame for; null when none
    const char* report;  // "id" of the reports that arrive; null when none is expected
    const char* child;   // for "unso": the name of their child
    size_t report_count;
};
// What our client makes of each kind of hostile frame from a codec: it drops the bad ones alone.
const HostileCase kHostileCases[] = {
    {HostileKind::kChildless, nullptr, "peer_stats", "", 1},
    {HostileKind::kFlood, nullptr, "metering", "", CodecEndpoint::kFloodReports},
    {HostileKind::kUtf8, nullptr, "unso", "peerList", 1},  // its bytes outside UTF-8 read as Latin-1
    {HostileKind::kNul, "frame unreadable: read_xml_element: Premature end of document", nullptr, "", 0},
    {HostileKind::kDepth, "frame unreadable: read_xml_element: Nesting deeper than 256 levels", nullptr, "", 0},
    {HostileKind::kTag, "frame unreadable: read_xml_element: Opening and ending tag mismatch", nullptr, "", 0},
    {HostileKind::kOversize, "frame too large: 3145728 bytes", nullptr, "", 0},
    {HostileKind::kSwallowedPings, "frame too large: 3145", nullptr, "", 0},  // the second ping's answer in it
};

TEST(CodecSim, HostileFramesReachThePeerAfterLoginAndCostOnlyThemselves) {
    for (const HostileCase& c : kHostileCases) {
        CodecSimOptions options;
        options.hostile = {c.kind};
        CodecSim fleet(options);
        Clients clients;
        ProgramEndpoint& codec = clients.connect("127.0.0.1", fleet.ports()[0], "tarnel");
        ASSERT_TRUE(wait_until([&] { return codec.authenticated_count() == 1; })) << int(c.kind);
        if (c.report) {
            EXPECT_TRUE(wait_until([&] { return reports(codec, c.report, c.child).size() == c.report_count; }))
                << int(c.kind);
        }
        for (int ping = 0; c.kind == HostileKind::kSwallowedPings && ping < 2; ++ping)
            clients.send(codec, "<ping seq=\"ping\"/>");
        if (c.drop) {
            ASSERT_TRUE(wait_until([&] { return !codec.drops().empty(); })) << int(c.kind);
            EXPECT_EQ(codec.drops()[0].rfind(c.drop, 0), 0u) << int(c.kind) << ": " << codec.drops()[0];
        }
        // The connection reads on: a request sent after them is answered.
        clients.send(codec, "<getVersion seq=\"version\"/>");
        EXPECT_TRUE(wait_until([&] { return has_response(codec, "version"); })) << int(c.kind);
        EXPECT_EQ(codec.error(), "") << int(c.kind);
        EXPECT_EQ(codec.states(), std::vector<int>({IPCConn::CLOSED, IPCConn::CONNECTING, IPCConn::CONNECTED}))
            << int(c.kind);
    }
}

}  // namespace
