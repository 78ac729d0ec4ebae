#include <gtest/gtest.h>

#include <string>

#include "tests/support/curl_process.h"
#include "tests/support/http_test_server.h"

namespace {

using test_support::HttpTestServer;
using test_support::run_curl;

TEST(MxcServer, TheQueryIsTheMessageAndTheReplyAnXmlDocument) {
    HttpTestServer server("127.0.0.1", "mxc");
    std::string headers;
    const std::string body =
        run_curl({"-v", QString::fromStdString(server.url("/?section=status&a=%26%3D"))}, &headers);
    EXPECT_EQ(body, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><resp a=\"&amp;=\" section=\"status\"/>");
    EXPECT_NE(headers.find("< Content-Type: application/xml"), std::string::npos);
    EXPECT_NE(headers.find("< Access-Control-Allow-Origin: *"), std::string::npos);
    EXPECT_NE(headers.find("< Access-Control-Allow-Headers: *"), std::string::npos);
}

TEST(MxcServer, RemotePeersAreRefused) {
    HttpTestServer server("::1", "mxc");
    EXPECT_EQ(run_curl(
                  {"-o", "/dev/null", "-w", "%{http_code}", QString::fromStdString(server.url("/?section=status"))}),
              "403");
}

}  // namespace
