// How long a slow slot on the GUI thread can hold up a worker. Every session's changedState is
// connected to a slot that sleeps 1 s, as a careless window might (a modal box, a slow disk). While
// the sessions connect, become READY, are disconnected and are removed, one probe thread per worker
// keeps taking and releasing that worker's manager lock and notes the longest it had to wait. A
// wait near 1 s means a slot ran while the lock was held, and the worker's 64 codecs stood still;
// the goal is that no wait comes near the sleep at all.
//
// Usage: session_lock_hold_bench <path to codec-sim> [sessions, default 4]

#include <QCoreApplication>
#include <QProcess>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "bench/codec_sim_process.h"
#include "ipc/base/ipc_mutex.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/iq_manager.h"
#include "sessions/session_meta_types.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kBasePort = 24600;
constexpr auto kSlotSleep = std::chrono::seconds(1);

// Takes and releases one manager lock until told to stop; keeps the longest wait.
class LockProbe {
public:
    explicit LockProbe(IPCMutex* lock) : thread_([this, lock] { run(lock); }) {}
    ~LockProbe() {
        is_running_ = false;
        thread_.join();
    }
    double longest_wait_ms() const { return longest_wait_us_.load() / 1000.0; }

private:
    void run(IPCMutex* lock) {
        while (is_running_) {
            const Clock::time_point asked = Clock::now();
            lock->lock();
            const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked);
            lock->unlock();
            longest_wait_us_ = std::max<long long>(longest_wait_us_.load(), waited.count());
            // Leave the lock to the loop and the sessions most of the time.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::atomic<bool> is_running_{true};
    std::atomic<long long> longest_wait_us_{0};
    std::thread thread_;
};

// Runs the event loop until `done` holds or a minute has passed.
template <class Condition>
bool process_until(Condition done) {
    const Clock::time_point deadline = Clock::now() + std::chrono::minutes(1);
    while (!done() && Clock::now() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: session_lock_hold_bench <codec-sim> [sessions]\n");
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 4;
    register_session_meta_types();

    QProcess codec_sim;
    if (!start_codec_sim(codec_sim, QString::fromLocal8Bit(argv[1]),
                         {QStringLiteral("--count"), QString::number(count), QStringLiteral("--port"),
                          QString::number(kBasePort)},
                         count)) {
        return 1;
    }

    auto pool = std::make_unique<IQCommonPooledApp>(4);
    IPCObject::setSessionPool(pool.get());
    pool->start_managers();
    std::vector<IPCObject*> sessions;
    int ready = 0;
    int disconnected = 0;
    int slot_runs = 0;
    for (int i = 0; i < count; ++i) {
        const QUuid uuid = QUuid::createUuid();
        auto* session = new IPCObject(uuid.toString(), uuid);
        pool->add_client(uuid.toString(), session);
        QObject::connect(session, &IPCObject::changedState, [&](QUuid, IQEndpointClient::DEVICE_STATE state) {
            ready += state == IQEndpointClient::READY ? 1 : 0;
            disconnected += state == IQEndpointClient::DISCONNECTED ? 1 : 0;
            ++slot_runs;
            std::this_thread::sleep_for(kSlotSleep);
        });
        sessions.push_back(session);
    }

    std::set<IQManager*> managers;
    for (IPCObject* session : sessions) managers.insert(session->ipcManager());
    std::vector<std::unique_ptr<LockProbe>> probes;
    for (IQManager* manager : managers) probes.push_back(std::make_unique<LockProbe>(manager->mutex()));

    const Clock::time_point started = Clock::now();
    for (int i = 0; i < count; ++i) {
        sessions[static_cast<size_t>(i)]->setConnection(QStringLiteral("127.0.0.1"), kBasePort + i,
                                                        QStringLiteral("tarnel"));
    }
    const bool is_all_ready = process_until([&] { return ready == count; });
    for (IPCObject* session : sessions) session->disconnectIPC();
    const bool is_all_disconnected = process_until([&] { return disconnected == count; });
    for (IPCObject* session : sessions) session->markForDeletion();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

    double longest_ms = 0;
    for (const auto& probe : probes) longest_ms = std::max(longest_ms, probe->longest_wait_ms());
    probes.clear();
    std::printf("sessions: %d on %zu workers; READY: %s, DISCONNECTED: %s\n", count, managers.size(),
                is_all_ready ? "all" : "not all", is_all_disconnected ? "all" : "not all");
    std::printf("slots run: %d, each sleeping %lld ms; %.1f s in all\n", slot_runs,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(kSlotSleep).count()),
                seconds);
    std::printf("longest wait for a manager lock: %.1f ms\n", longest_ms);

    pool.reset();
    IPCObject::setSessionPool(nullptr);
    stop_codec_sim(codec_sim);
    return 0;
}
