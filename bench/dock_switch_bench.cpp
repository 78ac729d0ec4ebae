// Switching the details dock among a full fleet: 256 codecs of codec-sim (in this process, on a
// thread of their own) with a live session each, and the main window on Qt's offscreen platform.
// Each switch is timed from the operator's selection (activeInstanceSelected) to the dock having
// repainted, with the codecs' reports delivered between switches as they come. Reports:
//   - 2,000 seeded random switches among the 256: p50, p99 and the worst (goal: p99 <= 50 ms);
//   - switching to a codec whose event log holds 25,000 stored entries, with the Log tab showing:
//     median and worst of 20 (goal: <= 150 ms), beside the same lines added to the view one
//     QTextEdit::append each, as the log view once filled itself.
// With --long-texts, in a process of its own: the GUI thread's longest stall while the dock shows
// a codec that floods it (every 2 s a unit name, a peer's name and an event of 300,000 characters,
// and 10,000 more events), the Log tab showing and its event log fetched every 500 ms (goal: longest
// stall < 3 s); and one such line laid out in a log view, whole beside cut as the dock cuts it.
//
// Usage: dock_switch_bench [switches, default 2000]
//        dock_switch_bench --long-texts [seconds, default 20]

#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/dock/peer_state_icons.h"
#include "app/fleet/zorva_summary.h"
#include "app/shared/codec_text.h"
#include "app/shell/config_paths.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/session_meta_types.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

constexpr int kCodecs = 256;
constexpr int kLogEntries = 25000;
constexpr int kLogSwitches = 20;
constexpr unsigned kSeed = 20240501;
constexpr int kLogTab = 4;
constexpr size_t kLongTextLength = 300000;

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[at];
}

// Lets the codecs' reports in for a moment, untimed.
void deliverReports() {
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 2) QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

// The selection, then the dock repainted: what the operator waits for.
double timedSwitch(MainWindow& window, IPCObject* session, QWidget& dock) {
    QElapsedTimer clock;
    clock.start();
    window.activeInstanceSelected(session);
    QCoreApplication::sendPostedEvents();
    dock.repaint();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// An "eventLog" reply of `count` entries, one a second.
Message eventLogReply(int count) {
    Message reply;
    reply.set_name("resp");
    for (int i = 0; i < count; ++i) {
        reply.add_value("e", "Stream " + std::to_string(i % 4) + " buffer adjusted to " + std::to_string(i % 500) +
                                 " ms after jitter on the primary link");
        char ts[64];
        std::snprintf(ts, sizeof ts, "Mon, 12 Feb 2024 %02d:%02d:%02d +0000", i / 3600 % 24, i / 60 % 60, i % 60);
        reply.get_child(reply.size() - 1).attributes().set("ts", ts);
    }
    return reply;
}

// Runs `measure` on the main window (1280 x 960, shown) with a READY session on each codec of a
// codec-sim fleet made with `options`, in this process; 1 when the codecs do not all become READY.
int withWindowOnFleet(const CodecSimOptions& options,
                      const std::function<void(MainWindow&, const std::vector<IPCObject*>&)>& measure) {
    CodecSim fleet(options);
    auto pool = std::make_unique<IQCommonPooledApp>(4);
    IPCObject::setSessionPool(pool.get());
    bool areReady = false;
    {
        MainWindow window;
        window.resize(1280, 960);
        window.show();
        std::vector<IPCObject*> sessions;
        for (uint16_t port : fleet.ports()) {
            IPCObject* session = findInstance(window.createInstance());
            session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
            window.summary()->addInstance(session);
            sessions.push_back(session);
        }
        pool->start_managers();
        QElapsedTimer started;
        started.start();
        const auto isReady = [](IPCObject* s) { return s->state() == IQEndpointClient::READY; };
        while (!(areReady = std::all_of(sessions.begin(), sessions.end(), isReady)) && started.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        if (areReady) measure(window, sessions);
        pool->stop_managers();
    }
    releaseAllInstances();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    IPCObject::setSessionPool(nullptr);
    if (!areReady) std::fprintf(stderr, "dock_switch_bench: the codecs did not all become READY\n");
    return areReady ? 0 : 1;
}

void measureSwitches(MainWindow& window, const std::vector<IPCObject*>& sessions, int switches) {
    QWidget& dock = *window.findChild<QDockWidget*>(QStringLiteral("dockWidgetDetails"));
    for (IPCObject* session : sessions) timedSwitch(window, session, dock);  // warm-up

    std::mt19937 random(kSeed);
    std::uniform_int_distribution<size_t> anyCodec(0, sessions.size() - 1);
    std::vector<double> times;
    for (int i = 0; i < switches; ++i) {
        times.push_back(timedSwitch(window, sessions[anyCodec(random)], dock));
        deliverReports();
    }
    std::printf("switch among %d codecs (%d switches): p50 %.2f ms, p99 %.2f ms, worst %.2f ms (goal: p99 <= 50 ms)\n",
                kCodecs, switches, percentile(times, 0.5), percentile(times, 0.99),
                *std::max_element(times.begin(), times.end()));

    IPCObject* logged = sessions.front();
    logged->eventLog.merge(eventLogReply(kLogEntries));
    window.findChild<QTabWidget*>(QStringLiteral("statusTabWidget"))->setCurrentIndex(kLogTab);
    times.clear();
    for (int i = 0; i < kLogSwitches; ++i) {
        timedSwitch(window, sessions.back(), dock);
        deliverReports();
        times.push_back(timedSwitch(window, logged, dock));
        deliverReports();
    }
    const QStringList lines = logged->eventLogLines();
    QTextEdit perLine;
    perLine.resize(1000, 400);
    perLine.show();
    QElapsedTimer clock;
    clock.start();
    for (const QString& line : lines) perLine.append(line);
    perLine.repaint();
    const double perLineMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    std::printf("switch to a codec with %d stored log entries: median %.1f ms, worst %.1f ms (goal: <= 150 ms); "
                "one append per line: %.1f ms (%.1fx)\n",
                static_cast<int>(lines.size()), percentile(times, 0.5), *std::max_element(times.begin(), times.end()),
                perLineMs, perLineMs / percentile(times, 0.5));
}

// Milliseconds to lay out and paint `line` in a text view set as the dock's log view is.
double logViewLayoutMs(const QString& line) {
    QTextEdit view;
    view.resize(1000, 400);
    view.setWordWrapMode(QTextOption::WrapAnywhere);
    view.show();
    QElapsedTimer clock;
    clock.start();
    view.setPlainText(line);
    view.repaint();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// The dock showing a codec that floods it with long texts, for `seconds`: the gaps between the
// beats of a 10 ms timer on the GUI thread; and one such line laid out in a log view, whole and cut.
void measureLongTexts(MainWindow& window, IPCObject* flooding, int seconds) {
    window.activeInstanceSelected(flooding);
    window.findChild<QTabWidget*>(QStringLiteral("statusTabWidget"))->setCurrentIndex(kLogTab);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, flooding, &IPCObject::cmd_get_event_log);
    poll.start(500);
    std::vector<double> gaps;
    QElapsedTimer sinceBeat;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        gaps.push_back(static_cast<double>(sinceBeat.nsecsElapsed()) / 1e6);
        sinceBeat.restart();
    });
    QElapsedTimer measuring;
    measuring.start();
    sinceBeat.start();
    heartbeat.start(10);
    while (measuring.elapsed() < seconds * 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    heartbeat.stop();

    const double longest = *std::max_element(gaps.begin(), gaps.end());
    const QString line(static_cast<int>(kLongTextLength), QLatin1Char('x'));
    const double wholeMs = logViewLayoutMs(line);
    const double cutMs = logViewLayoutMs(CodecText::logLine(line));
    std::printf("long texts of %zu characters for %d s: the GUI thread's longest stall %.0f ms, p99 %.1f ms "
                "(goal: longest < 3000 ms); one such line in a log view: %.1f ms, cut as the dock cuts it: %.1f ms "
                "(%.0fx)\n",
                kLongTextLength, seconds, longest, percentile(gaps, 0.99), wholeMs, cutMs, wholeMs / cutMs);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;  // the window saves its configuration when it closes
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    makeConfigDir();
    register_session_meta_types();
    createPeerStateIcons();

    CodecSimOptions options;
    if (argc > 1 && std::strcmp(argv[1], "--long-texts") == 0) {
        const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
        options.count = 2;  // codec 1 starts in a call
        options.long_text_length = kLongTextLength;
        options.log_burst = 10000;
        return withWindowOnFleet(options, [seconds](MainWindow& window, const std::vector<IPCObject*>& sessions) {
            measureLongTexts(window, sessions.back(), seconds);
        });
    }
    const int switches = argc > 1 ? std::atoi(argv[1]) : 2000;
    options.count = kCodecs;
    return withWindowOnFleet(options, [switches](MainWindow& window, const std::vector<IPCObject*>& sessions) {
        measureSwitches(window, sessions, switches);
    });
}
