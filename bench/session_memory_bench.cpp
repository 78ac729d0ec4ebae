// The heap one session uses, and what a codec that sends thousands of report ids nobody knows
// adds to it (a codec can come close: one report name per configuration path). Two codec-sim
// programs: a plain codec, and one that sends N unknown report ids right after each login. One
// session connects to each in turn; each figure is the heap in use (malloc's own count) before
// the session was made and after it has taken in everything its codec sent.
//
// Usage: session_memory_bench <path to codec-sim> [unknown ids, default 10000]

#include <malloc.h>

#include <QCoreApplication>
#include <QProcess>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bench/codec_sim_process.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/session_meta_types.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kPlainPort = 24700;
constexpr uint16_t kHostilePort = 24701;

// Counts, on the socket loop thread, the reports whose ids the hostile codec makes up.
class CountingSession : public IPCObject {
public:
    using IPCObject::IPCObject;

    void handle_unsolicited(const Message& message) override {
        if (message.attributes().get_string("id", "").rfind("cfgData:setting.", 0) == 0) ++unknown_reports;
        IPCObject::handle_unsolicited(message);
    }

    std::atomic<int> unknown_reports{0};
};

size_t heap_in_use() {
    return mallinfo2().uordblks;
}

// Runs the event loop until `done` holds or a minute has passed, then a little longer so that the
// calls the loop queued for the GUI thread are delivered too.
template <class Condition>
bool settle(Condition done) {
    const Clock::time_point deadline = Clock::now() + std::chrono::minutes(1);
    while (!done() && Clock::now() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const Clock::time_point quiet = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < quiet) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Connects one new session to the codec at `port`, waits until `done(session)` and returns the heap
// the session added, in KiB.
template <class Condition>
double session_heap_kib(IQCommonPooledApp& pool, uint16_t port, Condition done, bool& is_done) {
    malloc_trim(0);
    const size_t before = heap_in_use();
    const QUuid uuid = QUuid::createUuid();
    auto* session = new CountingSession(uuid.toString(), uuid);
    pool.add_client(uuid.toString(), session);
    session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
    is_done = settle([&] { return done(*session); });
    const double kib = (static_cast<double>(heap_in_use()) - static_cast<double>(before)) / 1024.0;
    session->markForDeletion();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return kib;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: session_memory_bench <codec-sim> [unknown ids]\n");
        return 2;
    }
    const int unknown_ids = argc > 2 ? std::atoi(argv[2]) : 10000;
    register_session_meta_types();
    // Uncounted: the sessions' debug lines would only measure the terminal.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    const QString codec_sim_path = QString::fromLocal8Bit(argv[1]);
    QProcess plain;
    QProcess hostile;
    if (!start_codec_sim(plain, codec_sim_path, {QStringLiteral("--port"), QString::number(kPlainPort)}, 1) ||
        !start_codec_sim(hostile, codec_sim_path,
                         {QStringLiteral("--port"), QString::number(kHostilePort), QStringLiteral("--hostile"),
                          QStringLiteral("unknown"), QStringLiteral("--unknown-ids"), QString::number(unknown_ids)},
                         1)) {
        return 1;
    }

    auto pool = std::make_unique<IQCommonPooledApp>(4);
    IPCObject::setSessionPool(pool.get());
    pool->start_managers();

    bool is_ready = false;
    const double plain_kib = session_heap_kib(
        *pool, kPlainPort, [](IPCObject& session) { return session.state() == IQEndpointClient::READY; }, is_ready);
    bool has_taken_all = false;
    bool is_hostile_ready = false;
    const double hostile_kib = session_heap_kib(
        *pool, kHostilePort,
        [&](CountingSession& session) {
            is_hostile_ready = session.state() == IQEndpointClient::READY;
            return session.unknown_reports.load() == unknown_ids;
        },
        has_taken_all);

    std::printf("one session, plain codec: %.0f KiB (READY: %s)\n", plain_kib, is_ready ? "yes" : "no");
    std::printf("one session after %d unknown report ids: %.0f KiB (all taken in: %s, READY: %s)\n", unknown_ids,
                hostile_kib, has_taken_all ? "yes" : "no", is_hostile_ready ? "yes" : "no");

    pool.reset();
    IPCObject::setSessionPool(nullptr);
    stop_codec_sim(plain);
    stop_codec_sim(hostile);
    return 0;
}
