// The fleet views under a full fleet's live load: codec-sim plays 256 codecs in its own process,
// and the program runs main's own start-up code (applicationMain) on a real display at 1600 x 1000,
// started fresh for each fleet. Every codec meters at 67 ms, is in an audio connection (the bench
// connects the idle ones, so all four bars of every meter move) and reports statistics every second,
// each codec at a phase of its own, as a real fleet does.
// Once every codec is READY and connected, each of these runs for the given seconds (default 30):
//   tiles        the tile page
//   tree         the summary tree
//   tree-sorted  the summary tree sorted by "RX Latency"
// and then, in a program started with 256 codecs at ports where nothing listens:
//   unreachable  the tile page while every session tries and fails to connect
// Per run: the process's CPU (cores), the GUI thread's busy share (its CPU time over wall time),
// meter bar paints per second, window repaints per second (repaint passes of top-level windows
// that painted something) and the resident memory at the end. Goal for every run: at most 30
// window repaints a second, at most 0.18 core for the process and the GUI thread busy at most 5%
// of the time.
//
// Usage, on a display of that size (one command line):
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/bench/bench/fleet_view_bench
//       build/bench/tools/codec-sim/codec-sim [seconds per run, default 30]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/shell/application_main.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "app/shared/meter_widget.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/fleet/zorva_summary.h"
#include "bench/codec_sim_process.h"
#include "sessions/ipc_object.h"

namespace {

constexpr int kCodecs = 256;
constexpr uint16_t kBasePort = 25600;
constexpr int kWidth = 1600;
constexpr int kHeight = 1000;
constexpr int kWarmupMs = 3000;
constexpr int kReadyDeadlineMs = 60000;
const char kChildFlag[] = "--measure-fleet";

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

// Counts, for the whole application, the paints that reach a meter bar and the repaints of a window.
// A repaint is a pass of a window's repaint (its UpdateRequest) that paints at least one widget: a
// window may let an UpdateRequest go by and paint what it asked for with a later one.
class PaintCounter : public QObject {
public:
    long barPaints = 0;
    long windowRepaints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            barPaints += qobject_cast<MeterWidget*>(watched) != nullptr;
            windowRepaints += isPassOpen_;
            isPassOpen_ = false;
        } else if (event->type() == QEvent::UpdateRequest) {
            auto* widget = qobject_cast<QWidget*>(watched);
            isPassOpen_ = isPassOpen_ || (widget && widget->isWindow());
        }
        return false;
    }

private:
    bool isPassOpen_ = false;  // an UpdateRequest reached a window and nothing has painted since
};

// Drives the program from inside once its window is up: waits for the fleet, connects it, then
// measures each run in turn and quits.
class FleetProbe : public QObject {
public:
    FleetProbe(MainWindow& window, bool isLive, int seconds) : window_(window), isLive_(isLive), seconds_(seconds) {
        qApp->installEventFilter(&counter_);
        QTimer::singleShot(0, this, [this] {
            window_.setGeometry(0, 0, kWidth, kHeight);
            isLive_ ? waitForReady() : after(kWarmupMs, [this] { runAll({"unreachable"}); });
        });
        QTimer::singleShot(kReadyDeadlineMs, this, [this] {
            if (!hasStartedRuns_) fail("the fleet did not come up");
        });
    }

private:
    void after(int ms, std::function<void()> then) { QTimer::singleShot(ms, this, std::move(then)); }

    void fail(const char* why) {
        std::printf("failed: %s (%d READY, %d connected)\n", why, countReady(), countConnected());
        std::fflush(stdout);
        QCoreApplication::exit(1);
    }

    static int countReady() {
        int ready = 0;
        for (IPCObject* session : qAsConst(instanceMap)) ready += session->state() == IQEndpointClient::READY;
        return ready;
    }

    static bool isConnected(IPCObject& session) {
        const bool hasPeers = !session.activePeerList().isEmpty();
        std::lock_guard<SessionMutex> lock(session.mutex());
        return hasPeers && !session.receivingPeerId.isEmpty();
    }

    static int countConnected() {
        int connected = 0;
        for (IPCObject* session : qAsConst(instanceMap)) connected += isConnected(*session);
        return connected;
    }

    void waitForReady() {
        if (countReady() < kCodecs) return after(200, [this] { waitForReady(); });
        // The codecs that are idle connect their first address-book peer.
        for (IPCObject* session : qAsConst(instanceMap)) {
            if (isConnected(*session)) continue;
            QString peer;
            {
                std::lock_guard<SessionMutex> lock(session->mutex());
                if (!session->bookPeers.isEmpty()) peer = session->bookPeers.first()->id;
            }
            session->cmd_connect(peer);
        }
        waitForConnections();
    }

    void waitForConnections() {
        if (countConnected() < kCodecs) return after(200, [this] { waitForConnections(); });
        runAll({"tiles", "tree", "tree-sorted"});
    }

    void runAll(std::vector<std::string> runs) {
        hasStartedRuns_ = true;
        runs_ = std::move(runs);
        nextRun();
    }

    void nextRun() {
        if (runs_.empty()) {
            QCoreApplication::quit();
            return;
        }
        const std::string name = runs_.front();
        runs_.erase(runs_.begin());
        ZorvaSummary& view = *window_.summary();
        if (name == "tree" || name == "tree-sorted") {
            view.showStatsOverview();
        } else {
            view.showGeneralOverview();
        }
        if (name == "tree-sorted") {
            view.findChild<QTreeWidget*>("summaryTree")->sortByColumn(ZorvaStatRow::kLatencyColumn, Qt::AscendingOrder);
        }
        after(kWarmupMs, [this, name] { measure(name); });
    }

    void measure(const std::string& name) {
        const double wall = clockSeconds(CLOCK_MONOTONIC);
        const double cpu = processCpuSeconds();
        const double gui = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        const long bars = counter_.barPaints;
        const long windows = counter_.windowRepaints;
        after(seconds_ * 1000, [=] {
            const double elapsed = clockSeconds(CLOCK_MONOTONIC) - wall;
            std::printf("run %s cores=%.3f gui=%.4f bar_paints=%.1f window_repaints=%.1f rss_mb=%.1f ready=%d\n",
                        name.c_str(), (processCpuSeconds() - cpu) / elapsed,
                        (clockSeconds(CLOCK_THREAD_CPUTIME_ID) - gui) / elapsed,
                        static_cast<double>(counter_.barPaints - bars) / elapsed,
                        static_cast<double>(counter_.windowRepaints - windows) / elapsed, residentMb(), countReady());
            std::fflush(stdout);
            nextRun();
        });
    }

    MainWindow& window_;
    const bool isLive_;
    const int seconds_;
    PaintCounter counter_;
    std::vector<std::string> runs_;
    bool hasStartedRuns_ = false;
};

int measureInChild(int argc, char** argv, bool isLive, int seconds) {
    FleetProbe* probe = nullptr;
    StartupObserver observer;
    observer.windowInitialized = [&probe, isLive, seconds](MainWindow& window) {
        probe = new FleetProbe(window, isLive, seconds);
    };
    const int result = applicationMain(argc, argv, observer);
    delete probe;
    return result;
}

// kt-config.xml with `count` codecs from `first_port` on, in a data folder of its own.
bool writeConfig(const QTemporaryDir& home, uint16_t first_port) {
    QDir().mkpath(home.path() + QStringLiteral("/Quelda"));
    QFile config(home.path() + QStringLiteral("/Quelda/kt-config.xml"));
    if (!config.open(QIODevice::WriteOnly)) return false;
    config.write("<config><remotes>");
    for (int index = 0; index < kCodecs; ++index) {
        config.write(QStringLiteral("<remote address=\"127.0.0.1\" port=\"%1\" password=\"tarnel\"/>")
                         .arg(first_port + index)
                         .toUtf8());
    }
    config.write("</remotes></config>");
    return true;
}

// Ports from `first` on where nothing listens now (each could be bound).
bool nothingListens(uint16_t first) {
    for (int index = 0; index < kCodecs; ++index) {
        const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(first + index));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool is_free = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0) close(probe);
        if (!is_free) return false;
    }
    return true;
}

bool runChild(const QTemporaryDir& home, bool isLive, int seconds, QByteArray& figures) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    program.setProcessEnvironment(environment);
    program.setStandardErrorFile(QProcess::nullDevice());  // the program's own log
    program.start(QCoreApplication::applicationFilePath(),
                  {QString::fromLatin1(kChildFlag), QString::fromLatin1(isLive ? "live" : "unreachable"),
                   QString::number(seconds)});
    const int runs = isLive ? 3 : 1;
    if (!program.waitForFinished(kReadyDeadlineMs + runs * (seconds * 1000 + kWarmupMs) + 30000)) return false;
    figures = program.readAllStandardOutput();
    return program.exitCode() == 0;
}

int runBench(const QString& codec_sim, int seconds) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "fleet_view_bench needs a display: run it under xvfb-run\n");
        return 2;
    }
    QProcess sim;
    if (!start_codec_sim(sim, codec_sim, {QStringLiteral("--count"), QString::number(kCodecs), QStringLiteral("--port"),
                                          QString::number(kBasePort), QStringLiteral("--random-phase")},
                         kCodecs)) {
        return 1;
    }
    QTemporaryDir live_home;
    QTemporaryDir unreachable_home;
    const uint16_t unreachable_port = kBasePort + kCodecs + 100;
    if (!nothingListens(unreachable_port) || !writeConfig(live_home, kBasePort) ||
        !writeConfig(unreachable_home, unreachable_port)) {
        std::fprintf(stderr, "could not prepare the two data folders\n");
        return 1;
    }
    QByteArray figures;
    QByteArray more;
    const bool is_ok = runChild(live_home, true, seconds, figures) && runChild(unreachable_home, false, seconds, more);
    stop_codec_sim(sim);
    std::printf("%d codecs, %d s per run, window %dx%d (goal per run: window repaints <= 30/s, cores <= 0.18, "
                "GUI thread busy <= 5%%)\n",
                kCodecs, seconds, kWidth, kHeight);
    std::fputs((figures + more).constData(), stdout);
    if (!is_ok) std::fprintf(stderr, "a run failed\n");
    return is_ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == kChildFlag) {
        char* program_argv[] = {argv[0], nullptr};
        return measureInChild(1, program_argv, std::string(argv[2]) == "live", std::atoi(argv[3]));
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: fleet_view_bench <codec-sim> [seconds per run, default 30]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    return runBench(QString::fromLocal8Bit(argv[1]), argc > 2 ? std::atoi(argv[2]) : 30);
}
