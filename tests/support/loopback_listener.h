#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/socket_ops.h"

namespace test_support {

// Opens a listening socket on 127.0.0.1 at a port the system picks and writes its address to
// `bound`; -1 when it cannot. The caller closes it.
inline int open_loopback_listener(int backlog, sockaddr_storage& bound, socklen_t& length) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int listener =
        platform::open_listening_socket(reinterpret_cast<sockaddr*>(&address), sizeof address, backlog);
    if (listener >= 0 && !platform::local_address(listener, &bound, &length)) {
        platform::close_socket(listener);
        return -1;
    }
    return listener;
}

}  // namespace test_support
