// Races on purpose between our own kinds of thread: a QThread and the GUI thread's event loop, a
// queued slot and its caller. Such stacks have Qt's frames under them, so a suppression matching any
// frame in Qt hides these races as it would every real one. CTest expects each case to fail
// (WILL_FAIL), so when anything hides the race the case passes and the run fails. Built only in the
// tsan tree. Nothing here asserts: a failed expectation would count as the race reported.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <memory>

#include "tests/support/qt_wait.h"

namespace {

int unguarded_count = 0;  // written on both sides with nothing to order them, on purpose

// Each case queues a call to another thread, then writes what the call writes: queuing orders only
// what came before it, so the race is there however the threads run. The relaxed flags order nothing.
TEST(TsanCanary, QThreadWorkerAndEventLoopRace) {
    std::atomic<bool> has_counted{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&] {
            ++unguarded_count;
            has_counted.store(true, std::memory_order_relaxed);
        }, Qt::QueuedConnection);
        ++unguarded_count;
    }));
    worker->start();
    test_support::wait_processing_events([&] { return has_counted.load(std::memory_order_relaxed); });
    worker->wait();
}

TEST(TsanCanary, QueuedSlotAndItsCallerRace) {
    QThread worker;
    QObject receiver;
    receiver.moveToThread(&worker);
    worker.start();
    std::atomic<bool> has_counted{false};
    QMetaObject::invokeMethod(&receiver, [&] {
        ++unguarded_count;
        has_counted.store(true, std::memory_order_relaxed);
    }, Qt::QueuedConnection);
    ++unguarded_count;
    test_support::wait_processing_events([&] { return has_counted.load(std::memory_order_relaxed); });
    worker.quit();
    worker.wait();
}

}  // namespace
