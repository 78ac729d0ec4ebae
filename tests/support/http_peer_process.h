#pragma once

#include <QProcess>

#include <cstdint>

namespace test_support {

// The HTTP server of http_peer.py (python3's http.server on 127.0.0.1) in a child process, for the
// web client suites. The server ends when this object closes its standard input, and after 60
// seconds in any case. Needs a QCoreApplication.
class HttpPeerProcess {
public:
    HttpPeerProcess();
    ~HttpPeerProcess();
    HttpPeerProcess(const HttpPeerProcess&) = delete;
    HttpPeerProcess& operator=(const HttpPeerProcess&) = delete;

    // 0 when the server did not start.
    uint16_t port() const { return port_; }

private:
    QProcess process_;
    uint16_t port_ = 0;
};

}  // namespace test_support
