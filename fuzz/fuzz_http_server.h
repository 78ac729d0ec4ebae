#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz/fuzz_chunks.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_conn_stream.h"
#include "ipc/net/ipc_manager.h"
#include "ipc/net/ipc_protocol.h"
#include "ipc/net/ipc_server_stream.h"

// Runs one input through an HTTP server protocol: the bytes after the first arrive in
// network-sized chunks (fuzz_chunks.h) on an accepted connection whose server serves a temporary
// file root (a page, a script with its gzip twin, a folder, a download, a symlink out); the
// responses go to a socket nobody reads. Bit 6 of the first byte makes the peer a trusted
// loopback one; the server's tick runs after every chunk.
inline const std::string& fuzz_file_root() {
    static char base[] = "/tmp/kestrane-fuzz-root-XXXXXX";
    static const std::string root = [] {
        if (!mkdtemp(base)) std::abort();
        const std::string folder = base;
        std::filesystem::create_directories(folder + "/root/docs");
        std::filesystem::create_directories(folder + "/root/dl");
        for (const char* name : {"/root/index.html", "/root/a.js", "/root/a.js.gz", "/root/docs/index.html",
                                 "/root/dl/f.txt", "/secret"}) {
            std::ofstream(folder + name) << name;
        }
        std::error_code ignored;
        std::filesystem::create_symlink(folder + "/secret", folder + "/root/out", ignored);
        std::atexit([] { std::filesystem::remove_all(base); });
        return folder + "/root";
    }();
    return root;
}

inline void fuzz_http_server(const char* protocol, const uint8_t* data, size_t size) {
    if (size == 0) return;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return;
    IPCManager manager;
    IPCServerStream server(&manager, "srv");
    server.set_file_root(fuzz_file_root());
    auto connection = std::make_unique<IPCConnStream>(&manager, 0);
    connection->set_server(&server);
    connection->attach(pair[0], IPCAddress((data[0] & 0x40) != 0 ? "127.0.0.1:4000" : "[::1]:4000", 0));
    connection->set_server_protocol(protocol);
    for_each_chunk(data, size, [&](const std::string& chunk) {
        if (connection->is_failed()) return;
        connection->on_data(chunk);
        if (connection->has_pending_input()) connection->resume_input();
        server.tick();
    });
    connection.reset();
    close(pair[1]);
}
