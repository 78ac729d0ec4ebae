#pragma once

#include <gtest/gtest.h>

#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "scheduler/scheduler.h"
#include "tests/scheduler/fake_sessions.h"
#include "tests/support/captured_qt_messages.h"

// A scheduler on a fake clock over FakeSessions, with its file in a temporary folder. The timer is
// stopped: tests tick by hand. Times are minutes after `base`, a Monday noon in a month without a
// daylight-saving change.
class SchedulerFixture : public ::testing::Test {
protected:
    SchedulerFixture() {
        codec_ = sessions_->add();
        sessions_->codec(codec_).names.insert("3", "Studio 3");
        scheduler_ = makeScheduler();
    }

    std::unique_ptr<Scheduler> makeScheduler() {
        auto scheduler = std::make_unique<Scheduler>();
        scheduler->stopTimer();
        scheduler->setSessions(sessions_);
        scheduler->setClock([this] { return now_; });
        scheduler->setFilePath(filePath());
        return scheduler;
    }

    QString filePath() const { return folder_.filePath("schedule.xml"); }
    QDateTime at(int minutes) const { return base_.addSecs(minutes * 60); }

    // A job of the fake codec for peer 3, from `start` to `end` minutes, once.
    Job job(int start, int end) const {
        Job made;
        made.start = at(start);
        made.end = at(end);
        made.recurrence_end = made.end;
        made.uuid = codec_;
        made.peer = "3";
        made.id = Scheduler::nextJobId();
        return made;
    }

    // Ticks at `minutes` and returns the commands sent in that tick, joined by "; ". The codec has
    // read what the passes before sent, and told its refusals, as one does within a round trip.
    QString tickAt(int minutes) {
        sessions_->tellRefusals();
        now_ = at(minutes);
        const size_t before = sessions_->sent.size();
        scheduler_->tick();
        QStringList sent;
        for (size_t i = before; i < sessions_->sent.size(); ++i) sent.append(sessions_->sent[i]);
        return sent.join("; ");
    }

    Job jobAt(int index) const { return scheduler_->jobList().value(index); }

    const QDateTime base_{QDate(2024, 5, 6), QTime(12, 0)};
    QDateTime now_ = base_;
    QTemporaryDir folder_;
    std::shared_ptr<FakeSessions> sessions_ = std::make_shared<FakeSessions>();
    QUuid codec_;
    std::unique_ptr<Scheduler> scheduler_;
    test_support::CapturedQtMessages messages_;  // the scheduler's warnings, kept out of the log
};
