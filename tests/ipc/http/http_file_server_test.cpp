#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "tests/support/curl_process.h"
#include "tests/support/http_test_server.h"

namespace {

using test_support::HttpTestServer;
using test_support::run_curl;

// Static files as curl sees them.
class FileServer : public ::testing::Test {
protected:
    std::string curl(QStringList arguments, const std::string& path, std::string* headers = nullptr) {
        return run_curl(arguments << QString::fromStdString(server.url(path)), headers);
    }
    std::string status_of(const std::string& path) {
        return curl({"--path-as-is", "-o", "/dev/null", "-w", "%{http_code}"}, path);
    }

    HttpTestServer server{"127.0.0.1"};
};

TEST_F(FileServer, HeadGivesTheRealLength) {
    std::string headers;
    const std::string head = curl({"-I"}, "/app.js", &headers);
    EXPECT_NE(head.find("Content-Length: " + std::to_string(std::string(HttpTestServer::kAppText).size()) + "\r\n"),
              std::string::npos)
        << head;
    EXPECT_NE(head.find("Content-Type: text/javascript\r\n"), std::string::npos) << head;
}

TEST_F(FileServer, CompressingClientsGetTheGzipTwin) {
    EXPECT_EQ(curl({"--compressed"}, "/app.js"), HttpTestServer::kTwinText);
    EXPECT_EQ(curl({}, "/app.js"), HttpTestServer::kAppText);
}

TEST_F(FileServer, AMatchingEtagGets304) {
    const std::string head = curl({"-I"}, "/app.js");
    const size_t at = head.find("ETag: ");
    ASSERT_NE(at, std::string::npos);
    const std::string etag = head.substr(at + 6, 32);
    EXPECT_EQ(curl({"-o", "/dev/null", "-w", "%{http_code}", "-H", QString::fromStdString("If-None-Match: " + etag)},
                   "/app.js"),
              "304");
}

// A file rewritten within the second it was served in, at the same size, has a new digest.
TEST_F(FileServer, AFileRewrittenWithinTheSecondIsNotModifiedNoMore) {
    const std::string path = server.root() + "/docs/index.html";
    const std::string head = curl({"-I"}, "/docs/index.html");
    const size_t at = head.find("ETag: ");
    ASSERT_NE(at, std::string::npos);
    const std::string etag = head.substr(at + 6, 32);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    std::ofstream(path, std::ios::trunc) << "<p>DOCS</p>";
    timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_nsec = (before.st_mtim.tv_nsec + 1) % 1000000000;  // the same second
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(curl({"-H", QString::fromStdString("If-None-Match: " + etag)}, "/docs/index.html"), "<p>DOCS</p>");
}

TEST_F(FileServer, NothingOutsideTheRootIsServed) {
    EXPECT_EQ(status_of("/../secret.txt"), "404");
    EXPECT_EQ(status_of("/%2e%2e/secret.txt"), "404");
    EXPECT_EQ(status_of("/docs/../../secret.txt"), "404");
    EXPECT_EQ(status_of("/out"), "403");
    EXPECT_EQ(status_of("/fifo"), "403");
    EXPECT_EQ(status_of("/in"), "200");
    EXPECT_EQ(status_of("/"), "200");
}

TEST_F(FileServer, FilesAboveTheSendLimitAreRefusedUnlessDownloaded) {
    EXPECT_EQ(status_of("/big.bin"), "500");
    EXPECT_EQ(curl({"-o", "/dev/null", "-w", "%{http_code} %{size_download}"}, "/dl/big.bin"),
              "200 " + std::to_string(HttpTestServer::kBigFileBytes));
}

TEST_F(FileServer, AFolderWithoutItsSlashIsRedirectedCleanly) {
    const std::string head = curl({"-I", "--path-as-is"}, "/./docs");
    EXPECT_EQ(head.compare(0, 30, "HTTP/1.1 301 Moved Permanently"), 0) << head;
    EXPECT_NE(head.find("Location: " + server.url("/docs/") + "\r\n"), std::string::npos) << head;
    EXPECT_NE(curl({"-I"}, "/debug").find("Location: " + server.url("/debug/") + "\r\n"), std::string::npos);
    EXPECT_EQ(curl({"-L"}, "/docs"), "<p>docs</p>");
}

}  // namespace
