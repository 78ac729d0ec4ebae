// The job dialog and its calendar picker, offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "scheduler/date_time_dialog.h"
#include "scheduler/job_dialog.h"
#include "scheduler/schedule_connection.h"
#include "tests/scheduler/widget_fixture.h"
#include "tests/support/message_box_recorder.h"

namespace {

class JobDialogTest : public WidgetFixture {
protected:
    template <class Widget>
    Widget* child(const char* name) {
        auto* found = dialog_.findChild<Widget*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QStringList entries() {
        QStringList texts;
        auto* combo = child<QComboBox>("targetCombo");
        for (int i = 0; i < combo->count(); ++i) texts.append(combo->itemData(i).toString() + " " + combo->itemText(i));
        return texts;
    }

    bool isOkEnabled() { return child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok)->isEnabled(); }

    const QDateTime madeAfter_ = QDateTime::currentDateTime();
    JobDialog dialog_;
};

TEST_F(JobDialogTest, Defaults) {
    // An hour and two after the dialog was made, to the second the edits keep.
    for (const auto& [edit, secs] : {std::pair("startDateTime", 3600), std::pair("endDateTime", 7200)}) {
        const qint64 madeAt = child<QDateTimeEdit>(edit)->dateTime().toSecsSinceEpoch() - secs;
        EXPECT_TRUE(madeAt >= madeAfter_.toSecsSinceEpoch() && madeAt <= QDateTime::currentSecsSinceEpoch()) << edit;
    }
    EXPECT_EQ(dialog_.frequency(), Job::Once);
    auto* until = child<QDateTimeEdit>("recurEndDateTime");
    EXPECT_TRUE(until->isHidden());
    EXPECT_TRUE(child<QCheckBox>("checkRepeatForever")->isHidden());
    EXPECT_TRUE(child<QLabel>("labelRepeatUntil")->isHidden());
    // No session: no peer, and OK waits for one.
    EXPECT_EQ(dialog_.targetPeer(), "");
    EXPECT_FALSE(isOkEnabled());

    child<QRadioButton>("radioRepeatDaily")->setChecked(true);
    EXPECT_FALSE(until->isHidden());
    EXPECT_EQ(dialog_.frequency(), Job::Daily);
    child<QCheckBox>("checkRepeatForever")->setChecked(true);
    EXPECT_FALSE(until->isEnabled());
    EXPECT_FALSE(child<QPushButton>("buttonCalendarRecurEnd")->isEnabled());
}

TEST_F(JobDialogTest, TimesAreCutToTheMinute) {
    dialog_.setStartDateTime(QDateTime(QDate(2030, 5, 6), QTime(10, 15, 42, 250)));
    EXPECT_EQ(dialog_.startTime(), QDateTime(QDate(2030, 5, 6), QTime(10, 15)));
}

TEST_F(JobDialogTest, PeersByIdBookFirstAndTheChosenOneKept) {
    IPCObject& session = addSession("Codec A", peer("9", "Reporter", true) + peer("3", "Studio 3") +
                                                   peer("4-1", "Backup line") + peer("7", "Studio 7"));
    dialog_.setIPCObject(&session);
    EXPECT_EQ(entries(), QStringList({"3 Studio 3", "7 Studio 7", "9 Reporter"}));
    EXPECT_EQ(dialog_.targetPeer(), "3");
    EXPECT_TRUE(isOkEnabled());

    dialog_.setTargetPeer("7");
    setPeers(session, peer("7", "Studio 7") + peer("8", "Studio 8"));
    EXPECT_EQ(dialog_.targetPeer(), "7");
    EXPECT_EQ(dialog_.targetPeerName(), "Studio 7");
    // The chosen peer left the codec's list: the choice goes with it.
    setPeers(session, peer("8", "Studio 8"));
    EXPECT_EQ(dialog_.targetPeer(), "");
    EXPECT_EQ(entries(), QStringList({"8 Studio 8"}));

    // A job's peer that the codec did not list when the dialog was given it keeps an entry of its own.
    dialog_.setTargetPeer("42");
    EXPECT_EQ(entries(), QStringList({"8 Studio 8", "42 Peer 42 (not in the codec's list)"}));
    EXPECT_EQ(dialog_.targetPeer(), "42");
    dialog_.setTargetPeer("4-1");  // never a peer to send: the choice stays
    EXPECT_EQ(dialog_.targetPeer(), "42");
}

// A codec names its peers at any length: the dialog still fits a laptop's screen, the names cut,
// offered by the codec or kept by a job.
TEST_F(JobDialogTest, PeersNamedAtAnyLengthFitTheScreen) {
    const std::string name(4000, 'W');
    dialog_.setIPCObject(&addSession("Codec A", peer("3", name.c_str())));
    dialog_.setTargetPeer("42", QString::fromStdString(name), "192.0.2.9:9000");
    EXPECT_EQ(child<QComboBox>("targetCombo")->count(), 2);
    for (const QSize size : {dialog_.sizeHint(), dialog_.minimumSizeHint()}) EXPECT_LE(size.width(), 1366);
}

// The operator's pick is held by the peer it names: while the dialog is open another client
// removes it and the codec gives its id to a newcomer. Nothing follows the id to the newcomer:
// the choice goes, a line names it, and OK waits until a peer is chosen again.
TEST_F(JobDialogTest, APeerWhoseIdIsTakenWhileOpenIsNeitherChosenNorBooked) {
    IPCObject& session = addSession("Codec A", peer("3", "Studio 3") + peer("5", "Directory Peer", true));
    onNextModal([&](QDialog* dialog) {
        auto* combo = dialog->findChild<QComboBox*>("targetCombo");
        auto* line = dialog->findChild<QLabel*>("problemLabel");
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
        QTest::keyClick(combo, Qt::Key_Down);  // from "Studio 3", chosen first, to "Directory Peer"
        ASSERT_EQ(combo->currentText(), "Directory Peer");
        setPeers(session, peer("3", "Studio 3"));
        setPeers(session, peer("3", "Studio 3") + peer("5", "Swapped In", true));
        EXPECT_EQ(combo->currentIndex(), -1);
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(line->text(),
                  "The codec no longer has the peer \"Directory Peer\" you chose. Choose the peer again.");
        EXPECT_FALSE(ok->isEnabled());
        ok->click();
        EXPECT_TRUE(dialog->isVisible());
        // Chosen again, knowingly: the line goes and the newcomer is booked under its own name.
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_End);
        EXPECT_FALSE(line->isVisible());
        ok->click();
    });
    EXPECT_TRUE(scheduleConnection(scheduler_, &session, std::nullopt, nullptr));
    ASSERT_EQ(scheduler_.jobCount(), 1);
    EXPECT_EQ(scheduler_.jobList().front().peer, "5");
    EXPECT_EQ(scheduler_.jobList().front().peer_name, "Swapped In");
}

TEST_F(JobDialogTest, TheCalendarStartsToday) {
    DateTimeDialog picker;
    picker.setDate(QDate::currentDate().addDays(-3));
    EXPECT_EQ(picker.date(), QDate::currentDate());
    picker.setDate(QDate::currentDate().addDays(3));
    EXPECT_EQ(picker.date(), QDate::currentDate().addDays(3));
}

TEST_F(JobDialogTest, SchedulingRunsTheDialogAgainAfterAnInvalidRange) {
    IPCObject& session = addSession("Codec A", peer("3", "Studio 3") + peer("7", "Studio 7"));
    MessageBoxRecorder boxes;
    onNextModal([](QDialog* first) {
        auto* job_dialog = qobject_cast<JobDialog*>(first);
        ASSERT_NE(job_dialog, nullptr);
        job_dialog->setEndDateTime(job_dialog->startTime());
        onNextModal([](QDialog* again) {
            auto* same = qobject_cast<JobDialog*>(again);
            ASSERT_NE(same, nullptr);
            same->setEndDateTime(same->startTime().addSecs(3600));  // the values entered before are still there
            same->accept();
        });
        job_dialog->accept();
    });
    EXPECT_TRUE(scheduleConnection(scheduler_, &session, "7", nullptr));
    EXPECT_EQ(boxes.count("Invalid Date Range"), 1);
    EXPECT_EQ(boxes.lastText("Invalid Date Range"), "The end date & time must be later than the start date & time.");
    ASSERT_EQ(scheduler_.jobCount(), 1);
    const Job added = scheduler_.jobList().front();
    EXPECT_EQ(added.uuid, session.uuid);
    EXPECT_EQ(added.peer, "7");
    EXPECT_EQ(added.state, Job::Waiting);
    EXPECT_EQ(added.start.secsTo(added.end), 3600);
    EXPECT_EQ(added.host, "192.0.2.1");
    EXPECT_TRUE(QFile::exists(scheduler_.filePath()));
}

}  // namespace
