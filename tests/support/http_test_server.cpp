#include "tests/support/http_test_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_server.h"

namespace test_support {

namespace {

// gzip of HttpTestServer::kTwinText.
const char kTwinGzip[] =
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x4b\xce\xcf\x2b\xce\xcf\x49\xd5\xcb\xc9\x4f\xd7\x50\x4f\x2b\xca"
    "\xcf\x55\x28\xc9\x48\x55\x28\x29\xcf\xcc\x53\xd7\xb4\xe6\x02\x00\x0d\xef\x6d\x45\x1e\x00\x00\x00";

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class EchoSession : public IPCEndpointServer {
public:
    explicit EchoSession(std::string& deferring) : deferring_(deferring) {}
    bool lookup_account(const std::string& user, std::string& password, std::string&) const override {
        password = "pw";
        return user == "user";
    }
    bool handle_command(const Message& request, Message& reply) override {
        if (request.name() == "defer") {
            deferring_ = id();
            reply.set_name("");
        } else {
            reply.attributes() += request.attributes();
        }
        return true;
    }

private:
    std::string& deferring_;
};

}  // namespace

HttpTestServer::HttpTestServer(const std::string& host, const std::string& protocol)
    : ThreadedManager(100, false), host_(host) {
    write_root();
    const std::string address = host.find(':') != std::string::npos ? "[" + host + "]:0" : host + ":0";
    if (listen("stream", IPCAddress(address, 0), "srv", 0, 0)) port_ = server_address("srv").port();
    server_set_text("srv", base_.path().toStdString() + "/root");
    if (!protocol.empty()) server_set_protocol("srv", protocol);
    server_set_deadlines("srv", kRequestTimeoutS, IPCServer::kDefaultKeepAliveS);
    start();
}

HttpTestServer::~HttpTestServer() {
    stop_loop();
}

void HttpTestServer::write_root() const {
    const std::string base = base_.path().toStdString();
    const std::string root = this->root();
    for (const char* folder : {"", "/docs", "/dl"}) ::mkdir((root + folder).c_str(), 0700);
    write_file(root + "/index.html", "<p>index</p>");
    write_file(root + "/app.js", kAppText);
    write_file(root + "/app.js.gz", std::string(kTwinGzip, sizeof kTwinGzip - 1));
    write_file(root + "/docs/index.html", "<p>docs</p>");
    write_file(root + "/dl/file.txt", "download");
    write_file(base + "/secret.txt", "secret");
    ::symlink((base + "/secret.txt").c_str(), (root + "/out").c_str());
    ::symlink("index.html", (root + "/in").c_str());
    ::mkfifo((root + "/fifo").c_str(), 0600);
    // Sparse: above the send limit by its size, without writing a byte.
    for (const char* big : {"/big.bin", "/dl/big.bin"}) {
        write_file(root + big, "");
        ::truncate((root + big).c_str(), kBigFileBytes);
    }
}

IPCEndpointServer* HttpTestServer::create_endpoint_server(const std::string&) {
    return new EchoSession(deferring_session_);
}

bool HttpTestServer::has_deferred() {
    IPCMutexGuard guard(get_lock());
    return !deferring_session_.empty();
}

void HttpTestServer::send_deferred(const Message& reply) {
    IPCMutexGuard guard(get_lock());
    server_send(reply, "srv", deferring_session_);
}

std::string HttpTestServer::url(const std::string& path) const {
    const std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
    return "http://" + host + ":" + std::to_string(port_) + path;
}

}  // namespace test_support
