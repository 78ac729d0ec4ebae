// The scheduler at the size of a full fleet: 2,000 jobs over 256 codecs. Measures one pass (every
// booking weighed against its codec's peer list, as each tick does once the calls are made; and
// the same with 10,000 jobs, which should take five times as long, not more), opening the
// scheduled connections window, one refresh of it with every status cell changed, and one save of
// schedule.xml beside writing the same bytes straight through QSaveFile. The sessions are real but
// never connected: they hold a unit name and a peer list as if their codecs had reported them.
//
// Usage: scheduler_bench [Google Benchmark options]   (runs offscreen unless QT_QPA_PLATFORM is set)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QMap>
#include <QMetaObject>
#include <QSaveFile>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ipc/message/message.h"
#include "scheduler/schedule_window.h"
#include "scheduler/scheduler.h"
#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"
#include "tests/support/unplaced_session.h"

namespace {

constexpr int kCodecs = 256;
constexpr int kJobs = 2000;
constexpr int kMostJobs = Scheduler::kMaxJobs;
constexpr int kPeersPerCodec = 6;  // peers 1 and 2 have a connection

class Fleet {
public:
    explicit Fleet(int job_count) {
        for (int i = 0; i < kCodecs; ++i) addCodec(i);
        scheduler.stopTimer();
        scheduler.setClock([this] { return now; });
        scheduler.setFilePath(folder.filePath("schedule.xml"));
        scheduler.setSessions(
            std::make_shared<SessionAdaptor>([this](const QUuid& uuid) { return registry.value(uuid); },
                                             [this] { return registry.values(); }));
        const QList<QUuid> keys = registry.keys();
        for (int i = 0; i < job_count; ++i) addJob(i, keys[i % kCodecs]);
        // The first pass makes and notes the calls; those after it find them made.
        scheduler.tick();
    }

    QTemporaryDir folder;
    const QDateTime now{QDate(2024, 5, 6), QTime(12, 0)};
    // Never placed on a pool, so they may be deleted directly (IPCObject's destructor is not public).
    std::vector<std::unique_ptr<test_support::UnplacedSession>> sessions;
    QMap<QUuid, IPCObject*> registry;
    Scheduler scheduler;

private:
    void addCodec(int i) {
        const QUuid uuid = QUuid::createUuid();
        sessions.push_back(std::make_unique<test_support::UnplacedSession>(uuid.toString(), uuid));
        IPCObject& session = *sessions.back();
        session.setAddress(QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250 + 1), 5004);
        session.cache_message(Message("<resp seq=\"sysOptions\" unit_name=\"Codec " + std::to_string(i) + "\"/>"),
                              "sysOptions");
        std::string peers;
        for (int peer = 1; peer <= kPeersPerCodec; ++peer) {
            peers += "<peer id=\"" + std::to_string(peer) + "\" name=\"Studio " + std::to_string(peer) +
                     "\" active=\"" + (peer <= 2 ? "true" : "false") + "\"/>";
        }
        session.cache_message(Message("<resp seq=\"peerList\">" + peers + "</resp>"), "peerList");
        QMetaObject::invokeMethod(&session, "cb_resp_peerList", Qt::DirectConnection);
        session.set_state(IQEndpointClient::READY);
        registry.insert(uuid, &session);
    }

    // A quarter waiting for a later start, on any peer; the rest open on a connected peer, whose
    // call the first pass takes: a quarter forced, a quarter daily.
    void addJob(int i, const QUuid& uuid) {
        Job job;
        job.uuid = uuid;
        job.id = Scheduler::nextJobId();
        job.peer = QString::number(i % 2 + 1);
        job.start = now.addSecs(-3600 + i);
        job.end = now.addSecs(3600 + i);
        job.recurrence_end = job.end;
        switch (i % 4) {
        case 0:
            job.peer = QString::number(i % kPeersPerCodec + 1);
            job.start = now.addSecs(3600 + i * 60);
            job.end = job.start.addSecs(1800);
            job.recurrence_end = job.end;
            break;
        case 1: break;
        case 2: job.priority = true; break;
        case 3:
            job.frequency = Job::Daily;
            job.repeat_forever = true;
            break;
        }
        scheduler.addJob(job);
    }
};

Fleet& fleet(int job_count = kJobs) {
    static std::map<int, std::unique_ptr<Fleet>> built;
    std::unique_ptr<Fleet>& made = built[job_count];
    if (!made) made = std::make_unique<Fleet>(job_count);
    return *made;
}

void BM_Tick(benchmark::State& state) {
    Fleet& f = fleet(static_cast<int>(state.range(0)));
    for (auto _ : state) f.scheduler.tick();
    state.counters["jobs"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_Tick)->Arg(kJobs)->Arg(kMostJobs)->Unit(benchmark::kMillisecond);

// What the operator waits for when the window opens: every row, one refresh, the columns fitted.
void BM_WindowOpen(benchmark::State& state) {
    Fleet& f = fleet();
    for (auto _ : state) {
        ScheduleWindow window(f.scheduler);
        window.addJobEntries(f.scheduler.jobList());
        window.refreshEntries();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_WindowOpen)->Unit(benchmark::kMillisecond);

void BM_WindowRefresh(benchmark::State& state) {
    Fleet& f = fleet();
    ScheduleWindow window(f.scheduler);
    window.addJobEntries(f.scheduler.jobList());
    // The status cells change between refreshes; the edits that change them are not measured.
    QObject::disconnect(&f.scheduler, nullptr, &window, nullptr);
    QList<Job> jobs = f.scheduler.jobList();
    bool is_warning = false;
    for (auto _ : state) {
        state.PauseTiming();
        is_warning = !is_warning;
        for (int index = 0; index < jobs.size(); ++index) {
            jobs[index].warning = is_warning ? QStringLiteral("codec not ready") : QString();
            f.scheduler.setJobAt(index, jobs[index]);
        }
        state.ResumeTiming();
        window.refreshEntries();
    }
    for (int index = 0; index < jobs.size(); ++index) {
        jobs[index].warning.clear();
        f.scheduler.setJobAt(index, jobs[index]);
    }
}
BENCHMARK(BM_WindowRefresh)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
    Fleet& f = fleet();
    for (auto _ : state) {
        if (!f.scheduler.save()) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// The floor under BM_Save: the same document, already serialised, written the same way.
void BM_SaveSameBytesWithQSaveFile(benchmark::State& state) {
    Fleet& f = fleet();
    if (!f.scheduler.save()) state.SkipWithError("save failed");
    QFile saved(f.scheduler.filePath());
    if (!saved.open(QIODevice::ReadOnly)) state.SkipWithError("read failed");
    const QByteArray bytes = saved.readAll();
    const QString path = f.folder.filePath("reference.xml");
    for (auto _ : state) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), static_cast<qint64>(bytes.size())) < 0 ||
            !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || !file.commit()) {
            state.SkipWithError("write failed");
        }
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_SaveSameBytesWithQSaveFile)->Unit(benchmark::kMillisecond);

void quietDebug(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg) fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietDebug);  // one state-change line per session
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
