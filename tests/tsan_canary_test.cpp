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
#include "tests/support/wait_until.h"

namespace {

int unguarded_count = 0;  // written on both sides with nothing to order them, on purpose

// Each case queues a call to another thread, and both threads write the count. Queuing orders only
// what came before it, but what a thread does after its write can order it before the other's: the
// queue's mutex, the wake-up's atomics or the end of a thread, taken by the other side before its own
// write, make the two writes ordered and the race unseen, which happens when a busy machine runs the
// threads late. So the side that writes first then only waits, on a relaxed flag, until the other
// has written, and the other writes only once it sees that flag. Relaxed atomics and the sleeps of
// wait_until order nothing for ThreadSanitizer, so the two writes race however the threads run.
TEST(TsanCanary, QThreadWorkerAndEventLoopRace) {
    std::atomic<bool> has_worker_counted{false};
    std::atomic<bool> has_slot_counted{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&] {
                test_support::wait_until([&] { return has_worker_counted.load(std::memory_order_relaxed); });
                ++unguarded_count;
                has_slot_counted.store(true, std::memory_order_relaxed);
            },
            Qt::QueuedConnection);
        ++unguarded_count;
        has_worker_counted.store(true, std::memory_order_relaxed);
        test_support::wait_until([&] { return has_slot_counted.load(std::memory_order_relaxed); });
    }));
    worker->start();
    test_support::wait_processing_events([&] { return has_slot_counted.load(std::memory_order_relaxed); });
    worker->wait();
}

TEST(TsanCanary, QueuedSlotAndItsCallerRace) {
    QThread worker;
    QObject receiver;
    receiver.moveToThread(&worker);
    worker.start();
    std::atomic<bool> has_caller_counted{false};
    std::atomic<bool> has_slot_counted{false};
    QMetaObject::invokeMethod(
        &receiver,
        [&] {
            test_support::wait_until([&] { return has_caller_counted.load(std::memory_order_relaxed); });
            ++unguarded_count;
            has_slot_counted.store(true, std::memory_order_relaxed);
        },
        Qt::QueuedConnection);
    ++unguarded_count;
    has_caller_counted.store(true, std::memory_order_relaxed);
    test_support::wait_until([&] { return has_slot_counted.load(std::memory_order_relaxed); });
    worker.quit();
    worker.wait();
}

}  // namespace
