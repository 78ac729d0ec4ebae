// The program's metering load on a running codec-sim: one client endpoint per codec, by default
// all on one IPCManager, each logging in and subscribing to "metering" at 67 ms as a codec session
// does. Over the measuring window it reports the metering rate received and, given the codec-sim's
// process id, the cores that process used (utime + stime from /proc/<pid>/stat), beside its own.
//
// With "--subscribe all" each client makes the program's nine subscriptions instead (the reports
// other than metering are counted apart). "--managers N" spreads the clients round-robin over N
// managers, each with a loop thread of its own, as the program's session pool does with four: this
// gives the cost of the transport and the parse alone, under the sessions' own layout.
//
// Usage: codec_sim_load --port P [--count N] [--host 127.0.0.1|::1] [--password PW]
//                       [--subscribe metering|all] [--managers N] [--seconds S] [--warmup S]
//                       [--pid PID]
//   e.g. codec-sim --count 256 --port 20000 --random-phase & codec_sim_load --port 20000 --count 256 --pid $!

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/ipc_mutex_guard.h"
#include "ipc/base/ipc_recursive_mutex.h"
#include "ipc/message/message.h"
#include "ipc/net/ipc_address.h"
#include "ipc/net/ipc_endpoint_client.h"
#include "ipc/net/ipc_manager.h"
#include "platform/c_locale.h"
#include "sessions/ipc_object.h"

namespace {

class LoadManager : public IPCManager {
public:
    IPCMutex* get_lock() const override { return &lock_; }
    IPCMutex* get_queue_lock() const override { return &queue_lock_; }

private:
    mutable IPCRecursiveMutex lock_;
    mutable IPCRecursiveMutex queue_lock_;
};

std::atomic<long> g_logged_in{0};
std::atomic<long> g_refused{0};
std::atomic<long> g_metering{0};
std::atomic<long> g_other_reports{0};

// One codec session's worth of client: logs in with the empty user name and counts the levels.
class MeteringClient : public IPCEndpointClient {
public:
    explicit MeteringClient(std::string password) : password_(std::move(password)) {}
    std::string getUser() const override { return {}; }
    std::string getPassword() const override { return password_; }
    int reconnect_delay() const override { return 4; }
    void on_authenticated() override {
        ++g_logged_in;
        IPCEndpointClient::on_authenticated();
    }
    void on_auth_failed() override { ++g_refused; }
    void handle_unsolicited(const Message& message) override {
        if (message.attributes().get_string("id", "") == "metering") {
            ++g_metering;
        } else {
            ++g_other_reports;
        }
    }

private:
    std::string password_;
};

struct Settings {
    std::string host = "127.0.0.1";
    uint16_t port = 0;
    int count = 256;
    int manager_count = 1;
    std::string password = "tarnel";
    double seconds = 20;
    double warmup = 3;
    long pid = 0;
    bool is_subscribing_all = false;
};

template <typename T>
bool parse_number(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const std::string value = argv[i + 1];
        bool is_valid = true;
        if (flag == "--host") {
            settings.host = value;
        } else if (flag == "--port") {
            is_valid = parse_number(value, settings.port);
        } else if (flag == "--count") {
            is_valid = parse_number(value, settings.count) && settings.count > 0;
        } else if (flag == "--managers") {
            is_valid = parse_number(value, settings.manager_count) && settings.manager_count > 0 &&
                       settings.manager_count <= 64;
        } else if (flag == "--password") {
            settings.password = value;
        } else if (flag == "--seconds") {
            is_valid = parse_number(value, settings.seconds) && settings.seconds > 0;
        } else if (flag == "--warmup") {
            is_valid = parse_number(value, settings.warmup) && settings.warmup >= 0;
        } else if (flag == "--subscribe") {
            settings.is_subscribing_all = value == "all";
            is_valid = value == "all" || value == "metering";
        } else if (flag == "--pid") {
            is_valid = parse_number(value, settings.pid);
        } else {
            is_valid = false;
        }
        if (!is_valid) return false;
    }
    return argc % 2 == 1 && settings.port != 0 && int{settings.port} + settings.count - 1 <= 65535;
}

double now_s() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// utime + stime of a process in seconds; negative when it cannot be read.
double process_cpu_s(long pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t name_end = text.rfind(')');
    if (name_end == std::string::npos) return -1;
    // After the name: state (field 3) ... utime (field 14), stime (field 15).
    std::istringstream fields(text.substr(name_end + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) parse_number(field, utime);
        if (number == 15) parse_number(field, stime);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double own_cpu_s() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    platform::ScopedCLocale c_locale;
    Settings settings;
    if (!parse(argc, argv, settings)) {
        std::fprintf(stderr, "usage: codec_sim_load --port P [--count N] [--host H] [--password PW] "
                             "[--subscribe metering|all] [--managers N] [--seconds S] [--warmup S] [--pid PID]\n");
        return 2;
    }

    std::vector<std::unique_ptr<MeteringClient>> clients;
    std::vector<std::unique_ptr<LoadManager>> managers;
    std::vector<std::thread> loops;
    for (int i = 0; i < settings.manager_count; ++i) {
        managers.push_back(std::make_unique<LoadManager>());
        managers.back()->set_timer_interval(4000);
        loops.emplace_back([manager = managers.back().get()] { manager->event_loop(); });
    }
    const bool is_ipv6 = settings.host.find(':') != std::string::npos;
    for (int i = 0; i < settings.count; ++i) {
        LoadManager* manager = managers[static_cast<size_t>(i % settings.manager_count)].get();
        clients.push_back(std::make_unique<MeteringClient>(settings.password));
        MeteringClient& client = *clients.back();
        const std::string name = "codec-" + std::to_string(i);
        const std::string port = std::to_string(settings.port + i);
        {
            IPCMutexGuard guard(manager->get_lock());
            if (settings.is_subscribing_all) {
                for (const IPCObject::Subscription& each : IPCObject::subscriptions()) {
                    client.subscribe(each.name, each.interval_ms);
                }
            } else {
                client.subscribe("metering", IPCObject::kMeterIntervalMs);
            }
        }
        manager->add_endpoint(name, &client);
        manager->connect("xmls", "stream",
                         IPCAddress(is_ipv6 ? "[" + settings.host + "]:" + port : settings.host + ":" + port, 0), name,
                         0);
    }

    const double login_deadline = now_s() + 30;
    while (g_logged_in + g_refused < settings.count && now_s() < login_deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::printf("logged in: %ld of %d (refused %ld)\n", g_logged_in.load(), settings.count, g_refused.load());
    std::this_thread::sleep_for(std::chrono::duration<double>(settings.warmup));

    const long reports_start = g_metering;
    const long others_start = g_other_reports;
    const double sim_cpu_start = settings.pid ? process_cpu_s(settings.pid) : -1;
    const double own_cpu_start = own_cpu_s();
    const double wall_start = now_s();
    std::this_thread::sleep_for(std::chrono::duration<double>(settings.seconds));
    const double wall = now_s() - wall_start;
    const long reports = g_metering - reports_start;
    const long others = g_other_reports - others_start;
    const double own_cores = (own_cpu_s() - own_cpu_start) / wall;

    std::printf("window %.1f s: %ld metering reports, %.0f/s in all, %.2f/s per codec (%.1f ms apart)\n", wall, reports,
                static_cast<double>(reports) / wall, static_cast<double>(reports) / wall / settings.count,
                reports ? 1000.0 * wall * settings.count / static_cast<double>(reports) : 0.0);
    if (settings.is_subscribing_all) {
        std::printf("other unsolicited messages: %.0f/s in all\n", static_cast<double>(others) / wall);
    }
    if (settings.pid) {
        const double sim_cpu_end = process_cpu_s(settings.pid);
        if (sim_cpu_start < 0 || sim_cpu_end < 0) {
            std::printf("codec-sim pid %ld: /proc stat not readable\n", settings.pid);
        } else {
            std::printf("codec-sim pid %ld: %.3f cores\n", settings.pid, (sim_cpu_end - sim_cpu_start) / wall);
        }
    }
    std::printf("this load program: %.3f cores\n", own_cores);

    for (auto& manager : managers) manager->stop();
    for (std::thread& loop : loops) loop.join();
    managers.clear();  // before the clients: their connections belong to the managers' sockets
    return 0;
}
