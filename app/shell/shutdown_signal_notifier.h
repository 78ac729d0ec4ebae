#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace platform {
class ShutdownSignals;
}

// Ends the event loop when SIGTERM, SIGINT or SIGHUP arrives, so that the program shuts down the
// ordinary way: workers stopped, window destroyed, configuration saved. The signals themselves were
// blocked first thing in main; here their descriptor is watched on the GUI thread. A signal that
// comes while start-up runs a box ends only the box's loop, so the request is also remembered for
// start-up to ask before it enters the main loop.
class ShutdownSignalNotifier : public QObject {
    Q_OBJECT

public:
    // `signals_` must outlive this object.
    explicit ShutdownSignalNotifier(platform::ShutdownSignals& signals_, QObject* parent = nullptr);

    bool isShutdownRequested() const { return isRequested; }

private:
    void readSignals();

    platform::ShutdownSignals& shutdownSignals;
    QSocketNotifier notifier;
    bool isRequested = false;
};
