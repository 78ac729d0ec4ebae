#include <gtest/gtest.h>

#include <string>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "tests/support/curl_process.h"
#include "tests/support/frame_client.h"
#include "tests/support/http_test_server.h"
#include "tests/support/recording_endpoint.h"
#include "tests/support/threaded_manager.h"
#include "tests/support/wait_until.h"

namespace {

using test_support::FrameClient;
using test_support::HttpTestServer;
using test_support::RecordingEndpoint;
using test_support::run_curl;
using test_support::ThreadedManager;
using test_support::wait_until;

std::string content_length_of(const std::string& head) {
    const size_t at = head.find("\r\nContent-Length: ");
    if (at == std::string::npos) return {};
    const size_t start = at + 18;
    return head.substr(start, head.find('\r', start) - start);
}

TEST(XhrServer, TheLibrarysXhrClientRoundTripsMarkupAndEscapes) {
    HttpTestServer server("127.0.0.1");
    RecordingEndpoint client;
    ThreadedManager loop;
    loop.add_endpoint("c", &client);
    loop.connect("xhr", "stream", IPCAddress("127.0.0.1:" + std::to_string(server.port()), 0), "c", 0);
    Message request;
    request.set_name("echo");
    request.attributes().set("text", "&\"<+%=;");
    request.attributes().set("seq", "1");
    {
        IPCMutexGuard guard(loop.get_lock());
        client.send(request);
    }
    ASSERT_TRUE(wait_until([&] { return client.responses().size() == 1; }));
    EXPECT_EQ(client.responses()[0].attributes().get_string("text", ""), "&\"<+%=;");
    loop.remove_endpoint("c");
}

TEST(XhrServer, CurlsEncodedCommandArrivesUnchanged) {
    HttpTestServer server("127.0.0.1");
    const std::string body =
        run_curl({"-G", "--data-urlencode", "c=<m a=\"x&amp;y+z%\"/>", QString::fromStdString(server.url("/"))});
    EXPECT_EQ(body, "<resp a=\"x&amp;y+z%\"/>");
}

TEST(XhrServer, DebugPageShowsTheEscapedCommandAndTheRealStatus) {
    HttpTestServer server("127.0.0.1");
    std::string headers;
    const std::string page = run_curl({"-v", QString::fromStdString(server.url("/debug?c=%3Cbad%22"))}, &headers);
    EXPECT_NE(headers.find("< HTTP/1.1 200 OK"), std::string::npos);
    EXPECT_NE(headers.find("< Content-Type: text/html"), std::string::npos);
    EXPECT_NE(page.find("name=\"c\" value=\"&lt;bad&quot;\"></form>Response: 400 "), std::string::npos) << page;
}

// On a kept-alive connection a body after a HEAD would be read as the next answer.
TEST(XhrServer, DebugPageAnswersHeadWithHeadOnlyAndRedirectsForReal) {
    HttpTestServer server("127.0.0.1");
    FrameClient peer("127.0.0.1", server.port());
    peer.send_bytes("HEAD /debug/index.html HTTP/1.1\r\nHost: test\r\n\r\nGET /debug HTTP/1.1\r\nHost: test\r\n\r\n");
    EXPECT_EQ(peer.read_until("\r\n\r\n").compare(0, 17, "HTTP/1.1 200 OK\r\n"), 0);
    const std::string redirect = peer.read_until("\r\n\r\n");
    EXPECT_EQ(redirect.compare(0, 32, "HTTP/1.1 301 Moved Permanently\r\n"), 0) << redirect;
    EXPECT_NE(redirect.find("\r\nLocation: http://test/debug/\r\n"), std::string::npos) << redirect;
}

// A client sizes its buffers, and a cache its entry, from HEAD: the page that wraps a debug answer
// must be sized from the same bytes as GET's.
TEST(XhrServer, HeadGivesTheLengthOfTheGetOnEveryPath) {
    struct HeadCase {
        const char* target;
        const char* headers;
    };
    // clang-format off
    const HeadCase kCases[] = {
        {"/debug/app.js", ""},       {"/debug/app.js", "Accept-Encoding: gzip\r\n"},
        {"/debug/docs/", ""},        {"/debug/dl/file.txt", ""},
        {"/debug/robots.txt", ""},   {"/debug/missing.txt", ""},
        {"/debug?cmd=a&seq=1", ""},  {"/app.js", "Accept-Encoding: gzip\r\n"},
        {"/docs/", ""},              {"/?cmd=a&seq=1", ""},
    };
    // clang-format on
    HttpTestServer server("127.0.0.1");
    FrameClient peer("127.0.0.1", server.port());
    for (const HeadCase& c : kCases) {
        const auto length_for = [&](const std::string& method) {
            peer.send_bytes(method + " " + c.target + " HTTP/1.1\r\nHost: test\r\n" + c.headers + "\r\n");
            return content_length_of(peer.read_until("\r\n\r\n"));
        };
        const std::string get_length = length_for("GET");
        ASSERT_NE(get_length, "") << c.target;
        ASSERT_EQ(peer.read_count(std::stoul(get_length)).size(), std::stoul(get_length)) << c.target;
        EXPECT_EQ(length_for("HEAD"), get_length) << c.target << " " << c.headers;
    }
}

}  // namespace
