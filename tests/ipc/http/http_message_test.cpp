#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ipc/http/http_request.h"
#include "ipc/http/http_response.h"
#include "ipc/message/message.h"
#include "tests/support/exception_text.h"

namespace {

using test_support::error_of;

uint32_t feed(http_message& record, const std::string& bytes) {
    return record.parse(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Feeds one byte per call until the record is complete; returns how many bytes it took.
uint32_t feed_bytewise(http_message& record, const std::string& bytes) {
    uint32_t taken = 0;
    for (size_t i = 0; i < bytes.size() && !record.is_complete(); ++i) taken += record.parse(&bytes[i], 1);
    return taken;
}

const char kChunked[] =
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=1\r\n<a/>\r\n2\r\nxy\r\n0\r\nX-Trailer: t\r\n\r\n";
const char kWithLength[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 5\r\nSet-Cookie: a=b\r\n\r\nhello";

TEST(HttpMessage, OneBytePerCallParsesAsOneCall) {
    for (const std::string& wire : {std::string(kChunked), std::string(kWithLength)}) {
        http_response whole("\r\n");
        http_response bytewise("\r\n");
        EXPECT_EQ(feed(whole, wire + "HTTP/1.1 2"), wire.size());
        EXPECT_EQ(feed_bytewise(bytewise, wire + "HTTP/1.1 2"), wire.size());
        ASSERT_TRUE(whole.is_complete() && bytewise.is_complete()) << wire;
        EXPECT_EQ(bytewise.body(), whole.body());
        EXPECT_EQ(bytewise.status(), whole.status());
        EXPECT_EQ(bytewise.serialize(), whole.serialize());
    }
}

TEST(HttpMessage, PipelinedResponsesParseOneAfterTheOther) {
    const std::string wire = std::string(kWithLength) + kChunked;
    http_response response("\r\n");
    const uint32_t first = feed(response, wire);
    EXPECT_EQ(response.status(), 404u);
    EXPECT_EQ(response.body(), "hello");
    response.reset();
    EXPECT_EQ(feed(response, wire.substr(first)), wire.size() - first);
    EXPECT_EQ(response.body(), "<a/>xy");
    EXPECT_EQ(response.header_count("x-trailer"), 0u);  // trailers are dropped
}

struct Refusal {
    const char* name;
    std::string head;  // after a request line, before the empty line
    const char* error;
};

// Smuggling shapes after RFC 9112 §6.3 and §11.2, and the Overview's bounds.
const Refusal kRefusals[] = {
    {"two lengths", "Content-Length: 5\r\nContent-Length: 6", "Malformed Content-Length"},
    {"blank before the colon", "Content-Length : 5", "Illegal characters in HTTP message headers"},
    {"bare LF", "Host: a\nContent-Length: 5", "Illegal characters in HTTP message headers"},
    {"lone CR", "Host: a\rX: b", "Illegal characters in HTTP message headers"},
    {"line without colon", "Host a", "Illegal characters in HTTP message headers"},
    {"ESC byte", "X: \x1b", "Illegal characters in HTTP message headers"},
    {"signed length", "Content-Length: +5", "Malformed Content-Length"},
    {"hex length", "Content-Length: 0x5", "Malformed Content-Length"},
    {"length list", "Content-Length: 5, 5", "Malformed Content-Length"},
    {"length beyond u32", "Content-Length: 4294967295", "Malformed Content-Length"},
    {"body above the limit", "Content-Length: 2097153", "Oversized HTTP body"},
    {"other coding", "Transfer-Encoding: gzip, chunked", "Unsupported HTTP transfer coding"},
    {"257 lines",
     [] {
         std::string s = "X: 1";
         for (int i = 0; i < 256; ++i) s += "\r\nX: 1";
         return s;
     }(),
     "Illegal characters in HTTP message headers"},
    {"whole block of 65,537", "X: " + std::string(65537 - 23, 'x'), "Oversized HTTP header"},
};

TEST(HttpMessage, RefusesEachShapeByItsText) {
    for (const Refusal& c : kRefusals) {
        http_request request("\r\n");
        EXPECT_EQ(error_of([&] { feed(request, "GET / HTTP/1.1\r\n" + c.head + "\r\n\r\n"); }), c.error) << c.name;
    }
}

TEST(HttpMessage, HoldsAnUnfinishedHeaderOf65536BytesAndRefusesOneMore) {
    http_request request("\r\n");
    EXPECT_EQ(feed(request, std::string(65536, 'x')), 65536u);
    EXPECT_EQ(error_of([&] { feed(request, "x"); }), "Oversized HTTP header");
    http_request exact("\r\n");
    feed(exact, "GET / HTTP/1.1\r\nX: " + std::string(65536 - 23, 'x') + "\r\n\r\n");
    EXPECT_TRUE(exact.is_complete());
}

TEST(HttpMessage, OnlyEventSocketBlocksExpandOneLetterNames) {
    http_request request("\r\n");
    request.set_unknown_length(http_message::UnknownLength::kNone);
    feed(request, "GET / HTTP/1.1\r\nl: 5\r\n\r\nhello");
    EXPECT_TRUE(request.is_complete());
    EXPECT_EQ(request.content_length(), http_message::kUnknownLength);
    http_response block("\n");
    feed(block, "HTTP/1.1 200 OK\nl: 5\n\nhello");
    EXPECT_EQ(block.header("Content-Length"), "5");
    EXPECT_EQ(block.body(), "hello");
}

TEST(HttpMessage, ChunkedWinsOverALength) {
    http_response response("\r\n");
    feed(response, "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n");
    EXPECT_TRUE(response.is_complete());
    EXPECT_EQ(response.body(), "x");
    EXPECT_TRUE(response.has_length_conflict());
}

TEST(HttpMessage, CookieValuesKeepTheirEqualsSigns) {
    http_request request("\r\n");
    feed(request, "GET / HTTP/1.1\r\nCookie: ;bare; s=YWI=; q=\"a=b\"\r\ncookie: s=second\r\n\r\n");
    EXPECT_EQ(request.cookie("s"), "YWI=");
    EXPECT_EQ(request.cookie("q"), "a=b");
    EXPECT_TRUE(request.has_cookie("bare"));
    EXPECT_EQ(request.cookie("bare"), "");
}

TEST(HttpMessage, PrintingRefusesWhatWouldSplitALine) {
    http_request request("\r\n");
    EXPECT_EQ(error_of([&] { request.add_header("X", "a\r\nInjected: 1"); }),
              "add_header: Illegal characters in HTTP header X");
    request.set_method("GET");
    request.set_uri("/a b");
    EXPECT_EQ(error_of([&] { request.serialize(); }), "serialize: Illegal characters in HTTP request line");
    http_response response("\r\n");
    response.set_status(200, "OK\r\nX: 1");
    EXPECT_EQ(error_of([&] { response.serialize(); }), "serialize: Illegal characters in HTTP reason");
}

TEST(HttpMessage, MultipartPartsEndBeforeTheDelimitersLineBreak) {
    http_request request("\r\n");
    request.add_header("Content-Type", "multipart/form-data; boundary=\"b1\"; charset=utf-8");
    request.set_body("--b1\r\nName: a\r\n\r\nfirst\r\n--b1\r\nName: b\r\n\r\nsecond\r\n--b1--\r\n");
    const std::vector<http_message> parts = request.parse_multipart();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].body(), "first");
    EXPECT_EQ(parts[1].header("name"), "b");
    EXPECT_EQ(parts[1].body(), "second");
}

}  // namespace
