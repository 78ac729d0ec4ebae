// Switching the details dock among a full fleet: 256 codecs of codec-sim (in this process, on a
// thread of their own) with a live session each, and the main window on Qt's offscreen platform.
// Each switch is timed from the operator's selection (activeInstanceSelected) to the dock having
// repainted, with the codecs' reports delivered between switches as they come. Reports:
//   - 2,000 seeded random switches among the 256: p50, p99 and the worst (goal: p99 <= 50 ms);
//   - switching to a codec whose event log holds 25,000 stored entries, with the Log tab showing:
//     median and worst of 20 (goal: <= 150 ms), beside the same lines added to the view one
//     QTextEdit::append each, as the log view once filled itself.
//
// Usage: dock_switch_bench [switches, default 2000]

#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "app/dock/peer_state_icons.h"
#include "app/fleet/zorva_summary.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;  // the window saves its configuration when it closes
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    makeConfigDir();
    const int switches = argc > 1 ? std::atoi(argv[1]) : 2000;
    register_session_meta_types();
    createPeerStateIcons();

    CodecSimOptions options;
    options.count = kCodecs;
    CodecSim fleet(options);
    auto pool = std::make_unique<IQCommonPooledApp>(4);
    IPCObject::setSessionPool(pool.get());
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
        while (std::any_of(sessions.begin(), sessions.end(),
                           [](IPCObject* s) { return s->state() != IQEndpointClient::READY; })) {
            if (started.elapsed() > 30000) {
                std::fprintf(stderr, "dock_switch_bench: the codecs did not all become READY\n");
                return 1;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QWidget& dock = *window.findChild<QDockWidget*>(QStringLiteral("dockWidgetDetails"));
        for (IPCObject* session : sessions) timedSwitch(window, session, dock);  // warm-up

        std::mt19937 random(kSeed);
        std::uniform_int_distribution<size_t> anyCodec(0, sessions.size() - 1);
        std::vector<double> times;
        for (int i = 0; i < switches; ++i) {
            times.push_back(timedSwitch(window, sessions[anyCodec(random)], dock));
            deliverReports();
        }
        std::printf(
            "switch among %d codecs (%d switches): p50 %.2f ms, p99 %.2f ms, worst %.2f ms (goal: p99 <= 50 ms)\n",
            kCodecs, switches, percentile(times, 0.5), percentile(times, 0.99),
            *std::max_element(times.begin(), times.end()));

        IPCObject* logged = sessions.front();
        logged->eventLog.merge(eventLogReply(kLogEntries));
        window.findChild<QTabWidget*>(QStringLiteral("statusTabWidget"))->setCurrentIndex(4);  // Log
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
                    static_cast<int>(lines.size()), percentile(times, 0.5),
                    *std::max_element(times.begin(), times.end()), perLineMs, perLineMs / percentile(times, 0.5));
        pool->stop_managers();
    }
    releaseAllInstances();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    IPCObject::setSessionPool(nullptr);
    return 0;
}
