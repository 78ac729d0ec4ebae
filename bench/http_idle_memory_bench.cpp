// What idle keep-alive connections cost our xhr server once each has fetched a large file. The server
// runs in a child process of its own (one loop thread, serving a folder that holds a 1 MiB file);
// this process opens the connections, fetches the file once on each, a given number at a time, reads
// every answer whole and keeps every connection open. Printed: the server's resident memory while
// it only listens, with the connections open and nothing fetched, and with all of them idle after
// their fetch, besides its peak (goal: under 100 MB with 1,000 connections).
//
// Usage: http_idle_memory_bench [connections, default 1000] [fetches at once, default 64]

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_manager.h"

namespace {

constexpr size_t kFileBytes = 1024 * 1024;
const char kRequest[] = "GET /mib.bin HTTP/1.1\r\nHost: bench\r\n\r\n";

// A figure of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"); 0 when it cannot be read.
long status_kib(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return 0;
}

// Serves `root` on a free loopback port, which it writes to `port_out`, until it is killed.
[[noreturn]] void serve(const std::string& root, int port_out) {
    IPCManager manager;
    manager.set_timer_interval(1000);
    if (!manager.listen("stream", IPCAddress("127.0.0.1:0", 0), "srv", 0, 0)) std::_Exit(1);
    manager.server_set_text("srv", root);
    const uint16_t port = manager.server_address("srv").port();
    if (write(port_out, &port, sizeof port) != sizeof port) std::_Exit(1);
    close(port_out);
    manager.event_loop();
    std::_Exit(0);
}

int connect_to(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// One connection's fetch of the file: its head, then a count of body bytes.
struct Fetch {
    int fd = -1;
    std::string head;
    size_t body_left = 0;
    bool is_head_read = false;
    bool is_whole = false;
    bool is_failed = false;

    // Takes what the socket holds; false once the answer is whole or the fetch has failed.
    bool read_on(char* buffer, size_t size) {
        for (;;) {
            const ssize_t n = recv(fd, buffer, size, 0);
            if (n <= 0) {
                is_failed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                return !is_failed;
            }
            if (!take(buffer, static_cast<size_t>(n))) return false;
        }
    }

    bool take(const char* bytes, size_t length) {
        if (!is_head_read) {
            head.append(bytes, length);
            const size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) return true;
            const size_t at = head.find("Content-Length: ");
            if (head.compare(0, 12, "HTTP/1.1 200") != 0 || at == std::string::npos ||
                std::strtoul(head.c_str() + at + 16, nullptr, 10) != kFileBytes) {
                is_failed = true;
                return false;
            }
            is_head_read = true;
            body_left = kFileBytes;
            length = head.size() - end - 4;
        }
        body_left -= std::min(body_left, length);
        is_whole = body_left == 0;
        return !is_whole;
    }
};

// Fetches the file on every connection, at most `at_once` at a time, within a minute; the count of
// whole answers.
size_t fetch_all(std::vector<Fetch>& fetches, size_t at_once) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::vector<char> buffer(65536);
    std::vector<Fetch*> in_flight;
    size_t next = 0;
    size_t whole = 0;
    while ((next < fetches.size() || !in_flight.empty()) && std::chrono::steady_clock::now() < give_up) {
        while (next < fetches.size() && in_flight.size() < at_once) {
            Fetch& fetch = fetches[next++];
            if (send(fetch.fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) == sizeof kRequest - 1) {
                in_flight.push_back(&fetch);
            }
        }
        std::vector<pollfd> waiting;
        for (const Fetch* fetch : in_flight) waiting.push_back(pollfd{fetch->fd, POLLIN, 0});
        if (poll(waiting.data(), waiting.size(), 100) <= 0) continue;
        std::vector<Fetch*> still;
        for (size_t i = 0; i < in_flight.size(); ++i) {
            Fetch* fetch = in_flight[i];
            if (waiting[i].revents == 0 || fetch->read_on(buffer.data(), buffer.size())) {
                still.push_back(fetch);
            } else {
                whole += fetch->is_whole;
            }
        }
        in_flight.swap(still);
    }
    return whole;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t connections = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000;
    const size_t at_once = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 64;
    char folder_template[] = "/tmp/http-idle-memory-bench-XXXXXX";
    if (!mkdtemp(folder_template)) return 1;
    const std::string folder = folder_template;
    std::ofstream(folder + "/mib.bin") << std::string(kFileBytes, 'm');

    int port_pipe[2];
    if (pipe2(port_pipe, O_CLOEXEC) != 0) return 1;
    const pid_t server = fork();
    if (server < 0) return 1;
    if (server == 0) {
        close(port_pipe[0]);
        serve(folder, port_pipe[1]);
    }
    close(port_pipe[1]);
    uint16_t port = 0;
    const bool has_port = read(port_pipe[0], &port, sizeof port) == sizeof port;
    close(port_pipe[0]);

    int status = 1;
    if (has_port) {
        const long listening_kib = status_kib(server, "VmRSS");
        std::vector<Fetch> fetches(connections);
        size_t open = 0;
        for (Fetch& fetch : fetches) open += (fetch.fd = connect_to(port)) >= 0;
        const long connected_kib = status_kib(server, "VmRSS");
        const size_t whole = open == connections ? fetch_all(fetches, at_once) : 0;
        const long idle_kib = status_kib(server, "VmRSS");
        std::printf("connections: %zu open of %zu, %zu answers of %zu bytes read whole, %zu fetched at once\n", open,
                    connections, whole, kFileBytes, at_once);
        std::printf("server resident memory: %ld KiB listening, %ld KiB connected, %ld KiB idle after the fetches "
                    "(peak %ld KiB; goal: under 100 MB)\n",
                    listening_kib, connected_kib, idle_kib, status_kib(server, "VmHWM"));
        status = whole == connections ? 0 : 1;
        for (const Fetch& fetch : fetches) {
            if (fetch.fd >= 0) close(fetch.fd);
        }
    }
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    std::system(("rm -rf '" + folder + "'").c_str());
    return status;
}
