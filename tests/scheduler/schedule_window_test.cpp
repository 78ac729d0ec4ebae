// The "Scheduled Connections" window over real (unconnected) sessions, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "scheduler/job_dialog.h"
#include "scheduler/schedule_window.h"
#include "tests/scheduler/widget_fixture.h"
#include "tests/support/message_box_recorder.h"

namespace {

enum Column { kStart, kEnd, kCodec, kPeer, kStatus, kRecurrence };

class ScheduleWindowTest : public WidgetFixture {
protected:
    ScheduleWindowTest() {
        IPCObject& codec_a = addSession("Codec A", peer("3", "Studio 3") + peer("7", "Studio 7"));
        waiting_ = addJob(codec_a.uuid, "3", Job::Waiting);
        done_ = addJob(codec_a.uuid, "9", Job::Done);            // a peer the codec no longer lists
        gone_ = addJob(QUuid::createUuid(), "3", Job::Waiting);  // a codec no longer in the fleet
        // As the main window opens it: every job, then one refresh.
        window_ = std::make_unique<ScheduleWindow>(scheduler_);
        window_->addJobEntries(scheduler_.jobList());
        window_->refreshEntries();
        table_ = window_->findChild<QTreeWidget*>("jobTable");
    }

    int addJob(const QUuid& uuid, const char* peer_id, Job::JobState state) {
        Job job;
        job.start = QDateTime(QDate(2030, 5, 6), QTime(12, 0)).addSecs(scheduler_.jobCount() * 3600);
        job.end = job.start.addSecs(1800);
        job.recurrence_end = job.end;
        job.uuid = uuid;
        job.peer = peer_id;
        job.state = state;
        job.id = Scheduler::nextJobId();
        EXPECT_TRUE(scheduler_.addJob(job));
        return job.id;
    }

    QString text(int row, Column column) const { return table_->topLevelItem(row)->text(column); }

    Job job(int id) const {
        Job found;
        EXPECT_TRUE(scheduler_.getJob(id, found));
        return found;
    }

    void select(int row) { table_->setCurrentItem(table_->topLevelItem(row)); }

    int waiting_ = 0, done_ = 0, gone_ = 0;
    std::unique_ptr<ScheduleWindow> window_;
    QTreeWidget* table_ = nullptr;
};

TEST_F(ScheduleWindowTest, RowsShowEveryJob) {
    ASSERT_EQ(table_->topLevelItemCount(), 3);
    EXPECT_EQ(text(0, kCodec), "Codec A");
    EXPECT_EQ(text(0, kPeer), "Studio 3");
    EXPECT_EQ(text(0, kStatus), "Waiting");
    EXPECT_EQ(text(0, kRecurrence), "None");
    EXPECT_EQ(text(1, kPeer), "9");
    EXPECT_EQ(text(1, kStatus), "Done");
    EXPECT_EQ(text(2, kCodec), "(updating...)");
    EXPECT_EQ(text(2, kPeer), "3");

    // New times show once the event loop has run.
    Job moved = job(waiting_);
    moved.start = moved.start.addDays(1);
    moved.end = moved.end.addDays(1);
    ASSERT_TRUE(scheduler_.setJobAt(0, moved));
    QCoreApplication::processEvents();
    EXPECT_EQ(text(0, kStart), QLocale::system().toString(moved.start, QLocale::ShortFormat));

    // A job added while the window is open comes in at the bottom at once.
    addJob(registry_.firstKey(), "7", Job::Waiting);
    ASSERT_EQ(table_->topLevelItemCount(), 4);
    EXPECT_EQ(text(3, kCodec), "(updating...)");
    EXPECT_EQ(text(3, kPeer), "7");
}

// What the scheduler settles (a pass, a codec's list, a refusal) shows once the event loop runs,
// not at the next refresh of the names.
TEST_F(ScheduleWindowTest, StatusFollowsTheSchedulerAtOnce) {
    const QDateTime inside_first_window(QDate(2030, 5, 6), QTime(12, 10));
    scheduler_.setClock([inside_first_window] { return inside_first_window; });
    scheduler_.tick();  // Codec A is not ready
    QCoreApplication::processEvents();
    EXPECT_EQ(text(0, kStatus), "Starting (codec not ready)");
    EXPECT_EQ(table_->topLevelItem(0)->toolTip(kStatus), "Codec not ready");
    EXPECT_FALSE(table_->topLevelItem(0)->icon(kStatus).pixmap(16, 16).isNull());

    Job moved = job(waiting_);
    moved.state = Job::Waiting;
    moved.warning.clear();
    ASSERT_TRUE(scheduler_.setJobAt(0, moved));
    QCoreApplication::processEvents();
    EXPECT_EQ(text(0, kStatus), "Waiting");
    EXPECT_TRUE(table_->topLevelItem(0)->icon(kStatus).isNull());
}

TEST_F(ScheduleWindowTest, RemovingTakesThatRowAndJobOnly) {
    select(1);
    window_->onActionRemoveTriggered();
    ASSERT_EQ(table_->topLevelItemCount(), 2);
    EXPECT_EQ(text(0, kPeer), "Studio 3");
    EXPECT_EQ(text(1, kCodec), "(updating...)");
    Job removed;
    EXPECT_FALSE(scheduler_.getJob(done_, removed));
    EXPECT_EQ(scheduler_.jobCount(), 2);
    EXPECT_TRUE(QFile::exists(scheduler_.filePath()));
    // No row is selected after it: a second Remove takes no job the operator did not pick.
    window_->onActionRemoveTriggered();
    EXPECT_EQ(scheduler_.jobCount(), 2);
}

// The operator who works by keyboard: Return edits the current row, Delete removes it.
TEST_F(ScheduleWindowTest, TheKeyboardEditsAndRemovesTheCurrentRow) {
    window_->show();
    QApplication::setActiveWindow(window_.get());  // shortcuts go to the active window only
    table_->setFocus();
    // The row with the focus, as the window opens: current, not yet selected.
    table_->setCurrentItem(table_->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    bool is_edit_opened = false;
    onNextModal([&](QDialog* dialog) {
        is_edit_opened = qobject_cast<JobDialog*>(dialog) != nullptr;
        dialog->reject();
    });
    QTest::keyClick(table_, Qt::Key_Return);
    EXPECT_TRUE(is_edit_opened);
    QApplication::setActiveWindow(window_.get());  // back from the dialog
    QTest::keyClick(table_, Qt::Key_Delete);
    EXPECT_EQ(table_->topLevelItemCount(), 2);
    Job removed;
    EXPECT_FALSE(scheduler_.getJob(waiting_, removed));
}

TEST_F(ScheduleWindowTest, DeleteRemovesTheRowTheWindowOpensOn) {
    window_->show();
    QApplication::setActiveWindow(window_.get());
    table_->setFocus();
    table_->setCurrentItem(table_->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    EXPECT_TRUE(table_->topLevelItem(0)->isSelected()) << "the row with the focus frame is shown selected";
    QTest::keyClick(table_, Qt::Key_Delete);
    EXPECT_EQ(table_->topLevelItemCount(), 2);
    Job removed;
    EXPECT_FALSE(scheduler_.getJob(waiting_, removed));
}

TEST_F(ScheduleWindowTest, ARowGoesWhenTheSchedulerDropsItsJob) {
    Job aged = job(done_);
    aged.finished_at = QDateTime::currentDateTime().addDays(-2);
    ASSERT_TRUE(scheduler_.setJobAt(1, aged));
    scheduler_.tick();
    QCoreApplication::processEvents();
    ASSERT_EQ(table_->topLevelItemCount(), 2);
    EXPECT_EQ(text(1, kCodec), "(updating...)");
}

TEST_F(ScheduleWindowTest, AnEditOfAJobThatEndedMeanwhileIsRefused) {
    MessageBoxRecorder boxes;
    select(0);
    onNextModal([this](QDialog* dialog) {
        Job ended = job(waiting_);
        ended.state = Job::Done;  // finished by a tick while the dialog was open
        ASSERT_TRUE(scheduler_.setJobAt(0, ended));
        dialog->accept();
    });
    window_->onActionEdit();
    EXPECT_EQ(boxes.count("Edit Scheduled Connection"), 1);
}

TEST_F(ScheduleWindowTest, AnEmptyRangeLeavesTheJobAsItWas) {
    MessageBoxRecorder boxes;
    const Job before = job(waiting_);
    select(0);
    onNextModal([](QDialog* dialog) {
        auto* job_dialog = qobject_cast<JobDialog*>(dialog);
        ASSERT_NE(job_dialog, nullptr);
        job_dialog->setEndDateTime(job_dialog->startTime().addSecs(30));  // the same minute
        job_dialog->setTargetPeer("7");
        job_dialog->accept();
    });
    window_->onActionEdit();
    EXPECT_EQ(boxes.count("Invalid Date Range"), 1);
    EXPECT_EQ(job(waiting_).end, before.end);
    EXPECT_EQ(job(waiting_).peer, "3");
}

TEST_F(ScheduleWindowTest, EditingADoneJobMakesItWaitAgain) {
    select(1);
    onNextModal([](QDialog* dialog) {
        auto* job_dialog = qobject_cast<JobDialog*>(dialog);
        ASSERT_NE(job_dialog, nullptr);
        EXPECT_EQ(job_dialog->targetPeer(), "9");  // kept, though the codec no longer lists it
        job_dialog->setTargetPeer("7");
        dialog->accept();
    });
    window_->onActionEdit();
    const Job edited = job(done_);
    EXPECT_EQ(edited.state, Job::Waiting);
    EXPECT_EQ(edited.peer, "7");
    EXPECT_EQ(text(1, kStatus), "Waiting");
    EXPECT_EQ(text(1, kPeer), "Studio 7");
    // Saved: the file holds it again.
    QFile file(scheduler_.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("peer=\"7\""));
}

// An edit never moves a job to a peer that took its peer's id: taken before the edit opened, or
// while it is open, the dialog chooses no peer, says why, and keeps OK from binding the job to it.
TEST_F(ScheduleWindowTest, AnEditOfAJobWhoseIdAnotherPeerTookChoosesNoPeerForIt) {
    const struct {
        const char* label;
        const char* booked_for;  // the job's peer 3, by name; the codec lists "Studio 3" under id 3
        bool is_taken_while_open;
        const char* line;
    } cases[] = {
        {"taken before the edit", "Old Studio", false,
         "You chose \"Old Studio\", but peer 3 is now \"Studio 3\". Choose the peer again."},
        {"taken while it is open", "Studio 3", true,  // the id left a list before "Mole" took it
         "The codec no longer has the peer \"Studio 3\" you chose. Choose the peer again."},
    };
    IPCObject* session = scheduler_.sessions().session(job(waiting_).uuid);
    for (const auto& c : cases) {
        setPeers(*session, peer("3", "Studio 3") + peer("7", "Studio 7"));
        Job booked = job(waiting_);
        booked.peer = "3";
        booked.peer_name = c.booked_for;
        ASSERT_TRUE(scheduler_.setJobAt(0, booked));
        select(0);
        onNextModal([&](QDialog* dialog) {
            auto* job_dialog = qobject_cast<JobDialog*>(dialog);
            ASSERT_NE(job_dialog, nullptr);
            if (c.is_taken_while_open) {
                EXPECT_EQ(job_dialog->targetPeerName(), "Studio 3") << c.label;
                setPeers(*session, peer("7", "Studio 7"));
                setPeers(*session, peer("3", "Mole") + peer("7", "Studio 7"));
            }
            EXPECT_EQ(job_dialog->targetPeer(), "") << c.label;
            EXPECT_EQ(dialog->findChild<QLabel*>("problemLabel")->text(), c.line) << c.label;
            QPushButton* ok = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
            ok->click();
            EXPECT_TRUE(dialog->isVisible()) << c.label;
            dialog->reject();
        });
        window_->onActionEdit();
        EXPECT_EQ(job(waiting_).peer, "3") << c.label;
        EXPECT_EQ(job(waiting_).peer_name, c.booked_for) << c.label;
    }

    // Picked anew, knowingly: the edit takes the peer now under the id.
    select(0);
    onNextModal([](QDialog* dialog) {
        qobject_cast<JobDialog*>(dialog)->setTargetPeer("3");
        dialog->accept();
    });
    window_->onActionEdit();
    EXPECT_EQ(job(waiting_).peer_name, "Mole");
}

}  // namespace
