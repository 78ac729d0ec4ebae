// A flood of cookie-less requests against the xhr server once its session table is full: each such
// request makes a session, so the server must give one up to make room for it. Beside it, on the
// same full table, a request that makes no session (a plain "GET /", answered 404 by a server
// without a file root): what any request costs the loop. Each run starts a fresh server on the
// IPv6 loopback (a peer there must log in, so the flood's sessions never pass a check), fills its
// table with IPCServer::kMaxEndpoints cookie-less requests, then loads each request in turn with
// wrk (-t1 -c64). Printed: per run and as medians over the runs, requests per second and the
// server's CPU time per request, and the flood's rate as a share of the plain request's.
//
// Usage: session_flood_bench [runs, default 5] [seconds per load, default 5]   (needs wrk on the PATH)

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/wrk_load.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_manager.h"
#include "ipc/net/ipc_server.h"

namespace {

const char kFloodTarget[] = "/?cmd=ping";
const char kSessionlessTarget[] = "/";

struct LoadFigures {
    double requests_per_s = 0;
    double server_cpu_us_per_request = 0;
};

double process_cpu_us() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval& time) { return time.tv_sec * 1e6 + time.tv_usec; };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// wrk runs in a child process, so this process's CPU time meanwhile is the server's.
LoadFigures load(const std::string& url, int seconds) {
    const double cpu_before_us = process_cpu_us();
    const WrkFigures wrk = run_wrk(url, seconds);
    LoadFigures figures;
    figures.requests_per_s = wrk.requests_per_s;
    if (wrk.requests > 0) figures.server_cpu_us_per_request = (process_cpu_us() - cpu_before_us) / wrk.requests;
    return figures;
}

// Sends `count` cookie-less requests on one connection, pipelined in batches, and reads every
// answer (a 401 head without a body). False when the server stops answering.
bool fill_table(uint16_t port, size_t count) {
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    constexpr size_t kBatch = 128;
    std::string batch;
    for (size_t i = 0; i < kBatch; ++i) batch += std::string("GET ") + kFloodTarget + " HTTP/1.1\r\nHost: b\r\n\r\n";
    bool is_answered = true;
    for (size_t sent = 0; sent < count && is_answered; sent += kBatch) {
        is_answered = send(fd, batch.data(), batch.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(batch.size());
        size_t heads = 0;
        std::string input;
        while (is_answered && heads < kBatch) {
            char piece[65536];
            const ssize_t received = recv(fd, piece, sizeof piece, 0);
            is_answered = received > 0;
            if (!is_answered) break;
            input.append(piece, static_cast<size_t>(received));
            for (size_t at; (at = input.find("\r\n\r\n")) != std::string::npos; ++heads) input.erase(0, at + 4);
        }
    }
    close(fd);
    return is_answered;
}

// One fresh server: filled, then loaded with the flood and with the plain request in turn.
bool run_once(int seconds, std::vector<LoadFigures>& flood, std::vector<LoadFigures>& sessionless) {
    IPCManager manager;
    manager.set_timer_interval(1000);
    if (!manager.listen("stream", IPCAddress("[::1]:0", 0), "srv", 0, 0)) return false;
    const uint16_t port = manager.server_address("srv").port();
    const std::string base = "http://[::1]:" + std::to_string(port);
    std::thread loop([&manager] { manager.event_loop(); });
    const bool is_full = fill_table(port, IPCServer::kMaxEndpoints);
    if (is_full) {
        flood.push_back(load(base + kFloodTarget, seconds));
        sessionless.push_back(load(base + kSessionlessTarget, seconds));
    }
    manager.stop();
    loop.join();
    return is_full;
}

LoadFigures median(const std::vector<LoadFigures>& runs) {
    const auto median_of = [&runs](double LoadFigures::*field) {
        std::vector<double> values;
        for (const LoadFigures& run : runs) values.push_back(run.*field);
        std::sort(values.begin(), values.end());
        const size_t middle = values.size() / 2;
        return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    };
    return {median_of(&LoadFigures::requests_per_s), median_of(&LoadFigures::server_cpu_us_per_request)};
}

void print(const char* name, const LoadFigures& figures) {
    std::printf("  %-32s %10.0f requests/s  %7.1f us server CPU per request\n", name, figures.requests_per_s,
                figures.server_cpu_us_per_request);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<LoadFigures> flood;
    std::vector<LoadFigures> sessionless;
    for (int run = 1; run <= runs; ++run) {
        if (!run_once(seconds, flood, sessionless)) {
            std::fprintf(stderr, "run %d: the server could not be started or filled on [::1]\n", run);
            return 1;
        }
        std::printf("run %d\n", run);
        print("cookie-less flood, table full", flood.back());
        print("no session made, table full", sessionless.back());
    }
    std::printf("medians of %d fresh runs\n", runs);
    const LoadFigures flood_median = median(flood);
    const LoadFigures sessionless_median = median(sessionless);
    print("cookie-less flood, table full", flood_median);
    print("no session made, table full", sessionless_median);
    const double sessionless_rate = sessionless_median.requests_per_s;
    std::printf("flood requests/s vs no session made: %.2fx\n",
                sessionless_rate > 0 ? flood_median.requests_per_s / sessionless_rate : 0);
    return 0;
}
