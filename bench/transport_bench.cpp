// Receive throughput of one IPCManager serving 64 loopback connections whose peers send small
// xmls frames as fast as they can, beside the limit: a bare poll()+recv() loop over the same 64
// sockets that only counts NUL bytes, and the same loop cutting each frame and parsing it with
// Message::parse (the share of the cost that is XML parsing, not transport). Reports frames per
// second, CPU per frame and the cores the receiving thread used, and the ratios.
//
// Usage: transport_bench [seconds per run, default 3]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/ipc_recursive_mutex.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/net/ipc_manager.h"

namespace {

constexpr int kConnections = 64;
const std::string kFrame =
    std::string("<unso id=\"metering\"><metering><ch l=\"-20.000000\" r=\"-21.000000\"/></metering></unso>") + '\0';

double thread_cpu_seconds(std::thread& thread) {
    clockid_t clock;
    pthread_getcpuclockid(thread.native_handle(), &clock);
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A listener on 127.0.0.1; returns its fd and fills the port.
int listen_on_loopback(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, kConnections) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// Writes frames to every socket as fast as they take them until told to stop. Each socket's
// stream stays frame-aligned: the offset runs cyclically over a buffer of whole frames.
class Sender {
public:
    explicit Sender(std::vector<int> sockets) : sockets_(std::move(sockets)) {
        for (int i = 0; i < 800; ++i) burst_ += kFrame;
        thread_ = std::thread([this] { run(); });
    }
    ~Sender() {
        is_stopping_ = true;
        thread_.join();
        for (int fd : sockets_) close(fd);
    }

private:
    void run() {
        std::vector<size_t> offsets(sockets_.size(), 0);
        std::vector<pollfd> waits;
        for (int fd : sockets_) waits.push_back(pollfd{fd, POLLOUT, 0});
        while (!is_stopping_) {
            poll(waits.data(), waits.size(), 100);
            for (size_t i = 0; i < sockets_.size(); ++i) {
                if (!(waits[i].revents & POLLOUT)) continue;
                const ssize_t sent = send(sockets_[i], burst_.data() + offsets[i], burst_.size() - offsets[i],
                                          MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent > 0) offsets[i] = (offsets[i] + static_cast<size_t>(sent)) % burst_.size();
            }
        }
    }

    std::vector<int> sockets_;
    std::string burst_;
    std::atomic<bool> is_stopping_{false};
    std::thread thread_;
};

std::vector<int> accept_all(int listener, int count, bool greet) {
    std::vector<int> accepted;
    for (int i = 0; i < count; ++i) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (greet) {
            const std::string hello = std::string("<resp seq=\"hello\"/>") + '\0';
            send(fd, hello.data(), hello.size(), MSG_NOSIGNAL);
        }
        accepted.push_back(fd);
    }
    return accepted;
}

struct Result {
    double frames_per_s;
    double cpu_us_per_frame;
    double cores;
};

void print(const char* name, const Result& r) {
    std::printf("%-28s %12.0f frames/s %8.2f us CPU/frame %6.2f cores\n", name, r.frames_per_s, r.cpu_us_per_frame,
                r.cores);
}

class CountingEndpoint : public IPCEndpointClient {
public:
    explicit CountingEndpoint(std::atomic<uint64_t>& frames) : frames_(frames) {}
    void handle_unsolicited(const Message&) override { frames_.fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<uint64_t>& frames_;
};

class LockedManager : public IPCManager {
public:
    IPCMutex* get_lock() const override { return &lock_; }

private:
    mutable IPCRecursiveMutex lock_;
};

Result measure(std::atomic<uint64_t>& frames, std::thread& receiver, double seconds) {
    // Let the connections settle, then measure a steady window.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const uint64_t frames_before = frames;
    const double cpu_before = thread_cpu_seconds(receiver);
    const double wall_before = wall_seconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = wall_seconds() - wall_before;
    const double cpu = thread_cpu_seconds(receiver) - cpu_before;
    const double counted = static_cast<double>(frames - frames_before);
    return Result{counted / wall, cpu * 1e6 / counted, cpu / wall};
}

Result run_manager(double seconds) {
    uint16_t port;
    const int listener = listen_on_loopback(port);
    std::atomic<uint64_t> frames{0};
    std::vector<CountingEndpoint*> endpoints;
    LockedManager manager;
    std::thread loop([&] { manager.event_loop(); });
    for (int i = 0; i < kConnections; ++i) {
        endpoints.push_back(new CountingEndpoint(frames));
        const std::string name = "codec" + std::to_string(i);
        manager.add_endpoint(name, endpoints.back());
        manager.connect("xmls", "stream", IPCAddress("127.0.0.1:" + std::to_string(port), 0), name, 0);
    }
    Result result;
    {
        Sender sender(accept_all(listener, kConnections, true));
        result = measure(frames, loop, seconds);
    }
    manager.stop();
    loop.join();
    for (int i = 0; i < kConnections; ++i) manager.remove_endpoint("codec" + std::to_string(i));
    for (CountingEndpoint* endpoint : endpoints) delete endpoint;
    close(listener);
    return result;
}

// Counts NUL bytes only, or also cuts each frame out and parses it as the xmls framing would.
Result run_bare_loop(double seconds, bool parses) {
    uint16_t port;
    const int listener = listen_on_loopback(port);
    std::vector<int> clients;
    for (int i = 0; i < kConnections; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        clients.push_back(fd);
    }
    std::atomic<uint64_t> frames{0};
    std::atomic<bool> is_stopping{false};
    std::thread receiver([&] {
        std::vector<pollfd> waits;
        for (int fd : clients) waits.push_back(pollfd{fd, POLLIN, 0});
        std::vector<std::string> partial(waits.size());
        char buffer[16384];
        while (!is_stopping) {
            poll(waits.data(), waits.size(), 100);
            for (size_t w = 0; w < waits.size(); ++w) {
                if (!(waits[w].revents & POLLIN)) continue;
                const ssize_t received = recv(waits[w].fd, buffer, sizeof buffer, 0);
                if (received <= 0) continue;
                uint64_t count = 0;
                if (!parses) {
                    for (ssize_t i = 0; i < received; ++i) count += buffer[i] == '\0';
                } else {
                    std::string& stream = partial[w];
                    stream.append(buffer, static_cast<size_t>(received));
                    size_t start = 0;
                    for (size_t nul; (nul = stream.find('\0', start)) != std::string::npos; start = nul + 1) {
                        Message message;
                        message.parse(stream.substr(start, nul - start));
                        ++count;
                    }
                    stream.erase(0, start);
                }
                frames.fetch_add(count, std::memory_order_relaxed);
            }
        }
    });
    Result result;
    {
        Sender sender(accept_all(listener, kConnections, false));
        result = measure(frames, receiver, seconds);
    }
    is_stopping = true;
    receiver.join();
    for (int fd : clients) close(fd);
    close(listener);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    std::printf("%d loopback connections, %zu-byte frames, %.1f s per run\n", kConnections, kFrame.size(), seconds);
    const Result limit = run_bare_loop(seconds, false);
    const Result parsing = run_bare_loop(seconds, true);
    const Result ours = run_manager(seconds);
    print("poll+recv, count NULs", limit);
    print("poll+recv, cut and parse", parsing);
    print("IPCManager + xmls", ours);
    std::printf("ours / count-only limit: %.3f of the frame rate, %.1fx the CPU per frame\n",
                ours.frames_per_s / limit.frames_per_s, ours.cpu_us_per_frame / limit.cpu_us_per_frame);
    std::printf("ours / cut-and-parse loop: %.2f of the frame rate, %.2fx the CPU per frame\n",
                ours.frames_per_s / parsing.frames_per_s, ours.cpu_us_per_frame / parsing.cpu_us_per_frame);
    return 0;
}
