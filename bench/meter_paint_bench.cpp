// What the tile page's small meters cost the GUI thread to paint, in the program's own window: main's
// start-up code (runApplication) on a real display at 1366 x 768 with 256 codecs on the tile page,
// scrolled to the top. The codecs are never connected (their port is 0): the bench hands each codec
// whose meter is in sight a level report every 67 ms, as its session would take one from the wire,
// each codec at a phase of its own and its levels moving as programme material does. Nothing else
// changes on screen, so what the GUI thread does beyond reading the reports is the meters' painting.
// Two rows, each a fresh process:
//   meters   metering switched on: the meters in sight show the reports
//   hidden   the same reports with metering switched off (no meter shows): the cost of the rest
// Per run: the GUI thread's busy share (its CPU time over wall time), the share of it spent in the
// window's repaint passes (what Qt does to paint what was asked, the meters' paint events among
// it), the process's CPU (cores),
// window repaints per second, paint events that reached a meter or a widget inside one per second,
// and the level reports handed out per second.
//
// With a second meter_paint_bench (built from another tree) the two alternate, run by run, and
// the medians of both are printed with their ratio.
//
// Usage, on a display of that size (one command line):
//   xvfb-run -a -s "-screen 0 1366x768x24" build/bench/bench/meter_paint_bench
//       [seconds per run, default 10] [runs per row, default 5] [reference meter_paint_bench]
// Without a display it runs on Qt's offscreen platform.

#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_summary.h"
#include "app/shared/frame_clock.h"
#include "app/shared/mini_meter.h"
#include "app/shell/application_main.h"
#include "app/shell/main_window.h"
#include "app/shell/my_q_application.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"

namespace {

constexpr int kCodecs = 256;
constexpr int kWidth = 1366;
constexpr int kHeight = 768;
constexpr int kWarmupMs = 3000;
const char kChildFlag[] = "--measure-meters";
const std::vector<std::string> kRows = {"meters", "hidden"};

double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool isInsideMeter(const QObject* object) {
    for (; object; object = object->parent()) {
        if (qobject_cast<const MiniMeter*>(object)) return true;
    }
    return false;
}

// Counts window repaints (a pass of a window's UpdateRequest that painted something) and the paint
// events that reach a meter or a widget inside one, and times the GUI thread's CPU in the repaint
// passes: the painting itself, without what asked for it.
class PaintCounter : public QObject {
public:
    long meterPaints = 0;
    long windowRepaints = 0;
    double repaintCpu = 0;  // seconds

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            meterPaints += isInsideMeter(watched);
            windowRepaints += isPassOpen_;
            isPassOpen_ = false;
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::UpdateRequest || !widget || !widget->isWindow()) return false;
        isPassOpen_ = true;
        if (isTiming_) return false;
        // Delivered here, whole (the window's own filters included), to time it.
        isTiming_ = true;
        const double start = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        QCoreApplication::sendEvent(watched, event);
        repaintCpu += clockSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
        isTiming_ = false;
        return true;
    }

private:
    bool isPassOpen_ = false;  // an UpdateRequest reached a window and nothing has painted since
    bool isTiming_ = false;    // inside the delivery being timed
};

// One codec's level reports: every 67 ms from a phase of its own, levels around -20 dB moving by
// several dB between reports (the receive pair a little below the transmit pair).
class ReportFeeder : public QObject {
public:
    ReportFeeder(IPCObject& session, int index, QObject* parent) : QObject(parent), session_(session), index_(index) {
        // A subscribing codec's report: the values in its one child.
        report_.set_name("metering");
        report_.add_child("levels");
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, &ReportFeeder::report);
        const int phaseMs = (index * 37) % IPCObject::kMeterIntervalMs;
        QTimer::singleShot(phaseMs, Qt::PreciseTimer, this, [this] {
            timer_.start(IPCObject::kMeterIntervalMs);
            report();
        });
    }

    long reports = 0;

private:
    void report() {
        static const char* const kNames[] = {"rmlf", "rmrf", "tmlf", "tmrf", "rmls", "rmrs", "tmls", "tmrs"};
        const double t = static_cast<double>(reports) * IPCObject::kMeterIntervalMs / 1000.0;
        for (int bar = 0; bar < 4; ++bar) {
            const double phase = index_ * 0.71 + bar * 1.9;
            const double level = -20.0 - (bar < 2 ? 3 : 0) + 7 * std::sin(2 * M_PI * t / 2.9 + phase) +
                                 3 * std::sin(2 * M_PI * t / 0.45 + 1.7 * phase);
            Message::Attributes& values = report_.get_child(0).attributes();
            values.set(kNames[bar], static_cast<float>(level));
            values.set(kNames[bar + 4], static_cast<float>(std::min(level + 3, 0.0)));
        }
        // As the session's inbox delivers it on the GUI thread.
        QMetaObject::invokeMethod(&session_, "cb_unso_metering", Qt::DirectConnection, Q_ARG(Message, report_));
        ++reports;
    }

    IPCObject& session_;
    const int index_;
    Message report_;
    QTimer timer_;
};

// Drives the window once it is up: the tile page at the screen's size, then the feeders for the
// codecs in sight, a warm-up, one measured run, and the program quits.
class MeterProbe : public QObject {
public:
    MeterProbe(MainWindow& window, std::string row, int seconds)
        : window_(window), row_(std::move(row)), seconds_(seconds) {
        qApp->installEventFilter(&counter_);
        QTimer::singleShot(0, this, [this] {
            window_.setGeometry(0, 0, kWidth, kHeight);
            window_.summary()->showGeneralOverview();
            window_.summary()->findChild<QScrollArea*>("scrollArea")->verticalScrollBar()->setValue(0);
            QTimer::singleShot(kWarmupMs, this, [this] { startFeeding(); });
        });
    }

private:
    void startFeeding() {
        // The codecs of the tiles in sight, whether their meters show or not.
        int index = 0;
        for (InstanceWidget* tile : window_.findChildren<InstanceWidget*>()) {
            if (FrameClock::isInSight(*tile)) feeders_.push_back(new ReportFeeder(*tile->session(), index++, this));
        }
        QTimer::singleShot(kWarmupMs, this, [this] { startMeasuring(); });
    }

    long reportCount() const {
        long count = 0;
        for (const ReportFeeder* feeder : feeders_) count += feeder->reports;
        return count;
    }

    void startMeasuring() {
        wall_ = clockSeconds(CLOCK_MONOTONIC);
        gui_ = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        cpu_ = processCpuSeconds();
        meterPaints_ = counter_.meterPaints;
        repaintCpu_ = counter_.repaintCpu;
        windowRepaints_ = counter_.windowRepaints;
        reports_ = reportCount();
        QTimer::singleShot(seconds_ * 1000, this, [this] { report(); });
    }

    void report() {
        const double elapsed = clockSeconds(CLOCK_MONOTONIC) - wall_;
        std::printf("run %s gui=%.4f repaint=%.4f cores=%.4f window_repaints=%.1f meter_paints=%.1f reports=%.1f "
                    "codecs=%zu\n",
                    row_.c_str(), (clockSeconds(CLOCK_THREAD_CPUTIME_ID) - gui_) / elapsed,
                    (counter_.repaintCpu - repaintCpu_) / elapsed, (processCpuSeconds() - cpu_) / elapsed,
                    (counter_.windowRepaints - windowRepaints_) / elapsed,
                    (counter_.meterPaints - meterPaints_) / elapsed, (reportCount() - reports_) / elapsed,
                    feeders_.size());
        std::fflush(stdout);
        QCoreApplication::quit();
    }

    MainWindow& window_;
    const std::string row_;
    const int seconds_;
    PaintCounter counter_;
    std::vector<ReportFeeder*> feeders_;  // children of the probe
    double wall_ = 0;
    double gui_ = 0;
    double cpu_ = 0;
    long meterPaints_ = 0;
    double repaintCpu_ = 0;
    long windowRepaints_ = 0;
    long reports_ = 0;
};

// kt-config.xml with 256 codecs that are never connected, metering on or off.
bool writeConfig(const QString& home, bool isMetering) {
    if (!QDir().mkpath(home + QStringLiteral("/Quelda"))) return false;
    QFile config(home + QStringLiteral("/Quelda/kt-config.xml"));
    if (!config.open(QIODevice::WriteOnly)) return false;
    config.write("<config><remotes>");
    for (int index = 0; index < kCodecs; ++index) {
        config.write(QStringLiteral("<remote address=\"192.0.2.%1\" port=\"0\" metering=\"%2\"/>")
                         .arg(index % 250 + 1)
                         .arg(isMetering ? QStringLiteral("true") : QStringLiteral("false"))
                         .toUtf8());
    }
    config.write("</remotes></config>");
    return true;
}

int measureInChild(int argc, char** argv, const std::string& row, int seconds) {
    QTemporaryDir home;
    if (!home.isValid() || !writeConfig(home.path(), row == "meters")) {
        std::fprintf(stderr, "meter_paint_bench: could not write the configuration\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<MeterProbe> probe;
    StartupObserver observer;
    observer.windowInitialized = [&probe, row, seconds](MainWindow& window) {
        probe = std::make_unique<MeterProbe>(window, row, seconds);
    };
    return applicationMain(argc, argv, observer);
}

// One run of `row` in a fresh process of `program`; its figures line, or empty when it failed.
std::string runChild(const QString& program, const std::string& row, int seconds) {
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());  // the program's own log
    child.start(program, {QString::fromLatin1(kChildFlag), QString::fromStdString(row), QString::number(seconds)});
    if (!child.waitForFinished(2 * kWarmupMs + seconds * 1000 + 60000) || child.exitCode() != 0) return {};
    const QByteArray out = child.readAllStandardOutput().trimmed();
    return out.startsWith("run ") ? out.toStdString() : std::string();
}

// The value of `key=` in a figures line.
double figure(const std::string& line, const std::string& key) {
    const size_t at = line.find(" " + key + "=");
    return at == std::string::npos ? 0 : std::strtod(line.c_str() + at + key.size() + 2, nullptr);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int runBench(int seconds, int runs, const QString& reference) {
    const QString self = QCoreApplication::applicationFilePath();
    const std::vector<std::string> keys = {"gui", "repaint", "cores", "window_repaints", "meter_paints", "reports"};
    // Figures by program ("this" or "reference"), row and key.
    std::map<std::string, std::map<std::string, std::map<std::string, std::vector<double>>>> figures;
    for (int run = 0; run < runs; ++run) {
        for (const std::string& row : kRows) {
            std::vector<std::pair<std::string, QString>> programs = {{"this", self}};
            if (!reference.isEmpty()) {
                // Alternate which goes first, so that neither always follows the other.
                programs.insert(run % 2 ? programs.end() : programs.begin(), {"reference", reference});
            }
            for (const auto& [name, program] : programs) {
                const std::string line = runChild(program, row, seconds);
                if (line.empty()) {
                    std::fprintf(stderr, "meter_paint_bench: a run of %s failed\n", name.c_str());
                    return 1;
                }
                std::printf("%-9s %s\n", name.c_str(), line.c_str());
                std::fflush(stdout);
                for (const std::string& key : keys) figures[name][row][key].push_back(figure(line, key));
            }
        }
    }
    std::printf("medians of %d runs of %d s:\n", runs, seconds);
    for (const std::string& row : kRows) {
        for (const auto& [name, rows] : figures) {
            std::printf("%-9s %-6s", name.c_str(), row.c_str());
            for (const std::string& key : keys) std::printf(" %s=%.4g", key.c_str(), median(rows.at(row).at(key)));
            std::printf("\n");
        }
        if (!reference.isEmpty()) {
            for (const char* key : {"gui", "repaint"}) {
                const double reference_median = median(figures["reference"][row][key]);
                std::printf("%s this / reference, %s: %.3f\n", key, row.c_str(),
                            reference_median > 0 ? median(figures["this"][row][key]) / reference_median : 0);
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == kChildFlag) {
        const std::string row = argv[2];
        if (std::find(kRows.begin(), kRows.end(), row) == kRows.end()) return 2;
        char* program_argv[] = {argv[0], nullptr};
        return measureInChild(1, program_argv, row, std::atoi(argv[3]));
    }
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (seconds <= 0 || runs <= 0) {
        std::fprintf(stderr,
                     "usage: meter_paint_bench [seconds per run] [runs per row] [reference meter_paint_bench]\n");
        return 2;
    }
    return runBench(seconds, runs, argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
}
