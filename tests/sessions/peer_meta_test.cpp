#include "sessions/peer_meta.h"

#include <gtest/gtest.h>

#include <string>

#include "ipc/message/message.h"

namespace {

Message node(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

struct HostCase {
    const char* addr;
    const char* host;
};
// RFC 3986 §3.2.2 (an IPv6 literal with a port is bracketed) and RFC 5952 §6 (the same without).
const HostCase kHosts[] = {
    {"192.0.2.7:9000", "192.0.2.7"},
    {"192.0.2.7", "192.0.2.7"},
    {"studio.example:9000", "studio.example"},
    {"[2001:db8::7]:9000", "2001:db8::7"},
    {"2001:db8::7", "2001:db8::7"},
    {"[2001:db8::7", "2001:db8::7"},
    {"", ""},
};

TEST(PeerMeta, AddressKeepsTheHostOnly) {
    for (const auto& c : kHosts) {
        EXPECT_EQ(PeerMeta::hostOfAddress(c.addr).toStdString(), c.host) << c.addr;
    }
}

struct SpellingCase {
    const char* peer;
    const char* password;
    bool bdlink;
};
// The peer list's own names ("pw", "bdlink") win over the ones "addPeer" takes.
const SpellingCase kSpellings[] = {
    {"<peer pw=\"a\" bdlink=\"true\"/>", "a", true},
    {"<peer password=\"b\" use_bdlink=\"true\"/>", "b", true},
    {"<peer pw=\"a\" password=\"b\" bdlink=\"false\" use_bdlink=\"true\"/>", "a", false},
    {"<peer/>", "", false},
};

TEST(PeerMeta, ReadsEitherSpellingOfPasswordAndBraidlink) {
    for (const auto& c : kSpellings) {
        const PeerMeta peer(node(c.peer));
        EXPECT_EQ(peer.password.toStdString(), c.password) << c.peer;
        EXPECT_EQ(peer.bdlink, c.bdlink) << c.peer;
    }
}

TEST(PeerMeta, DirectoryPeerHasNoAddressOrPassword) {
    const PeerMeta peer(node("<peer id=\"4\" addr=\"192.0.2.1:9\" pw=\"x\"><directory product=\"Pocket\" "
                             "state=\"busy\" online=\"true\"/><directory product=\"second\"/></peer>"));
    ASSERT_TRUE(peer.directory);
    EXPECT_EQ(peer.directory->product, "Pocket");
    EXPECT_EQ(peer.directory->state, "busy");
    EXPECT_TRUE(peer.directory->online);
    EXPECT_TRUE(peer.addr.isEmpty());
    EXPECT_TRUE(peer.password.isEmpty());
    EXPECT_FALSE(peer.channel);
}

TEST(PeerMeta, ChannelRecordOnlyForAnActivePeer) {
    const char* attributes = " channel=\"2\" state=\"up\" receiving=\"true\" channels=\"2\" rx_codec=\"opus\"/>";
    const PeerMeta idle(node(std::string("<peer active=\"false\"") + attributes));
    EXPECT_FALSE(idle.channel);
    const PeerMeta active(node(std::string("<peer active=\"true\"") + attributes));
    ASSERT_TRUE(active.channel);
    EXPECT_EQ(active.channel->channel, "2");
    EXPECT_TRUE(active.channel->receiving);
    EXPECT_FALSE(active.channel->transmitting);
    EXPECT_EQ(active.channel->channels, 2);
    EXPECT_EQ(active.channel->rx_codec, "opus");
}

TEST(PeerMeta, CopiesAreDeep) {
    PeerMeta original(node("<peer active=\"true\" channel=\"1\"><directory product=\"P\"/></peer>"));
    const PeerMeta copy(original);
    original.setDirectoryInfo("Q", "gone", false);
    original.channel.reset();
    ASSERT_TRUE(copy.channel && copy.directory);
    EXPECT_EQ(copy.channel->channel, "1");
    EXPECT_EQ(copy.directory->product, "P");
}

}  // namespace
