// The settings page's working copies: where values are found, which edits are kept, and the
// requests that write them back.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include "dialogs/settings_working_copies.h"
#include "tests/support/captured_qt_messages.h"
#include "text/codec_text.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// Channels 2 and 10, each with a "port" option; a system option in subgroup "audio"; a tunnel option.
SettingsWorkingCopies copiesOf(const std::string& sysOptions, const std::string& tunnelNode,
                               const std::string& channelTwo = "Two") {
    SettingsWorkingCopies copies;
    copies.loadChannels(parsed(R"(<channelList><channel id="2" descr=")" + channelTwo +
                               R"(" port="1"/>)"
                               R"(<channel id="10" descr="Ten" port="1"/></channelList>)"));
    copies.parseChannelOpts(parsed(R"(<channelOpts><option name="port" type="int" channel="2" channel_opt="true"/>)"
                                   R"(<option name="port" type="int" channel="10" channel_opt="true"/>)"
                                   R"(<option name="gone" type="int" channel="3" channel_opt="true"/>)"
                                   R"(<option name="codec" type="codec" channel="2"/></channelOpts>)"));
    copies.parseSystemOpts(parsed(R"(<systemOpts><option name="gain" type="int" subgroup="audio"/>)"
                                  R"(<option name="server" type="string" group="directoryServer"/></systemOpts>)"),
                           {});
    copies.pendingSysOptions = parsed(sysOptions);
    copies.pendingDirectoryServer = parsed(R"(<directoryServer server="a"/>)");
    copies.braidlinkNode = parsed(tunnelNode);
    copies.parseBraidlinkSettings(copies.braidlinkNode);
    return copies;
}

const char* const kWholeSysOptions = R"(<sysOptions unit_name="U"><audio gain="1"/></sysOptions>)";
const char* const kWholeTunnel = R"(<node><group name="tunnel"><option name="mode" value="x"/></group></node>)";

TEST(SettingsWorkingCopies, WritesEditedPartsBackInOrder) {
    SettingsWorkingCopies copies = copiesOf(kWholeSysOptions, kWholeTunnel);
    EXPECT_EQ(copies.options.value("2:port").groupName, "Two");
    EXPECT_FALSE(copies.options.contains("2:codec"));  // not a channel option
    for (const auto& [name, tag, channel] : {std::tuple{"port", "chan", "2"},
                                             {"port", "chan", "10"},
                                             {"mode", "bdlink", ""},
                                             {"server", "ds", ""},
                                             {"gain", "sys", ""}}) {
        EXPECT_TRUE(copies.setPendingValue(name, "7", tag, channel)) << name << channel;
    }
    std::vector<Message> requests;
    for (const auto& each : copies.changedRequests(true)) requests.push_back(each.message());
    ASSERT_EQ(requests.size(), 5u);
    const char* const names[] = {"setDirectoryServer", "setSysOptions", "cfgSetOption", "setChannelSettings",
                                 "setChannelSettings"};
    for (size_t i = 0; i < requests.size(); ++i) EXPECT_EQ(requests[i].name(), names[i]);
    EXPECT_EQ(requests[0].attributes().get_string("server", ""), "7");
    EXPECT_EQ(requests[1].get_child("audio", 0).attributes().get_string("gain", ""), "7");
    EXPECT_EQ(requests[1].attributes().get_string("unit_name", ""), "U");  // the whole copy goes
    EXPECT_EQ(requests[2].attributes().get_string("seq", ""), "setBraidlinkOptions");
    EXPECT_EQ(requests[2].attributes().get_string("path", ""), "netmgr.tunnel");
    EXPECT_EQ(requests[2].get_child("option", 0).attributes().get_string("value", ""), "7");
    // In text order of the id: 10 before 2. The channel element goes whole, with nothing of ours.
    EXPECT_EQ(requests[3].attributes().get_string("id", ""), "10");
    EXPECT_EQ(requests[4].attributes().get_string("id", ""), "2");
    EXPECT_EQ(requests[4].get_child("channel", 0).attributes().to_string(),
              parsed(R"(<channel id="2" descr="Two" port="7"/>)").attributes().to_string());
    EXPECT_EQ(copies.changedRequests(false).size(), 4u);  // no tunnel without subscriptions

    copies.clearMarks();
    EXPECT_TRUE(copies.changedRequests(true).empty());
}

// An option whose element is missing from the codec's replies is absent: never thrown over, never
// edited. So is a channel the copies do not hold.
TEST(SettingsWorkingCopies, MissingElementsMakeOptionsAbsent) {
    test_support::CapturedQtMessages messages;
    SettingsWorkingCopies copies = copiesOf(R"(<sysOptions unit_name="U"/>)", R"(<node path="netmgr.tunnel"/>)");
    EXPECT_EQ(messages.count_warnings("no \"group\""), 1);
    EXPECT_FALSE(copies.currentValue(copies.options.value("gain")));
    EXPECT_FALSE(copies.setPendingValue("gain", "7", "sys", ""));
    EXPECT_FALSE(copies.currentValue(copies.options.value("3:gone")));
    EXPECT_FALSE(copies.setPendingValue("gone", "7", "chan", "3"));
    EXPECT_TRUE(copies.changedRequests(true).empty());
    EXPECT_EQ(copies.currentValue(copies.options.value("server")), QString("a"));
    // A channel that does not carry an option has its default.
    copies.channels["2"].attributes().remove("port");
    copies.options["2:port"].defaultValue = "9000";
    EXPECT_EQ(copies.currentValue(copies.options.value("2:port")), QString("9000"));
}

PeerMetaPtr peer(const char* id, const char* name, const char* addr) {
    return std::make_shared<const PeerMeta>(
        parsed(std::string(R"(<peer id=")") + id + R"(" name=")" + name + R"(" addr=")" + addr + R"("/>)"));
}

// Edits made again on what the codec reports next are dropped, with a line naming the value lost,
// when the option no longer takes it or its id names something else by now.
TEST(SettingsWorkingCopies, RestoredEditsAreDroppedAloud) {
    SettingsWorkingCopies before = copiesOf(kWholeSysOptions, kWholeTunnel);
    before.parseSystemOpts(parsed(R"(<systemOpts><option name="gain" display_name="Gain" type="int" min="-20")"
                                  R"( max="20" units="dB" subgroup="audio"/><option name="peer" display_name="Peer")"
                                  R"( type="peer"/><option name="enc" display_name="Encoder" type="codec"/>)"
                                  R"(</systemOpts>)"),
                           {peer("4", "Berlin", "192.0.2.4:9000")});
    before.pendingSysOptions.attributes().set("peer", "0");
    before.pendingSysOptions.attributes().set("enc", "1");
    before.codecList = parsed(R"(<codecList><codec id="1" code="A" mode="Mono" name="Opus"/>)"
                              R"(<codec id="2" code="B" mode="Stereo" name="AAC"/></codecList>)");
    before.options["2:port"].displayName = "Port";
    SettingsWorkingCopies edited = before;
    for (const auto& [name, value, tag, channel] : {std::tuple{"gain", "12", "sys", ""},
                                                    {"port", "7", "chan", "2"},
                                                    {"peer", "4", "sys", ""},
                                                    {"enc", "2", "sys", ""}}) {
        ASSERT_TRUE(edited.setPendingValue(name, value, tag, channel)) << name;
    }
    const struct {
        const char* key;
        std::function<void(SettingsWorkingCopies&)> report;
        const char* line;
    } cases[] = {
        {"gain", [](SettingsWorkingCopies& now) { now.options["gain"].max = 6; },
         "Gain: 12 dropped, the codec now takes -20 to 6 dB."},
        {"2:port", [](SettingsWorkingCopies& now) { now.options["2:port"].channelDescr = "Backup"; },
         "Port (Two): 7 dropped, channel 2 is now \"Backup\"."},
        {"peer", [](SettingsWorkingCopies& now) { now.refillPeerChoices({}); },
         "Peer: \"Berlin (192.0.2.4)\" dropped, peer 4 is no longer on the codec."},
        {"enc",
         [](SettingsWorkingCopies& now) { now.codecList.get_child("codec", 1).attributes().set("name", "G722"); },
         "Encoder: \"B: Stereo AAC\" dropped, encoder 2 is now \"B: Stereo G722\"."},
    };
    for (const auto& c : cases) {
        SettingsWorkingCopies now = before;
        c.report(now);
        EXPECT_EQ(now.restoreEdits(edited, before).values().join('\n').toStdString(), c.line) << c.key;
        EXPECT_FALSE(now.isEdited(c.key));
        EXPECT_TRUE(now.hasEdits()) << c.key;  // the other edits are made again
    }
    // The restores wrote into their own copies, not into the codec's report they were made from.
    EXPECT_EQ(before.currentValue(before.options.value("2:port")), QString("1"));

    // Two descriptions alike in every character the group row shows are still two channels.
    const std::string alike(kMaxShownCodecText, 'S');
    const SettingsWorkingCopies longBefore = copiesOf(kWholeSysOptions, kWholeTunnel, alike + "A");
    SettingsWorkingCopies longEdited = longBefore;
    ASSERT_TRUE(longEdited.setPendingValue("port", "7", "chan", "2"));
    SettingsWorkingCopies renamed = copiesOf(kWholeSysOptions, kWholeTunnel, alike + "B");
    EXPECT_TRUE(renamed.restoreEdits(longEdited, longBefore).contains("2:port"));  // a line names the drop
    EXPECT_FALSE(renamed.isEdited("2:port"));
}

}  // namespace
