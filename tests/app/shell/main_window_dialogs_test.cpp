// The main window's dialogs as the operator reaches them from the menus: adding a codec, its alert
// sounds, the about box, scheduling connections and the scheduled-connections window, the question
// before closing with connections pending, and the alerts a codec's connections sound.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <sys/stat.h>

#include <functional>
#include <memory>

#include "app/dock/connection_dialog.h"
#include "app/fleet/zorva_summary.h"
#include "app/shell/config_paths.h"
#include "dialogs/about_dialog.h"
#include "dialogs/add_device.h"
#include "dialogs/add_entry.h"
#include "dialogs/profile_edit.h"
#include "dialogs/send_dialog.h"
#include "dialogs/unit_password.h"
#include "ipc/message/message.h"
#include "scheduler/date_time_dialog.h"
#include "scheduler/job_dialog.h"
#include "scheduler/schedule_window.h"
#include "scheduler/sound_select.h"
#include "tests/app/app_fixture.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using app_test::AppFixture;
using test_support::on_next_modal;
using test_support::wait_processing_events;

// Keeps every file the window's alerts ask to play.
class RecordingPlayer : public AlertPlayer {
public:
    bool play(const QString& file) override {
        played << file;
        return true;
    }
    QStringList played;
};

QAction* action(MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

template <class Widget>
Widget* child(QObject* parent, const char* name) {
    return parent->findChild<Widget*>(QString::fromLatin1(name));
}

// Any file will do: the recording player never opens it.
QString makeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("RIFF");
    return QFileInfo(path).absoluteFilePath();
}

QList<ScheduleWindow*> scheduleWindows() {
    QList<ScheduleWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ScheduleWindow*>(widget)) found << window;
    }
    return found;
}

// A window whose alerts go to a recorder, with the workers running and simulated codecs to add.
class WindowDialogs : public AppFixture {
protected:
    WindowDialogs() : fleet(CodecSimOptions()) {
        openWindow(&player);
        pool->start_managers();
    }
    ~WindowDialogs() override { closeWindow(); }

    // Fills in the add dialog the next time it opens; OK unless told otherwise.
    void answerAddDialog(uint16_t port, const QString& startSound = QString()) {
        on_next_modal([=](QDialog* dialog) {
            addDialogTitle = dialog->windowTitle();
            child<QLineEdit>(dialog, "lineIPAddress")->setText(QStringLiteral(" 127.0.0.1 "));
            child<QLineEdit>(dialog, "linePort")->setText(QString::number(port));
            child<QLineEdit>(dialog, "lineAudioStart")->setText(startSound);
            child<QPushButton>(dialog, "buttonOK")->click();
        });
    }

    // "Add Instance..." with the codec-sim codec, waited on until READY.
    IPCObject* addCodecFromMenu() {
        answerAddDialog(fleet.ports()[0]);
        action(*window, "actionAddDevice")->trigger();
        IPCObject* session = instanceMap.isEmpty() ? nullptr : instanceMap.last();
        EXPECT_NE(session, nullptr);
        if (!session) return nullptr;
        // Until READY has been told, the window may still re-select the codec and refill the dock.
        bool is_ready_told = false;
        QObject listening;  // ends the connection with this function
        QObject::connect(session, &IPCObject::changedState, &listening,
                         [&](QUuid, IQEndpointClient::DEVICE_STATE state) {
                             is_ready_told = is_ready_told || state == IQEndpointClient::READY;
                         });
        EXPECT_TRUE(wait_processing_events([&] { return is_ready_told; }));
        window->handleAllEnables();
        return session;
    }

    Message savedConfig() const {
        Message config;
        config.read_from_file(folder.configFile().toStdString());
        return config;
    }

    RecordingPlayer player;
    CodecSim fleet;
    QString addDialogTitle;
};

// ------------------------------------------------------------------------------------------------
// Adding a codec

// Each window and dialog says in its own title bar what it is, with an icon of its own: none
// borrows the program's name, a form's placeholder or another dialog's title. A menu entry that opens
// one ends in "...". Two notches of the wheel over a field change it only once the operator has
// clicked or tabbed into it: scrolling past a booking's peer and dates books no other.
TEST_F(WindowDialogs, EveryDialogHasItsOwnTitleAndIconAndIgnoresAStrayWheel) {
    test_support::UnplacedSession codec(QStringLiteral("booked"), QUuid::createUuid());
    codec.receive("peerList", R"(<resp><peer id="3" name="Directory Peer"/><peer id="4" name="OB Van"/></resp>)");
    const struct {
        const char* what;
        std::function<QWidget*()> make;
        QStringList wheeled = {};  // fields a wheel could change
    } dialogs[] = {
        {"about", [] { return new AboutDialog(QStringLiteral("/tmp/kt-config.xml")); }},
        {"add codec", [] { return new AddDevice; }},
        {"add peer", [] { return new AddEntry; }},
        {"copy to codecs", [] { return new SendDialog; }},
        {"password prompt", [] { return new UnitPassword; }},
        {"connection setup", [] { return new ConnectionDialog; }},
        {"profile editor", [] { return new ProfileEdit; }},
        {"job",
         [&codec] {
             auto* job = new JobDialog;
             job->setIPCObject(&codec);
             job->setTargetPeer(QStringLiteral("4"));  // the wheel goes up
             return job;
         },
         {"targetCombo", "startDateTime", "endDateTime"}},
        {"date and time", [] { return new DateTimeDialog; }, {"timeEdit"}},
        {"alert sounds", [] { return new SoundSelect; }},
        {"scheduled connections", [] { return new ScheduleWindow(scheduler()); }},
    };
    QStringList titles;
    for (const auto& c : dialogs) {
        const std::unique_ptr<QWidget> dialog(c.make());
        const QString title = dialog->windowTitle();
        EXPECT_FALSE(title.isEmpty()) << c.what;
        for (const char* borrowed : {"Dialog", "Form", "kestrane", "Kestrane"}) EXPECT_NE(title, borrowed) << c.what;
        EXPECT_FALSE(titles.contains(title)) << c.what << ": " << title.toStdString();
        titles << title;
        EXPECT_FALSE(dialog->windowIcon().isNull()) << c.what;
        if (c.wheeled.isEmpty()) continue;
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get())) << c.what;
        for (const QString& name : c.wheeled) {
            auto* field = dialog->findChild<QWidget*>(name);
            ASSERT_NE(field, nullptr) << name.toStdString();
            const char* shown = qobject_cast<QComboBox*>(field) ? "currentText" : "text";
            for (const bool isFocused : {false, true}) {
                isFocused ? field->setFocus() : field->clearFocus();
                const QString before = field->property(shown).toString();
                const QPoint centre = field->rect().center();
                QWheelEvent wheel(centre, field->mapToGlobal(centre), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(field, &wheel);
                EXPECT_EQ(field->property(shown).toString() != before, isFocused)
                    << c.what << ", " << name.toStdString() << (isFocused ? ", focused" : "");
                EXPECT_EQ(field->hasFocus(), isFocused);
                EXPECT_NE(field->focusPolicy(), Qt::WheelFocus);  // Qt would give it the focus first
            }
        }
    }
    EXPECT_EQ(action(*window, "actionEditEntry")->text(), "Edit Peer...");
}

// The password prompt is wide enough for its title, which names the codec.
TEST_F(WindowDialogs, ThePasswordPromptFitsItsTitle) {
    const QUuid key = QUuid::createUuid();
    test_support::UnplacedSession session(key.toString(), key);
    session.host = QStringLiteral("127.0.0.1");
    session.port = 25110;
    UnitPassword prompt;
    prompt.describe(session);
    EXPECT_EQ(prompt.windowTitle(), "Device Login Failed (127.0.0.1:25110)");
    QFont bold = prompt.font();
    bold.setBold(true);
    EXPECT_GT(prompt.minimumWidth(), QFontMetrics(bold).horizontalAdvance(prompt.windowTitle()));
    prompt.adjustSize();
    EXPECT_GE(prompt.width(), prompt.minimumWidth());
}

TEST_F(WindowDialogs, AddInstanceMakesALiveSelectedCodecAndSavesItAtOnce) {
    QTemporaryDir sounds;
    const QString start_sound = makeFile(sounds.filePath("start.wav"));
    ASSERT_FALSE(QFileInfo::exists(folder.configFile()));

    answerAddDialog(fleet.ports()[0], start_sound);
    action(*window, "actionAddDevice")->trigger();
    EXPECT_EQ(addDialogTitle, "Add Instance");
    ASSERT_EQ(instanceMap.size(), 1);
    IPCObject* session = instanceMap.first();
    EXPECT_EQ(session->host, "127.0.0.1");
    EXPECT_EQ(session->port, fleet.ports()[0]);
    EXPECT_EQ(session->alertSound(AUDIO_START), start_sound);
    EXPECT_EQ(session->alertSound(AUDIO_END), "");
    // Selected: the dock shows it.
    EXPECT_EQ(window->summary()->sessionsInTileOrder(), QList<IPCObject*>{session});
    EXPECT_FALSE(window->summary()->selectedKey().isNull());
    const QString header =
        child<QLabel>(window.get(), "nameLabel")->text() + child<QLabel>(window.get(), "addressLabel")->text();
    EXPECT_TRUE(header.contains(QStringLiteral("127.0.0.1"))) << header.toStdString();

    // Written before anything else happens, owner-only, with the codec and its sounds.
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(folder.configFile()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    const Message remote = savedConfig().get_child("remotes", 0).get_child("remote", 0);
    EXPECT_EQ(remote.attributes().get_string("address", ""), "127.0.0.1");
    EXPECT_EQ(remote.attributes().get_int("port", 0), fleet.ports()[0]);
    EXPECT_EQ(remote.attributes().get_string("password", ""), "tarnel");
    EXPECT_EQ(remote.attributes().get_qstring("snd-audio-start", QString()), start_sound);
    for (const char* empty : {"snd-audio-end", "snd-device-online", "snd-device-offline"}) {
        EXPECT_TRUE(remote.attributes().has(empty)) << empty;
        EXPECT_EQ(remote.attributes().get_string(empty, "-"), "") << empty;
    }
    EXPECT_TRUE(wait_processing_events([session] { return session->state() == IQEndpointClient::READY; }));
}

// The same codec twice would log in twice; "Add Instance..." refuses it under the address.
TEST_F(WindowDialogs, AddInstanceRefusesACodecAlreadyInTheFleet) {
    ASSERT_NE(addCodecFromMenu(), nullptr);
    QString note;
    on_next_modal([&](QDialog* dialog) {
        child<QLineEdit>(dialog, "lineIPAddress")->setText(QStringLiteral("127.0.0.1"));
        child<QLineEdit>(dialog, "linePort")->setText(QString::number(fleet.ports()[0]));
        child<QPushButton>(dialog, "buttonOK")->click();
        auto* refusal = child<QLabel>(dialog, "errorIPAddress");
        if (refusal->isVisible()) note = refusal->text();
        dialog->reject();
    });
    action(*window, "actionAddDevice")->trigger();
    EXPECT_EQ(note, "A codec at this address and port is already in the fleet.");
    EXPECT_EQ(instanceMap.size(), 1);
}

TEST_F(WindowDialogs, FullPoolRefusesTheCodecAndSavesNothing) {
    while (pool->available_spots() > 0) ASSERT_FALSE(window->createInstance().isNull());
    ASSERT_EQ(instanceMap.size(), 256);
    window->handleAllEnables();
    EXPECT_FALSE(action(*window, "actionAddDevice")->isEnabled());

    // The action is off; the road itself still refuses.
    MessageBoxRecorder boxes;
    answerAddDialog(fleet.ports()[0]);
    window->addNewInstance();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "Maximum number of codecs reached.");
    EXPECT_EQ(boxes.boxes()[0].title, "");
    EXPECT_EQ(boxes.boxes()[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(instanceMap.size(), 256);
    EXPECT_FALSE(window->summary()->hasInstances());
    EXPECT_FALSE(QFileInfo::exists(folder.configFile()));
}

// ------------------------------------------------------------------------------------------------
// Alert sounds and the about box

TEST_F(WindowDialogs, SetAlertSoundsStoresOnOkOnlyAndSavesEitherWay) {
    IPCObject* session = addCodecFromMenu();
    ASSERT_NE(session, nullptr);
    QTemporaryDir sounds;
    const QString old_sound = makeFile(sounds.filePath("old.wav"));
    const QString new_sound = makeFile(sounds.filePath("new.wav"));
    session->setAlertSound(AUDIO_END, old_sound);

    struct Case {
        QDialogButtonBox::StandardButton button;
        QString expected;
    };
    for (const Case& each : {Case{QDialogButtonBox::Cancel, old_sound}, Case{QDialogButtonBox::Ok, new_sound}}) {
        SCOPED_TRACE(each.button);
        ASSERT_TRUE(QFile::remove(folder.configFile()));
        QString title;
        QString shown;
        on_next_modal([&](QDialog* dialog) {
            title = dialog->windowTitle();
            shown = child<QLineEdit>(dialog, "lineAudioFinish")->text();
            child<QLineEdit>(dialog, "lineAudioFinish")->setText(new_sound);
            child<QDialogButtonBox>(dialog, "buttonBox")->button(each.button)->click();
        });
        ASSERT_TRUE(action(*window, "actionSetSounds")->isEnabled());
        action(*window, "actionSetSounds")->trigger();
        EXPECT_EQ(title, "Set Alert Sounds");
        EXPECT_EQ(shown, old_sound);
        EXPECT_EQ(session->alertSound(AUDIO_END), each.expected);
        const Message remote = savedConfig().get_child("remotes", 0).get_child("remote", 0);
        EXPECT_EQ(remote.attributes().get_qstring("snd-audio-end", QString()), each.expected);
    }
}

TEST_F(WindowDialogs, AboutFromTheMenuShowsTheConfigurationFileAndEscapeClosesIt) {
    QString shown_path;
    QWidget* parent = nullptr;
    on_next_modal([&](QDialog* dialog) {
        EXPECT_NE(qobject_cast<AboutDialog*>(dialog), nullptr);
        parent = dialog->parentWidget();
        shown_path = child<QLabel>(dialog, "labelConfigfile")->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    ASSERT_TRUE(action(*window, "actionAbout")->isEnabled());
    action(*window, "actionAbout")->trigger();
    EXPECT_EQ(shown_path, configFilePath());
    EXPECT_EQ(parent, window.get());
}

// ------------------------------------------------------------------------------------------------
// Scheduled connections

// Selects the peer with this id in the Connections tab, adding a row for it when the list has none.
// Selects the codec's peer `id` in the peers panel, once the panel shows it.
void selectPeer(MainWindow& window, const QString& id) {
    auto* peers = child<QTreeWidget>(&window, "peerList");
    QTreeWidgetItem* row = nullptr;
    ASSERT_TRUE(wait_processing_events([&] {
        for (int index = 0; index < peers->topLevelItemCount() && !row; ++index) {
            if (peers->topLevelItem(index)->data(0, Qt::UserRole + 2).toString() == id)
                row = peers->topLevelItem(index);
        }
        return row != nullptr;
    }));
    peers->setCurrentItem(row);
    row->setSelected(true);
}

Job pendingJob(const IPCObject& session) {
    Job job;
    job.start = QDateTime::currentDateTime().addSecs(3600);
    job.end = job.start.addSecs(3600);
    job.recurrence_end = job.end;
    job.uuid = session.uuid;
    job.peer = QStringLiteral("1");
    job.id = Scheduler::nextJobId();
    return job;
}

TEST_F(WindowDialogs, ScheduleRoadsAddJobsAndShowSchedulerShowsThem) {
    IPCObject* session = addCodecFromMenu();
    ASSERT_NE(session, nullptr);
    selectPeer(*window, QStringLiteral("3"));

    // The codec's own "Schedule Connection..." leaves the peer to the operator; the peer list's
    // entry chooses the selected one.
    QStringList offered_peers;
    for (const char* road : {"actionScheduleConnection", "actionScheduleSelectedConnection"}) {
        on_next_modal([&](QDialog* dialog) {
            auto* job_dialog = qobject_cast<JobDialog*>(dialog);
            offered_peers << (job_dialog ? job_dialog->targetPeer() : QStringLiteral("not a job dialog"));
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        ASSERT_TRUE(action(*window, road)->isEnabled()) << road;
        action(*window, road)->trigger();
    }
    ASSERT_EQ(offered_peers.size(), 2);
    EXPECT_NE(offered_peers[0], "3");
    EXPECT_EQ(offered_peers[1], "3");
    const QList<Job> jobs = scheduler().jobList();
    ASSERT_EQ(jobs.size(), 2);
    QStringList scheduled_peers;
    for (const Job& job : jobs) {
        EXPECT_EQ(job.uuid, session->uuid);
        scheduled_peers << job.peer;
    }
    scheduled_peers.sort();
    offered_peers.sort();
    EXPECT_EQ(scheduled_peers, offered_peers);
    EXPECT_TRUE(QFileInfo::exists(scheduleFilePath()));

    // One window, however often it is asked for; a new one once it was deleted.
    action(*window, "actionShow_Scheduler")->trigger();
    action(*window, "actionShow_Scheduler")->trigger();
    ASSERT_EQ(scheduleWindows().size(), 1);
    ScheduleWindow* shown = scheduleWindows().first();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(child<QTreeWidget>(shown, "jobTable")->topLevelItemCount(), 2);
    delete shown;
    ASSERT_TRUE(scheduler().removeJob(jobs[0].id));
    action(*window, "actionShow_Scheduler")->trigger();
    ASSERT_EQ(scheduleWindows().size(), 1);
    EXPECT_EQ(child<QTreeWidget>(scheduleWindows().first(), "jobTable")->topLevelItemCount(), 1);
}

// With no peer selected the peer list's entry chooses none: the operator picks one.
TEST_F(WindowDialogs, SchedulingTheSelectedPeerWithNoneSelectedChoosesNone) {
    ASSERT_NE(addCodecFromMenu(), nullptr);
    child<QTreeWidget>(window.get(), "peerList")->clearSelection();
    QString offered = QStringLiteral("no job dialog");
    on_next_modal([&](QDialog* dialog) {
        if (auto* job_dialog = qobject_cast<JobDialog*>(dialog)) offered = job_dialog->targetPeer();
        dialog->reject();
    });
    action(*window, "actionScheduleSelectedConnection")->trigger();
    EXPECT_EQ(offered, "");
}

TEST_F(WindowDialogs, ClosingWithPendingJobsAsksAndNoKeepsEverything) {
    IPCObject* session = addCodecFromMenu();
    ASSERT_NE(session, nullptr);
    window->show();
    window->close();  // nothing pending: no question
    EXPECT_FALSE(window->isVisible());

    ASSERT_TRUE(scheduler().addJob(pendingJob(*session)));
    window->show();
    action(*window, "actionShow_Scheduler")->trigger();
    {
        MessageBoxRecorder boxes(QMessageBox::No);
        action(*window, "actionExit")->trigger();
        ASSERT_EQ(boxes.boxes().size(), 1u);
        const MessageBox::Request& question = boxes.boxes()[0];
        EXPECT_EQ(question.title, "Warning");
        EXPECT_EQ(question.text,
                  "There are scheduled connections pending: closing Kestrane will prevent them from running. Are "
                  "you sure you want to close kestrane?");
        EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(question.defaultButton, QMessageBox::No);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(scheduler().hasPendingJobs());
        EXPECT_EQ(scheduleWindows().size(), 1);
    }
    MessageBoxRecorder boxes(QMessageBox::Yes);
    action(*window, "actionExit")->trigger();
    EXPECT_EQ(boxes.count("Warning"), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(scheduleWindows().isEmpty());
}

// ------------------------------------------------------------------------------------------------
// Alerts

TEST_F(WindowDialogs, ConnectAndDisconnectPlayTheCodecsOwnSoundElseTheDefault) {
    // The default sounds are looked for in the working directory first.
    QTemporaryDir working;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working.path()));
    const QString default_start = makeFile(working.filePath("wav/d_conn.wav"));
    const QString default_end = makeFile(working.filePath("wav/d_disc.wav"));
    QTemporaryDir sounds;
    const QString own_start = makeFile(sounds.filePath("start.wav"));
    const QString own_end = makeFile(sounds.filePath("end.wav"));

    IPCObject* session = addCodecFromMenu();
    ASSERT_NE(session, nullptr);
    window->setSoundEnabled(true);
    window->setDefaultAlertsAllowed(true);
    session->setAlertSound(AUDIO_START, own_start);
    session->setAlertSound(AUDIO_END, own_end);
    player.played.clear();

    // "connect" and "disconnect" of peer 1, each confirmed by the codec's next peer list.
    const auto connectAndDisconnect = [&] {
        const int before = player.played.size();
        ASSERT_TRUE(session->cmd_connect(QStringLiteral("1")));
        ASSERT_TRUE(wait_processing_events([&] { return player.played.size() == before + 1; }));
        ASSERT_TRUE(session->cmd_disconnect(1));
        ASSERT_TRUE(wait_processing_events([&] { return player.played.size() == before + 2; }));
    };
    connectAndDisconnect();
    session->setAlertSound(AUDIO_START, QString());
    session->setAlertSound(AUDIO_END, QString());
    connectAndDisconnect();
    EXPECT_EQ(player.played, QStringList({own_start, own_end, default_start, default_end}));
    QDir::setCurrent(previous);
}

}  // namespace
