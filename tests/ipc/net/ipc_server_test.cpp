#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/md5.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_endpoint_server.h"
#include "ipc/protocols/ipc_protocol_xmls_server.h"
#include "tests/support/frame_client.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::FrameClient;
using test_support::ThreadedManager;
using test_support::wait_until;

// A server application with one account ("op" / "pw", role "operator") and a "whoami" command that
// reports the endpoint's login.
class AccountEndpoint : public IPCEndpointServer {
public:
    AccountEndpoint() { register_command("whoami"); }
    bool lookup_account(const std::string& user, std::string& password, std::string& role) const override {
        if (user != "op") return false;
        password = "pw";
        role = "operator";
        return true;
    }
    bool handle_command(const Message& request, Message& reply) override {
        if (request.name() != "whoami") return false;
        reply.attributes().set("user", user());
        reply.attributes().set("role", role());
        reply.attributes().set("authenticated", is_authenticated());
        return true;
    }
};

class AccountManager : public ThreadedManager {
public:
    AccountManager() : ThreadedManager(0, false) { start(); }
    ~AccountManager() override { stop_loop(); }
    IPCEndpointServer* create_endpoint_server(const std::string&) override { return new AccountEndpoint; }
};

// One xmls server named "srv" on the loopback address of the test's family.
class Server : public ::testing::Test {
protected:
    void listen_on(const std::string& host, int limit = 0) {
        host_ = host;
        const std::string text = host.find(':') != std::string::npos ? "[" + host + "]:0" : host + ":0";
        ASSERT_TRUE(manager.listen("stream", IPCAddress(text, 0), "srv", 0, limit));
        port_ = manager.server_address("srv").port();
        ASSERT_NE(port_, 0);
    }
    std::unique_ptr<FrameClient> client() { return std::make_unique<FrameClient>(host_, port_); }

    // Greets as a versioned client and logs in with the given credentials; returns the login reply.
    static Message log_in(FrameClient& peer, const std::string& user, const std::string& password) {
        peer.send_frame("<hello seq=\"hello\" version=\"1\"/>");
        const Message challenge(peer.read_frame());
        const std::string response = ipc_md5_hex_pair(password, challenge.attributes().get_string("challenge", ""));
        peer.send_frame("<login seq=\"login\" username=\"" + user + "\" response=\"" + response + "\"/>");
        return Message(peer.read_frame());
    }

    AccountManager manager;
    std::string host_;
    uint16_t port_ = 0;
};

TEST_F(Server, RemotePeerIsChallengedAndRefusedWithAWrongResponse) {
    listen_on("::1");
    auto peer = client();
    peer->send_frame("<hello seq=\"hello\" version=\"1\"/>");
    const Message challenge(peer->read_frame());
    EXPECT_EQ(challenge.name(), "resp");
    EXPECT_EQ(challenge.attributes().get_int("error_code", 0), 401);
    EXPECT_EQ(challenge.attributes().get_string("error_text", ""), "Authorization Required");
    EXPECT_EQ(challenge.attributes().get_string("challenge", "").size(), 32u);
    EXPECT_EQ(challenge.attributes().get_string("seq", ""), "hello");

    peer->send_frame("<login seq=\"login\" username=\"op\" response=\"00000000000000000000000000000000\"/>");
    const Message refused(peer->read_frame());
    EXPECT_EQ(refused.attributes().get_int("error_code", 0), 403);
    EXPECT_EQ(refused.attributes().get_string("error_text", ""), "Forbidden");
    EXPECT_EQ(refused.attributes().get_string("challenge", "").size(), 32u);
}

TEST_F(Server, RightResponseLogsInWithTheRole) {
    listen_on("::1");
    auto peer = client();
    const Message accepted = log_in(*peer, "op", "pw");
    EXPECT_TRUE(accepted.attributes().get_bool("success", false));
    EXPECT_EQ(accepted.attributes().get_string("role", ""), "operator");
    EXPECT_EQ(accepted.attributes().get_string("seq", ""), "login");
}

TEST_F(Server, RefusedLoginCannotTakeOverTheRole) {
    listen_on("::1");
    auto peer = client();
    ASSERT_TRUE(log_in(*peer, "op", "pw").attributes().get_bool("success", false));

    peer->send_frame("<login seq=\"login\" username=\"intruder\" response=\"0\"/>");
    EXPECT_TRUE(Message(peer->read_frame()).attributes().get_bool("fail", false));
    peer->send_frame("<whoami seq=\"who\"/>");
    const Message who(peer->read_frame());
    EXPECT_EQ(who.attributes().get_string("user", ""), "op");
    EXPECT_EQ(who.attributes().get_string("role", ""), "operator");
    EXPECT_TRUE(who.attributes().get_bool("authenticated", false));
}

TEST_F(Server, UnknownAccountsAreRefusedAndRepeatedRefusalsDropTheConnection) {
    listen_on("::1");
    auto peer = client();
    for (int attempt = 0; attempt < IPCProtocolXMLSServer::kMaxRefusedLogins; ++attempt) {
        EXPECT_TRUE(log_in(*peer, "nobody", "pw").attributes().get_bool("fail", false)) << attempt;
    }
    EXPECT_TRUE(peer->wait_for_close());
}

TEST_F(Server, HundredAndFirstRequestInAWindowIsRefused) {
    listen_on("::1");
    auto peer = client();
    ASSERT_TRUE(log_in(*peer, "op", "pw").attributes().get_bool("success", false));
    for (int i = 0; i < 100; ++i) {
        peer->send_frame("<whoami seq=\"" + std::to_string(i) + "\"/>");
        ASSERT_FALSE(Message(peer->read_frame()).attributes().has("fail")) << i;
    }
    peer->send_frame("<whoami seq=\"100\"/>");
    const Message refused(peer->read_frame());
    EXPECT_EQ(refused.attributes().get_string("error_text", ""), "excessive request rate");
    EXPECT_FALSE(refused.attributes().has("user"));  // not dispatched
    EXPECT_TRUE(peer->wait_for_close());
}

TEST_F(Server, LoopbackIpv4PeersAreTrustedAndNeverRateLimited) {
    listen_on("127.0.0.1");
    auto peer = client();
    peer->send_frame("<hello seq=\"hello\" version=\"1\"/>");
    EXPECT_FALSE(Message(peer->read_frame()).attributes().has("fail"));
    for (int i = 0; i < 150; ++i) {
        peer->send_frame("<whoami seq=\"" + std::to_string(i) + "\"/>");
        ASSERT_FALSE(Message(peer->read_frame()).attributes().has("fail")) << i;
    }
}

TEST_F(Server, ConnectionCapHoldsUnderAnAcceptStorm) {
    listen_on("127.0.0.1", 4);
    std::vector<std::unique_ptr<FrameClient>> peers;
    for (int i = 0; i < 24; ++i) peers.push_back(client());
    int answered = 0;
    for (auto& peer : peers) {
        peer->send_frame("<ping seq=\"p\"/>");
        answered += !peer->read_frame().empty();  // one over the cap is closed at once
    }
    EXPECT_EQ(answered, 4);
}

TEST_F(Server, PolicyRequestIsAnsweredBeforeLogin) {
    listen_on("::1");
    auto peer = client();
    peer->send_frame("<policy-file-request/>");
    const Message policy(peer->read_frame());
    EXPECT_EQ(policy.name(), "cross-domain-policy");
    EXPECT_EQ(policy.get_child("site-control", 0).attributes().get_string("permitted-cross-domain-policies", ""),
              "all");
    EXPECT_EQ(policy.get_child("allow-access-from", 0).attributes().get_string("domain", ""), "*");
    EXPECT_EQ(policy.get_child("allow-access-from", 0).attributes().get_string("to-ports", ""), "*");
}

TEST_F(Server, UnknownCommandGetsThe404Reply) {
    listen_on("127.0.0.1");
    auto peer = client();
    peer->send_frame("<hello seq=\"hello\" version=\"1\"/>");
    peer->read_frame();
    peer->send_frame("<frobnicate seq=\"f\"/>");
    const Message reply(peer->read_frame());
    EXPECT_EQ(reply.attributes().get_int("error_code", 0), 404);
    EXPECT_EQ(reply.attributes().get_string("error_text", ""), "Unknown Command");
    EXPECT_EQ(reply.attributes().get_string("seq", ""), "f");
}

TEST_F(Server, SubscriptionsAreDeliveredNoMoreOftenThanAsked) {
    listen_on("127.0.0.1");
    auto peer = client();
    peer->send_frame("<hello seq=\"hello\" version=\"1\"/>");
    peer->read_frame();
    peer->send_frame("<subscribe seq=\"s\"><sub id=\"slow\" interval=\"60000\"/><sub id=\"fast\"/></subscribe>");
    ASSERT_EQ(Message(peer->read_frame()).attributes().get_string("seq", ""), "s");

    Message report;
    report.set_name("report");
    const int kPublished = 10;
    for (int i = 0; i < kPublished; ++i) {
        manager.post(report, "srv", "slow", nullptr);
        manager.post(report, "srv", "fast", nullptr);
    }
    int slow = 0;
    int fast = 0;
    while (fast < kPublished) {
        const std::string frame = peer->read_frame();
        ASSERT_FALSE(frame.empty());
        const Message unso(frame);
        ASSERT_EQ(unso.name(), "unso");
        ASSERT_EQ(unso.get_child(0).name(), "report");
        (unso.attributes().get_string("id", "") == "slow" ? slow : fast) += 1;
    }
    EXPECT_EQ(slow, 1);
    EXPECT_TRUE(peer->read_frame(std::chrono::milliseconds(200)).empty());
}

TEST_F(Server, UnversionedClientGetsRepliesNamedAfterItsRequests) {
    listen_on("127.0.0.1");
    auto peer = client();
    struct NameCase {
        const char* request;
        const char* reply;
    };
    const NameCase kNames[] = {{"getConfig", "vantixConfig"},
                               {"setProfile", "profile"},
                               {"monitor", "monitor"},
                               {"ping", "pong"}};
    for (const auto& c : kNames) {
        peer->send_frame(std::string("<") + c.request + " seq=\"x\"/>");
        EXPECT_EQ(Message(peer->read_frame()).name(), c.reply) << c.request;
    }
}

TEST_F(Server, OtherThreadsMaySetTheProtocolAndAskForMatchesWhileTheLoopRuns) {
    // Races the loop's accepting and its endpoints; the thread sanitizer run is what tells.
    listen_on("127.0.0.1");
    std::atomic<bool> is_done{false};
    std::thread other([&] {
        while (!is_done) {
            manager.server_set_protocol("srv", "xmls");
            manager.find_server_match("status");
        }
    });
    for (int i = 0; i < 10; ++i) {
        auto peer = client();
        peer->send_frame("<ping seq=\"p\"/>");
        EXPECT_EQ(Message(peer->read_frame()).attributes().get_string("seq", ""), "p") << i;
    }
    is_done = true;
    other.join();
}

TEST_F(Server, UnversionedRequestWithoutAReplyNameGetsItsErrorAndReadingGoesOn) {
    listen_on("127.0.0.1");
    auto peer = client();
    peer->send_frame("<get seq=\"g\"/>");
    const Message refused(peer->read_frame());
    EXPECT_EQ(refused.attributes().get_int("error_code", 0), 404);
    EXPECT_EQ(refused.attributes().get_string("seq", ""), "g");
    peer->send_frame("<ping seq=\"p\"/>");
    EXPECT_EQ(Message(peer->read_frame()).name(), "pong");
}

// The replies put off so far, as the endpoint ids they are owed to, in order.
class DeferredReplies {
public:
    void add(const std::string& endpoint_id) {
        std::lock_guard<std::mutex> lock(mutex_);
        ids_.push_back(endpoint_id);
    }
    std::vector<std::string> ids() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ids_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> ids_;
};

// Puts off the replies to "getAlpha" and "getBeta"; the test sends them later, as a server
// application would, through IPCManager::server_send.
class DeferringEndpoint : public IPCEndpointServer {
public:
    explicit DeferringEndpoint(DeferredReplies& deferred) : deferred_(deferred) {
        register_command("getAlpha");
        register_command("getBeta");
    }
    bool handle_command(const Message&, Message& reply) override {
        reply.set_name("");
        deferred_.add(id());
        return true;
    }

private:
    DeferredReplies& deferred_;
};

class DeferringManager : public ThreadedManager {
public:
    DeferringManager() : ThreadedManager(0, false) { start(); }
    ~DeferringManager() override { stop_loop(); }
    IPCEndpointServer* create_endpoint_server(const std::string&) override { return new DeferringEndpoint(deferred); }
    DeferredReplies deferred;
};

TEST(ServerDeferredReplies, PipelinedUnversionedRequestsAreAnsweredInTurn) {
    DeferringManager manager;
    ASSERT_TRUE(manager.listen("stream", IPCAddress("127.0.0.1:0", 0), "srv", 0, 0));
    FrameClient peer("127.0.0.1", manager.server_address("srv").port());
    // Both requests in one write, so that they arrive together.
    peer.send_frame("<getAlpha seq=\"a\"/>" + std::string(1, '\0') + "<getBeta seq=\"b\"/>");

    size_t answered = 0;
    for (const char* name : {"alpha", "beta"}) {
        ASSERT_TRUE(wait_until([&] { return manager.deferred.ids().size() > answered; })) << name;
        // The second request is handled only once the first one's reply has gone out.
        EXPECT_EQ(manager.deferred.ids().size(), answered + 1) << name;
        Message answer;
        answer.set_name("resp");
        answer.attributes().set("answers", name);
        manager.server_send(answer, "srv", manager.deferred.ids()[answered++]);
        const Message reply(peer.read_frame());
        EXPECT_EQ(reply.name(), name);
        EXPECT_EQ(reply.attributes().get_string("answers", ""), name);
    }
}

}  // namespace

namespace {

TEST(ServerEndpoint, CapsSubscriptionsAndHeldChallenges) {
    IPCEndpointServer endpoint;
    Message request;
    request.set_name("subscribe");
    for (int i = 0; i < 300; ++i) request.add_child("sub").attributes().set("id", "s" + std::to_string(i));
    Message reply;
    reply.set_name("resp");
    endpoint.handle_request(request, reply);
    EXPECT_FALSE(reply.attributes().has("fail"));
    EXPECT_TRUE(endpoint.is_due("s255"));
    EXPECT_FALSE(endpoint.is_due("s256"));  // refused beyond the cap: never delivered

    const std::string first = endpoint.new_nonce(false);
    std::string last;
    for (int i = 0; i < 40; ++i) last = endpoint.new_nonce(false);
    EXPECT_FALSE(endpoint.find_nonce(first));
    EXPECT_TRUE(endpoint.find_nonce(last));
    EXPECT_EQ(last.size(), 32u);
}

TEST(ServerEndpoint, NonceCountsOnlyGrow) {
    IPCEndpointServer endpoint;
    EXPECT_TRUE(endpoint.check_nonce_count("n", 1));
    EXPECT_FALSE(endpoint.check_nonce_count("n", 1));
    EXPECT_TRUE(endpoint.check_nonce_count("n", 2));
    EXPECT_TRUE(endpoint.check_nonce_count("m", 1));
}

}  // namespace
