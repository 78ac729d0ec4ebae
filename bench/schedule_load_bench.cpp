// Loading a full schedule at start-up: schedule.xml with 10,000 jobs over 256 codecs, read by
// Scheduler::load while the fleet view listens, as the program has it: each of the 256 tiles and
// the summary (one pass over its 256 rows) asks hasJobFor on every scheduleUpdated. The peer is
// reading the same file into a message tree, which every load does first; the ratio of the two is
// what the scheduler adds. The sessions are real but never connected.
//
// Usage: schedule_load_bench [Google Benchmark options]

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <memory>

#include "ipc/message/message.h"
#include "scheduler/scheduler.h"
#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"

namespace {

constexpr int kCodecs = 256;
constexpr int kJobs = 10000;
constexpr int kCodecPort = 5004;

QString codecHost(int codec) {
    return QStringLiteral("10.0.%1.%2").arg(codec / 250).arg(codec % 250 + 1);
}

class Fleet {
public:
    Fleet() {
        for (int i = 0; i < kCodecs; ++i) {
            const QUuid uuid = QUuid::createUuid();
            // Never ended: the fleet lives until the process ends.
            auto* session = new IPCObject(uuid.toString(), uuid);
            session->setAddress(codecHost(i), kCodecPort);
            registry.insert(uuid, session);
        }
        writeSchedule();
    }

    // A scheduler over the fleet with the fleet view's questions connected, not yet loaded.
    std::unique_ptr<Scheduler> makeScheduler() const {
        auto scheduler = std::make_unique<Scheduler>();
        scheduler->stopTimer();
        scheduler->setClock([this] { return now; });
        scheduler->setFilePath(filePath());
        scheduler->setSessions(
            std::make_shared<SessionAdaptor>([this](const QUuid& uuid) { return registry.value(uuid); },
                                             [this] { return registry.values(); }));
        Scheduler* asked = scheduler.get();
        const QList<QUuid> keys = registry.keys();
        for (const QUuid& uuid : keys) {
            QObject::connect(asked, &Scheduler::scheduleUpdated, asked,
                             [asked, uuid] { benchmark::DoNotOptimize(asked->hasJobFor(uuid)); });
        }
        QObject::connect(asked, &Scheduler::scheduleUpdated, asked, [asked, keys] {
            for (const QUuid& uuid : keys) benchmark::DoNotOptimize(asked->hasJobFor(uuid));
        });
        return scheduler;
    }

    QString filePath() const { return folder.filePath("schedule.xml"); }

    QTemporaryDir folder;
    const QDateTime now{QDate(2024, 5, 6), QTime(12, 0)};
    QMap<QUuid, IPCObject*> registry;

private:
    // Every job ahead of the clock, a minute apart, each codec's jobs in one stretch: a question
    // for a codec passes every job of the codecs before it.
    void writeSchedule() const {
        Message root;
        for (int i = 0; i < kJobs; ++i) {
            Job job;
            job.start = now.addSecs(3600 + i * 60);
            job.end = job.start.addSecs(1800);
            job.recurrence_end = job.end;
            job.peer = QStringLiteral("1");
            job.host = codecHost(i * kCodecs / kJobs);
            job.port = kCodecPort;
            job.toMessage(root.add_child("job"));
        }
        root.set_name("jobs");
        root.write_to_file(Message::XML, QFile::encodeName(filePath()).toStdString());
    }
};

const Fleet& fleet() {
    static const Fleet* built = new Fleet;  // never deleted, like its sessions
    return *built;
}

void BM_LoadWithFleetView(benchmark::State& state) {
    const Fleet& f = fleet();
    int loaded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Scheduler> scheduler = f.makeScheduler();
        state.ResumeTiming();
        if (!scheduler->load()) state.SkipWithError("load failed");
        state.PauseTiming();
        loaded = scheduler->jobCount();
        scheduler.reset();
        state.ResumeTiming();
    }
    if (loaded != kJobs) state.SkipWithError("not every job was loaded");
}
BENCHMARK(BM_LoadWithFleetView)->Unit(benchmark::kMillisecond);

// The floor under a load: the same file read into a message tree.
void BM_ReadScheduleFile(benchmark::State& state) {
    const std::string path = QFile::encodeName(fleet().filePath()).toStdString();
    for (auto _ : state) {
        Message root;
        root.read_from_file(path);
        benchmark::DoNotOptimize(root.size());
    }
}
BENCHMARK(BM_ReadScheduleFile)->Unit(benchmark::kMillisecond);

void quietDebug(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg) fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietDebug);
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
