// The fleet views under a full fleet's live load: codec-sim plays 256 codecs in its own process,
// and the program runs main's own start-up code (applicationMain) on a real display at 1366 x 768,
// a laptop's screen, started fresh for each fleet. Every codec is in an audio connection (the bench
// connects the idle ones, so all four bars of every meter move), meters at the interval the program
// asks for and reports statistics every second, each codec at a phase of its own, as a real fleet
// does.
// Once every codec is READY and connected, each of these runs for the given seconds (default 20):
//   tiles        the tile page, scrolled to the top
//   tree         the summary tree
//   tree-sorted  the summary tree sorted by "RX Latency"
//   minimised    the tile page, the window minimised (and unmapped, as a window manager does)
//   scroll       the tile page, paged down one screen a second, from the top to the end and back
//   dock         the tile page, another codec opened in the details dock every two seconds
// and then, in a program started with 256 codecs at ports where nothing listens:
//   unreachable  the tile page while every session tries and fails to connect
// Per run: the process's CPU (cores), the GUI thread's busy share (its CPU time over wall time)
// and its wake-ups a second (the times it slept and was woken),
// window repaints per second (repaint passes of top-level windows that painted something), meter
// bar paints per second (a small meter paints its four bars in one), the report frames the program received per second
// (all, and those with levels, as codec-sim counts what it sent), the share of level reports that reached a painted
// meter (a report counts when a meter of its codec paints while it is the newest one), and the
// resident memory at the end. The scroll run also gives the milliseconds from each page-down to the
// first level report of each codec that came into sight (median and worst), the dock run the
// milliseconds from each opening to the codec's first statistics report (median and worst) and to
// the program's asking the codec for them at its own pace (worst).
// Goals: at most 30 window repaints a second, the GUI thread busy at most 5% of the time, at least
// 80% of the level reports painted; a codec's first level within 150 ms of coming into sight, and
// its statistics within a second of its opening in the dock.
//
// Usage, on a display of that size (one command line):
//   xvfb-run -a -s "-screen 0 1366x768x24" build/bench/bench/fleet_view_bench
//       build/bench/tools/codec-sim/codec-sim [seconds per run, default 20] [runs, default all]
// where runs is a comma-separated list of the live runs above (the unreachable one runs with all).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/fleet/zorva_summary.h"
#include "app/shared/frame_clock.h"
#include "app/shared/meter_widget.h"
#include "app/shared/mini_meter.h"
#include "app/shared/monitoring_meter.h"
#include "app/shell/application_main.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "bench/codec_sim_process.h"
#include "sessions/ipc_object.h"

namespace {

constexpr int kCodecs = 256;
constexpr uint16_t kBasePort = 25600;
constexpr int kWidth = 1366;
constexpr int kHeight = 768;
constexpr int kWarmupMs = 3000;
constexpr int kReadyDeadlineMs = 60000;
constexpr int kScrollPeriodMs = 1000;
constexpr int kDockPeriodMs = 2000;
// Each opening in the dock moves this many tiles on: out of sight, all over the fleet.
constexpr int kDockStride = 37;
const char kChildFlag[] = "--measure-fleet";
const std::vector<std::string> kLiveRuns = {"tiles", "tree", "tree-sorted", "minimised", "scroll", "dock"};
const std::vector<std::string> kUnreachableRuns = {"unreachable"};

std::vector<std::string> splitRuns(const std::string& list) {
    std::vector<std::string> runs;
    for (size_t start = 0; start <= list.size();) {
        const size_t comma = std::min(list.find(',', start), list.size());
        runs.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return runs;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The times the calling thread slept and was woken (its voluntary context switches).
long threadWakeups() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
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

// What codec-sim has published, as its counts file says (codec-sim --counts).
struct PublishedCounts {
    double seconds = 0;  // codec-sim's monotonic time of the count
    double reports = 0;
    double levels = 0;
};

PublishedCounts readCounts(const std::string& path) {
    std::ifstream file(path);
    long long at_us = 0;
    unsigned long long reports = 0;
    unsigned long long levels = 0;
    if (!(file >> at_us >> reports >> levels)) return {};
    return {static_cast<double>(at_us) / 1e6, static_cast<double>(reports), static_cast<double>(levels)};
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Counts, for the whole application, the repaints of a window, the paints that reach a meter bar
// and the level reports those paints show. A repaint is a pass of a window's repaint (its
// UpdateRequest) that paints at least one widget: a window may let an UpdateRequest go by and paint
// what it asked for with a later one. A level report is shown when a bar of its codec's meter
// paints while the report is the codec's newest one that no paint has shown yet.
class PaintCounter : public QObject {
public:
    long barPaints = 0;
    long windowRepaints = 0;
    long shownReports = 0;

    // The meters (small ones and the dock's) and the codec whose levels each shows.
    void setMeters(QHash<const QWidget*, IPCObject*> meters) { meters_ = std::move(meters); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            // The dock's bars paint one by one, a small meter its four at once.
            if (qobject_cast<MeterWidget*>(watched) || qobject_cast<MiniMeter*>(watched))
                countBar(*static_cast<QWidget*>(watched));
            windowRepaints += isPassOpen_;
            isPassOpen_ = false;
        } else if (event->type() == QEvent::UpdateRequest) {
            auto* widget = qobject_cast<QWidget*>(watched);
            isPassOpen_ = isPassOpen_ || (widget && widget->isWindow());
        }
        return false;
    }

private:
    void countBar(const QWidget& bar) {
        ++barPaints;
        // A small meter is itself the meter, and says whose levels it shows (the tree's rows get a
        // meter as they come into sight); the dock's bars sit in its frames.
        if (const auto* meter = qobject_cast<const MiniMeter*>(&bar)) {
            if (meter->session()) countShown(*meter->session());
            return;
        }
        for (const QWidget* owner = &bar; owner; owner = owner->parentWidget()) {
            if (IPCObject* session = meters_.value(owner)) {
                countShown(*session);
                return;
            }
        }
    }

    void countShown(const IPCObject& session) {
        const quint64 reports = session.levelReportCount();
        quint64& shown = shownCount_[&session];
        if (reports != shown) ++shownReports;
        shown = reports;
    }

    QHash<const QWidget*, IPCObject*> meters_;
    QHash<const IPCObject*, quint64> shownCount_;  // the report count a paint last showed, by codec
    bool isPassOpen_ = false;                      // an UpdateRequest reached a window and nothing has painted since
};

// The figures of one run, taken at its start and compared at its end.
struct RunStart {
    double wall = 0;
    double cpu = 0;
    double gui = 0;
    long guiWakeups = 0;
    long bars = 0;
    long windows = 0;
    long shown = 0;
    PublishedCounts published;
};

// Drives the program from inside once its window is up: waits for the fleet, connects it, then
// measures each run in turn and quits.
class FleetProbe : public QObject {
public:
    FleetProbe(MainWindow& window, std::vector<std::string> runs, int seconds, std::string countsPath)
        : window_(window),
          isLive_(runs != kUnreachableRuns),
          seconds_(seconds),
          countsPath_(std::move(countsPath)),
          plannedRuns_(std::move(runs)) {
        qApp->installEventFilter(&counter_);
        QTimer::singleShot(0, this, [this] {
            window_.setGeometry(0, 0, kWidth, kHeight);
            isLive_ ? waitForReady() : after(kWarmupMs, [this] { runAll(); });
        });
        QTimer::singleShot(kReadyDeadlineMs, this, [this] {
            if (!hasStartedRuns_) fail("the fleet did not come up");
        });
        for (IPCObject* session : qAsConst(instanceMap)) {
            connect(session, &IPCObject::levelsReported, this, [this, session] { noteReport(session); });
            connect(session, &IPCObject::recvChannelStats, this, [this, session] { noteStatistics(session); });
        }
        // After the window's own slot: by then the frame's demand has gone to the pacer.
        for (FrameClock* clock : window_.findChildren<FrameClock*>()) {
            connect(clock, &FrameClock::frameEnded, this, [this] { noteStatisticsAsked(); });
        }
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

    ZorvaSummary& view() { return *window_.summary(); }
    QScrollBar& tileScrollBar() { return *view().findChild<QScrollArea*>("scrollArea")->verticalScrollBar(); }

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
        runAll();
    }

    void runAll() {
        hasStartedRuns_ = true;
        runs_ = plannedRuns_;
        nextRun();
    }

    void nextRun() {
        if (runs_.empty()) {
            QCoreApplication::quit();
            return;
        }
        const std::string name = runs_.front();
        runs_.erase(runs_.begin());
        prepare(name);
        after(kWarmupMs, [this, name] { measure(name); });
    }

    void prepare(const std::string& name) {
        if (window_.isMinimized()) restoreWindow();
        if (name == "tree" || name == "tree-sorted") {
            view().showStatsOverview();
        } else {
            view().showGeneralOverview();
            tileScrollBar().setValue(0);
        }
        if (name == "tree-sorted") {
            view()
                .findChild<QTreeWidget*>("summaryTree")
                ->sortByColumn(ZorvaStatRow::kLatencyColumn, Qt::AscendingOrder);
        }
        if (name == "minimised") minimiseWindow();
        counter_.setMeters(meterSessions());
    }

    // A window manager minimises a window by unmapping it; there is none on a virtual screen, so
    // the bench does its part.
    void minimiseWindow() {
        window_.showMinimized();
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowunmap"), QString::number(window_.winId())});
    }

    void restoreWindow() {
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowmap"), QString::number(window_.winId())});
        window_.showNormal();
        window_.setGeometry(0, 0, kWidth, kHeight);
    }

    QHash<const QWidget*, IPCObject*> meterSessions() {
        QHash<const QWidget*, IPCObject*> meters;
        for (const InstanceWidget* tile : window_.findChildren<InstanceWidget*>()) {
            meters.insert(tile->miniMeter(), tile->session());
            if (const ZorvaStatRow* row = view().summaryRow(tile->key())) {
                if (const MiniMeter* meter = row->existingMeter()) meters.insert(meter, row->session());
            }
        }
        if (auto* dock = window_.findChild<MonitoringMeter*>(QStringLiteral("meters"))) {
            meters.insert(dock, dock->session());
        }
        meters.remove(nullptr);
        return meters;
    }

    void measure(const std::string& name) {
        const RunStart start{clockSeconds(CLOCK_MONOTONIC),
                             processCpuSeconds(),
                             clockSeconds(CLOCK_THREAD_CPUTIME_ID),
                             threadWakeups(),
                             counter_.barPaints,
                             counter_.windowRepaints,
                             counter_.shownReports,
                             readCounts(countsPath_)};
        scrollDelaysMs_.clear();
        dockDelaysMs_.clear();
        askedDelaysMs_.clear();
        if (name == "scroll") scrollOnePage();
        if (name == "dock") openNextInDock();
        after(seconds_ * 1000, [this, name, start] { report(name, start); });
    }

    void report(const std::string& name, const RunStart& start) {
        isScrolling_ = false;
        isOpeningDock_ = false;
        awaitingStatistics_ = nullptr;
        awaitingAsk_ = nullptr;
        const double elapsed = clockSeconds(CLOCK_MONOTONIC) - start.wall;
        const PublishedCounts published = readCounts(countsPath_);
        const double published_s = published.seconds - start.published.seconds;
        const double levels = published.levels - start.published.levels;
        const double shown = static_cast<double>(counter_.shownReports - start.shown);
        std::printf(
            "run %s cores=%.4f gui=%.4f gui_wakeups=%.1f window_repaints=%.1f bar_paints=%.1f reports=%.0f levels=%.0f "
            "painted=%.2f rss_mb=%.1f ready=%d",
            name.c_str(), (processCpuSeconds() - start.cpu) / elapsed,
            (clockSeconds(CLOCK_THREAD_CPUTIME_ID) - start.gui) / elapsed,
            static_cast<double>(threadWakeups() - start.guiWakeups) / elapsed,
            static_cast<double>(counter_.windowRepaints - start.windows) / elapsed,
            static_cast<double>(counter_.barPaints - start.bars) / elapsed,
            published_s > 0 ? (published.reports - start.published.reports) / published_s : 0,
            published_s > 0 ? levels / published_s : 0, levels > 0 ? shown / levels : 0, residentMb(), countReady());
        if (name == "scroll") {
            const double worst =
                scrollDelaysMs_.empty() ? 0 : *std::max_element(scrollDelaysMs_.begin(), scrollDelaysMs_.end());
            std::printf(" came_into_sight=%zu first_report_ms_median=%.0f first_report_ms_worst=%.0f",
                        scrollDelaysMs_.size(), median(scrollDelaysMs_), worst);
        }
        if (name == "dock") {
            const double worst =
                dockDelaysMs_.empty() ? 0 : *std::max_element(dockDelaysMs_.begin(), dockDelaysMs_.end());
            const double worst_asked =
                askedDelaysMs_.empty() ? 0 : *std::max_element(askedDelaysMs_.begin(), askedDelaysMs_.end());
            std::printf(" opened=%zu first_statistics_ms_median=%.0f first_statistics_ms_worst=%.0f "
                        "statistics_asked_ms_worst=%.0f",
                        dockDelaysMs_.size(), median(dockDelaysMs_), worst, worst_asked);
        }
        std::printf("\n");
        std::fflush(stdout);
        nextRun();
    }

    // Pages the tiles down by one screen (back to the top after the last) and notes which codecs
    // came into sight, until the run ends.
    void scrollOnePage() {
        isScrolling_ = true;
        QScrollBar& bar = tileScrollBar();
        const QList<IPCObject*> before = sessionsInSight();
        bar.setValue(bar.value() >= bar.maximum() ? 0 : bar.value() + bar.pageStep());
        scrolledAt_.restart();
        awaitingReport_.clear();
        for (IPCObject* session : sessionsInSight()) {
            if (!before.contains(session)) awaitingReport_.insert(session);
        }
        after(kScrollPeriodMs, [this] {
            if (isScrolling_) scrollOnePage();
        });
    }

    // Opens the codec kDockStride tiles on in the dock, as a click on its tile would, and notes when
    // its statistics come, until the run ends.
    void openNextInDock() {
        isOpeningDock_ = true;
        const QList<InstanceWidget*> tiles = window_.findChildren<InstanceWidget*>();
        dockIndex_ = (dockIndex_ + kDockStride) % tiles.size();
        InstanceWidget* tile = tiles.at(dockIndex_);
        view().selectTile(tile->key());
        awaitingStatistics_ = tile->session();
        awaitingAsk_ = tile->session();
        openedAt_.restart();
        after(kDockPeriodMs, [this] {
            if (isOpeningDock_) openNextInDock();
        });
    }

    // The part of the wait for the first statistics that is the program's: from the opening to the
    // frame whose demand asked the codec for its statistics at its own pace. The rest is the codec's
    // wait for its next report (it reports once a second, at a phase of its own) and the delivery.
    void noteStatisticsAsked() {
        if (!isOpeningDock_ || !awaitingAsk_ || awaitingAsk_->statisticsInterval() != 0) return;
        awaitingAsk_ = nullptr;
        askedDelaysMs_.push_back(static_cast<double>(openedAt_.nsecsElapsed()) / 1e6);
    }

    void noteStatistics(IPCObject* session) {
        if (!isOpeningDock_ || session != awaitingStatistics_) return;
        awaitingStatistics_ = nullptr;
        dockDelaysMs_.push_back(static_cast<double>(openedAt_.nsecsElapsed()) / 1e6);
    }

    QList<IPCObject*> sessionsInSight() {
        QList<IPCObject*> sessions;
        for (const InstanceWidget* tile : window_.findChildren<InstanceWidget*>()) {
            if (FrameClock::isInSight(*tile->miniMeter())) sessions.append(tile->session());
        }
        return sessions;
    }

    void noteReport(IPCObject* session) {
        if (!isScrolling_ || !awaitingReport_.remove(session)) return;
        scrollDelaysMs_.push_back(static_cast<double>(scrolledAt_.nsecsElapsed()) / 1e6);
    }

    MainWindow& window_;
    const bool isLive_;
    const int seconds_;
    const std::string countsPath_;
    const std::vector<std::string> plannedRuns_;
    PaintCounter counter_;
    std::vector<std::string> runs_;
    bool hasStartedRuns_ = false;
    bool isScrolling_ = false;
    QElapsedTimer scrolledAt_;            // since the last page-down
    QSet<IPCObject*> awaitingReport_;     // came into sight then, no report since
    std::vector<double> scrollDelaysMs_;  // page-down to first report, per codec come into sight
    bool isOpeningDock_ = false;
    int dockIndex_ = 0;                        // of the tile opened last
    QElapsedTimer openedAt_;                   // since the last opening in the dock
    IPCObject* awaitingStatistics_ = nullptr;  // opened then, no statistics since
    std::vector<double> dockDelaysMs_;         // opening to first statistics, per opening
    IPCObject* awaitingAsk_ = nullptr;         // opened then, not yet asked for its statistics at its pace
    std::vector<double> askedDelaysMs_;        // opening to that ask, per opening
};

int measureInChild(int argc, char** argv, const std::vector<std::string>& runs, int seconds,
                   const std::string& countsPath) {
    FleetProbe* probe = nullptr;
    StartupObserver observer;
    observer.windowInitialized = [&probe, runs, seconds, countsPath](MainWindow& window) {
        probe = new FleetProbe(window, runs, seconds, countsPath);
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

bool runChild(const QTemporaryDir& home, const std::vector<std::string>& runs, int seconds, const QString& countsPath,
              QByteArray& figures) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    program.setProcessEnvironment(environment);
    program.setStandardErrorFile(QProcess::nullDevice());  // the program's own log
    QStringList names;
    for (const std::string& run : runs) names << QString::fromStdString(run);
    program.start(QCoreApplication::applicationFilePath(),
                  {QString::fromLatin1(kChildFlag), names.join(QLatin1Char(',')), QString::number(seconds),
                   countsPath});
    const int duration_ms = kReadyDeadlineMs + static_cast<int>(runs.size()) * (seconds * 1000 + kWarmupMs);
    if (!program.waitForFinished(duration_ms + 30000)) return false;
    figures = program.readAllStandardOutput();
    return program.exitCode() == 0;
}

int runBench(const QString& codec_sim, int seconds, const std::vector<std::string>& runs) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "fleet_view_bench needs a display: run it under xvfb-run\n");
        return 2;
    }
    QTemporaryDir live_home;
    QTemporaryDir unreachable_home;
    const QString counts_path = live_home.filePath(QStringLiteral("published.txt"));
    QProcess sim;
    if (!start_codec_sim(sim, codec_sim,
                         {QStringLiteral("--count"), QString::number(kCodecs), QStringLiteral("--port"),
                          QString::number(kBasePort), QStringLiteral("--random-phase"), QStringLiteral("--counts"),
                          counts_path},
                         kCodecs)) {
        return 1;
    }
    const uint16_t unreachable_port = kBasePort + kCodecs + 100;
    if (!nothingListens(unreachable_port) || !writeConfig(live_home, kBasePort) ||
        !writeConfig(unreachable_home, unreachable_port)) {
        std::fprintf(stderr, "could not prepare the two data folders\n");
        return 1;
    }
    QByteArray figures;
    QByteArray more;
    const bool is_all = runs == kLiveRuns;
    const bool is_ok = runChild(live_home, runs, seconds, counts_path, figures) &&
                       (!is_all || runChild(unreachable_home, kUnreachableRuns, seconds, counts_path, more));
    stop_codec_sim(sim);
    std::printf("%d codecs, %d s per run, window %dx%d (goals per run: window repaints <= 30/s, GUI thread busy "
                "<= 5%%, painted >= 0.80 of the level reports)\n",
                kCodecs, seconds, kWidth, kHeight);
    std::fputs((figures + more).constData(), stdout);
    if (!is_ok) std::fprintf(stderr, "a run failed\n");
    return is_ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == kChildFlag) {
        char* program_argv[] = {argv[0], nullptr};
        return measureInChild(1, program_argv, splitRuns(argv[2]), std::atoi(argv[3]), argv[4]);
    }
    const std::vector<std::string> runs = argc > 3 ? splitRuns(argv[3]) : kLiveRuns;
    const bool is_known = std::all_of(runs.begin(), runs.end(), [](const std::string& run) {
        return std::find(kLiveRuns.begin(), kLiveRuns.end(), run) != kLiveRuns.end();
    });
    if (argc < 2 || !is_known) {
        std::fprintf(stderr, "usage: fleet_view_bench <codec-sim> [seconds per run, default 20] [runs, default all: "
                             "tiles,tree,tree-sorted,minimised,scroll,dock]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    return runBench(QString::fromLocal8Bit(argv[1]), argc > 2 ? std::atoi(argv[2]) : 20, runs);
}
