// Our xhr server beside nginx. Ours runs in this process on one loop thread and answers
// "GET /?cmd=ping&s=bench", a 1 KiB file and a 1 MiB file; nginx (Debian's nginx-light, one worker,
// keep-alive, started here on a loopback port with a configuration written here, stopped at the end)
// serves the same files. wrk loads each in turn in the same run (-t1 -c64, --latency). Printed:
// requests per second and p99 latency of each run, each file's ratios to nginx against the goals (at
// least 0.7x nginx's requests per second, a p99 within 2x of nginx's), and this process's resident
// memory before and after the ping and 1 KiB runs (goal: within 5 MB after 100,000 requests).
//
// Usage: http_server_bench [seconds per run, default 10]   (needs nginx and wrk on the PATH)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/wrk_load.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_manager.h"

extern char** environ;

namespace {

// A port that was free a moment ago on 127.0.0.1.
uint16_t free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

bool accepts_connections(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool is_accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return is_accepted;
}

long resident_kib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

void print(const char* name, const WrkFigures& figures) {
    std::printf("%-28s %10.0f requests/s  p99 %8.0f us  (%ld requests)\n", name, figures.requests_per_s, figures.p99_us,
                figures.requests);
}

void print_ratios(const char* file, const WrkFigures& ours, const WrkFigures& nginx) {
    const double throughput_ratio = nginx.requests_per_s > 0 ? ours.requests_per_s / nginx.requests_per_s : 0;
    const double p99_ratio = nginx.p99_us > 0 ? ours.p99_us / nginx.p99_us : 0;
    std::printf("%s file requests/s vs nginx: %.2fx (goal >= 0.70x)\n", file, throughput_ratio);
    std::printf("%s file p99 vs nginx:        %.2fx (goal <= 2.00x)\n", file, p99_ratio);
}

// nginx in the foreground as a child process, for as long as this object lives.
class NginxProcess {
public:
    NginxProcess(const std::string& folder, uint16_t port) {
        const std::string config = folder + "/nginx.conf";
        std::ofstream(config) << "worker_processes 1;\ndaemon off;\npid " << folder << "/nginx.pid;\n"
                              << "error_log " << folder << "/error.log;\nevents { worker_connections 1024; }\n"
                              << "http {\n  access_log off;\n  keepalive_requests 100000000;\n"
                              << "  client_body_temp_path " << folder << "/body;\n"
                              << "  server { listen 127.0.0.1:" << port << "; root " << folder << "/root; }\n}\n";
        std::vector<std::string> arguments = {"nginx", "-p", folder, "-e", folder + "/error.log", "-c", config};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "nginx", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    }
    ~NginxProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    bool is_started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

bool wait_for_port(uint16_t port) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!accepts_connections(port)) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    char folder_template[] = "/tmp/http-server-bench-XXXXXX";
    if (!mkdtemp(folder_template)) return 1;
    const std::string folder = folder_template;
    chmod(folder.c_str(), 0755);  // nginx's worker runs as another user
    mkdir((folder + "/root").c_str(), 0755);
    std::ofstream(folder + "/root/file.bin") << std::string(1024, 'k');
    std::ofstream(folder + "/root/mib.bin") << std::string(1024 * 1024, 'm');

    IPCManager manager;
    manager.set_timer_interval(1000);
    if (!manager.listen("stream", IPCAddress("127.0.0.1:0", 0), "srv", 0, 0)) return 1;
    manager.server_set_text("srv", folder + "/root");
    const std::string ours = "http://127.0.0.1:" + std::to_string(manager.server_address("srv").port());
    std::thread loop([&manager] { manager.event_loop(); });

    const uint16_t nginx_port = free_port();
    WrkFigures nginx_file;
    WrkFigures nginx_mib;
    {
        NginxProcess nginx(folder, nginx_port);
        if (!nginx.is_started() || !wait_for_port(nginx_port)) {
            std::fprintf(stderr, "nginx did not start (see %s/error.log)\n", folder.c_str());
        } else {
            const std::string theirs = "http://127.0.0.1:" + std::to_string(nginx_port);
            nginx_file = run_wrk(theirs + "/file.bin", seconds);
            nginx_mib = run_wrk(theirs + "/mib.bin", seconds);
        }
    }
    const long start_kib = resident_kib();
    const WrkFigures ping = run_wrk(ours + "/?cmd=ping&s=bench", seconds);
    const WrkFigures file = run_wrk(ours + "/file.bin", seconds);
    const long end_kib = resident_kib();
    const WrkFigures mib = run_wrk(ours + "/mib.bin", seconds);
    manager.stop();
    loop.join();

    print("nginx: 1 KiB file", nginx_file);
    print("nginx: 1 MiB file", nginx_mib);
    print("ours: ping", ping);
    print("ours: 1 KiB file", file);
    print("ours: 1 MiB file", mib);
    print_ratios("1 KiB", file, nginx_file);
    print_ratios("1 MiB", mib, nginx_mib);
    std::printf("resident memory: %ld KiB before, %ld KiB after %ld requests: %+ld KiB (goal within 5120 KiB)\n",
                start_kib, end_kib, ping.requests + file.requests, end_kib - start_kib);
    std::system(("rm -rf '" + folder + "'").c_str());
    return 0;
}
