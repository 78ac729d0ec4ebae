#include "tools/codec-sim/codec_model.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "ipc/message/message.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// What the server endpoint hands the model: a "resp" carrying the request's "seq".
Message empty_reply(const Message& request) {
    Message reply;
    reply.set_name("resp");
    if (request.attributes().has("seq")) reply.attributes().set("seq", request.attributes().get_string("seq", ""));
    return reply;
}

Message ask(CodecModel& model, const std::string& xml, int64_t now_us = 0) {
    const Message request = parsed(xml);
    Message reply = empty_reply(request);
    EXPECT_TRUE(model.handle_request(request, now_us, reply)) << xml;
    return reply;
}

Message ask(CodecModel& model, const Message& request, int64_t now_us = 0) {
    Message reply = empty_reply(request);
    EXPECT_TRUE(model.handle_request(request, now_us, reply)) << request.name();
    return reply;
}

// As the program receives it: written by the library's writer and read back.
Message over_wire(const Message& message) {
    std::string text;
    message.serialize(Message::XML, text, false);
    return parsed(text);
}

std::string xml_of(const Message& message) {
    std::string text;
    message.serialize(Message::XML, text, false);
    return text;
}

std::vector<const Message*> children_named(const Message& node, const std::string& name) {
    std::vector<const Message*> out;
    for (int row = 0; row < node.size(); ++row) {
        if (node.get_child(row).name() == name) out.push_back(&node.get_child(row));
    }
    return out;
}

const Message* peer_named(const Message& list, const std::string& name) {
    for (const Message* peer : children_named(list, "peer")) {
        if (peer->attributes().get_string("name", "") == name) return peer;
    }
    return nullptr;
}

const Message* peer_with_id(const Message& list, const std::string& id) {
    for (const Message* peer : children_named(list, "peer")) {
        if (peer->attributes().get_string("id", "") == id) return peer;
    }
    return nullptr;
}

// The payload of the push named `name`, in the shape the program files like the fetch reply:
// <unso id="unso"><NAME>…</NAME></unso>. A nameless node when there is none.
Message payload_of(const std::vector<Message>& pushes, const std::string& name) {
    for (const Message& push : pushes) {
        if (push.name() == "unso" && push.attributes().get_string("id", "") == "unso" && push.size() == 1 &&
            push.get_child(0).name() == name) {
            return push.get_child(0);
        }
    }
    return Message();
}

// Everything a client can fetch, as one text: equal texts mean equal visible state.
std::string visible_state(CodecModel& model) {
    std::string all;
    for (const char* request :
         {"<getChannelList seq=\"channelList\"/>", "<getChannelOpts seq=\"channelOpts\"/>",
          "<getProfileList seq=\"profileList\"/>", "<getCodecList seq=\"codecList\"/>",
          "<getPeerList seq=\"peerList\"/>", "<getDirectoryServer seq=\"directoryServer\"/>",
          "<getSysOptions seq=\"sysOptions\"/>", "<cfgDescribe path=\"netmgr.tunnel\" seq=\"braidlinkSettings\"/>",
          "<cfgGetStatus path=\"netmgr.tunnel\" seq=\"tunnelStatus\"/>", "<getVersion seq=\"version\"/>"}) {
        all += xml_of(ask(model, request));
    }
    return all;
}

// The id of the first inactive address-book (non-directory) peer; empty when there is none.
std::string idle_book_peer(CodecModel& model) {
    const Message list = ask(model, "<getPeerList seq=\"peerList\"/>");
    for (const Message* peer : children_named(list, "peer")) {
        if (!peer->attributes().get_bool("active", false) && !peer->child_count("directory")) {
            return peer->attributes().get_string("id", "");
        }
    }
    return {};
}

// The program's start-up fetches, in its order, and the fields its parsers read from each reply.
struct StartUpCase {
    const char* request;
    const char* child;  // element the attributes sit on; null: the reply itself
    std::vector<const char*> attributes;
};
const StartUpCase kStartUp[] = {
    {"<getChannelList seq=\"channelList\"/>", "channel", {"id", "descr", "advanced", "remote_opts", "port"}},
    {"<getChannelOpts seq=\"channelOpts\"/>",
     "option",
     {"name", "display_name", "descr", "type", "default", "channel", "channel_opt", "profile_opt"}},
    {"<getProfileList seq=\"profileList\"/>", "profile", {"id"}},
    {"<getCodecList seq=\"codecList\"/>", "codec", {"id", "code", "mode", "name", "descr", "quality", "delay"}},
    {"<getPeerList seq=\"peerList\"/>", "peer", {"id", "name", "addr", "pw", "active", "profile"}},
    {"<getDirectoryServer seq=\"directoryServer\"/>", nullptr, {"enabled", "connected", "nat_addr", "nat_type"}},
    {"<getSysOptions seq=\"sysOptions\"/>", nullptr, {"unit_name"}},
    {"<getEventLog clear=\"false\" detail=\"true\" seq=\"eventLog\"/>", "e", {"ts"}},
    {"<cfgDescribe path=\"netmgr.tunnel\" seq=\"braidlinkSettings\"/>", "node", {}},
    {"<cfgGetStatus path=\"netmgr.tunnel\" seq=\"tunnelStatus\"/>", "node", {}},
    {"<getVersion seq=\"version\"/>", nullptr, {"version", "node_id", "build"}},
};

TEST(CodecModel, AnswersEveryStartUpFetchInTheShapeTheProgramReads) {
    CodecModel model(3);
    for (const StartUpCase& c : kStartUp) {
        const Message request = parsed(c.request);
        const Message reply = over_wire(ask(model, request));
        EXPECT_EQ(reply.name(), "resp") << c.request;
        EXPECT_EQ(reply.attributes().get_string("seq", ""), request.attributes().get_string("seq", "")) << c.request;
        EXPECT_FALSE(reply.attributes().has("fail")) << c.request;
        const Message* holder = &reply;
        if (c.child) {
            ASSERT_GT(reply.child_count(c.child), 0u) << c.request;
            holder = &reply.get_child(c.child, 0);
        }
        for (const char* attribute : c.attributes) {
            EXPECT_TRUE(holder->attributes().has(attribute)) << c.request << " lacks " << attribute;
        }
    }
}

TEST(CodecModel, EveryProfileHasSettingsAndExactlyOneIsDefault) {
    CodecModel model(4);
    const Message list = ask(model, "<getProfileList seq=\"profileList\"/>");
    int defaults = 0;
    for (const Message* profile : children_named(list, "profile")) {
        ASSERT_EQ(profile->child_count("settings"), 1u);
        EXPECT_FALSE(profile->get_child("settings", 0).attributes().get_string("name", "").empty());
        EXPECT_TRUE(profile->get_child("settings", 0).attributes().has("channel"));
        EXPECT_TRUE(profile->child_count("local"));
        defaults += profile->attributes().get_string("default", "") == "true";
    }
    EXPECT_EQ(defaults, 1);
}

// The settings page throws when an option's subgroup names no child of "sysOptions", and shows an
// empty value for an option that neither reply carries.
TEST(CodecModel, SystemOptionDescriptorsMatchTheValueReplies) {
    CodecModel model(0);
    const Message push = over_wire(model.system_options_push());
    ASSERT_EQ(push.name(), "unso");
    EXPECT_EQ(push.attributes().get_string("id", ""), "unso");
    ASSERT_EQ(push.size(), 1);
    const Message& opts = push.get_child(0);
    ASSERT_EQ(opts.name(), "systemOpts");
    const Message sys = ask(model, "<getSysOptions seq=\"sysOptions\"/>");
    const Message directory = ask(model, "<getDirectoryServer seq=\"directoryServer\"/>");
    ASSERT_GT(opts.size(), 0);
    for (const Message* option : children_named(opts, "option")) {
        const MessageAttributes& a = option->attributes();
        const std::string name = a.get_string("name", "");
        const std::string subgroup = a.get_string("subgroup", "");
        const Message* holder = &sys;
        if (a.get_string("group", "") == "directoryServer") {
            holder = &directory;
        } else if (!subgroup.empty()) {
            ASSERT_EQ(sys.child_count(subgroup), 1u) << name;
            holder = &sys.get_child(subgroup, 0);
        }
        EXPECT_TRUE(holder->attributes().has(name)) << name;
    }
}

TEST(CodecModel, BraidlinkSettingsHaveTheGroupFirstAndCurrentValues) {
    CodecModel model(1);
    const Message reply = ask(model, "<cfgDescribe path=\"netmgr.tunnel\" seq=\"braidlinkSettings\"/>");
    const Message& node = reply.get_child("node", 0);
    ASSERT_EQ(node.size(), 1);
    ASSERT_EQ(node.get_child(0).name(), "group");
    const auto options = children_named(node.get_child(0), "option");
    ASSERT_FALSE(options.empty());
    for (const Message* option : options) {
        EXPECT_TRUE(option->attributes().has("value"));
        EXPECT_TRUE(option->attributes().has("default_value"));
    }
}

TEST(CodecModel, ConnectAndDisconnectChangeTheChannelAndPushAPeerList) {
    CodecModel model(1);
    ask(model, "<disconnect/>");
    model.take_pushes();
    const std::string id = idle_book_peer(model);
    ASSERT_FALSE(id.empty());

    EXPECT_FALSE(ask(model, "<connect id=\"" + id + "\"/>", 5000000).attributes().has("fail"));
    std::vector<Message> pushes = model.take_pushes();
    ASSERT_EQ(pushes.size(), 1u);
    Message list = payload_of(pushes, "peerList");
    ASSERT_EQ(list.name(), "peerList");
    const Message* peer = peer_with_id(list, id);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->attributes().get_string("active", ""), "true");
    EXPECT_EQ(peer->attributes().get_string("chan_state", ""), "Connected");
    const std::string channel = peer->attributes().get_string("channel", "");
    const Message channels = ask(model, "<getChannelList seq=\"channelList\"/>");
    EXPECT_EQ(channels.get_child_by_attribute("channel", "id", channel).attributes().get_string("state", ""),
              "Connected");

    ask(model, "<disconnect id=\"" + id + "\"/>");
    list = payload_of(model.take_pushes(), "peerList");
    ASSERT_NE(peer_with_id(list, id), nullptr);
    EXPECT_EQ(peer_with_id(list, id)->attributes().get_string("active", ""), "false");

    // Nothing changed, nothing pushed.
    ask(model, "<disconnect id=\"" + id + "\"/>");
    EXPECT_TRUE(model.take_pushes().empty());
}

TEST(CodecModel, ConnectionsStopAtTheChannelCountAndDisconnectAllDropsThem) {
    CodecModel model(5);
    const size_t channels = ask(model, "<getChannelList seq=\"channelList\"/>").child_count("channel");
    Message refusal;
    for (int attempt = 0; attempt < 10 && !refusal.attributes().has("fail"); ++attempt) {
        const std::string idle = idle_book_peer(model);
        ASSERT_FALSE(idle.empty());
        refusal = ask(model, "<connect id=\"" + idle + "\"/>");
    }
    EXPECT_EQ(refusal.attributes().get_int("error_code", 0), 409);
    size_t active = 0;
    const Message peers = ask(model, "<getPeerList seq=\"peerList\"/>");
    for (const Message* peer : children_named(peers, "peer")) active += peer->attributes().get_bool("active", false);
    EXPECT_EQ(active, channels);

    model.take_pushes();
    ask(model, "<disconnect/>");
    const Message list = payload_of(model.take_pushes(), "peerList");
    ASSERT_EQ(list.name(), "peerList");
    for (const Message* peer : children_named(list, "peer")) EXPECT_FALSE(peer->attributes().get_bool("active", true));
}

// A far end that answers 30 s after the connect: what the peer list shows at 29 and 30 s, after
// whatever went to the codec at 10 s.
TEST(CodecModel, AFarEndAnsweringLateComesUpUnlessStoppedFirst) {
    constexpr int64_t kSecond = 1000000;
    const struct {
        const char* label;
        const char* at_10s;  // a request of the peer's, %ID% for its id; empty: none
        bool is_up_at_30s;
        bool is_refused = false;  // the request at 10 s
        int channels = 2;
        bool rings_anew = false;
    } cases[] = {
        {"left alone: up when its far end answers", "", true},
        {"connected again meanwhile: the first connect stands", "<connect id=\"%ID%\"/>", true},
        {"one channel, connected again: refused, the first stands", "<connect id=\"%ID%\"/>", true, true, 1},
        {"ringing anew, connected again: its ring starts again", "<connect id=\"%ID%\"/>", false, false, 1, true},
        {"its disconnect meanwhile: stopped", "<disconnect id=\"%ID%\"/>", false},
        {"a disconnect of all meanwhile: stopped", "<disconnect/>", false},
        {"another peer's disconnect: refused, still up", "<disconnect id=\"9999\"/>", true, true},
    };
    for (const auto& c : cases) {
        CodecModel model(1, CodecModel::kDefaultCalendarOrigin, false, c.channels);
        ask(model, "<disconnect/>");
        model.set_answer_after_us(30 * kSecond);
        model.set_ringing_anew(c.rings_anew);
        const std::string id = idle_book_peer(model);
        ASSERT_FALSE(id.empty());
        model.take_pushes();
        EXPECT_FALSE(ask(model, "<connect id=\"" + id + "\"/>", 0).attributes().has("fail")) << c.label;
        std::string at_10s = c.at_10s;
        if (const size_t at = at_10s.find("%ID%"); at != std::string::npos) at_10s.replace(at, 4, id);
        const bool is_refused = !at_10s.empty() && ask(model, at_10s, 10 * kSecond).attributes().has("fail");
        EXPECT_EQ(is_refused, c.is_refused) << c.label;
        EXPECT_FALSE(model.answer_ringing(29 * kSecond)) << c.label;
        EXPECT_TRUE(model.take_pushes().empty()) << c.label << ": nothing is up before the answer";
        EXPECT_EQ(model.answer_ringing(30 * kSecond), c.is_up_at_30s) << c.label;
        const Message list = payload_of(model.take_pushes(), "peerList");
        EXPECT_EQ(list.name() == "peerList", c.is_up_at_30s) << c.label;
        if (c.is_up_at_30s) {
            ASSERT_NE(peer_with_id(list, id), nullptr) << c.label;
            EXPECT_EQ(peer_with_id(list, id)->attributes().get_string("active", ""), "true") << c.label;
        }
    }
}

TEST(CodecModel, PeerAddEditAndRemoveChangeTheAddressBook) {
    CodecModel model(2);
    const Message added =
        ask(model, "<addPeer addr=\"192.0.2.99:9000\" name=\"Test Van\" password=\"s3cret\" seq=\"addPeer\"/>");
    EXPECT_FALSE(added.attributes().has("fail"));
    const std::string id = added.attributes().get_string("id", "");
    const Message list = payload_of(model.take_pushes(), "peerList");
    const Message* peer = peer_named(list, "Test Van");
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->attributes().get_string("id", ""), id);
    // The list reader takes "pw"; copying the peer to another codec takes "password".
    EXPECT_EQ(peer->attributes().get_string("pw", ""), "s3cret");
    EXPECT_EQ(peer->attributes().get_string("password", ""), "s3cret");

    ask(model, "<setPeerSettings addr=\"192.0.2.98\" bdlink=\"true\" id=\"" + id +
                   "\" name=\"Test Truck\" password=\"x\" unit=\"00:1d:c1:00:00:09\"/>");
    const Message edited = payload_of(model.take_pushes(), "peerList");
    ASSERT_NE(peer_named(edited, "Test Truck"), nullptr);
    EXPECT_EQ(peer_named(edited, "Test Truck")->attributes().get_string("bdlink", ""), "true");
    EXPECT_EQ(peer_named(edited, "Test Van"), nullptr);

    ask(model, "<setPeerSettings id=\"" + id + "\" profile=\"2\" seq=\"setPeerSettings\"/>");
    const Message assigned = payload_of(model.take_pushes(), "peerList");
    ASSERT_NE(peer_with_id(assigned, id), nullptr);
    EXPECT_EQ(peer_with_id(assigned, id)->attributes().get_string("profile", ""), "2");

    ask(model, "<removePeer id=\"" + id + "\"/>");
    const Message removed = payload_of(model.take_pushes(), "peerList");
    ASSERT_EQ(removed.name(), "peerList");
    EXPECT_EQ(peer_with_id(removed, id), nullptr);
}

// A filled address book holds the peers asked for, within its bound and never fewer than it was
// seeded with, each with its own id, name and address; once full, adding one is refused.
TEST(CodecModel, FilledAddressBookHoldsPeersOfTheirOwnUpToItsBound) {
    const std::string get_list = "<getPeerList seq=\"peerList\"/>";
    CodecModel seeded(2);
    const size_t seeded_count = children_named(ask(seeded, get_list), "peer").size();
    const struct {
        size_t count, expected;
    } kFills[] = {{0, seeded_count}, {600, 600}, {CodecModel::kMaxPeers + 1, CodecModel::kMaxPeers}};
    for (const auto& c : kFills) {
        CodecModel model(2);
        model.fill_address_book(c.count);
        const Message list = ask(model, get_list);
        const std::vector<const Message*> peers = children_named(list, "peer");
        EXPECT_EQ(peers.size(), c.expected) << c.count;
        std::set<std::string> ids, names, addresses;
        for (const Message* peer : peers) {
            ids.insert(peer->attributes().get_string("id", ""));
            names.insert(peer->attributes().get_string("name", ""));
            if (!peer->child_count("directory")) addresses.insert(peer->attributes().get_string("addr", ""));
        }
        EXPECT_EQ(ids.size(), c.expected) << c.count;
        EXPECT_EQ(names.size(), c.expected) << c.count;
        EXPECT_EQ(addresses.size(), c.expected - 1) << c.count;  // the directory's entry has none
        EXPECT_TRUE(model.take_pushes().empty()) << c.count;
    }
    CodecModel full(2);
    full.fill_address_book(CodecModel::kMaxPeers);
    const Message refused = ask(full, "<addPeer addr=\"192.0.2.99:9000\" name=\"Van\" seq=\"addPeer\"/>");
    EXPECT_EQ(refused.attributes().get_string("error_text", ""), "addPeer: address book full (1024 peers)");
}

TEST(CodecModel, ProfileAddCopySetAndDeleteChangeTheProfileList) {
    CodecModel model(2);
    const Message added = ask(model, "<addProfile seq=\"addProfile\"/>");
    const int id = added.attributes().get_int("id", 0);
    ASSERT_GT(id, 0);
    Message list = payload_of(model.take_pushes(), "profileList");
    ASSERT_EQ(list.name(), "profileList");
    EXPECT_EQ(list.child_count("profile"), ask(model, "<getProfileList seq=\"profileList\"/>").child_count("profile"));

    // Second step of a profile copy: another profile's children under the new id, made default.
    Message source = ask(model, "<getProfileList seq=\"profileList\"/>").get_child("profile", 1);
    source.set_name("setProfile");
    source.attributes().set("id", id);
    source.attributes().set("seq", "setProfile");
    source.attributes().set("default", true);
    source.get_child("settings", 0).attributes().set("name", "Copied In");
    EXPECT_FALSE(ask(model, source).attributes().has("fail"));
    list = payload_of(model.take_pushes(), "profileList");
    ASSERT_EQ(list.name(), "profileList");
    int defaults = 0;
    for (const Message* profile : children_named(list, "profile")) {
        const bool is_default = profile->attributes().get_string("default", "") == "true";
        defaults += is_default;
        if (profile->attributes().get_int("id", 0) == id) {
            EXPECT_TRUE(is_default);
            EXPECT_EQ(profile->get_child("settings", 0).attributes().get_string("name", ""), "Copied In");
        }
    }
    EXPECT_EQ(defaults, 1);

    ask(model, "<copyProfile id=\"" + std::to_string(id) + "\" name=\"Copied In (Copy)\"/>");
    ask(model, "<addProfile><settings name=\"New Profile...\"/></addProfile>");
    std::set<std::string> names;
    list = payload_of(model.take_pushes(), "profileList");
    for (const Message* profile : children_named(list, "profile")) {
        names.insert(profile->get_child("settings", 0).attributes().get_string("name", ""));
    }
    EXPECT_EQ(names.count("Copied In (Copy)"), 1u);
    EXPECT_EQ(names.count("New Profile..."), 1u);

    // A peer assigned to a deleted profile falls back to the unit default (0).
    const std::string peer = idle_book_peer(model);
    ask(model, "<setPeerSettings id=\"" + peer + "\" profile=\"" + std::to_string(id) + "\" seq=\"setPeerSettings\"/>");
    model.take_pushes();
    ask(model, "<deleteProfile id=\"" + std::to_string(id) + "\"/>");
    const std::vector<Message> pushes = model.take_pushes();
    list = payload_of(pushes, "profileList");
    ASSERT_EQ(list.name(), "profileList");
    for (const Message* profile : children_named(list, "profile"))
        EXPECT_NE(profile->attributes().get_int("id", 0), id);
    const Message peers = payload_of(pushes, "peerList");
    ASSERT_NE(peer_with_id(peers, peer), nullptr);
    EXPECT_EQ(peer_with_id(peers, peer)->attributes().get_string("profile", ""), "0");
}

TEST(CodecModel, SettingsWritesAreStoredAndPushed) {
    CodecModel model(6);
    // The settings page echoes the whole cached reply, "seq" renamed, edits included.
    Message sys = ask(model, "<getSysOptions seq=\"sysOptions\"/>");
    sys.set_name("setSysOptions");
    sys.attributes().set("seq", "setSysOptions");
    sys.attributes().set("unit_name", "Renamed Unit");
    sys.get_child("network", 0).attributes().set("dhcp", false);
    EXPECT_FALSE(ask(model, sys).attributes().has("fail"));
    Message pushed = payload_of(model.take_pushes(), "sysOptions");
    ASSERT_EQ(pushed.name(), "sysOptions");
    EXPECT_EQ(pushed.attributes().get_string("unit_name", ""), "Renamed Unit");
    EXPECT_EQ(pushed.get_child("network", 0).attributes().get_string("dhcp", ""), "false");
    EXPECT_EQ(model.unit_name(), "Renamed Unit");

    Message directory = ask(model, "<getDirectoryServer seq=\"directoryServer\"/>");
    directory.set_name("setDirectoryServer");
    directory.attributes().set("seq", "setDirectoryServer");
    directory.attributes().set("server", "dir2.example.net");
    ask(model, directory);
    pushed = payload_of(model.take_pushes(), "directoryServer");
    EXPECT_EQ(pushed.attributes().get_string("server", ""), "dir2.example.net");

    ask(model, "<setChannelSettings id=\"1\" seq=\"setChannelSettings\"><channel descr=\"Program\" id=\"1\" "
               "port=\"9100\"/></setChannelSettings>");
    pushed = payload_of(model.take_pushes(), "channelList");
    ASSERT_EQ(pushed.child_count("channel"), 1u);
    EXPECT_EQ(pushed.get_child_by_attribute("channel", "id", "1").attributes().get_string("port", ""), "9100");
}

TEST(CodecModel, BraidlinkOptionWriteIsAnsweredPerOptionAndStopsTheTunnel) {
    CodecModel model(1);
    Message status;
    ASSERT_TRUE(model.report("tun_stats", 0, status));
    ASSERT_EQ(status.child_count("sess"), 1u);

    const Message reply =
        ask(model, "<cfgSetOption path=\"netmgr.tunnel\" seq=\"setBraidlinkOptions\"><option name=\"enabled\" "
                   "type=\"bool\" value=\"false\"/><option name=\"port\" value=\"9200\"/></cfgSetOption>");
    EXPECT_FALSE(reply.attributes().has("fail"));
    const auto options = children_named(reply, "option");
    ASSERT_EQ(options.size(), 2u);
    // The program drops the first 14 characters of "option" to find the name.
    EXPECT_EQ(options[0]->attributes().get_string("option", "").substr(14), "enabled");
    EXPECT_EQ(options[0]->attributes().get_string("value", ""), "false");
    EXPECT_EQ(options[1]->attributes().get_string("option", "").substr(14), "port");

    ASSERT_TRUE(model.report("tun_stats", 0, status));
    EXPECT_EQ(status.child_count("sess"), 0u);
    ASSERT_TRUE(model.report("cfgStatus:netmgr.tunnel", 0, status));
    EXPECT_EQ(status.name(), "node");
    EXPECT_EQ(status.child_count("sess"), 0u);
}

TEST(CodecModel, MaxDelayFollowsSetMaxDelay) {
    CodecModel model(1);
    Message stats;
    ASSERT_TRUE(model.report("tun_stats", 0, stats));
    const std::string sid = stats.get_child("sess", 0).attributes().get_string("sid", "");
    ask(model, "<setMaxDelay auto=\"false\" delay=\"250\" remote=\"false\" sid=\"" + sid + "\"/>");
    ask(model, "<setMaxDelay auto=\"true\" remote=\"true\" sid=\"" + sid + "\"/>");
    ASSERT_TRUE(model.report("tun_stats", 0, stats));
    const MessageAttributes& sess = stats.get_child("sess", 0).attributes();
    EXPECT_EQ(sess.get_int("dm", 0), 250);
    EXPECT_EQ(sess.get_string("dma", ""), "false");
    EXPECT_EQ(sess.get_string("rdma", ""), "true");
    EXPECT_TRUE(ask(model, "<setMaxDelay auto=\"false\" delay=\"5\" remote=\"false\" sid=\"" + sid + "\"/>")
                    .attributes()
                    .has("fail"));
}

// Requests a codec refuses; each must leave the whole visible state as it was.
struct RefusalCase {
    const char* request;
    int error_code;
};
const RefusalCase kRefusals[] = {
    {"<connect id=\"999\"/>", 404},
    {"<connect id=\"twelve\"/>", 400},
    {"<disconnect id=\"999\"/>", 404},
    {"<addPeer seq=\"addPeer\"/>", 400},
    {"<setPeerSettings id=\"1\" profile=\"999\" seq=\"setPeerSettings\"/>", 404},
    {"<setPeerSettings id=\"999\" profile=\"0\" seq=\"setPeerSettings\"/>", 404},
    {"<setPeerSettings id=\"1\" name=\"\"/>", 400},
    {"<removePeer id=\"x\"/>", 400},
    {"<copyProfile id=\"999\" name=\"X\"/>", 404},
    {"<deleteProfile id=\"999\"/>", 404},
    {"<setProfile id=\"1\" seq=\"setProfile\"><settings channel=\"9\" name=\"A\"/></setProfile>", 400},
    {"<setProfile id=\"1\" seq=\"setProfile\"><local encoder=\"!follow\"/></setProfile>", 400},
    {"<setProfile id=\"1\" seq=\"setProfile\"><local frames=\"0\"/></setProfile>", 400},
    {"<setSysOptions input_gain=\"1\" seq=\"setSysOptions\" unit_name=\"X\"><audio "
     "input_gain=\"99\"/></setSysOptions>",
     400},
    {"<setSysOptions seq=\"setSysOptions\" time_zone=\"Mars/Olympus\"/>", 400},
    {"<setDirectoryServer enabled=\"yes\" seq=\"setDirectoryServer\"/>", 400},
    {"<setChannelSettings id=\"9\" seq=\"setChannelSettings\"><channel id=\"9\"/></setChannelSettings>", 404},
    {"<setChannelSettings id=\"1\" seq=\"setChannelSettings\"><channel port=\"80\"/></setChannelSettings>", 400},
    {"<cfgSetOption path=\"netmgr.tunnel\" seq=\"setBraidlinkOptions\"><option name=\"enabled\" "
     "value=\"false\"/>"
     "<option name=\"warp\" value=\"9\"/></cfgSetOption>",
     404},
    {"<cfgSetOption path=\"netmgr.other\" seq=\"setBraidlinkOptions\"/>", 404},
    {"<cfgDescribe path=\"netmgr.other\" seq=\"braidlinkSettings\"/>", 404},
    {"<setMaxDelay auto=\"true\" remote=\"false\" sid=\"1\"/>", 404},
};

TEST(CodecModel, RefusedRequestsFailWithTheirNameAndChangeNothing) {
    CodecModel model(3);
    const std::string before = visible_state(model);
    for (const RefusalCase& c : kRefusals) {
        const Message request = parsed(c.request);
        const Message reply = ask(model, request);
        EXPECT_EQ(reply.attributes().get_string("fail", ""), "true") << c.request;
        EXPECT_EQ(reply.attributes().get_int("error_code", 0), c.error_code) << c.request;
        EXPECT_EQ(reply.attributes().get_string("error_text", "").rfind(request.name() + ": ", 0), 0u) << c.request;
        EXPECT_TRUE(model.take_pushes().empty()) << c.request;
    }
    EXPECT_EQ(visible_state(model), before);
}

TEST(CodecModel, OverlongTextsAreRefused) {
    CodecModel model(0);
    const std::string name(CodecModel::kMaxTextLength + 1, 'n');
    const Message reply = ask(model, "<addPeer addr=\"a\" name=\"" + name + "\" password=\"p\" seq=\"addPeer\"/>");
    EXPECT_EQ(reply.attributes().get_int("error_code", 0), 400);
    EXPECT_EQ(peer_named(ask(model, "<getPeerList seq=\"peerList\"/>"), name), nullptr);
}

// Odd but well-formed requests: answered, never thrown out of.
TEST(CodecModel, IncompleteRequestsNeverThrow) {
    CodecModel model(7);
    for (const char* request :
         {"<setProfile seq=\"setProfile\"/>", "<setProfile id=\"1\"><settings/><local/><remote/></setProfile>",
          "<setChannelSettings id=\"1\"/>",
          "<cfgSetOption path=\"netmgr.tunnel\"><option name=\"port\"/></cfgSetOption>",
          "<addProfile><settings/></addProfile>", "<copyProfile/>", "<deleteProfile id=\"abc\"/>", "<setMaxDelay/>",
          "<monitor/>", "<getEventLog/>", "<disconnect id=\"\"/>", "<connect/>", "<removePeer/>", "<setPeerSettings/>",
          "<setSysOptions/>", "<setDirectoryServer/>", "<cfgDescribe/>", "<cfgGetStatus/>"}) {
        const Message parsed_request = parsed(request);
        Message reply = empty_reply(parsed_request);
        EXPECT_NO_THROW(EXPECT_TRUE(model.handle_request(parsed_request, 0, reply))) << request;
    }
}

TEST(CodecModel, UnknownCommandsAreLeftToTheCaller) {
    CodecModel model(0);
    // The last two belong to the server itself and never reach the model.
    for (const char* name : {"bogus", "getConfig", "getPower", "", "subscribe", "login"}) {
        Message request;
        request.set_name(name);
        Message reply = empty_reply(request);
        EXPECT_FALSE(model.handle_request(request, 0, reply)) << name;
        EXPECT_EQ(reply.attributes().size(), 0u) << name;
    }
}

TEST(CodecModel, SubscriptionTableIsTheProgramsNineInOrder) {
    const std::vector<std::string> expected = {"peer_stats",
                                               "channel_stats",
                                               "tun_conns",
                                               "tun_stats",
                                               "power",
                                               "version",
                                               "metering",
                                               "cfgStatus:netmgr.tunnel",
                                               "cfgData:netmgr.tunnel.*"};
    const auto& table = CodecModel::subscriptions();
    ASSERT_EQ(table.size(), expected.size());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].name, expected[i]);
        EXPECT_EQ(table[i].interval_ms, expected[i] == "metering" ? 67u : 0u);
    }
}

// The element each subscription's handler in the program looks for.
struct ReportCase {
    const char* subscription;
    const char* element;  // the payload's name, or "unso" for a complete frame
};
const ReportCase kReports[] = {
    {"peer_stats", "peerStats"},
    {"channel_stats", "channelStats"},
    {"tun_conns", "conns"},
    {"tun_stats", "stats"},
    {"version", "version"},
    {"metering", "metering"},
    {"cfgStatus:netmgr.tunnel", "node"},
    {"cfgData:netmgr.tunnel.*", "unso"},
};

TEST(CodecModel, ReportsHaveTheShapesTheHandlersRead) {
    CodecModel model(5);
    for (const ReportCase& c : kReports) {
        Message out;
        ASSERT_TRUE(model.report(c.subscription, 1000000, out)) << c.subscription;
        EXPECT_EQ(out.name(), c.element) << c.subscription;
        bool is_payload = true;
        for (const auto& s : CodecModel::subscriptions()) {
            if (s.name == std::string(c.subscription)) is_payload = s.is_payload;
        }
        EXPECT_EQ(is_payload, std::string(c.element) != "unso") << c.subscription;
    }
    Message frame;
    ASSERT_TRUE(model.report("cfgData:netmgr.tunnel.*", 0, frame));
    EXPECT_EQ(frame.attributes().get_string("id", ""), "netmgr.tunnel");
    EXPECT_EQ(frame.child_count("node"), 1u);

    Message none;
    EXPECT_FALSE(model.report("power", 0, none));
    EXPECT_FALSE(model.report("levels", 0, none));
}

TEST(CodecModel, PeerAndChannelStatisticsFollowTheConnections) {
    CodecModel model(5);  // starts with every channel in a call
    const Message peers = ask(model, "<getPeerList seq=\"peerList\"/>");
    std::set<std::string> active, active_channels;
    for (const Message* peer : children_named(peers, "peer")) {
        if (!peer->attributes().get_bool("active", false)) continue;
        active.insert(peer->attributes().get_string("id", ""));
        active_channels.insert(peer->attributes().get_string("channel", ""));
    }
    ASSERT_FALSE(active.empty());

    Message early, late, channels;
    ASSERT_TRUE(model.report("peer_stats", 10000000, early));
    ASSERT_TRUE(model.report("peer_stats", 70000000, late));
    std::set<std::string> reported;
    for (const Message* peer : children_named(late, "peer")) reported.insert(peer->attributes().get_string("id", ""));
    EXPECT_EQ(reported, active);
    EXPECT_EQ(late.get_child("peer", 0).attributes().get_int("callTime", 0) -
                  early.get_child("peer", 0).attributes().get_int("callTime", 0),
              60);

    ASSERT_TRUE(model.report("channel_stats", 10000000, channels));
    for (const Message* channel : children_named(channels, "channel")) {
        const bool is_busy = active_channels.count(channel->attributes().get_string("id", "")) > 0;
        EXPECT_EQ(channel->attributes().get_int("rxPayload", 0) > 0, is_busy);
    }

    ask(model, "<disconnect/>");
    ASSERT_TRUE(model.report("peer_stats", 80000000, late));
    EXPECT_EQ(late.size(), 0);
}

TEST(CodecModel, MeteringMovesWithinTheMeterScaleAndStopsWhenSwitchedOff) {
    CodecModel model(5);
    std::set<std::string> transmit_levels;
    for (int tick = 0; tick < 60; ++tick) {
        Message levels;
        ASSERT_TRUE(model.report("metering", int64_t{tick} * 67000, levels));
        for (const char* side : {"rml", "rmr", "tml", "tmr"}) {
            const float first = levels.attributes().get_float(std::string(side) + "f", 1.0f);
            const float second = levels.attributes().get_float(std::string(side) + "s", 1.0f);
            EXPECT_GE(first, -72.0f) << side;
            EXPECT_LE(first, 0.0f) << side;
            EXPECT_GE(second, first) << side;
            EXPECT_LE(second, 0.0f) << side;
        }
        transmit_levels.insert(levels.attributes().get_string("tmlf", ""));
    }
    EXPECT_GT(transmit_levels.size(), 30u);

    // Nobody connected: the receive meters rest at the bottom of the scale.
    ask(model, "<disconnect/>");
    Message silent;
    ASSERT_TRUE(model.report("metering", 0, silent));
    EXPECT_EQ(silent.attributes().get_float("rmlf", 0.0f), -72.0f);

    ask(model, "<monitor metering=\"false\"/>");
    EXPECT_FALSE(model.report("metering", 0, silent));
    ask(model, "<monitor meterInterval=\"67\" metering=\"true\"/>");
    EXPECT_TRUE(model.report("metering", 0, silent));
}

TEST(CodecModel, SameIndexIsReproducibleAndIndexesDiffer) {
    CodecModel first(3), again(3), other(4);
    EXPECT_EQ(visible_state(first), visible_state(again));
    EXPECT_NE(visible_state(first), visible_state(other));
    EXPECT_NE(first.unit_name(), other.unit_name());

    const char* script[] = {"<addPeer addr=\"192.0.2.5\" name=\"N\" password=\"p\" seq=\"addPeer\"/>",
                            "<addProfile seq=\"addProfile\"/>", "<disconnect/>"};
    for (const char* request : script) {
        ask(first, request, 42000000);
        ask(again, request, 42000000);
    }
    EXPECT_EQ(visible_state(first), visible_state(again));
    for (const auto& s : CodecModel::subscriptions()) {
        Message a, b;
        const bool has_report = first.report(s.name, 123456789, a);
        ASSERT_EQ(again.report(s.name, 123456789, b), has_report) << s.name;
        if (has_report) {
            EXPECT_EQ(xml_of(a), xml_of(b)) << s.name;
        }
    }
    EXPECT_EQ(xml_of(ask(first, "<getEventLog seq=\"eventLog\"/>")),
              xml_of(ask(again, "<getEventLog seq=\"eventLog\"/>")));
}

// Stamps as the program parses them: "Www, d Mon yyyy hh:mm:ss +0000" (checked with date -u).
struct StampCase {
    int64_t origin_s;
    int64_t now_s;
    const char* stamp;
};
const StampCase kStamps[] = {
    {1607315400, 660, "Mon, 7 Dec 2020 04:41:00 +0000"},
    {951782400, 0, "Tue, 29 Feb 2000 00:00:00 +0000"},
    {0, -1, "Wed, 31 Dec 1969 23:59:59 +0000"},
};

TEST(CodecModel, EventLogStampsChangesAndClears) {
    for (const StampCase& c : kStamps) {
        CodecModel model(0, c.origin_s);
        ask(model, "<addPeer addr=\"192.0.2.7\" name=\"Stamp\" password=\"p\" seq=\"addPeer\"/>", c.now_s * 1000000);
        const Message log = ask(model, "<getEventLog clear=\"false\" detail=\"true\" seq=\"eventLog\"/>");
        ASSERT_GT(log.size(), 0);
        const Message& last = log.get_child(log.size() - 1);
        EXPECT_EQ(last.attributes().get_string("ts", ""), c.stamp);
        EXPECT_EQ(last.value().to_string(), "Peer added: Stamp");
    }

    // The Reset button's request has no "seq": its reply must not look like a report of entries.
    CodecModel model(0);
    EXPECT_EQ(ask(model, "<getEventLog clear=\"true\" detail=\"false\"/>").size(), 0);
    EXPECT_EQ(ask(model, "<getEventLog seq=\"eventLog\"/>").size(), 0);
}

// Element text cleaned for XML 1.0 and read back by the library's reader.
struct TextCase {
    const char* written;
    const char* read;
};
const TextCase kTexts[] = {
    {"plain", "plain"},
    {"a<b & c>\"d\" 'e'", "a<b & c>\"d\" 'e'"},
    {"tab\there", "tab here"},
    {"line\nbreak\r", "line break "},
    {"caf\xC3\xA9", "caf\xC3\xA9"},
    {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
    {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
};

TEST(CodecModel, FrameWithTextCarriesEventTextsThroughTheReader) {
    Message reply;
    reply.set_name("resp");
    reply.attributes().set("seq", "eventLog");
    for (const TextCase& c : kTexts) {
        Message& e = reply.add_child("e");
        e.attributes().set("ts", "Mon, 7 Dec 2020 04:41:00 +0000");
        e.value().set(c.written);
    }
    const std::string frame = CodecModel::frame_with_text(reply);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(frame.back(), '\0');
    EXPECT_EQ(frame.find('\0'), frame.size() - 1);
    EXPECT_EQ(frame.rfind("<resp seq=\"eventLog\">", 0), 0u);

    const Message back = parsed(frame.substr(0, frame.size() - 1));
    EXPECT_EQ(back.attributes().get_string("seq", ""), "eventLog");
    ASSERT_EQ(back.size(), static_cast<int>(std::size(kTexts)));
    for (int i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back.get_child(i).value().to_string(), kTexts[i].read) << i;
        EXPECT_EQ(back.get_child(i).attributes().get_string("ts", ""), "Mon, 7 Dec 2020 04:41:00 +0000");
    }

    // Without any text the frame is what the protocol's own writer sends.
    Message plain;
    plain.set_name("resp");
    plain.attributes().set("seq", "x");
    EXPECT_EQ(CodecModel::frame_with_text(plain), std::string("<resp seq=\"x\"/>") + '\0');
}

}  // namespace
