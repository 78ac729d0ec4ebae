// The program's start-up against a full fleet: codec-sim plays 256 codecs in its own process, and
// the program, started fresh each run with 256 remotes in its kt-config.xml, runs main's own
// start-up code (applicationMain) on a real display. Each run reports, from the moment its process
// was created (the start time in /proc/self/stat):
//   - the window's first paint;
//   - the 256th session READY;
//   - the peak resident memory (VmHWM) 10 s after that.
// Five fresh processes by default; the median and the worst of each figure are printed beside the
// goals (window <= 0.3 s, all READY <= 0.7 s, RSS <= 120 MB).
//
// Usage, on a display (xvfb-run gives one):
//   xvfb-run -a -s "-screen 0 1280x960x24" build/bench/bench/startup_bench
//       build/bench/tools/codec-sim/codec-sim [runs, default 5] [codecs, default 256]
// (one command line).

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/shell/application_main.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "sessions/ipc_object.h"

namespace {

constexpr uint16_t kBasePort = 24600;
constexpr int kSettleMs = 10000;
constexpr int kReadyDeadlineMs = 60000;
const char kChildFlag[] = "--measure-one-start";

// Seconds since this process was created. /proc/self/stat counts its start in clock ticks since
// boot, which CLOCK_BOOTTIME also counts from.
double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    const size_t fields_start = line.rfind(')') + 2;  // the command name may hold blanks
    std::vector<std::string> fields;
    size_t at = fields_start;
    while (at < line.size()) {
        const size_t end = line.find(' ', at);
        fields.push_back(line.substr(at, end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    const double started_s = std::strtod(fields.at(19).c_str(), nullptr) / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started_s;
}

double peakRssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

// Watches the program from inside: the first paint of its window, and every session's READY.
class StartupWatch : public QObject {
public:
    explicit StartupWatch(int codecs) : codecs_(codecs) {}

    void watch(MainWindow& window) {
        window_ = &window;
        qApp->installEventFilter(this);
        for (IPCObject* session : qAsConst(instanceMap)) {
            connect(session, &IPCObject::changedState, this, [this](QUuid uuid, IQEndpointClient::DEVICE_STATE state) {
                if (state != IQEndpointClient::READY || ready_.contains(uuid)) return;
                ready_.insert(uuid);
                if (ready_.size() == codecs_) allReady();
            });
        }
        QTimer::singleShot(kReadyDeadlineMs, this, [this] { finish(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && first_paint_s_ < 0) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window() == window_) first_paint_s_ = secondsSinceProcessStart();
        }
        return false;
    }

private:
    void allReady() {
        all_ready_s_ = secondsSinceProcessStart();
        QTimer::singleShot(kSettleMs, this, [this] { finish(); });
    }

    void finish() {
        if (has_finished_) return;
        has_finished_ = true;
        std::printf("startup window_s=%.3f ready_s=%.3f ready=%d rss_mb=%.1f\n", first_paint_s_, all_ready_s_,
                    static_cast<int>(ready_.size()), peakRssMb());
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    int codecs_;
    MainWindow* window_ = nullptr;
    QSet<QUuid> ready_;
    double first_paint_s_ = -1;
    double all_ready_s_ = -1;
    bool has_finished_ = false;
};

int measureOneStart(int argc, char** argv, int codecs) {
    StartupWatch* watch = nullptr;
    StartupObserver observer;
    observer.windowInitialized = [&watch, codecs](MainWindow& window) {
        watch = new StartupWatch(codecs);
        watch->watch(window);
    };
    const int result = applicationMain(argc, argv, observer);
    delete watch;
    return result;
}

struct Figures {
    double window_s = -1;
    double ready_s = -1;
    int ready = 0;
    double rss_mb = -1;
};

bool parseFigures(const QByteArray& output, Figures& figures) {
    for (const QByteArray& line : output.split('\n')) {
        if (std::sscanf(line.constData(), "startup window_s=%lf ready_s=%lf ready=%d rss_mb=%lf", &figures.window_s,
                        &figures.ready_s, &figures.ready, &figures.rss_mb) == 4) {
            return true;
        }
    }
    return false;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double worst(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

int runBench(const QString& codec_sim, int runs, int codecs) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "startup_bench needs a display: run it under xvfb-run -a\n");
        return 2;
    }
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(codec_sim, {QStringLiteral("--count"), QString::number(codecs), QStringLiteral("--port"),
                          QString::number(kBasePort), QStringLiteral("--random-phase")});
    int listening = 0;
    while (listening < codecs && sim.waitForReadyRead(10000)) {
        while (sim.canReadLine()) listening += sim.readLine().startsWith("codec-") ? 1 : 0;
    }
    if (listening < codecs) {
        std::fprintf(stderr, "codec-sim did not start (%d of %d codecs listening)\n", listening, codecs);
        return 1;
    }

    QTemporaryDir config_home;
    QDir().mkpath(config_home.path() + QStringLiteral("/Quelda"));
    QFile config(config_home.path() + QStringLiteral("/Quelda/kt-config.xml"));
    config.open(QIODevice::WriteOnly);
    config.write("<config><remotes>");
    for (int index = 0; index < codecs; ++index) {
        config.write(QStringLiteral("<remote address=\"127.0.0.1\" port=\"%1\" password=\"tarnel\"/>")
                         .arg(kBasePort + index)
                         .toUtf8());
    }
    config.write("</remotes></config>");
    config.close();

    std::vector<double> window_s;
    std::vector<double> ready_s;
    std::vector<double> rss_mb;
    for (int run = 0; run < runs; ++run) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config_home.path());
        program.setProcessEnvironment(environment);
        program.setStandardErrorFile(QProcess::nullDevice());  // the program's own log
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(kChildFlag), QString::number(codecs)});
        Figures figures;
        if (!program.waitForFinished(kReadyDeadlineMs + kSettleMs + 30000) ||
            !parseFigures(program.readAllStandardOutput(), figures)) {
            std::fprintf(stderr, "run %d: the program gave no figures\n", run + 1);
            return 1;
        }
        std::printf("run %d: window %.3f s, %d READY after %.3f s, peak RSS %.1f MB\n", run + 1, figures.window_s,
                    figures.ready, figures.ready_s, figures.rss_mb);
        if (figures.ready < codecs) std::printf("  only %d of %d codecs became READY\n", figures.ready, codecs);
        window_s.push_back(figures.window_s);
        ready_s.push_back(figures.ready_s);
        rss_mb.push_back(figures.rss_mb);
    }
    std::printf("%d codecs, %d fresh starts, times from process start:\n", codecs, runs);
    std::printf("  first paint of the window: median %.3f s, worst %.3f s (goal <= 0.3 s)\n", median(window_s),
                worst(window_s));
    std::printf("  all codecs READY:          median %.3f s, worst %.3f s (goal <= 0.7 s)\n", median(ready_s),
                worst(ready_s));
    std::printf("  peak RSS 10 s later:       median %.1f MB, worst %.1f MB (goal <= 120 MB)\n", median(rss_mb),
                worst(rss_mb));
    sim.terminate();
    sim.waitForFinished(5000);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == kChildFlag) {
        char* program_argv[] = {argv[0], nullptr};
        return measureOneStart(1, program_argv, std::atoi(argv[2]));
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench <codec-sim> [runs, default 5] [codecs, default 256]\n");
        return 2;
    }
    QCoreApplication application(argc, argv);
    return runBench(QString::fromLocal8Bit(argv[1]), argc > 2 ? std::atoi(argv[2]) : 5,
                    argc > 3 ? std::atoi(argv[3]) : 256);
}
