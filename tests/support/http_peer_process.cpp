#include "tests/support/http_peer_process.h"

#include "tests/support/deadline_factor.h"

namespace test_support {

HttpPeerProcess::HttpPeerProcess() {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("python3", {KESTRANE_HTTP_PEER_SCRIPT});
    if (process_.waitForReadyRead(give_up_after_ms(std::chrono::seconds(10))))
        port_ = static_cast<uint16_t>(process_.readLine().trimmed().toUInt());
}

HttpPeerProcess::~HttpPeerProcess() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

}  // namespace test_support
