#include <gtest/gtest.h>

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <array>
#include <climits>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ipc/base/md5.h"
#include "ipc/message/message.h"
#include "sessions/event_log_merger.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/qt_wait.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/session_pool_fixture.h"
#include "tests/support/unplaced_session.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::ScriptedPeer;
using test_support::wait_processing_events;
using State = IQEndpointClient::DEVICE_STATE;

std::string with_nul(const std::string& xml) {
    return xml + '\0';
}

// What the operator is told of a request the link took with it, and why the link ended.
std::string told_of(const QString& request, const FailureEffect& effect) {
    const char* what = effect.kind == FailureEffect::kNoAnswer               ? "no answer"
                       : effect.kind == FailureEffect::kNotConnectedNoAnswer ? "not connected"
                                                                             : "refused";
    return request.toStdString() + " " + what + " " + std::to_string(effect.subjects.value(0).id) +
           (effect.lostLink.kind == ConnectionFault::kNoAnswer ? " past the deadline" : "");
}

// A codec on loopback as far as the session sees it: greets, logs in (with a challenge when one is
// set), answers each request that carries a "seq" and pushes "systemOpts" unless told not to. A
// legacy codec answers "ping" with a bare "pong" and sends its data as bare named messages.
struct Codec {
    bool is_legacy = false;
    bool sends_system_opts = true;
    std::string challenge;                        // empty: no login asked
    std::string password;                         // what the login must prove
    std::mutex mutex;                             // guards the two below
    std::deque<std::string> add_profile_replies;  // attribute texts of the "addProfile" answers
    // When set, the first "setProfile" goes unanswered, and the second gets these answers.
    std::vector<std::string> set_profile_pair_answers;
    int set_profiles = 0;  // "setProfile" requests received
    // Requests (by name) the codec reads and leaves unanswered, as one whose link back is dead.
    std::set<std::string> unanswered;
    std::set<std::string> unreadable;  // answered with a frame the reader refuses
    bool swallows_pings = false;       // every other answer to "ping" goes inside a frame past the limit
    int pings = 0;

    std::string respond(const std::string& frame) {
        Message request;
        request.parse(frame);
        const std::string& name = request.name();
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (unanswered.count(name) != 0) return "";
            if (unreadable.count(name) != 0) return with_nul("<resp><list></resp>");
            if (name == "ping" && swallows_pings && ++pings % 2 == 0)
                return std::string(3 << 20, 'x') + with_nul("<resp seq=\"ping\"/>");  // 3 MiB: past the 2 a peer holds
        }
        const std::string seq = request.attributes().get_string("seq", "");
        const std::string system_opts = is_legacy ? "<systemOpts/>" : "<unso id=\"unso\"><systemOpts/></unso>";
        const std::string push = sends_system_opts ? with_nul(system_opts) : "";
        if (name == "hello") {
            if (is_legacy) return "";
            // With a login, "systemOpts" comes before the login result and must count all the same.
            if (!challenge.empty()) {
                return with_nul("<resp seq=\"hello\" fail=\"true\" error_code=\"401\" challenge=\"" + challenge +
                                "\"/>") +
                       push;
            }
            return with_nul("<resp seq=\"hello\"/>") + push;
        }
        if (name == "ping") return with_nul(is_legacy ? "<pong/>" : "<resp seq=\"ping\"/>");
        if (name == "login") {
            if (is_legacy) return with_nul("<login success=\"true\"/>") + push;
            const bool is_proven =
                request.attributes().get_string("response", "") == ipc_md5_hex_pair(password, challenge);
            return with_nul(is_proven ? "<resp seq=\"login\"/>" : "<resp seq=\"login\" success=\"false\"/>");
        }
        if (is_legacy) {
            if (name.compare(0, 3, "get") != 0 || name.size() < 4) return "";
            std::string report = name.substr(3);
            report[0] = static_cast<char>(report[0] - 'A' + 'a');
            return with_nul("<" + report + (report == "version" ? " build=\"7\"/>" : "/>"));
        }
        if (seq.empty()) return "";
        if (name == "setProfile") {
            std::lock_guard<std::mutex> lock(mutex);
            if (!set_profile_pair_answers.empty() && ++set_profiles <= 2) {
                std::string answers;
                for (const std::string& answer : set_profile_pair_answers) answers += with_nul(answer);
                return set_profiles == 1 ? "" : answers;
            }
        }
        if (name == "addProfile") {
            std::lock_guard<std::mutex> lock(mutex);
            if (add_profile_replies.empty()) return "";
            const std::string attributes = add_profile_replies.front();
            add_profile_replies.pop_front();
            return with_nul("<resp seq=\"addProfile\" " + attributes + "/>");
        }
        // Profile 4 is refused to every peer.
        if (name == "setSysOptions" ||
            (name == "setPeerSettings" && request.attributes().get_string("profile", "") == "4")) {
            return with_nul("<resp seq=\"" + seq + "\" fail=\"true\" error_code=\"7\" error_text=\"busy\"/>");
        }
        return with_nul("<resp seq=\"" + seq + "\"" + (seq == "version" ? " build=\"7\"/>" : "/>"));
    }
};

class IPCObjectTest : public test_support::SessionPoolFixture {
protected:
    void TearDown() override {
        end_session();
        SessionPoolFixture::TearDown();
    }

    // A new session connected to a new scripted codec; `prepare` runs before the connect.
    IPCObject& start(std::function<void(Codec&)> configure = {}, std::function<void(IPCObject&)> prepare = {},
                     bool is_ipv6 = false) {
        end_session();
        channel_opts_count_ = startup_channel_opts_ = version_count_ = marks_ = 0;
        codec_ = std::make_shared<Codec>();
        codec_->password = "secret";
        if (configure) configure(*codec_);
        peer_ = std::make_unique<ScriptedPeer>(is_ipv6);
        peer_->set_responder([codec = codec_](const std::string& frame) { return codec->respond(frame); });
        session_ = place_session();
        QObject::connect(session_, &IPCObject::recvChannelOpts, [this] { ++channel_opts_count_; });
        QObject::connect(session_, &IPCObject::recvVersion, [this] { ++version_count_; });
        told_.clear();
        QObject::connect(session_, &IPCObject::requestFailed,
                         [this](QUuid, const QString& request, const QString&, const QString&,
                                const FailureEffect& effect) { told_.push_back(told_of(request, effect)); });
        if (prepare) prepare(*session_);
        session_->setConnection(is_ipv6 ? "::1" : "127.0.0.1", peer_->port(), "secret");
        return *session_;
    }

    void end_session() {
        end_sessions();
        peer_.reset();
    }

    bool wait_for_state(State state) {
        return wait_processing_events([&] { return session_ && session_->state() == state; });
    }

    // Waits until everything the codec sent before now has reached the session's slots.
    void sync() {
        const int expected = ++marks_;
        peer_->send(with_nul("<unso id=\"unso\"><channelOpts mark=\"" + std::to_string(expected) + "\"/></unso>"));
        EXPECT_TRUE(wait_processing_events([&] { return channel_opts_count_ >= expected + startup_channel_opts_; }));
    }

    void expect_ready() {
        ASSERT_TRUE(wait_for_state(IQEndpointClient::READY));
        startup_channel_opts_ = channel_opts_count_;
        marks_ = 0;
    }

    // The frames the codec received from `first` on, pings aside; waits until it has `count`.
    std::vector<std::string> frames_from(size_t first, size_t count) {
        std::vector<std::string> commands;
        EXPECT_TRUE(test_support::wait_until([&] {
            commands = peer_->frames();
            commands.erase(commands.begin(), commands.begin() + static_cast<long>(std::min(first, commands.size())));
            commands.erase(std::remove(commands.begin(), commands.end(), "<ping seq=\"ping\"/>"), commands.end());
            return commands.size() >= count;
        }));
        return commands;
    }

    std::shared_ptr<Codec> codec_;
    std::unique_ptr<ScriptedPeer> peer_;
    QPointer<IPCObject> session_;
    int channel_opts_count_ = 0;
    int startup_channel_opts_ = 0;
    int version_count_ = 0;
    int marks_ = 0;
    std::vector<std::string> told_;  // told_of each request failed
};

TEST(IPCObject, NullUuidIsRefused) {
    try {
        test_support::UnplacedSession session(QUuid().toString(), QUuid());
        FAIL() << "constructed";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "IPCObject: a null uuid names no session");
    }
}

struct AddressCase {
    const char* host;
    int port;
    const char* text;  // empty: refused
};
// RFC 3986 §3.2.2 (IPv6 literals in brackets) and the TCP port range 1..65535.
const AddressCase kAddresses[] = {
    {"10.0.0.5", 5000, "10.0.0.5:5000"},
    {"fe80::1", 5004, "[fe80::1]:5004"},
    {"[fe80::1]", 5004, "[fe80::1]:5004"},
    {"::1", 65535, "[::1]:65535"},
    {"10.0.0.5", 1, "10.0.0.5:1"},
    {"10.0.0.5", 0, ""},
    {"10.0.0.5", 65536, ""},
    {"10.0.0.5", -1, ""},
};

TEST(IPCObject, AddressTextBracketsIpv6AndRefusesBadPorts) {
    for (const auto& c : kAddresses) {
        EXPECT_EQ(IPCObject::addressText(c.host, c.port).toStdString(), c.text) << c.host << " " << c.port;
    }
}

TEST_F(IPCObjectTest, ConnectsToAnIpv6Host) {
    start({}, {}, true);
    expect_ready();
}

struct StartupCase {
    const char* label;
    bool is_legacy;
    bool is_event_log_polling;
    bool is_metering_on;
};
const StartupCase kStartups[] = {
    {"subscribing", false, false, true},
    {"subscribing, event log, metering off", false, true, false},
    {"legacy", true, false, true},
    {"legacy, event log, metering off", true, true, false},
};

TEST_F(IPCObjectTest, StartupSetGoesOutInOrder) {
    const std::vector<std::string> gets = {
        "<getChannelList seq=\"channelList\"/>", "<getChannelOpts seq=\"channelOpts\"/>",
        "<getProfileList seq=\"profileList\"/>", "<getCodecList seq=\"codecList\"/>",
        "<getPeerList seq=\"peerList\"/>",       "<getDirectoryServer seq=\"directoryServer\"/>",
        "<getSysOptions seq=\"sysOptions\"/>",
    };
    const char* subscriptions[] = {"peer_stats",
                                   "channel_stats",
                                   "tun_conns",
                                   "tun_stats",
                                   "power",
                                   "version",
                                   "metering\" interval=\"67",
                                   "cfgStatus:netmgr.tunnel",
                                   "cfgData:netmgr.tunnel.*"};
    for (const auto& c : kStartups) {
        start([&](Codec& codec) { codec.is_legacy = c.is_legacy; },
              [&](IPCObject& session) {
                  session.setEventLogPolling(c.is_event_log_polling);
                  session.setMeteringFlag(c.is_metering_on);
              });
        expect_ready();

        std::vector<std::string> expected = gets;
        if (c.is_event_log_polling) {
            expected.push_back("<getEventLog clear=\"false\" detail=\"true\" seq=\"eventLog\"/>");
        }
        if (c.is_legacy) {
            expected.push_back(
                "<monitor channelStats=\"true\" meterInterval=\"67\" metering=\"true\" peerStats=\"true\" "
                "queue=\"false\"/>");
        } else {
            expected.push_back("<cfgDescribe path=\"netmgr.tunnel\" seq=\"braidlinkSettings\"/>");
            expected.push_back("<cfgGetStatus path=\"netmgr.tunnel\" seq=\"tunnelStatus\"/>");
            for (const char* id : subscriptions) {
                // Metering switched off asks for no levels.
                if (!c.is_metering_on && std::string(id).rfind("metering", 0) == 0) continue;
                expected.push_back(std::string("<subscribe seq=\"internal\"><sub id=\"") + id + "\"/></subscribe>");
            }
        }
        expected.push_back("<getVersion seq=\"version\"/>");
        if (!c.is_metering_on) expected.push_back("<monitor metering=\"false\"/>");

        const size_t handshake = c.is_legacy ? 3 : 2;  // hello, ping and the legacy login
        EXPECT_EQ(frames_from(handshake, expected.size()), expected) << c.label;
    }
}

struct LoginCase {
    const char* password;
    State outcome;
};
const LoginCase kLogins[] = {{"secret", IQEndpointClient::READY}, {"wrong", IQEndpointClient::AUTH_FAILED}};

TEST_F(IPCObjectTest, LoginProvesThePassword) {
    for (const auto& c : kLogins) {
        start([&](Codec& codec) {
            codec.challenge = "c0ffee";
            codec.password = c.password;
        });
        EXPECT_TRUE(wait_for_state(c.outcome)) << c.password;
    }
}

// The report the codec sends unasked after its login lost (a dropped frame may eat it): with every
// answer in and nothing left to ask, the link is dropped at the deadline, so that a new login
// brings it, rather than waiting for ever.
TEST_F(IPCObjectTest, ALoginWhoseOwnReportNeverComesIsDroppedAtTheDeadline) {
    IPCObject& session = start([](Codec& codec) { codec.sends_system_opts = false; },
                               [](IPCObject& each) { each.set_answer_deadline_us(2'000'000); });
    ASSERT_TRUE(wait_for_state(IQEndpointClient::AUTHENTICATED));
    ASSERT_TRUE(wait_processing_events([&] { return session.state() == IQEndpointClient::DISCONNECTED; },
                                       test_support::give_up_after(std::chrono::seconds(30))));
    EXPECT_EQ(session.lastFault(), (ConnectionFault{ConnectionFault::kNoAnswer, "systemOpts", 0}));
}

TEST_F(IPCObjectTest, ReadyOnlyOnceSystemOptsIsInAndCommandsBeforeAreDropped) {
    IPCObject& session = start([](Codec& codec) { codec.sends_system_opts = false; });
    QObject context;  // ends the connection below before `readies` goes
    int readies = 0;
    QObject::connect(&session, &IPCObject::changedState, &context,
                     [&](QUuid, State state) { readies += state == IQEndpointClient::READY ? 1 : 0; });
    ASSERT_TRUE(wait_processing_events([&] { return version_count_ == 1; }));
    startup_channel_opts_ = channel_opts_count_;
    sync();
    EXPECT_EQ(session.state(), IQEndpointClient::AUTHENTICATED);
    EXPECT_EQ(readies, 0);

    session.cmd_connect("12");
    session.cmd_metering_off();
    EXPECT_FALSE(session.meteringOn) << "the choice is kept for the next start-up set";

    peer_->send(with_nul("<unso id=\"unso\"><systemOpts/></unso>"));
    ASSERT_TRUE(wait_processing_events([&] { return readies == 1; }));
    EXPECT_EQ(session.state(), IQEndpointClient::READY);
    const size_t before = peer_->frames().size();
    session.cmd_connect("13");
    EXPECT_EQ(frames_from(before, 1), std::vector<std::string>{"<connect id=\"13\"/>"});
    for (const std::string& frame : peer_->frames()) {
        EXPECT_NE(frame, "<connect id=\"12\"/>");
        EXPECT_NE(frame, "<monitor metering=\"false\"/>");
    }
}

struct CommandCase {
    std::function<void(IPCObject&)> command;
    const char* frame;
};

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

TEST_F(IPCObjectTest, CommandsOnTheWire) {
    const CommandCase cases[] = {
        {[](IPCObject& s) { s.cmd_connect("12"); }, "<connect id=\"12\"/>"},
        {[](IPCObject& s) { s.cmd_disconnect(12); }, "<disconnect id=\"12\"/>"},
        // Reading switched on: the log at once, not at the next poll.
        {[](IPCObject& s) { s.setEventLogPolling(true); },
         "<getEventLog clear=\"false\" detail=\"true\" seq=\"eventLog\"/>"},
        {[](IPCObject& s) { s.cmd_get_event_log_noreply(); }, "<getEventLog clear=\"true\" detail=\"false\"/>"},
        {[](IPCObject& s) {
             s.cmd_set_profile(parsed("<profile id=\"3\" name=\"A\"><audio rate=\"48000\"/></profile>"));
         },
         "<setProfile id=\"3\" name=\"A\" seq=\"setProfile\"><audio rate=\"48000\"/></setProfile>"},
        {[](IPCObject& s) { s.cmd_add_new_profile(); }, "<addProfile><settings name=\"New Profile...\"/></addProfile>"},
        {[](IPCObject& s) { s.cmd_copy_profile(4, "B"); }, "<copyProfile id=\"4\" name=\"B\"/>"},
        {[](IPCObject& s) { s.cmd_delete_profile(4); }, "<deleteProfile id=\"4\"/>"},
        {[](IPCObject& s) { s.cmd_add_peer_bdlink("P", "10.0.0.9", "pw", "u7"); },
         "<addPeer addr=\"10.0.0.9\" name=\"P\" password=\"pw\" seq=\"addPeer\" unit=\"u7\" "
         "use_bdlink=\"true\"/>"},
        // A peer list that spells the fields "pw" and "bdlink".
        {[](IPCObject& s) {
             s.cmd_add_peer_meta(parsed("<peer addr=\"10.0.0.9\" name=\"P\" pw=\"x\" bdlink=\"true\"/>"));
         },
         "<addPeer addr=\"10.0.0.9\" name=\"P\" password=\"x\" seq=\"addPeer\" unit=\"\" use_bdlink=\"true\"/>"},
        {[](IPCObject& s) { s.cmd_remove_peer(9); }, "<removePeer id=\"9\"/>"},
        {[](IPCObject& s) { s.cmd_set_peer_settings(9, 3); },
         "<setPeerSettings id=\"9\" profile=\"3\" seq=\"setPeerSettings\"/>"},
        {[](IPCObject& s) { s.cmd_metering_on(); }, "<monitor meterInterval=\"67\" metering=\"true\"/>"},
    };
    IPCObject& session = start();
    expect_ready();
    for (const auto& c : cases) {
        const size_t before = peer_->frames().size();
        c.command(session);
        EXPECT_EQ(frames_from(before, 1).front(), c.frame);
    }
}

TEST_F(IPCObjectTest, MeteringOffIsSentAgainAfterAReconnect) {
    IPCObject& session = start();
    expect_ready();
    session.cmd_metering_off();
    peer_->close_connection();
    ASSERT_TRUE(wait_for_state(IQEndpointClient::DISCONNECTED));
    const size_t before = peer_->frames().size();
    session.scheduleReconnect(0);
    ASSERT_TRUE(wait_for_state(IQEndpointClient::READY));
    const std::vector<std::string> frames = peer_->frames();
    const auto version =
        std::find(frames.begin() + static_cast<long>(before), frames.end(), "<getVersion seq=\"version\"/>");
    ASSERT_TRUE(version != frames.end() && version + 1 != frames.end());
    EXPECT_EQ(*(version + 1), "<monitor metering=\"false\"/>");
}

struct ProfileCopyCase {
    const char* label;
    const char* replies[2];  // attributes of the two "addProfile" answers
    std::vector<std::string> writes;
    bool is_b_held = false;   // B's answer names the id A's answer gave: B is not made
    bool is_b_later = false;  // B goes only once A's write has gone
};

TEST_F(IPCObjectTest, ProfileCopiesAreWrittenUnderTheirOwnNewIds) {
    const ProfileCopyCase cases[] = {
        {"both answered",
         {"id=\"41\"", "id=\"42\""},
         {"<setProfile id=\"41\" name=\"A\" seq=\"setProfile\"/>",
          "<setProfile id=\"42\" name=\"B\" seq=\"setProfile\"/>"}},
        {"first refused",
         {"fail=\"true\" error_code=\"5\" error_text=\"full\" id=\"9\"", "id=\"42\""},
         {"<setProfile id=\"42\" name=\"B\" seq=\"setProfile\"/>"}},
        {"first without id", {"", "id=\"42\""}, {"<setProfile id=\"42\" name=\"B\" seq=\"setProfile\"/>"}},
        {"both given 41", {"id=\"41\"", "id=\"41\""}, {"<setProfile id=\"41\" name=\"A\" seq=\"setProfile\"/>"}, true},
        {"given 41 again after A wrote",
         {"id=\"41\"", "id=\"41\""},
         {"<setProfile id=\"41\" name=\"A\" seq=\"setProfile\"/>"},
         true,
         true},
    };
    for (const auto& c : cases) {
        IPCObject& session = start([&](Codec& codec) { codec.add_profile_replies = {c.replies[0], c.replies[1]}; });
        expect_ready();
        int held = 0;
        QObject context;
        QObject::connect(&session, &IPCObject::requestFailed, &context,
                         [&](QUuid, QString, QString, QString, FailureEffect effect) {
                             held += effect.kind == FailureEffect::kCopyIdHeld;
                         });
        const auto writes = [&] {
            std::vector<std::string> found;
            for (const std::string& frame : peer_->frames()) {
                if (frame.compare(0, 11, "<setProfile") == 0) found.push_back(frame);
            }
            return found;
        };
        session.cmd_add_profile(parsed("<profile id=\"1\" name=\"A\"/>"));
        if (c.is_b_later) {
            ASSERT_TRUE(wait_processing_events([&] { return !writes().empty(); })) << c.label;
        }
        session.cmd_add_profile(parsed("<profile id=\"2\" name=\"B\"/>"));
        // The last write is B's, which follows A's (if any) on the same thread; a held id is told after.
        const int held_expected = c.is_b_held ? 1 : 0;
        EXPECT_TRUE(wait_processing_events([&] { return writes().size() >= c.writes.size() && held == held_expected; }))
            << c.label;
        EXPECT_EQ(writes(), c.writes) << c.label;
    }
}

// A copy's write (to 41) and an edit of profile 3 await their answers, which come in the order
// given: the copy's empty profile is deleted only for a refusal that is surely its write's.
TEST_F(IPCObjectTest, ARefusedProfileWriteIsTakenForTheCopysOnlyWhenSurelyItsOwn) {
    const std::string refusal = "<resp seq=\"setProfile\" fail=\"true\" error_code=\"5\" error_text=\"no\"";
    const std::string accepted = "<resp seq=\"setProfile\"";
    const struct {
        const char* what;
        std::vector<std::string> answers;
        FailureEffect::Kind effect;
        bool is_deleted;
    } cases[] = {
        {"the edit's, named", {refusal + " id=\"3\"/>", accepted + "/>"}, FailureEffect::kNone, false},
        {"the copy's, named", {refusal + " id=\"41\"/>", accepted + "/>"}, FailureEffect::kCopyNotMade, true},
        {"either, unnamed", {refusal + "/>", accepted + "/>"}, FailureEffect::kEmptyProfileMayBeLeft, false},
        {"a name that fits neither",
         {refusal + " id=\"9\"/>", accepted + "/>"},
         FailureEffect::kEmptyProfileMayBeLeft,
         false},
    };
    for (const auto& c : cases) {
        IPCObject& session = start([&](Codec& codec) {
            codec.add_profile_replies = {"id=\"41\""};
            codec.set_profile_pair_answers = c.answers;
        });
        expect_ready();
        std::vector<FailureEffect> effects;
        QObject context;
        QObject::connect(&session, &IPCObject::requestFailed, &context,
                         [&](QUuid, QString, QString, QString, FailureEffect effect) { effects.push_back(effect); });
        const size_t before = peer_->frames().size();
        session.cmd_add_profile(parsed("<profile id=\"1\" name=\"A\"/>"));
        ASSERT_TRUE(wait_processing_events([&] { return peer_->frames().size() >= before + 2; }));
        session.cmd_set_profile(parsed("<profile id=\"3\" name=\"B\"/>"));
        ASSERT_TRUE(wait_processing_events([&] { return !effects.empty(); })) << c.what;
        sync();
        EXPECT_EQ(effects.size(), 1u) << c.what;
        EXPECT_EQ(effects[0].kind, c.effect) << c.what;
        const std::vector<std::string> frames = peer_->frames();
        EXPECT_EQ(std::count(frames.begin(), frames.end(), "<deleteProfile id=\"41\" seq=\"deleteProfile\"/>"),
                  c.is_deleted ? 1 : 0)
            << c.what;
    }
}

struct CacheCase {
    const char* pushed;
    const char* key;
    const char* cached;  // null: nothing stored under the key
};
// Keys: a reply's "seq", else its first child's name; an "unso" wrapper's child alone under its own
// name; a report's "id" with "." and ":" made "_"; childless reports dropped.
const CacheCase kCacheCases[] = {
    {"<resp seq=\"peerList\" n=\"1\"/>", "peerList", "<resp seq=\"peerList\" n=\"1\"/>"},
    {"<resp><codecList n=\"2\"/></resp>", "codecList", "<resp><codecList n=\"2\"/></resp>"},
    {"<unso id=\"unso\"><peerList n=\"3\"/></unso>", "peerList", "<peerList n=\"3\"/>"},
    {"<unso id=\"cfgStatus:netmgr.tunnel\" up=\"1\"/>", "cfgStatus_netmgr_tunnel",
     "<unso id=\"cfgStatus:netmgr.tunnel\" up=\"1\"/>"},
    {"<unso id=\"cfgStatus:netmgr.tunnel\" up=\"2\"/>", "tunnelStatus",
     "<unso id=\"cfgStatus:netmgr.tunnel\" up=\"2\"/>"},
    {"<unso id=\"unso\"/>", "unso", nullptr},
    {"<unso id=\"metering\"/>", "metering", nullptr},
};

TEST_F(IPCObjectTest, ReplyCacheKeys) {
    IPCObject& session = start();
    expect_ready();
    for (const auto& c : kCacheCases) {
        peer_->send(with_nul(c.pushed));
        sync();
        Message cached;
        ASSERT_EQ(session.getCachedMessage(c.key, cached), c.cached != nullptr) << c.pushed;
        if (c.cached) {
            EXPECT_EQ(cached, parsed(c.cached)) << c.pushed;
        }
    }
    EXPECT_EQ(session.state(), IQEndpointClient::READY) << "a malformed report must not drop the connection";
    EXPECT_EQ(peer_->connection_count(), 1);
}

struct MeteringCase {
    bool is_legacy;
    const char* report;
};
const MeteringCase kMeterings[] = {
    {false, "<unso id=\"metering\"><metering rmlf=\"-1.5\" rmrf=\"-2\" tmlf=\"-3\" tmrf=\"-4\" rmls=\"-5\" "
            "rmrs=\"-6\" tmls=\"-7\"/></unso>"},
    {false, "<unso id=\"levels\"><levels rmlf=\"-1.5\" rmrf=\"-2\" tmlf=\"-3\" tmrf=\"-4\" rmls=\"-5\" rmrs=\"-6\" "
            "tmls=\"-7\"/></unso>"},
    {true, "<metering rmlf=\"-1.5\" rmrf=\"-2\" tmlf=\"-3\" tmrf=\"-4\" rmls=\"-5\" rmrs=\"-6\" tmls=\"-7\"/>"},
};

TEST_F(IPCObjectTest, MeteringReadsTheReportOrItsChild) {
    // "tmrs" is missing in every report: it reads as silence, never as full scale.
    const std::vector<float> expected = {-1.5f, -2, -3, -4, -5, -6, -7, IPCObject::kSilenceDb};
    for (const auto& c : kMeterings) {
        IPCObject& session = start([&](Codec& codec) { codec.is_legacy = c.is_legacy; });
        QObject context;
        std::vector<float> levels;
        QObject::connect(&session, &IPCObject::recvAllLevels, &context,
                         [&](float a, float b, float d, float e, float f, float g, float h, float i) {
                             levels = {a, b, d, e, f, g, h, i};
                         });
        expect_ready();
        peer_->send(with_nul(c.report));
        EXPECT_TRUE(wait_processing_events([&] { return !levels.empty(); })) << c.report;
        EXPECT_EQ(levels, expected) << c.report;
    }
}

TEST_F(IPCObjectTest, WarningsAreOncePerKeyAndNameFailures) {
    test_support::CapturedQtMessages messages;
    IPCObject& session = start();
    expect_ready();
    peer_->send(with_nul("<unso id=\"power\"/>") + with_nul("<unso id=\"power\"/>"));
    const size_t before = peer_->frames().size();
    session.cmd_set_unit_name("Studio");
    frames_from(before, 1);  // the refusal is queued at the codec ahead of the mark
    sync();
    EXPECT_EQ(messages.count_warnings("missing callback cb_unso_power"), 1);
    EXPECT_EQ(messages.count_warnings("reply setSysOptions failed: error_code 7, error_text \"busy\""), 1);
}

struct LogNameCase {
    const char* host;
    int port;
    const char* sys_options;  // the cached "sysOptions" answer; null for none yet
    const char* log_name;
};
const LogNameCase kLogNames[] = {
    {"10.0.0.5", 5000, nullptr, "10.0.0.5:5000"},
    {"fe80::1", 5004, "<resp seq=\"sysOptions\" unit_name=\"Studio A\"/>", "[fe80::1]:5004 \"Studio A\""},
    {"10.0.0.5", 5000, "<resp seq=\"sysOptions\"/>", "10.0.0.5:5000 \"unknown\""},  // as the tile shows it
    {"10.0.0.5", 0, nullptr, "10.0.0.5:0"},                                         // never connected to
    // A codec's name cannot break a line or end the quotes early.
    {"10.0.0.5", 5000, "<resp seq=\"sysOptions\" unit_name=\"A&#10;B &quot;C&quot;\"/>",
     "10.0.0.5:5000 \"A\\nB \\\"C\\\"\""},
};

TEST(IPCObject, TheLogNamesASessionByItsAddressAndTheCodecsName) {
    for (const LogNameCase& c : kLogNames) {
        const QUuid uuid = QUuid::createUuid();
        test_support::UnplacedSession session(uuid.toString(), uuid);
        session.setAddress(c.host, c.port);
        if (c.sys_options) session.cache_message(parsed(c.sys_options), "sysOptions");
        EXPECT_EQ(session.log_name().toStdString(), c.log_name);
    }
    const QUuid uuid = QUuid::createUuid();
    test_support::UnplacedSession session(uuid.toString(), uuid);
    session.setAddress("10.0.0.5", 5000);
    const std::string long_name(IPCObject::kMaxLoggedNameLength + 1, 'x');
    session.cache_message(parsed("<resp seq=\"sysOptions\" unit_name=\"" + long_name + "\"/>"), "sysOptions");
    EXPECT_EQ(session.log_name(), "10.0.0.5:5000 \"" + QString(IPCObject::kMaxLoggedNameLength - 1, QLatin1Char('x')) +
                                      QChar(0x2026) + "\"");
}

// One session's lines are joined by its name, however the session got there; its ordinary end
// writes nothing.
TEST_F(IPCObjectTest, EveryLineOfASessionNamesItAlike) {
    test_support::CapturedQtMessages messages;
    IPCObject& session = start();
    expect_ready();
    const std::string address = "127.0.0.1:" + std::to_string(peer_->port());
    const size_t before = peer_->frames().size();
    session.cmd_set_unit_name("Studio");
    frames_from(before, 1);
    sync();
    session.markForDeletion();
    EXPECT_TRUE(wait_processing_events([&] { return session_.isNull(); }));
    const std::vector<std::string> expected = {
        "set_state (" + address + "): CONNECTING to CONNECTED",
        "set_state (" + address + " \"unknown\"): AUTHENTICATED to READY",
        address + " \"unknown\": reply setSysOptions failed: error_code 7, error_text \"busy\"",
        "set_state (" + address + " \"unknown\"): READY to DISCONNECTED",
    };
    std::vector<std::string> lines;
    for (const std::string& record : messages.records()) {
        if (record.find(address) != std::string::npos) lines.push_back(record);
        EXPECT_EQ(record.find("markForDeletion"), std::string::npos) << record;
    }
    for (const std::string& line : expected) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
}

TEST_F(IPCObjectTest, ARefusedReplyKeepsTheLastGoodOne) {
    IPCObject& session = start();
    expect_ready();
    std::vector<std::string> refused;
    int lists = 0;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session, &IPCObject::requestFailed, &context,
                     [&](QUuid, const QString& request, const QString& code, const QString& text) {
                         refused.push_back((request + " " + code + " " + text).toStdString());
                     });
    QObject::connect(&session, &IPCObject::recvPeerList, &context, [&] { ++lists; });
    peer_->send(with_nul("<resp seq=\"peerList\"><peer id=\"1\" name=\"A\" active=\"true\"/></resp>"));
    peer_->send(with_nul("<resp seq=\"peerList\" fail=\"true\" error_code=\"5\" error_text=\"busy\"/>"));
    sync();
    EXPECT_EQ(refused, std::vector<std::string>{"peerList 5 busy"});
    EXPECT_EQ(lists, 1);
    Message cached;
    ASSERT_TRUE(session.getCachedMessage("peerList", cached));
    EXPECT_EQ(cached.child_count("peer"), 1u);
    {
        std::lock_guard<SessionMutex> lock(session.mutex());
        EXPECT_EQ(session.activePeerCount, 1);
    }
    EXPECT_EQ(session.deviceLog.size(), 1) << "no \"Audio connection ended\" for a refusal";
}

// The codec answers no request without seq that succeeds, as a codec may, nor the pings that
// follow them: a refusal is named as its request only while that one alone is awaited before the
// oldest ping unanswered, and otherwise comes with every request it may answer.
TEST_F(IPCObjectTest, ARefusalWithoutSeqNamesTheRequestsItMayAnswer) {
    test_support::CapturedQtMessages messages;
    // Metering off: the start-up set ends with a "monitor" that no ping follows.
    IPCObject& session =
        start([](Codec& codec) { codec.unanswered = {"ping"}; }, [](IPCObject& each) { each.setMeteringFlag(false); });
    expect_ready();
    std::vector<std::string> refused;  // "<request>:" and the names of the candidates
    QObject context;
    QObject::connect(&session, &IPCObject::requestFailed, &context,
                     [&](QUuid, const QString& request, const QString&, const QString&, const FailureEffect& effect) {
                         std::string told = request.toStdString() + ":";
                         for (const auto& candidate : effect.candidates) told += " " + candidate.request.toStdString();
                         refused.push_back(told);
                     });
    // The session notes a request as it sends it, so a refusal sent after the command finds it.
    const auto refuse = [&] {
        peer_->send(with_nul("<resp fail=\"true\" error_code=\"9\" error_text=\"no\"/>"));
        const size_t expected = refused.size() + 1;
        EXPECT_TRUE(wait_processing_events([&] { return refused.size() == expected; }));
    };

    session.cmd_remove_peer(9);
    refuse();
    refuse();  // the monitor's silence or this refusal settled it: the removal may still await one
    peer_->send(with_nul("<resp seq=\"ping\"/>"));
    session.cmd_connect("1");
    session.cmd_remove_peer(9);
    refuse();  // before the answer to the ping behind the connect
    peer_->send(with_nul("<resp seq=\"ping\"/>"));
    refuse();
    refuse();  // nothing does
    EXPECT_EQ(refused,
              (std::vector<std::string>{": monitor removePeer", "removePeer:", "connect:", "removePeer:", ":"}));
    EXPECT_EQ(messages.count_warnings("a refusal without seq names no request"), 1);
}

// A codec reads in order: the scheduler's commands are followed by a ping, each is told read once
// something sent after it is answered, behind its refusal, and a refusal that comes after one was
// read is the other's alone; so is a read's second answer after it was asked again. A command the
// session could not follow is not sent.
TEST_F(IPCObjectTest, TheSchedulersCommandsAreToldReadBehindTheirRefusals) {
    IPCObject& session = start([](Codec& codec) { codec.unanswered = {"ping", "getProfileList"}; });
    expect_ready();
    std::vector<std::string> events;  // in the order the session raised them
    QObject context;
    QObject::connect(&session, &IPCObject::commandRead, &context, [&](QUuid, const QString& request, int peer) {
        events.push_back("read " + request.toStdString() + " " + std::to_string(peer));
    });
    QObject::connect(&session, &IPCObject::requestFailed, &context,
                     [&](QUuid, const QString& request) { events.push_back("refused " + request.toStdString()); });
    peer_->send(with_nul("<resp seq=\"profileList\"/>"));  // the start-up's
    ASSERT_TRUE(session.cmd_connect("1"));
    ASSERT_TRUE(session.cmd_connect("2"));
    peer_->send(with_nul("<resp seq=\"ping\"/>"));  // the first connect read, and taken
    peer_->send(with_nul("<resp fail=\"true\" error_code=\"9\" error_text=\"busy\"/>"));
    peer_->send(with_nul("<resp seq=\"ping\"/>"));
    EXPECT_TRUE(wait_processing_events([&] { return events.size() >= 3; }));
    EXPECT_EQ(events, (std::vector<std::string>{"read connect 1", "refused connect", "read connect 2"}));

    events.clear();
    const size_t before = peer_->frames().size();
    session.cmd_get_profile_list();
    peer_->send(with_nul("<resp><list></resp>"));
    ASSERT_TRUE(peer_->wait_for_frames(before + 2)) << "asked again";
    ASSERT_TRUE(session.cmd_connect("3"));
    session.cmd_get_profile_list();
    const char* answers[] = {"<resp seq=\"profileList\"/>", "<resp seq=\"profileList\"/>", "<resp fail=\"true\"/>",
                             "<resp seq=\"ping\"/>"};
    for (const char* answer : answers) peer_->send(with_nul(answer));
    EXPECT_TRUE(wait_processing_events([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"refused connect", "read connect 3"}));
    int sent = 0;
    while (sent < 300 && session.cmd_connect("4")) ++sent;
    EXPECT_EQ(sent, static_cast<int>(UnansweredRequests::kMaxRequests));
}

TEST_F(IPCObjectTest, MarkForDeletionLeavesThePoolAndNeverReconnects) {
    IPCObject& session = start();
    expect_ready();
    int reconnects = 0;
    QObject::connect(&session, &IPCObject::reconnect, [&] { ++reconnects; });
    const QString name = session.uuid.toString();
    session.markForDeletion();
    session.scheduleReconnect(0);
    EXPECT_EQ(reconnects, 0);
    EXPECT_EQ(pool_->manager_for(name), nullptr);
    EXPECT_TRUE(wait_processing_events([&] { return session_.isNull(); }));
    EXPECT_TRUE(test_support::wait_until([&] { return !peer_->is_connected(); }));
    EXPECT_EQ(peer_->connection_count(), 1);
}

// ------------------------------------------------------------------------------------------------
// Session data built from the cache on the GUI thread. The parsers run on constructed reports: the
// tests store them in the reply cache of a session that is never connected and invoke the slot as
// the dispatch would.

std::string peer(const std::string& id, const std::string& name, bool is_active, const std::string& extra = "") {
    return "<peer id=\"" + id + "\" name=\"" + name + "\" active=\"" + (is_active ? "true" : "false") + "\"" + extra +
           "/>";
}

class SessionDataTest : public ::testing::Test {
protected:
    void put(const char* key, const std::string& xml) { session_.cache_message(parsed(xml), key); }
    void run(const char* slot) { ASSERT_TRUE(QMetaObject::invokeMethod(&session_, slot, Qt::DirectConnection)); }
    void run(const char* slot, const std::string& xml) {
        ASSERT_TRUE(QMetaObject::invokeMethod(&session_, slot, Qt::DirectConnection, Q_ARG(Message, parsed(xml))));
    }
    void peer_list(const std::string& peers) {
        put("peerList", "<resp seq=\"peerList\">" + peers + "</resp>");
        run("cb_resp_peerList");
    }
    void peer_stats(const std::string& peers) {
        put("peerStats", "<peerStats>" + peers + "</peerStats>");
        run("cb_resp_peerStats");
    }

    const QUuid uuid_ = QUuid::createUuid();
    test_support::UnplacedSession session_{uuid_.toString(), uuid_};
    test_support::CapturedQtMessages messages_;  // every warning of the test
};

struct AudioEventCase {
    const char* label;
    std::vector<std::string> lists;  // the "peer" children of successive peer lists
    std::vector<KT_EVENT> events;
    std::vector<std::string> lines;  // device-log texts, oldest first
};

const char kStarted[] = "Audio connection started. Active peers:";
const char kEnded[] = "Audio connection ended. Disconnected peers:";

TEST_F(SessionDataTest, AudioStartsAndEnds) {
    const std::string s = kStarted, e = kEnded;
    const AudioEventCase cases[] = {
        {"two start in one list", {peer("1", "A", true) + peer("2", "B", true)}, {AUDIO_START}, {s + " A B"}},
        {"the same list twice", {peer("1", "A", true), peer("1", "A", true)}, {AUDIO_START}, {s + " A"}},
        {"inactive peers raise nothing", {peer("1", "A", false), peer("1", "A", false)}, {}, {}},
        {"one ends as another starts: only the start",
         {peer("1", "A", true), peer("1", "A", false) + peer("2", "B", true)},
         {AUDIO_START, AUDIO_START},
         {s + " A", s + " B"}},
        {"present and inactive",
         {peer("1", "A", true), peer("1", "A", false)},
         {AUDIO_START, AUDIO_END},
         {s + " A", e + " A"}},
        {"gone from the list",
         {peer("1", "A", true) + peer("2", "B", false), peer("2", "B", false)},
         {AUDIO_START, AUDIO_END},
         {s + " A", e + " A"}},
        {"an empty list ends every connection",
         {peer("1", "A", true) + peer("2", "B", true), ""},
         {AUDIO_START, AUDIO_END},
         {s + " A B", e + " A B"}},
        {"ended: present ones in list order, then gone ones in their old order",
         {peer("1", "A", true) + peer("2", "B", true) + peer("3", "C", true), peer("3", "C", false)},
         {AUDIO_START, AUDIO_END},
         {s + " A B C", e + " C A B"}},
        {"a repeated id is no new connection",
         {peer("5", "A", true) + peer("5", "A2", true), peer("5", "A", true) + peer("5", "A2", true)},
         {AUDIO_START},
         {s + " A"}},
        {"ids that are no numbers share the key 0",
         {peer("x", "A", true) + peer("y", "B", true), peer("x", "A", true) + peer("y", "B", true)},
         {AUDIO_START},
         {s + " A"}},
    };
    for (const auto& c : cases) {
        std::vector<KT_EVENT> events;
        const QUuid uuid = QUuid::createUuid();
        test_support::UnplacedSession session(uuid.toString(), uuid);
        QObject::connect(&session, &IPCObject::deviceEvent, [&](IPCObject*, KT_EVENT kind) { events.push_back(kind); });
        for (const std::string& peers : c.lists) {
            session.cache_message(parsed("<resp seq=\"peerList\">" + peers + "</resp>"), "peerList");
            ASSERT_TRUE(QMetaObject::invokeMethod(&session, "cb_resp_peerList", Qt::DirectConnection));
        }
        std::vector<std::string> lines;
        for (const LogLine& line : session.deviceLog.lines()) {
            // Without the time in front.
            lines.insert(lines.begin(), line.text.mid(EventLogMerger::displayTime(line.time).size() + 2).toStdString());
        }
        EXPECT_EQ(events, c.events) << c.label;
        EXPECT_EQ(lines, c.lines) << c.label;
    }
}

TEST_F(SessionDataTest, PeerListFillsTheCollections) {
    std::vector<std::string> states;
    int lists = 0;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::newChanState, &context,
                     [&](QUuid, const QString& state) { states.push_back(state.toStdString()); });
    QObject::connect(&session_, &IPCObject::recvPeerList, &context, [&] { ++lists; });
    EXPECT_EQ(session_.activePeerCount, -1);

    peer_list(peer("1", "A", true, " chan_state=\"up\" receiving=\"true\" addr=\"192.0.2.1:9000\"") +
              "<peer id=\"2\" name=\"D\" addr=\"192.0.2.2\" pw=\"x\"><directory product=\"P\"/></peer>" +
              peer("3", "C", false, " chan_state=\"\" profile=\"4\"") + peer("3", "C2", true));
    QList<PeerMetaPtr> kept;
    {
        std::lock_guard<SessionMutex> lock(session_.mutex());
        ASSERT_EQ(session_.allPeers.size(), 3) << "the repeated id 3 is skipped";
        EXPECT_EQ(session_.bookPeers.size(), 2);
        ASSERT_EQ(session_.directoryPeers.size(), 1);
        EXPECT_TRUE(session_.directoryPeers[0]->addr.isEmpty());
        EXPECT_EQ(session_.peerById.keys(), (QList<int>{1, 2, 3}));
        EXPECT_EQ(session_.peerById.value(3)->name, "C");
        EXPECT_EQ(session_.peerById.value(1)->addr, "192.0.2.1");
        EXPECT_EQ(session_.activePeerIds, QList<int>{1});
        EXPECT_EQ(session_.activePeerCount, 1);
        EXPECT_EQ(session_.chanState, "up");
        EXPECT_EQ(session_.receivingPeerId, "1");
        kept = session_.allPeers;
    }
    EXPECT_EQ(messages_.count_warnings("1 entries repeat an earlier id and are skipped: 3"), 1);

    peer_stats("<peer id=\"1\"/>");
    EXPECT_TRUE(session_.lossGraph.hasData(1));
    peer_list("");
    {
        std::lock_guard<SessionMutex> lock(session_.mutex());
        EXPECT_TRUE(session_.allPeers.isEmpty());
        EXPECT_TRUE(session_.peerById.isEmpty());
        EXPECT_EQ(session_.activePeerCount, 0);
        EXPECT_EQ(session_.receivingPeerId, "1") << "kept until another peer receives";
    }
    EXPECT_FALSE(session_.lossGraph.hasData(1)) << "no active peer: the series go";
    EXPECT_FALSE(session_.delayGraph.hasData(1));
    EXPECT_EQ(kept[0]->name, "A") << "a view's copy outlives the list it came from";
    EXPECT_EQ(states, (std::vector<std::string>{"up", ""}));
    EXPECT_EQ(lists, 2);
}

TEST_F(SessionDataTest, NoPeerListCachedChangesNothing) {
    int lists = 0;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::recvPeerList, &context, [&] { ++lists; });
    run("cb_resp_peerList");
    EXPECT_EQ(lists, 0);
    EXPECT_EQ(session_.activePeerCount, -1);
}

TEST_F(SessionDataTest, PeerStatisticsReplaceTheSetAndSkipRepeatedIds) {
    int reports = 0;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::recvPeerStats, &context, [&] { ++reports; });
    peer_stats("<peer id=\"1\" callTime=\"3725\" frameLossRateAvg=\"5\"/><peer id=\"2\"/>");
    peer_stats("<peer id=\"2\" rtt=\"7\"/><peer id=\"2\" rtt=\"8\"/>");
    {
        std::lock_guard<SessionMutex> lock(session_.mutex());
        EXPECT_EQ(session_.peerStatsById.keys(), QList<int>{2});
        EXPECT_EQ(session_.peerStatsById.value(2).rtt, 7) << "the first of a repeated id counts";
        EXPECT_EQ(session_.lossGraph.series(2).frameLossRate.size(), 2) << "one sample per report";
        EXPECT_FALSE(session_.lossGraph.hasData(1)) << "a peer without statistics loses its series";
    }
    EXPECT_EQ(messages_.count_warnings("1 entries repeat an earlier id and are skipped: 2"), 1);
    peer_stats("");
    std::lock_guard<SessionMutex> lock(session_.mutex());
    EXPECT_TRUE(session_.peerStatsById.isEmpty());
    EXPECT_FALSE(session_.lossGraph.hasData(2));
    EXPECT_EQ(reports, 3);
}

struct CorrectionCase {
    const char* up;
    const char* down;
    int sum;
};
// The int32 limits: attribute texts saturate when read, and so does their sum.
const CorrectionCase kCorrections[] = {
    {"3", "4", 7},
    {"2147483647", "1", INT_MAX},
    {"2147483647", "2147483647", INT_MAX},
    {"9999999999", "0", INT_MAX},
    {"-2147483648", "-1", INT_MIN},
    {"-5", "2", -3},
};

TEST_F(SessionDataTest, CorrectionSumIsHeldToTheIntRange) {
    for (const auto& c : kCorrections) {
        peer_stats(std::string("<peer id=\"1\" corrUpRate=\"") + c.up + "\" corrDownRate=\"" + c.down + "\"/>");
        std::lock_guard<SessionMutex> lock(session_.mutex());
        EXPECT_EQ(session_.lossGraph.series(1).correction.front(), c.sum) << c.up << " + " << c.down;
    }
}

TEST_F(SessionDataTest, SubscribedStatisticsWithoutTheirChildAreDropped) {
    int reports = 0;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::recvPeerStats, &context, [&] { ++reports; });
    QObject::connect(&session_, &IPCObject::recvChannelStats, &context, [&] { ++reports; });
    for (int i = 0; i < 3; ++i) {
        run("cb_unso_peer_stats", "<unso id=\"peer_stats\"><channelStats/></unso>");
        run("cb_unso_channel_stats", "<unso id=\"channel_stats\"/>");
    }
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(messages_.count_warnings("dropping \"peer_stats\" report without \"peerStats\""), 1);
    EXPECT_EQ(messages_.count_warnings("dropping \"channel_stats\" report without \"channelStats\""), 1);

    run("cb_unso_peer_stats", "<unso id=\"peer_stats\"><peerStats><peer id=\"4\" rtt=\"9\"/></peerStats></unso>");
    std::lock_guard<SessionMutex> lock(session_.mutex());
    EXPECT_EQ(session_.peerStatsById.value(4).rtt, 9);
}

// A report that the parsers read by another name is filed under it as it arrives, as the part of
// the report cached whole, not as a copy made on the GUI thread.
struct FiledPartCase {
    const char* report;
    const char* key;       // the report's own cache key
    const char* part;      // the child filed; null: the whole report
    const char* part_key;  // the name it is filed under
};
const FiledPartCase kFiledParts[] = {
    {"<unso id=\"peer_stats\"><peerStats><peer id=\"4\"/></peerStats></unso>", "peer_stats", "peerStats", "peerStats"},
    {"<unso id=\"channel_stats\"><channelStats><channel id=\"1\"/></channelStats></unso>", "channel_stats",
     "channelStats", "channelStats"},
    {"<unso id=\"cfgStatus:netmgr.tunnel\"><node/></unso>", "cfgStatus_netmgr_tunnel", nullptr, "tunnelStatus"},
    {"<unso id=\"netmgr.tunnel\"><sess sid=\"3\"/></unso>", "netmgr_tunnel", nullptr, "tunnelStatus"},
};

TEST_F(SessionDataTest, ReportPartsAreFiledUnderTheirNamesWithoutACopy) {
    for (const FiledPartCase& c : kFiledParts) {
        session_.handle_unsolicited(parsed(c.report));
        const IQEndpointClient::SharedMessage report = session_.shared_cached_message(c.key);
        const IQEndpointClient::SharedMessage part = session_.shared_cached_message(c.part_key);
        ASSERT_TRUE(report && part) << c.key;
        EXPECT_EQ(part.get(), c.part ? &report->get_child(c.part, 0) : report.get()) << c.key;
    }
    // What the slots make of them, once delivered.
    ASSERT_TRUE(wait_processing_events([&] {
        std::lock_guard<SessionMutex> lock(session_.mutex());
        return session_.peerStatsById.contains(4) && session_.channelStatsById.contains(1);
    }));
}

TEST_F(SessionDataTest, ChannelStatisticsStayAndAreCapped) {
    std::string channels;
    for (int id = 1; id <= 300; ++id) {
        channels += "<channel id=\"" + std::to_string(id) + "\" txTotal=\"1\"/>";
    }
    run("cb_unso_channel_stats", "<unso id=\"channel_stats\"><channelStats>" + channels + "</channelStats></unso>");
    put("channelStats",
        "<channelStats><channel id=\"7\" name=\"Ch 7\" txTotal=\"2\"/><channel id=\"999\"/></channelStats>");
    run("cb_resp_channelStats");
    std::lock_guard<SessionMutex> lock(session_.mutex());
    EXPECT_EQ(session_.channelStatsById.size(), IPCObject::kMaxChannelStats);
    EXPECT_FALSE(session_.channelStatsById.contains(999));
    EXPECT_EQ(session_.channelStatsById.value(7).txTotal, 2) << "updated in place";
    EXPECT_EQ(session_.channelStatsById.value(7).name, "Ch 7");
    EXPECT_EQ(session_.channelStatsById.value(8).txTotal, 1) << "a channel missing from a report keeps its record";
    EXPECT_EQ(messages_.count_warnings("keeping 256 channels at most"), 1);
}

struct LevelCase {
    const char* attribute;  // the "rmlf" attribute as sent; null: absent
    float level;
};
// The meter scale runs from -72 dBFS (silence) to 0 dBFS (full scale).
const LevelCase kLevels[] = {
    {nullptr, -72},
    {"-12.5", -12.5f},
    {"0", 0},
    {"-72", -72},
    {"-100", -72},
    {"3", 0},
    {"nan", -72},
    {"inf", 0},
    {"-inf", -72},
    {"abc", -72},
    {"-6dB", -72},
    {"", -72},
    // Forms the C library reads beyond plain decimals: a leading blank or plus sign, hexadecimal,
    // an exponent, a figure beyond a float's range.
    {" -12.5", -12.5f},
    {"+0", 0},
    {"-0x18", -24},
    {"-1.25e1", -12.5f},
    {"-1e40", -72},
    {"1e", -72},
};

TEST_F(SessionDataTest, LevelsReadMissingOrBadValuesAsSilence) {
    std::vector<float> levels;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::recvAllLevels, &context,
                     [&](float a, float b, float c, float d, float e, float f, float g, float h) {
                         levels = {a, b, c, d, e, f, g, h};
                     });
    for (const auto& c : kLevels) {
        levels.clear();
        const std::string attribute = c.attribute ? std::string(" rmlf=\"") + c.attribute + "\"" : "";
        run("cb_unso_metering", "<unso id=\"metering\"><metering" + attribute + " tmrs=\"-20\"/></unso>");
        const std::vector<float> expected = {c.level, -72, -72, -72, -72, -72, -72, -20};
        EXPECT_EQ(levels, expected) << (c.attribute ? c.attribute : "(absent)");
    }
    levels.clear();
    put("metering", "<unso id=\"metering\"/>");
    run("cb_resp_levels");
    EXPECT_TRUE(levels.empty()) << "a report without values raises no level signal";
}

std::string metering_report(const std::string& attributes) {
    return "<unso id=\"metering\"><metering" + attributes + "/></unso>";
}

TEST_F(SessionDataTest, LevelReportsOnTheLoopReadAsTheSlotReadsThem) {
    for (const auto& c : kLevels) {
        const std::string attribute = c.attribute ? std::string(" rmlf=\"") + c.attribute + "\"" : "";
        session_.handle_unsolicited(parsed(metering_report(attribute + " tmrs=\"-20\"")));
        std::array<float, 8> db{};
        ASSERT_TRUE(session_.newestLevels(db));
        const std::array<float, 8> expected = {c.level, -72, -72, -72, -72, -72, -72, -20};
        EXPECT_EQ(db, expected) << (c.attribute ? c.attribute : "(absent)");
    }
}

TEST_F(SessionDataTest, LevelReportsAreToldNewestFirstAndNotCached) {
    std::vector<float> told;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::recvLevels, &context,
                     [&](float rmlf, float, float, float) { told.push_back(rmlf); });
    // Both arrive before the GUI thread runs: only the newer is told.
    session_.handle_unsolicited(parsed(metering_report(" rmlf=\"-10\"")));
    session_.handle_unsolicited(parsed(metering_report(" rmlf=\"-20\"")));
    ASSERT_TRUE(wait_processing_events([&] { return !told.empty(); }));
    session_.handle_unsolicited(parsed(metering_report(" rmlf=\"-30\"")));
    ASSERT_TRUE(wait_processing_events([&] { return told.size() == 2; }));
    EXPECT_EQ(told, (std::vector<float>{-20, -30}));
    EXPECT_EQ(session_.levelReportCount(), 2u);
    Message cached;
    EXPECT_FALSE(session_.getCachedMessage(QStringLiteral("metering"), cached));
}

TEST_F(SessionDataTest, ANewConnectionForgetsTheLevels) {
    session_.handle_unsolicited(parsed(metering_report(" rmlf=\"-10\"")));
    session_.set_state(IQEndpointClient::CONNECTING);
    std::array<float, 8> db{};
    EXPECT_FALSE(session_.newestLevels(db));
    int told = 0;
    QObject context;  // ends the connection before the local it writes goes
    QObject::connect(&session_, &IPCObject::levelsReported, &context, [&] { ++told; });
    run("cb_resp_levels");
    EXPECT_EQ(told, 0) << "the old connection's levels are not told again";
}

TEST_F(SessionDataTest, ProfileListNamesTheLastDefaultWithSettings) {
    int lists = 0;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session_, &IPCObject::recvProfileList, &context, [&] { ++lists; });
    run("cb_resp_profileList");
    EXPECT_EQ(lists, 1) << "raised without a cached list too";

    put("profileList", "<resp seq=\"profileList\">"
                       "<profile id=\"1\" default=\"true\"><settings name=\"A\" factory=\"true\"/></profile>"
                       "<profile id=\"2\" default=\"true\"/>"
                       "<profile id=\"3\" default=\"true\"><settings name=\"C\"/></profile>"
                       "<profile id=\"4\"><settings name=\"D\"/></profile></resp>");
    run("cb_resp_profileList");
    {
        std::lock_guard<SessionMutex> lock(session_.mutex());
        ASSERT_EQ(session_.profiles.size(), 3);
        EXPECT_EQ(session_.profiles[0].name, "A");
        EXPECT_TRUE(session_.profiles[0].factory);
        EXPECT_EQ(session_.profiles[1].id, "3");
        EXPECT_FALSE(session_.profiles[2].isDefault);
        EXPECT_EQ(session_.defaultProfileId, "3");
    }
    put("profileList", "<resp seq=\"profileList\"><profile id=\"2\" default=\"true\"/></resp>");
    run("cb_resp_profileList");
    std::lock_guard<SessionMutex> lock(session_.mutex());
    EXPECT_TRUE(session_.profiles.isEmpty());
    EXPECT_EQ(session_.defaultProfileId, "") << "a default without settings names no default";
}

TEST_F(SessionDataTest, AlertSoundsByEventKind) {
    session_.setAlertSound(AUDIO_END, "/sounds/end.wav");
    session_.setAlertSound(AUDIO_END, "/sounds/end2.wav");
    EXPECT_EQ(session_.alertSound(AUDIO_END), "/sounds/end2.wav");
    EXPECT_EQ(session_.alertSound(AUDIO_START), "");
}

struct ConnectPeerCase {
    const char* peer_id;
    const char* profile;
    bool result;
    std::vector<std::string> frames;
};

TEST_F(IPCObjectTest, ConnectPeerAssignsAProfileOnlyWhenItChanges) {
    const std::string set7 = "<setPeerSettings id=\"7\" profile=\"3\" seq=\"setPeerSettings\"/>";
    const std::string set8 = "<setPeerSettings id=\"8\" profile=\"3\" seq=\"setPeerSettings\"/>";
    const ConnectPeerCase cases[] = {
        {"7", "3", true, {set7, "<connect id=\"7\"/>"}},
        {"7", "2", true, {"<connect id=\"7\"/>"}},
        {"8", "5", true, {"<connect id=\"8\"/>"}},  // no profile yet, and 5 is the default
        {"8", "3", true, {set8, "<connect id=\"8\"/>"}},
        {"7", "4", true, {"<setPeerSettings id=\"7\" profile=\"4\" seq=\"setPeerSettings\"/>"}},  // refused
        {"7", "", true, {"<connect id=\"7\"/>"}},
        {"7", "x3", true, {"<connect id=\"7\"/>"}},
        {"9", "3", false, {}},
        {"07", "3", false, {}},  // ids are compared as text
    };
    IPCObject& session = start();
    expect_ready();
    const std::string peers =
        "<unso id=\"unso\"><peerList><peer id=\"7\" profile=\"2\"/><peer id=\"8\"/></peerList></unso>";
    const std::string profiles =
        "<unso id=\"unso\"><profileList><profile id=\"5\" default=\"true\"><settings name=\"D\"/>"
        "</profile></profileList></unso>";
    peer_->send(with_nul(peers) + with_nul(profiles));
    sync();
    const std::string marker = "<deleteProfile id=\"0\"/>";
    for (const auto& c : cases) {
        const size_t before = peer_->frames().size();
        EXPECT_EQ(session.cmd_connect_peer(c.peer_id, c.profile), c.result) << c.peer_id << " " << c.profile;
        // A connect follows the answer to its profile.
        EXPECT_TRUE(wait_processing_events([&] { return peer_->frames().size() >= before + c.frames.size(); }));
        sync();
        session.cmd_delete_profile(0);  // marks the end of what the case sent
        std::vector<std::string> expected = c.frames;
        expected.push_back(marker);
        EXPECT_EQ(frames_from(before, expected.size()), expected) << c.peer_id << " " << c.profile;
    }
}

TEST_F(IPCObjectTest, DisconnectPeerSendsABareDisconnectAndDropsTheStatistics) {
    IPCObject& session = start();
    expect_ready();
    peer_->send(with_nul("<unso id=\"peer_stats\"><peerStats><peer id=\"7\"/></peerStats></unso>"));
    ASSERT_TRUE(wait_processing_events([&] {
        std::lock_guard<SessionMutex> lock(session.mutex());
        return session.peerStatsById.contains(7);
    }));
    const size_t before = peer_->frames().size();
    session.cmd_disconnect_peer();
    EXPECT_EQ(frames_from(before, 1), std::vector<std::string>{"<disconnect/>"});
    std::lock_guard<SessionMutex> lock(session.mutex());
    EXPECT_TRUE(session.peerStatsById.isEmpty());
}

TEST_F(IPCObjectTest, ThirtyOneStatisticsReportsKeepThirtySamples) {
    IPCObject& session = start();
    expect_ready();
    int reports = 0;
    QObject context;
    QObject::connect(&session, &IPCObject::recvPeerStats, &context, [&] { ++reports; });
    std::string frames;
    for (int i = 1; i <= 31; ++i) {
        const std::string n = std::to_string(i);
        frames += with_nul("<unso id=\"peer_stats\"><peerStats><peer id=\"1\" bufferDelay=\"" + n + "\" remoteLoss=\"" +
                           n + "\"/></peerStats></unso>");
    }
    peer_->send(frames);
    ASSERT_TRUE(wait_processing_events([&] { return reports == 31; }));
    std::lock_guard<SessionMutex> lock(session.mutex());
    const LossSeries loss = session.lossGraph.series(1);
    ASSERT_EQ(loss.remoteLoss.size(), 30);
    EXPECT_EQ(loss.remoteLoss.front(), 31);
    EXPECT_EQ(loss.remoteLoss.back(), 2);
    const DelaySeries delay = session.delayGraph.series(1);
    ASSERT_EQ(delay.points.size(), 30);
    EXPECT_EQ(delay.points.front().bufferDelay, 31);
    EXPECT_EQ(delay.points.back().bufferDelay, 2);
}

// The roads a peer list takes from a codec: the answer to "getPeerList", an answer pushed in an
// "unso" wrapper, and a report named by its id. `mark` tells the cached lists apart.
using PeerListRoad = std::string (*)(const std::string& peers, const std::string& mark);
std::string answered(const std::string& peers, const std::string& mark) {
    return with_nul("<resp seq=\"peerList\" mark=\"" + mark + "\">" + peers + "</resp>");
}
std::string pushed(const std::string& peers, const std::string& mark) {
    return with_nul("<unso id=\"unso\"><peerList mark=\"" + mark + "\">" + peers + "</peerList></unso>");
}
std::string reported(const std::string& peers, const std::string& mark) {
    return with_nul("<unso id=\"peerList\" mark=\"" + mark + "\">" + peers + "</unso>");
}

struct PeerListBurstCase {
    const char* label;
    PeerListRoad first_road;
    PeerListRoad second_road;
    std::string first;  // the "peer" children of each list
    std::string second;
    std::vector<std::string> seen;  // the session's peers at each recvPeerList ("*": active)
    std::vector<KT_EVENT> events;
};

TEST_F(IPCObjectTest, EachPeerListOfABurstIsHandedOnInOrder) {
    const std::string kept = peer("1", "A", false), removed = peer("5", "Impostor", false);
    const std::string renumbered = kept + peer("5", "Impostor Two", false);
    const std::vector<std::string> id_left_then_taken = {"1 A", "1 A, 5 Impostor Two"};
    const PeerListBurstCase cases[] = {
        {"pushed twice", pushed, pushed, kept, renumbered, id_left_then_taken, {}},
        {"reported twice", reported, reported, kept, renumbered, id_left_then_taken, {}},
        {"the answer, then pushed", answered, pushed, kept, renumbered, id_left_then_taken, {}},
        {"reported, then the answer", reported, answered, kept, renumbered, id_left_then_taken, {}},
        {"a call starts and ends",
         pushed,
         pushed,
         peer("1", "A", true) + removed,
         kept + removed,
         {"1 A*, 5 Impostor", "1 A, 5 Impostor"},
         {AUDIO_START, AUDIO_END}},
    };
    IPCObject& session = start();
    expect_ready();
    std::vector<std::string> seen;
    std::vector<KT_EVENT> events;
    QObject context;  // ends the connections before the locals they write go
    QObject::connect(&session, &IPCObject::recvPeerList, &context, [&] {
        std::lock_guard<SessionMutex> lock(session.mutex());
        std::string peers;
        for (const PeerMetaPtr& listed : session.allPeers) {
            if (!peers.empty()) peers += ", ";
            peers += (listed->id + " " + listed->name).toStdString() + (listed->active ? "*" : "");
        }
        seen.push_back(peers);
    });
    QObject::connect(&session, &IPCObject::deviceEvent, &context,
                     [&](IPCObject*, KT_EVENT kind) { events.push_back(kind); });
    for (const auto& c : cases) {
        peer_->send(pushed(kept + removed, "before"));
        sync();
        seen.clear();
        events.clear();
        peer_->send(c.first_road(c.first, "first") + c.second_road(c.second, "second"));
        // This thread runs no event until the second list is cached: both reach the session first.
        ASSERT_TRUE(test_support::wait_until([&] {
            Message cached;
            return session.getCachedMessage("peerList", cached) &&
                   cached.attributes().get_string("mark", "") == "second";
        })) << c.label;
        sync();
        EXPECT_EQ(seen, c.seen) << c.label;
        EXPECT_EQ(events, c.events) << c.label;
    }
}

// A connect waits for its profile's answer, and the ping behind the operator's last disconnect for
// its own, while the codec goes on reporting: only answers are missing. The answer to the first
// ping comes late.
TEST_F(IPCObjectTest, RequestsUnansweredPastTheirDeadlineFailTheLinkAndAreToldOnce) {
    const auto op = IPCObject::Asker::kOperator;
    IPCObject& session = start([](Codec& codec) { codec.unanswered = {"setPeerSettings", "ping"}; });
    session.set_answer_deadline_us(3'000'000);
    expect_ready();
    peer_->send(with_nul("<unso id=\"unso\"><peerList><peer id=\"7\" profile=\"2\"/></peerList></unso>"));
    sync();
    const size_t before = peer_->frames().size();
    session.cmd_connect_peer("7", "3");
    session.cmd_disconnect(8, op);
    session.cmd_connect("9");  // the scheduler's, which it follows itself
    session.cmd_disconnect(10, op);
    ASSERT_TRUE(peer_->wait_for_frames(before + 6));
    peer_->send(with_nul("<resp seq=\"ping\"/>"));  // settles only what went before the first ping
    auto next_report = std::chrono::steady_clock::now();
    const auto is_disconnected = [&] {
        if (std::chrono::steady_clock::now() >= next_report) {
            peer_->send(with_nul("<unso id=\"unso\"><channelOpts/></unso>"));
            next_report += std::chrono::seconds(1);
        }
        return session.state() == IQEndpointClient::DISCONNECTED;
    };
    ASSERT_TRUE(wait_processing_events(is_disconnected, test_support::give_up_after(std::chrono::seconds(30))));
    EXPECT_EQ(session.lastFault(), (ConnectionFault{ConnectionFault::kNoAnswer, "setPeerSettings", 0}));
    expect_ready();  // reconnected: nothing is told again
    sync();
    EXPECT_EQ(told_, (std::vector<std::string>{"setPeerSettings not connected 7 past the deadline",
                                               "disconnect no answer 10 past the deadline"}));
}

// A link dead towards the codec: its reports still come, and nothing sent reaches it. With no
// command, the program's probe finds it within the probe interval, the deadline and a tick. A
// legacy codec, whose answers its protocol makes up, is never probed; an answer still arriving
// over a slow link past the deadline is not late, but one trickling below the floor is no life;
// a probe whose answer went down inside an oversized frame is sent again, as a read is.
TEST_F(IPCObjectTest, AQuietLinkDeadTowardsTheCodecIsFoundByAProbeButNotALegacyOrASlowOne) {
    struct Case {
        const char* label;
        bool is_legacy;
        size_t answer_bytes;  // a probe's answer comes this many bytes each half second, never whole
        bool is_swallowing;   // every other answer goes down inside an oversized frame
        ConnectionFault::Kind fault;
    };
    const Case cases[] = {{"dead", false, 0, false, ConnectionFault::kNoAnswer},
                          {"legacy", true, 0, false, ConnectionFault::kNone},
                          {"slow", false, 1000, false, ConnectionFault::kNone},
                          {"trickle", false, 1, false, ConnectionFault::kTooSlow},
                          {"swallowing", false, 0, true, ConnectionFault::kNone}};
    const auto bound = std::chrono::milliseconds(500 + 2000 + 1000);
    for (const Case& c : cases) {
        IPCObject& session = start([&c](Codec& codec) { codec.is_legacy = c.is_legacy; },
                                   [](IPCObject& each) {
                                       each.set_probe_interval_us(500'000);
                                       each.set_answer_deadline_us(2'000'000);
                                   });
        expect_ready();
        const size_t before = peer_->frames().size();
        {
            std::lock_guard<std::mutex> lock(codec_->mutex);
            codec_->swallows_pings = c.is_swallowing;
            if (!c.is_swallowing) codec_->unanswered = {"ping"};  // all it is sent, once READY
        }
        if (c.answer_bytes > 0) peer_->send("<resp seq=\"ping\" pad=\"");
        const auto ready_at = std::chrono::steady_clock::now();
        auto next_report = ready_at;
        const auto has_failed_or_outlived_the_bound = [&] {
            const auto now = std::chrono::steady_clock::now();
            if (now >= next_report) {
                peer_->send(c.answer_bytes > 0 ? std::string(c.answer_bytes, 'x')
                                               : with_nul("<unso id=\"unso\"><channelOpts/></unso>"));
                next_report += std::chrono::milliseconds(500);
            }
            return session.state() != IQEndpointClient::READY || now - ready_at >= 3 * bound;
        };
        ASSERT_TRUE(wait_processing_events(has_failed_or_outlived_the_bound, std::chrono::seconds(60))) << c.label;
        const std::vector<std::string> sent = frames_from(before, 0);
        const size_t probes = peer_->frames().size() - before - sent.size();
        const bool is_found_dead = c.fault != ConnectionFault::kNone;
        EXPECT_EQ(session.state() != IQEndpointClient::READY, is_found_dead) << c.label;
        EXPECT_EQ(probes > 0, !c.is_legacy) << c.label;
        EXPECT_EQ(session.linkDrops().count > 1, c.is_swallowing) << c.label;
        if (!is_found_dead) continue;
        EXPECT_EQ(session.lastFault().kind, c.fault) << c.label;
        EXPECT_EQ(session.lastFault().detail.isEmpty(), c.fault == ConnectionFault::kNoAnswer) << c.label;
        EXPECT_EQ(sent, std::vector<std::string>{}) << c.label;  // no command: only probes went
    }
}

TEST_F(IPCObjectTest, ARequiredReplyThatArrivesUnreadableIsMissingUntilItsDeadline) {
    start([](Codec& codec) { codec.unreadable = {"getPeerList"}; },
          [](IPCObject& session) { session.set_answer_deadline_us(3'000'000); });
    const auto isFailed = [&] {
        EXPECT_NE(session_->state(), IQEndpointClient::READY);
        return session_->lastFault().kind == ConnectionFault::kNoAnswer;
    };
    ASSERT_TRUE(wait_processing_events(isFailed, test_support::give_up_after(std::chrono::seconds(30))));
    EXPECT_EQ(session_->lastFault().detail, "getPeerList");
    EXPECT_TRUE(session_->lastFault().were_frames_dropped);  // each answer was
}

TEST_F(IPCObjectTest, FiguresThatStopComingTurnStaleAndLiveAtTheNextReport) {
    struct Case {
        const char* report;
        bool (IPCObject::*is_stale)() const;
        void (*while_stale)(IPCObject&);  // may be null
    };
    const Case cases[] = {
        {"<unso id=\"metering\"><metering rmlf=\"-20\"/></unso>", &IPCObject::areLevelsStale, nullptr},
        {"<unso id=\"peer_stats\"><peerStats/></unso>", &IPCObject::areStatisticsStale, nullptr},
        // A tile scrolled away and back: its levels, not asked for meanwhile, are no longer stale.
        {"<unso id=\"metering\"><metering rmlf=\"-20\"/></unso>", &IPCObject::areLevelsStale,
         [](IPCObject& session) {
             session.setMeteringInterval(0);
             session.setMeteringInterval(IPCObject::kMeterIntervalMs);
         }},
    };
    IPCObject& session = start();
    expect_ready();
    // Asked for at a pace of ours: at the codec's own, unlearned, they would take two minutes.
    session.setStatisticsInterval(500);
    for (const Case& c : cases) {
        const auto is_stale = [&] { return (session.*c.is_stale)(); };
        std::vector<bool> turns;  // each turn of these figures told
        QObject context;
        QObject::connect(&session, &IPCObject::figuresFreshnessChanged, &context, [&] {
            if (is_stale() != (!turns.empty() && turns.back())) turns.push_back(is_stale());
        });
        peer_->send(with_nul(c.report));
        sync();
        EXPECT_FALSE(is_stale()) << c.report;
        EXPECT_TRUE(wait_processing_events(is_stale)) << c.report;
        if (c.while_stale) c.while_stale(session);
        peer_->send(with_nul(c.report));
        EXPECT_TRUE(wait_processing_events([&] { return !is_stale(); })) << c.report;
        EXPECT_EQ(turns, (std::vector<bool>{true, false})) << c.report;
    }
}

}  // namespace
