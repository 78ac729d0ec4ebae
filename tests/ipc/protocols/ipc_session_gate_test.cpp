#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>

#include "tests/support/curl_process.h"
#include "tests/support/frame_client.h"
#include "tests/support/http_test_server.h"

namespace {

using test_support::HttpTestServer;
using test_support::run_curl;

// The last "Authorization" header that curl -v reports having sent.
std::string sent_authorization(const std::string& trace) {
    const size_t at = trace.rfind("> Authorization: ");
    return at == std::string::npos ? std::string() : trace.substr(at + 2, trace.find('\r', at) - at - 2);
}

TEST(SessionGate, CurlsDigestIsAcceptedAndItsHeaderNeverServesAgain) {
    HttpTestServer server("::1");
    QTemporaryDir folder;
    const QString jar = folder.filePath("jar");
    const QString first = QString::fromStdString(server.url("/?cmd=who&seq=1"));
    std::string trace;
    EXPECT_EQ(run_curl({"-v", "--digest", "-u", "user:pw", "-c", jar, "-b", jar, first}, &trace), "<resp seq=\"1\"/>");
    const QString authorization = QString::fromStdString(sent_authorization(trace));
    ASSERT_FALSE(authorization.isEmpty()) << trace;

    // The same header again (a replay), then on another request: each gets a new challenge.
    const QString second = QString::fromStdString(server.url("/?cmd=who&seq=2"));
    for (const QString& target : {first, second}) {
        std::string challenge;
        run_curl({"-v", "-b", jar, "-H", authorization, target}, &challenge);
        EXPECT_NE(challenge.find("< HTTP/1.1 401 Unauthorized"), std::string::npos) << challenge;
        EXPECT_EQ(challenge.find("stale=\"TRUE\"") != std::string::npos, target == first) << challenge;
    }
    EXPECT_EQ(run_curl({"-o", "/dev/null", "-w", "%{http_code}", "--digest", "-u", "user:wrong", "-b", jar, first}),
              "401");
}

}  // namespace

namespace {

using test_support::FrameClient;

// The head of the answer to a GET of the target; its body is the echo "<resp/>".
std::string answer_head(FrameClient& client, const std::string& target, const std::string& headers = "") {
    client.send_bytes("GET " + target + " HTTP/1.1\r\nHost: test\r\n" + headers + "\r\n");
    const std::string head = client.read_until("\r\n\r\n");
    client.read_until("<resp/>");
    return head;
}

// A browser's connections share its session: moving the session leaves the other connection open,
// and a connection that takes a new session leaves the old one unbound (swept later, not dangling).
TEST(SessionGate, SessionsMoveBetweenConnectionsWithoutCuttingThem) {
    HttpTestServer server("127.0.0.1");
    FrameClient first("127.0.0.1", server.port());
    FrameClient second("127.0.0.1", server.port());
    const std::string head = answer_head(first, "/?cmd=a");
    const size_t cookie = head.find("Set-Cookie: s=\"");
    ASSERT_NE(cookie, std::string::npos) << head;
    const std::string session = head.substr(cookie + 15, 32);
    EXPECT_EQ(answer_head(second, "/?cmd=b", "Cookie: s=" + session + "\r\n").compare(0, 15, "HTTP/1.1 200 OK"), 0);
    EXPECT_EQ(answer_head(first, "/?cmd=c").compare(0, 15, "HTTP/1.1 200 OK"), 0);
    EXPECT_EQ(answer_head(first, "/?cmd=d").compare(0, 15, "HTTP/1.1 200 OK"), 0);
}

}  // namespace
