// Reading option descriptors, and what Save checks against them.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "dialogs/setting_option.h"
#include "ipc/message/message.h"
#include "sessions/peer_meta.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

QString choiceValues(const SettingOption& option) {
    QStringList values;
    for (const auto& choice : option.choices) values << choice.first + "=" + choice.second;
    return values.join(' ');
}

PeerMetaPtr peer(const char* id, const char* name, const char* addr) {
    auto made = std::make_shared<PeerMeta>();
    made->id = id;
    made->name = name;
    made->addr = addr;
    return made;
}

TEST(SettingOption, ReadsEachFamilysDescriptor) {
    const SettingOption select(
        parsed(R"(<option name="z" type="select" default="b" group="g" group_name="G" subgroup="s">)"
               R"(<select name="A" value="a"/><select name="B" value="b"/><select name="C" value="c"/></option>)"));
    EXPECT_EQ(choiceValues(select), "C=c B=b A=a");
    EXPECT_EQ(select.subgroup, "s");
    EXPECT_EQ(select.groupName, "G");

    SettingOption peers(parsed(R"(<option name="p" type="peer"><select name="X" value="x"/></option>)"));
    EXPECT_EQ(peers.type, "select");
    EXPECT_TRUE(peers.peer);
    EXPECT_TRUE(peers.choices.isEmpty());
    peers.setPeerChoices({peer("1", "P1", "10.0.0.1"), peer("2", "P2", "")});
    EXPECT_EQ(choiceValues(peers), "(No Peer)=0 P2=2 P1 (10.0.0.1)=1");

    SettingOption tunnel;
    SettingOption::parseBraidlinkOptionDesc(
        parsed(R"(<option name="on" type="bool" default_value="true" label_true="Up" label_false="Down"/>)"), tunnel);
    EXPECT_EQ(tunnel.defaultValue, "true");
    EXPECT_EQ(tunnel.labelTrue + tunnel.labelFalse, "UpDown");
    EXPECT_EQ(tunnel.group, "netmgr.tunnel");
    const SettingOption system_bool(parsed(R"(<option name="on" type="bool" label_true="Up"/>)"));
    EXPECT_TRUE(system_bool.labelTrue.isEmpty());

    SettingOption channel;
    SettingOption::parseChannelOptionDesc(parsed(R"(<option name="port" type="int" channel="1" default="9"/>)"),
                                          channel);
    EXPECT_EQ(channel.group, "channelList");
    EXPECT_EQ(channel.subgroup, "1");
}

// A missing limit leaves that end open, rather than making the range 0..0.
TEST(SettingOption, IntLimitsMissingAreOpen) {
    const struct {
        const char* limits;
        int min, max;
        const char* text;
    } cases[] = {
        {R"(min="-20" max="20")", -20, 20, "from -20 to 20 dB"},
        {R"(min="5")", 5, std::numeric_limits<int>::max(), "of at least 5 dB"},
        {R"(max="9")", std::numeric_limits<int>::min(), 9, "of at most 9 dB"},
        {"", std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), ""},
    };
    for (const auto& c : cases) {
        const SettingOption option(parsed(std::string(R"(<option type="int" units="dB" )") + c.limits + "/>"));
        EXPECT_EQ(option.min, c.min) << c.limits;
        EXPECT_EQ(option.max, c.max) << c.limits;
        EXPECT_EQ(option.limitsText(), c.text) << c.limits;
    }
}

TEST(SettingOption, CheckNamesTheSettingAndWhatItMustBe) {
    const Message codecs = parsed(R"(<codecList><codec id="1"/><codec id="2"/></codecList>)");
    const char* const choice = R"(<select name="A" value="a"/>)";
    const struct {
        const char* attributes;
        const char* children;
        const char* value;
        const char* problem;  // empty: accepted
    } cases[] = {
        {R"(type="int" min="10" max="20")", "", "15", ""},
        {R"(type="int" min="10" max="20")", "", "5", "\"Gain\" must be a whole number from 10 to 20."},
        {R"(type="int" min="10" max="20")", "", "1e1", "\"Gain\" must be a whole number from 10 to 20."},
        {R"(type="int")", "", " 7", "\"Gain\" must be a whole number."},
        {R"(type="select")", choice, "a", ""},
        {R"(type="select")", choice, "b", "\"Gain\" must be one of its choices."},
        {R"(type="codec")", "", "2", ""},
        {R"(type="codec")", "", "!follow", "\"Gain\" must be one of the codec's encoders."},
        {R"(type="bool")", "", "TRUE", "\"Gain\" must be on or off."},
        {R"(type="string")", "", "Studio\tA", "\"Gain\" must be text without control characters."},
        {R"(type="string")", "", "Studio \u00e9", ""},
    };
    for (const auto& c : cases) {
        const SettingOption option(
            parsed(std::string(R"(<option display_name="Gain" )") + c.attributes + ">" + c.children + "</option>"));
        EXPECT_EQ(option.check(QString::fromUtf8(c.value), codecs), c.problem) << c.attributes << " " << c.value;
    }
}

// Channel ids come from the codec: no id makes two options one.
TEST(OptionKey, AChannelIdIsTakenAsItIs) {
    EXPECT_EQ(makeOptionKey("2", "port"), "2:port");
    EXPECT_NE(makeOptionKey("%2", "x"), makeOptionKey("x", "x"));
    EXPECT_EQ(makeOptionKey("%2", "x"), "%2:x");
}

}  // namespace
