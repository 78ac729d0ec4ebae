#include "sessions/manager_worker.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QLoggingCategory>
#include <QMetaObject>

#include "sessions/thread_handoff.h"

// Routine start-up lines, for developers: off unless the category is switched on.
Q_LOGGING_CATEGORY(lcSessionWorker, "kestrane.session.worker", QtInfoMsg)

namespace {

// The thread announces its own end, after its last queued call (finished is emitted on it), for
// wait_stopped to take once wait() has seen it: what the thread did then happens before the manager
// is destroyed.
void announce_end(QThread& thread) {
    QObject::connect(&thread, &QThread::finished, [&thread] { thread_handoff::release(&thread); });
}

}  // namespace

ManagerWorker::ManagerWorker(int id, QObject* parent) : QObject(parent), id_(id) {
    manager_.set_timer_interval(IQManager::kTimerIntervalMs);
    announce_end(thread_);
}

ManagerWorker::~ManagerWorker() {
    stop_manager();
    wait_stopped(-1);
}

void ManagerWorker::start_manager() {
    if (loop_thread_) return;
    qCDebug(lcSessionWorker) << "ManagerWorker::start_manager() worker id" << id_ << "started from thread id"
                             << QThread::currentThreadId();
    manager_.moveToThread(&thread_);
    loop_thread_.reset(QThread::create([this] { manager_.event_loop_slot(); }));
    loop_thread_->setObjectName(QStringLiteral("socket loop %1").arg(id_));
    announce_end(*loop_thread_);
    loop_thread_->start();
    QMetaObject::invokeMethod(&manager_, "print_thread_id", Qt::QueuedConnection);
    thread_.setObjectName(QStringLiteral("worker %1").arg(id_));
    thread_.start(QThread::InheritPriority);
}

void ManagerWorker::stop_manager() {
    manager_.stop();
    thread_.quit();
}

bool ManagerWorker::wait_stopped(int timeout_ms) {
    QDeadlineTimer deadline = timeout_ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeout_ms);
    const bool has_loop_ended = !loop_thread_ || loop_thread_->wait(deadline);
    const bool has_thread_ended = thread_.wait(deadline);
    if (has_loop_ended && loop_thread_) thread_handoff::acquire(loop_thread_.get());
    if (has_thread_ended) thread_handoff::acquire(&thread_);
    if (!has_loop_ended || !has_thread_ended) {
        qWarning() << "worker" << id_ << "did not stop in time:" << (has_loop_ended ? "" : "socket loop still running")
                   << (has_thread_ended ? "" : "worker thread still running");
    }
    return has_loop_ended && has_thread_ended;
}
