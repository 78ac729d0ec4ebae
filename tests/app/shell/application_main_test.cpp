// The program's start-up as main runs it: what it has to tell waits for the operator without
// stopping the sessions or the scheduler. Real boxes on the offscreen platform, as an operator
// would leave them open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimeZone>
#include <QTimer>

#include <chrono>
#include <string>

#include "app/shell/application_main.h"
#include "app/shell/config_paths.h"
#include "app/shell/main_window.h"
#include "app/shell/my_q_application.h"
#include "dialogs/message_box.h"
#include "ipc/message/message.h"
#include "scheduler/job.h"
#include "scheduler/local_date_time.h"
#include "tests/support/temporary_data_folder.h"
#include "tools/codec-sim/codec_model.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

// The first address-book peer of codec-sim's codec 0.
std::string firstBookPeer() {
    CodecModel model(0);
    Message reply;
    reply.set_name("resp");
    model.handle_request(Message("<getPeerList seq=\"peerList\"/>"), 0, reply);
    for (unsigned i = 0; i < reply.child_count("peer"); ++i) {
        const Message& peer = reply.get_child("peer", i);
        if (peer.child_count("directory") == 0) return peer.attributes().get_string("id", "");
    }
    return {};
}

// A zone whose clock reads otherwise than this machine's now.
QByteArray otherZone() {
    const QDateTime now = QDateTime::currentDateTime();
    for (const char* id : {"Asia/Tokyo", "America/New_York"}) {
        if (QTimeZone(id).offsetFromUtc(now) != now.offsetFromUtc()) return id;
    }
    return {};
}

// schedule.xml written in `zone` with one booking of the peer, open from five minutes ago.
QByteArray scheduleOpenNow(const QByteArray& zone, int port, const std::string& peer) {
    const QDateTime now = QDateTime::currentDateTime().toTimeZone(QTimeZone(zone));
    const auto text = [](const QDateTime& when) { return Job::dateText(when.date(), when.time()).toUtf8(); };
    const QByteArray end = text(now.addSecs(1800));
    return "<jobs zone=\"" + zone + "\"><job end=\"" + end + "\" frequency=\"none\" ip=\"127.0.0.1\" peer=\"" +
           QByteArray::fromStdString(peer) + "\" port=\"" + QByteArray::number(port) +
           "\" priority=\"false\" recurrence_end=\"" + end + "\" repeat_forever=\"false\" start=\"" +
           text(now.addSecs(-300)) + "\"/><calls/></jobs>";
}

QMessageBox* visibleBox(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->windowTitle() == title) return box;
    }
    return nullptr;
}

struct StartupCase {
    const char* label;
    enum Schedule { kOtherZone, kThisZone, kDamaged, kNone } schedule;
    bool is_config_cut_short;
    const char* notice;         // the title of the box it shows; empty: none
    bool waits_for_first_pass;  // till the codec receives the booking's connect
};

const StartupCase kStartups[] = {
    {"a schedule written in another zone, a booking open: its first pass connects while the notice waits",
     StartupCase::kOtherZone, false, "Load Schedule", true},
    {"a schedule written in this zone: no notice", StartupCase::kThisZone, false, "", false},
    {"a damaged schedule: set aside, and said once the window shows", StartupCase::kDamaged, false, "Load Schedule",
     false},
    {"a configuration cut short: kept aside, and said once the window shows", StartupCase::kNone, true,
     "Load Configuration", false},
};

TEST(Startup, NoticesWaitForTheOperatorWithoutStoppingThePasses) {
    const std::string peer = firstBookPeer();
    ASSERT_FALSE(peer.empty());
    const QByteArray other_zone = otherZone();
    ASSERT_FALSE(other_zone.isEmpty());
    for (const StartupCase& c : kStartups) {
        SCOPED_TRACE(c.label);
        test_support::TemporaryDataFolder folder;
        CodecSimOptions options;
        options.record_path = (folder.root() + "/frames.txt").toStdString();
        CodecSim fleet(options);
        const int port = fleet.ports().front();
        folder.writeConfig(c.is_config_cut_short
                               ? QByteArray("<config><remotes>")
                               : "<config><remotes><remote address=\"127.0.0.1\" port=\"" + QByteArray::number(port) +
                                     "\" password=\"tarnel\"/></remotes></config>");
        QFile schedule(folder.dataFolder() + "/schedule.xml");
        if (c.schedule != StartupCase::kNone) {
            ASSERT_TRUE(schedule.open(QIODevice::WriteOnly));
            schedule.write(
                c.schedule == StartupCase::kDamaged
                    ? QByteArray("<jobs><job")
                    : scheduleOpenNow(c.schedule == StartupCase::kOtherZone ? other_zone : localZoneId(), port, peer));
            schedule.close();
        }
        MessageBox::setHandler({});  // real boxes, left open as an operator may leave them

        // The operator answers at last, and the program is closed.
        const auto answerAndQuit = [] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(widget)) box->done(QMessageBox::Ok);
            }
            QCoreApplication::quit();
        };
        MainWindow* window = nullptr;
        bool was_shown_before_the_window = false;
        bool was_notice_open_at_the_connect = false;
        bool is_done = false;
        QTimer watch;  // as the operator's eyes: what is on the screen, and what reached the codec
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const QMessageBox* notice = *c.notice ? visibleBox(c.notice) : nullptr;
            const bool is_window_shown = window && window->isVisible();
            if (notice && !is_window_shown) was_shown_before_the_window = true;
            QFile frames(QString::fromStdString(options.record_path));
            const bool is_connected = frames.open(QIODevice::ReadOnly) && frames.readAll().contains("<connect ");
            if (c.waits_for_first_pass) {
                was_notice_open_at_the_connect = is_connected && notice;
                is_done = is_connected;
            } else {
                is_done = is_window_shown && (*c.notice == '\0' || notice);
            }
            if (!is_done && !was_shown_before_the_window) return;
            watch.stop();
            answerAndQuit();
        });
        watch.start(50);
        // A start-up that waits for the operator longer than this fails the case.
        QTimer::singleShot(std::chrono::seconds(30), &watch, answerAndQuit);
        StartupObserver observer;
        observer.windowInitialized = [&window](MainWindow& initialized) { window = &initialized; };
        EXPECT_EQ(runApplication(*myApplication(), observer), 0);

        EXPECT_TRUE(is_done) << "the start-up still waited after 30 s";
        EXPECT_FALSE(was_shown_before_the_window);
        if (c.waits_for_first_pass) {
            EXPECT_TRUE(was_notice_open_at_the_connect);
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            EXPECT_FALSE(qobject_cast<QMessageBox*>(widget) && widget->isVisible()) << "a box left open";
        }
        Scheduler& scheduler = myApplication()->scheduler();
        for (const Job& job : scheduler.jobList()) scheduler.removeJob(job.id);
    }
}

}  // namespace
