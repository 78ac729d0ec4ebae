#include "app/shell/shutdown_signal_notifier.h"

#include <QCoreApplication>
#include <QDebug>

#include "platform/shutdown_signals.h"

ShutdownSignalNotifier::ShutdownSignalNotifier(platform::ShutdownSignals& signals_, QObject* parent)
    : QObject(parent), shutdownSignals(signals_), notifier(signals_.fd(), QSocketNotifier::Read) {
    connect(&notifier, &QSocketNotifier::activated, this, &ShutdownSignalNotifier::readSignals);
}

void ShutdownSignalNotifier::readSignals() {
    while (const int signal_number = shutdownSignals.take()) {
        qInfo() << "received" << platform::signal_name(signal_number) << "- shutting down";
    }
    isRequested = true;
    QCoreApplication::quit();
}
