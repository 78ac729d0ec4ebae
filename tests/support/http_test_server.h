#pragma once

#include <QTemporaryDir>

#include <cstdint>
#include <string>

#include "ipc/net/ipc_endpoint_server.h"
#include "tests/support/threaded_manager.h"

namespace test_support {

// An HTTP server of the library on a loopback port (0 asked) for tests with real clients. Its file
// root holds "index.html", "app.js" with a ".gz" twin of other content (kTwinText), "docs/" with its
// index, "dl/file.txt", "big.bin" and "dl/big.bin" (kBigFileBytes, above the default send limit),
// "in", a symlink to "index.html", "out", one to "secret.txt" beside the root, and "fifo". Its sessions know one
// account, "user" with the password "pw"; they echo any request's attributes in the reply, except
// "defer", whose reply is put off until send_deferred(). The timer ticks every 100 ms, and requests
// time out after kRequestTimeoutS.
class HttpTestServer : public ThreadedManager {
public:
    static constexpr uint32_t kRequestTimeoutS = 2;
    static constexpr long kBigFileBytes = 3 * 1024 * 1024;
    static constexpr const char* kAppText = "console.log('plain');\n";
    static constexpr const char* kTwinText = "console.log('from the twin');\n";

    // Listens on host ("127.0.0.1" or "::1") with the protocol named (empty: by the first byte).
    explicit HttpTestServer(const std::string& host, const std::string& protocol = "");
    ~HttpTestServer() override;

    IPCEndpointServer* create_endpoint_server(const std::string& server_name) override;

    uint16_t port() const { return port_; }
    // "http://<host>:<port>" + path, the host in brackets for IPv6.
    std::string url(const std::string& path) const;
    // The folder the files are served from.
    std::string root() const { return base_.path().toStdString() + "/root"; }
    // A session has put off a reply; send_deferred() answers the latest such request.
    bool has_deferred();
    void send_deferred(const Message& reply);

private:
    void write_root() const;

    QTemporaryDir base_;
    std::string host_;
    uint16_t port_ = 0;
    std::string deferring_session_;  // guarded by the manager's lock
};

}  // namespace test_support
