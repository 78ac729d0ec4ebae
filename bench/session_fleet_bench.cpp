// The whole session layer under a fleet's load: codec-sim plays N codecs in its own process,
// metering at 67 ms and statistics every second, while this process runs the session pool and one
// IPCObject per codec with a headless Qt event loop. Reports:
//   - seconds from starting the workers until every session is READY;
//   - CPU of this process alone (cores), over the measuring window, and each thread's CPU and
//     wake-ups a second;
//   - its resident memory (RSS, peak);
//   - the delay from a metering report leaving codec-sim to its recvLevels signal on the GUI
//     thread (p50, p99). codec-sim stamps each report with its monotonic send time (--stamp); the
//     clock is shared by both processes.
//
// Usage: session_fleet_bench <path to codec-sim> [count, default 256] [seconds, default 30]

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/codec_sim_process.h"
#include "ipc/base/ipc_clock.h"
#include "ipc/base/ipc_string.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/session_meta_types.h"

namespace {

constexpr uint16_t kBasePort = 24100;

// A session that notes, on the socket loop thread, when each metering report was sent, so that the
// GUI thread can pair each recvLevels with its own report (they arrive in the same order).
class TimedSession : public IPCObject {
public:
    using IPCObject::IPCObject;

    void handle_unsolicited(const Message& message) override {
        if (message.attributes().get_string("id", "") == "metering" && message.size() > 0) {
            const std::string sent = message.get_child(0).attributes().get_string("sent_us", "");
            std::lock_guard<std::mutex> lock(sent_mutex_);
            sent_us_.push_back(std::strtoll(sent.c_str(), nullptr, 10));
        }
        IPCObject::handle_unsolicited(message);
    }

    // The send time of the report whose signal is being delivered now; 0 when unknown.
    int64_t take_sent_us() {
        std::lock_guard<std::mutex> lock(sent_mutex_);
        if (sent_us_.empty()) return 0;
        const int64_t sent = sent_us_.front();
        sent_us_.pop_front();
        return sent;
    }

private:
    std::mutex sent_mutex_;
    std::deque<int64_t> sent_us_;
};

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in MB.
double memory_mb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::strtod(line.c_str() + field.size(), nullptr) / 1024.0;
    }
    return 0;
}

struct ThreadCpu {
    double user_s = 0;
    double system_s = 0;
    double wakeups = 0;  // times the thread slept and was woken (voluntary context switches)
};

// The "voluntary_ctxt_switches:" of /proc/self/task/<task>/status.
double voluntary_switches(const std::string& task) {
    static const std::string kField = "voluntary_ctxt_switches:";
    std::ifstream status("/proc/self/task/" + task + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(kField, 0) == 0) return std::strtod(line.c_str() + kField.size(), nullptr);
    }
    return 0;
}

// CPU seconds used so far by each thread of this process, and its wake-ups, by thread name
// (threads of one name summed).
std::map<std::string, ThreadCpu> cpu_by_thread() {
    std::map<std::string, ThreadCpu> seconds;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return seconds;
    while (dirent* task = readdir(tasks)) {
        if (task->d_name[0] == '.') continue;
        std::ifstream stat(std::string("/proc/self/task/") + task->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const size_t open = line.find('(');
        const size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::string name = line.substr(open + 1, close - open - 1);
        if (name.rfind("socket loop", 0) == 0) name = "socket loops";
        if (name.rfind("worker", 0) == 0) name = "worker threads";
        std::istringstream fields(line.substr(close + 2));
        std::string field;
        for (int i = 0; i < 11; ++i) fields >> field;  // state .. cmajflt
        long user = 0;
        long system = 0;
        fields >> user >> system;
        seconds[name].user_s += static_cast<double>(user) / ticks;
        seconds[name].system_s += static_cast<double>(system) / ticks;
        seconds[name].wakeups += voluntary_switches(task->d_name);
    }
    closedir(tasks);
    return seconds;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: session_fleet_bench <codec-sim> [count] [seconds]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 256;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
    register_session_meta_types();

    QProcess codec_sim;
    if (!start_codec_sim(codec_sim, QString::fromLocal8Bit(argv[1]),
                         {QStringLiteral("--count"), QString::number(count), QStringLiteral("--port"),
                          QString::number(kBasePort), QStringLiteral("--stamp"), QStringLiteral("--random-phase")},
                         count)) {
        return 1;
    }

    auto pool = std::make_unique<IQCommonPooledApp>(4);
    IPCObject::setSessionPool(pool.get());
    std::vector<TimedSession*> sessions;
    int ready = 0;
    std::vector<double> delays_ms;
    bool is_measuring = false;
    for (int i = 0; i < count; ++i) {
        const QUuid uuid = QUuid::createUuid();
        auto* session = new TimedSession(uuid.toString(), uuid);
        pool->add_client(uuid.toString(), session);
        QObject::connect(session, &IPCObject::changedState, [&ready](QUuid, IQEndpointClient::DEVICE_STATE state) {
            if (state == IQEndpointClient::READY) ++ready;
        });
        QObject::connect(session, &IPCObject::recvLevels,
                         [session, &delays_ms, &is_measuring](float, float, float, float) {
                             const int64_t sent_us = session->take_sent_us();
                             if (is_measuring && sent_us > 0)
                                 delays_ms.push_back(static_cast<double>(ipc_now_us() - sent_us) / 1000.0);
                         });
        session->setConnection(QStringLiteral("127.0.0.1"), kBasePort + i, QStringLiteral("tarnel"));
        sessions.push_back(session);
    }

    const int64_t started_us = ipc_now_us();
    pool->start_managers();
    int64_t all_ready_us = 0;
    while (all_ready_us == 0 && ipc_now_us() - started_us < 60000000) {
        application.processEvents(QEventLoop::AllEvents, 10);
        if (ready >= count) all_ready_us = ipc_now_us();
    }
    if (all_ready_us == 0) std::fprintf(stderr, "only %d of %d sessions became READY\n", ready, count);

    // Let the first reports settle, then measure a steady window on the event loop.
    QTimer::singleShot(2000, [&] {
        is_measuring = true;
        const double cpu_before = cpu_seconds();
        const std::map<std::string, ThreadCpu> threads_before = cpu_by_thread();
        const int64_t window_start_us = ipc_now_us();
        QTimer::singleShot(seconds * 1000, [&, cpu_before, threads_before, window_start_us] {
            const double wall_s = static_cast<double>(ipc_now_us() - window_start_us) / 1e6;
            const double cores = (cpu_seconds() - cpu_before) / wall_s;
            for (const auto& [name, used] : cpu_by_thread()) {
                const ThreadCpu before = threads_before.count(name) ? threads_before.at(name) : ThreadCpu{};
                std::printf("  %-16s %.3f cores user, %.3f system, %.1f wake-ups/s\n", name.c_str(),
                            (used.user_s - before.user_s) / wall_s, (used.system_s - before.system_s) / wall_s,
                            (used.wakeups - before.wakeups) / wall_s);
            }
            std::printf("sessions: %d, READY: %d after %.2f s\n", count, ready,
                        static_cast<double>(all_ready_us - started_us) / 1e6);
            std::printf("window: %.1f s, metering signals: %zu (%.0f/s)\n", wall_s, delays_ms.size(),
                        static_cast<double>(delays_ms.size()) / wall_s);
            std::printf("CPU of this process: %.3f cores\n", cores);
            std::printf("RSS: %.1f MB now, %.1f MB peak\n", memory_mb("VmRSS:"), memory_mb("VmHWM:"));
            std::printf("report to signal: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", percentile(delays_ms, 0.5),
                        percentile(delays_ms, 0.99), percentile(delays_ms, 1.0));
            application.quit();
        });
    });
    application.exec();

    for (TimedSession* session : sessions) session->markForDeletion();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    pool.reset();
    stop_codec_sim(codec_sim);
    return 0;
}
