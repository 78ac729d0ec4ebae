#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/base/exception.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/protocols/ipc_protocol_xmls.h"

namespace {

// The framing alone, fed bytes straight through a connection that has no socket.
class RecordingFraming : public IPCProtocolXMLS {
public:
    using IPCProtocolXMLS::IPCProtocolXMLS;
    void receive_message(Message& message) override {
        if (throw_on_name == message.name()) throw Exception("%s: refused %s", "test", message.name().c_str());
        received.push_back(message.name());
        if (hold_on_name == message.name()) conn->set_read_hold(true);
        if (close_on_name == message.name()) conn->close();
    }
    std::vector<std::string> received;
    std::string throw_on_name = "never";
    std::string hold_on_name = "never";
    std::string close_on_name = "never";
};

class XmlsFraming : public ::testing::Test {
protected:
    XmlsFraming() : framing(new RecordingFraming(&connection)) { connection.set_protocol(framing); }

    IPCConnStream connection{nullptr, 0};
    RecordingFraming* framing;  // owned by the connection
};

std::string nul() {
    return std::string(1, '\0');
}

struct ChunkCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> delivered;
};

const ChunkCase kChunks[] = {
    {"two frames in one chunk", {"<a/>" + nul() + "<b/>" + nul()}, {"a", "b"}},
    {"frame split over chunks", {"<a/>" + nul() + "<b", "/>", nul()}, {"a", "b"}},
    {"bytes after the last NUL wait", {"<a/>" + nul() + "<b/>"}, {"a"}},
    {"lone NUL is an empty message", {nul()}, {""}},
    {"line break after each NUL is skipped", {"<a/>" + nul() + "\r\n<b/>" + nul()}, {"a", "b"}},
    {"blanks before the first frame", {" \t<a/>" + nul()}, {"a"}},
    {"NUL split from its frame", {"<a x='1'>", "<c/></a>", nul()}, {"a"}},
};

TEST(XmlsFramingChunks, CutsFramesAtEachNul) {
    for (const auto& c : kChunks) {
        IPCConnStream fresh(nullptr, 0);
        auto* recorder = new RecordingFraming(&fresh);
        fresh.set_protocol(recorder);
        for (const std::string& chunk : c.chunks) fresh.on_data(chunk);
        EXPECT_EQ(recorder->received, c.delivered) << c.name;
        EXPECT_FALSE(fresh.is_failed()) << c.name;
    }
}

// What the connection hands its client endpoint besides messages.
class DropRecorder : public IPCEndpointClient {
public:
    void on_frame_dropped(const IPCDroppedFrame& frame) override { reasons += frame.reason(); }
    void on_latin1_text() override { ++latin1_messages; }
    std::string reasons;  // one after another
    int latin1_messages = 0;
};

// Bytes as the socket hands them over: at most 16 KiB at a time.
void feed(IPCConn& connection, const std::string& bytes) {
    for (size_t offset = 0; offset < bytes.size(); offset += 16384) connection.on_data(bytes.substr(offset, 16384));
}

std::string nested(int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<n>";
    for (int i = 0; i < depth; ++i) xml += "</n>";
    return xml;
}

struct BadFrameCase {
    const char* name;
    std::string bytes;      // the bad frame, NUL included
    const char* delivered;  // the name of what arrives of it; null when nothing
    std::string drop;       // the reason it is dropped for; empty when it is not
};
// Each is followed by a good frame, which must arrive on the same connection.
const BadFrameCase kBadFrames[] = {
    {"not UTF-8", "<peer name=\"Stu\xC3(\xFF\xFEio\"/>" + nul(), "peer", ""},
    {"Latin-1 names", "<peer name=\"Z\xFCrich\" site=\"K\xF6ln\"/>" + nul(), "peer", ""},
    {"NUL inside a value", "<sysOptions unit_name=\"Stu" + nul() + "dio\"/>" + nul(), nullptr,
     "frame unreadable: read_xml_element: Premature end of document. at line 1, column 26"
     "frame unreadable: read_xml_element: Start tag expected. at line 1, column 0"},
    {"deeper than the cap", nested(Message::kMaxDepth + 1) + nul(), nullptr,
     "frame unreadable: read_xml_element: Nesting deeper than 256 levels at line 1, column 768"},
    {"a broken tag", "<peerList><peer id=\"1\"></peerList>" + nul(), nullptr,
     "frame unreadable: read_xml_element: Opening and ending tag mismatch. at line 1, column 33"},
    {"3 MiB without a NUL", "<m pad=\"" + std::string(3 * 1024 * 1024, 'x') + "\"/>" + nul(), nullptr,
     "frame too large: " + std::to_string(3 * 1024 * 1024 + 11) + " bytes"},
};

TEST(XmlsFramingBadFrames, CostOnlyThemselves) {
    for (const BadFrameCase& c : kBadFrames) {
        DropRecorder endpoint;  // outlives the connection
        IPCConnStream fresh(nullptr, 0);
        auto* recorder = new RecordingFraming(&fresh);
        fresh.set_protocol(recorder);
        fresh.set_endpoint_client(&endpoint);
        feed(fresh, c.bytes + "<good/>" + nul());

        std::vector<std::string> expected = {"good"};
        if (c.delivered) expected.insert(expected.begin(), c.delivered);
        EXPECT_EQ(recorder->received, expected) << c.name;
        EXPECT_FALSE(fresh.is_failed()) << c.name << ": " << fresh.error();
        EXPECT_EQ(endpoint.reasons, c.drop) << c.name;
        EXPECT_EQ(endpoint.latin1_messages, c.drop.empty() ? 1 : 0) << c.name;
    }
}

TEST_F(XmlsFraming, HoldsTheBufferLimitAndDiscardsBeyondIt) {
    const std::string open_frame = "<a>" + std::string(IPCConn::kDefaultReceiveLimit - 3, ' ');
    connection.on_data(open_frame);
    EXPECT_EQ(connection.input().size(), IPCConn::kDefaultReceiveLimit);
    connection.on_data(" ");
    EXPECT_EQ(connection.input().size(), 0u);  // counted from here on, never kept
    connection.on_data(" </a>" + nul() + "<b/>" + nul());
    EXPECT_FALSE(connection.is_failed());
    EXPECT_EQ(framing->received, std::vector<std::string>{"b"});
}

TEST_F(XmlsFraming, LargeCompleteFrameIsNotCountedAgainstTheLimit) {
    // A healthy stream: a 2 MiB frame completed in the same chunk as the start of the next one.
    const std::string large = "<a v='" + std::string(IPCConn::kDefaultSendLimit - 10, 'x') + "'/>" + nul();
    connection.on_data(large + "<b");
    EXPECT_FALSE(connection.is_failed());
    connection.on_data("/>" + nul());
    EXPECT_EQ(framing->received, (std::vector<std::string>{"a", "b"}));
}

TEST_F(XmlsFraming, BadFrameFailsTheConnectionButLaterFramesArrive) {
    framing->throw_on_name = "a";
    connection.on_data("<a/>" + nul() + "<b/>" + nul());
    EXPECT_TRUE(connection.is_failed());
    EXPECT_EQ(connection.error(), "test: refused a");
    EXPECT_EQ(framing->received, std::vector<std::string>{"b"});
}

TEST_F(XmlsFraming, HeldReadingKeepsTheFramesBehindUntilResumed) {
    framing->hold_on_name = "a";
    connection.on_data("<a/>" + nul() + "<b/>" + nul() + "<c");
    EXPECT_EQ(framing->received, std::vector<std::string>{"a"});
    EXPECT_FALSE(connection.has_pending_input());  // not while the hold lasts

    connection.set_read_hold(false);
    ASSERT_TRUE(connection.has_pending_input());
    connection.resume_input();
    EXPECT_EQ(framing->received, (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(connection.has_pending_input());
    connection.on_data("/>" + nul());
    EXPECT_EQ(framing->received, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(XmlsFraming, FrameThatClosesTheConnectionEndsTheChunk) {
    framing->close_on_name = "a";
    EXPECT_NO_THROW(connection.on_data("<a/>" + nul() + "<b/>" + nul()));
    EXPECT_EQ(framing->received, std::vector<std::string>{"a"});
    connection.on_data("<c/>" + nul());  // a reopened connection starts from a clean buffer
    EXPECT_EQ(framing->received, (std::vector<std::string>{"a", "c"}));
}

TEST(XmlsFrame, HasNoDeclarationAndEndsWithOneNul) {
    Message message;
    message.set_name("connect");
    message.attributes().set("id", 7);
    const std::string frame = IPCProtocolXMLS::frame(message);
    EXPECT_EQ(frame, "<connect id=\"7\"/>" + nul());
}

TEST(ProtocolFactory, MatchesNamesExactly) {
    IPCConnStream connection(nullptr, 0);
    IPCProtocol* xmls = IPCProtocol::create_client("xmls", &connection);
    EXPECT_NE(xmls, nullptr);
    delete xmls;
    EXPECT_EQ(IPCProtocol::create_client("XMLS", &connection), nullptr);
    EXPECT_EQ(IPCProtocol::create_client("", &connection), nullptr);
}

}  // namespace
