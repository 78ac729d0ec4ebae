// The server's receive path: raw bytes from a peer are cut into frames, parsed, run through the
// greeting, login, rate limit and subscriptions, and answered. The first input byte chooses the
// chunk size and whether the peer looks like a trusted loopback peer (which skips the login).
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_manager.h"
#include "ipc/net/ipc_server_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + (data[0] & 0x3F);
    const bool is_loopback_peer = (data[0] & 0x40) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return 0;

    IPCManager manager;
    IPCServerStream server(&manager, "srv");
    auto connection = std::make_unique<IPCConnStream>(&manager, 0);
    connection->set_server(&server);
    connection->attach(pair[0], IPCAddress(is_loopback_peer ? "127.0.0.1:4000" : "[::1]:4000", 0));

    for (size_t offset = 0; offset < bytes.size(); offset += chunk) {
        connection->on_data(bytes.substr(offset, chunk));
    }
    connection.reset();
    close(pair[1]);
    return 0;
}
