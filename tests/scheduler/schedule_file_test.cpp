// schedule.xml: what the scheduler writes, what it reads back, and what it does with files it
// cannot use.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include <ctime>

#include <string>

#include "ipc/message/message.h"
#include "scheduler/local_date_time.h"
#include "tests/scheduler/scheduler_test_fixture.h"
#include "tests/support/message_box_recorder.h"

namespace {

std::string readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

void writeAll(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
}

// The jobs below as written: attributes in name order, dates in English whatever the locale, no
// Done job, no state and no id; and the calls the schedule holds, none yet.
const char kGolden[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<jobs zone=\"%ZONE%\">\n"
    "    <job end=\"Mon May 6 12:20:00 2024\" frequency=\"daily\" ip=\"192.0.2.1\" peer=\"3\" port=\"5004\" "
    "priority=\"true\" recurrence_end=\"Sat Jun 1 00:00:00 2024\" repeat_forever=\"false\" "
    "start=\"Mon May 6 12:10:00 2024\"/>\n"
    "    <job end=\"Tue May 7 09:30:00 2024\" frequency=\"none\" ip=\"192.0.2.1\" peer=\"12\" port=\"5004\" "
    "priority=\"false\" recurrence_end=\"Tue May 7 09:30:00 2024\" repeat_forever=\"false\" "
    "start=\"Tue May 7 08:00:00 2024\" wait=\"peer-now-other\" wait_detail=\"'Other %1 Studio'\" "
    "wait_peer=\"12\"/>\n"
    "    <calls/>\n"
    "</jobs>\n";

// The golden bytes as this machine's zone writes them.
std::string golden() {
    std::string text = kGolden;
    const std::string marker = "%ZONE%";
    return text.replace(text.find(marker), marker.size(), localZoneId().toStdString());
}

// The bytes of a file with no job, written in this machine's zone.
std::string emptyFile() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<jobs zone=\"" + localZoneId().toStdString() +
           "\">\n    <calls/>\n</jobs>\n";
}

class ScheduleFile : public SchedulerFixture {
protected:
    // A forced daily job until 1 June, a plain one-off the next morning that waits for its peer, and
    // a finished one.
    void addJobs() {
        Job daily = job(10, 20);
        daily.priority = true;
        daily.frequency = Job::Daily;
        daily.recurrence_end = QDateTime(QDate(2024, 6, 1), QTime(0, 0));
        ASSERT_TRUE(scheduler_->addJob(daily));
        Job once = job(20 * 60, 21 * 60 + 30);
        once.peer = "12";
        once.wait_reason = {BookingReason::Code::kPeerNowOther, "12", "'Other %1 Studio'"};
        ASSERT_TRUE(scheduler_->addJob(once));
        Job done = job(0, 5);
        done.state = Job::Done;
        ASSERT_TRUE(scheduler_->addJob(done));
    }
};

TEST_F(ScheduleFile, GoldenBytesAndRoundTrip) {
    addJobs();
    ASSERT_TRUE(scheduler_->save());
    EXPECT_EQ(readAll(filePath()), golden());
    EXPECT_EQ(QFile(filePath()).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);

    scheduler_ = makeScheduler();
    ASSERT_TRUE(scheduler_->load());
    ASSERT_EQ(scheduler_->jobCount(), 2);
    EXPECT_EQ(jobAt(0).uuid, codec_);
    EXPECT_TRUE(jobAt(0).priority);
    EXPECT_EQ(jobAt(1).peer, "12");
    EXPECT_EQ(jobAt(1).warning, "peer 12 is now 'Other %1 Studio'");
    ASSERT_TRUE(scheduler_->save());
    EXPECT_EQ(readAll(filePath()), golden());
}

// A file written before reasons had codes kept their words: shown, and written back, as they were.
TEST_F(ScheduleFile, AnOlderFilesWaitReasonKeepsItsWords) {
    std::string bytes = golden();
    const std::string coded = "wait=\"peer-now-other\" wait_detail=\"'Other %1 Studio'\" wait_peer=\"12\"";
    bytes.replace(bytes.find(coded), coded.size(), "wait_reason=\"peer 12 went to lunch\"");
    writeAll(filePath(), bytes);
    ASSERT_TRUE(scheduler_->load());
    EXPECT_EQ(jobAt(1).warning, "peer 12 went to lunch");
    ASSERT_TRUE(scheduler_->save());
    EXPECT_EQ(readAll(filePath()), bytes);
}

TEST_F(ScheduleFile, LoadedStateFollowsTheClock) {
    addJobs();
    Job daily = jobAt(1);         // after the finished one
    daily.connected_at = at(11);  // so that a load after its end ends its call
    ASSERT_TRUE(scheduler_->setJobAt(1, daily));
    ASSERT_TRUE(scheduler_->save());
    const struct {
        int now;  // minutes
        Job::JobState state;
    } cases[] = {{5, Job::Waiting}, {10, Job::Starting}, {15, Job::Starting}, {20, Job::Ending}, {25, Job::Ending}};
    for (const auto& c : cases) {
        now_ = at(c.now);
        scheduler_ = makeScheduler();
        ASSERT_TRUE(scheduler_->load());
        EXPECT_EQ(Job::stateName(jobAt(0).state), Job::stateName(c.state)) << "at minute " << c.now;
    }
}

TEST_F(ScheduleFile, ALoadTellsTheViewsOnce) {
    addJobs();
    ASSERT_TRUE(scheduler_->save());
    scheduler_ = makeScheduler();
    int added = 0, updates = 0;
    QObject::connect(scheduler_.get(), &Scheduler::jobAdded, [&] { ++added; });
    QObject::connect(scheduler_.get(), &Scheduler::scheduleUpdated, [&] { ++updates; });
    ASSERT_TRUE(scheduler_->load());
    EXPECT_EQ(added, 2);
    EXPECT_EQ(updates, 1);
    EXPECT_TRUE(scheduler_->hasJobFor(codec_));
    ASSERT_TRUE(scheduler_->removeJobAt(0));
    ASSERT_TRUE(scheduler_->removeJobAt(0));
    EXPECT_FALSE(scheduler_->hasJobFor(codec_));
}

TEST_F(ScheduleFile, FinishingAJobRewritesTheFile) {
    sessions_->codec(codec_).follows = true;
    ASSERT_TRUE(scheduler_->addJob(job(10, 20)));
    ASSERT_TRUE(scheduler_->save());
    tickAt(10);
    tickAt(11);
    tickAt(20);
    tickAt(21);
    EXPECT_EQ(readAll(filePath()), emptyFile());
}

// A cut file, and an empty one (a save lost to a full disk), are damage, not an empty schedule.
TEST_F(ScheduleFile, ADamagedFileIsSetAsideAndReported) {
    for (const size_t kept : {size_t{120}, size_t{0}}) {
        SCOPED_TRACE(kept);
        const QString aside = filePath() + ".bad-20240506-120000";
        QFile::remove(aside);
        const std::string damaged = golden().substr(0, kept);
        writeAll(filePath(), damaged);

        MessageBoxRecorder boxes;
        scheduler_ = makeScheduler();
        EXPECT_FALSE(scheduler_->load());
        EXPECT_EQ(scheduler_->jobCount(), 0);
        EXPECT_TRUE(QFile::exists(aside));
        EXPECT_EQ(readAll(aside), damaged);
        EXPECT_FALSE(QFile::exists(filePath()));
        ASSERT_EQ(boxes.count("Load Schedule"), 1);
        EXPECT_TRUE(boxes.lastText("Load Schedule").contains(QDir::toNativeSeparators(aside)));
        EXPECT_FALSE(boxes.lastText("Load Schedule").contains("read_from_file")) << "the reason, not the call";
        EXPECT_FALSE(boxes.lastText("Load Schedule").contains("load:")) << "the reason, not the call";
        // The next save starts a new file and leaves the damaged one alone.
        ASSERT_TRUE(scheduler_->addJob(job(10, 20)));
        EXPECT_TRUE(scheduler_->save());
        EXPECT_EQ(readAll(aside), damaged);
    }
}

TEST_F(ScheduleFile, ElementsThatMakeNoJobAreWrittenBackAsTheyWere) {
    Message file;
    file.set_name("jobs");
    file.attributes().set("zone", localZoneId().toStdString());
    Job valid = job(10, 20);
    valid.host = "192.0.2.1";
    valid.port = 5004;
    valid.toMessage(file.add_child("job"));
    Job unknown_codec = valid;
    unknown_codec.host = "192.0.2.99";
    unknown_codec.toMessage(file.add_child("job"));
    Job named_peer = valid;
    named_peer.peer = "4-1";
    named_peer.toMessage(file.add_child("job"));
    Message& unreadable_date = file.add_child("job");
    valid.toMessage(unreadable_date);
    unreadable_date.attributes().set("start", "Mo. Mai 6 12:10:00 2024");
    unreadable_date.attributes().set("note", "kept too");
    Message::Attributes& call_of_unknown_codec = file.add_child("calls").add_child("call").attributes();
    call_of_unknown_codec.set("ip", "192.0.2.99");
    call_of_unknown_codec.set("peer", "3");
    call_of_unknown_codec.set("port", 5004);
    call_of_unknown_codec.set("since", "Mon May 6 12:11:00 2024");
    file.write_to_file(Message::XML, filePath().toStdString());

    ASSERT_TRUE(scheduler_->load());
    ASSERT_EQ(scheduler_->jobCount(), 1);
    ASSERT_TRUE(scheduler_->save());
    Message written;
    written.read_from_file(filePath().toStdString());
    std::string written_xml, file_xml;
    written.serialize(Message::XML, written_xml, true);
    file.serialize(Message::XML, file_xml, true);
    EXPECT_EQ(written_xml, file_xml);
}

TEST_F(ScheduleFile, AFailedSaveAfterAnOperatorsChangeShowsABox) {
    // A file where the folder should be: no one, root included, can save there.
    const QString blocker = folder_.filePath("blocker");
    writeAll(blocker, "not a folder");
    scheduler_->setFilePath(blocker + "/schedule.xml");
    sessions_->codec(codec_).follows = true;
    ASSERT_TRUE(scheduler_->addJob(job(10, 20)));

    MessageBoxRecorder boxes;
    EXPECT_FALSE(scheduler_->saveOrWarn(nullptr));
    ASSERT_EQ(boxes.count("Save Schedule"), 1);
    EXPECT_TRUE(boxes.lastText("Save Schedule").contains(QDir::toNativeSeparators(blocker)));
    // The scheduler's own saves, after a job finished, only warn.
    tickAt(10);
    tickAt(11);
    tickAt(20);
    tickAt(21);
    EXPECT_EQ(jobAt(0).state, Job::Done);
    EXPECT_EQ(boxes.count("Save Schedule"), 1);
    EXPECT_GE(messages_.count_warnings("saving schedule message failed: "), 2);
}

// A "call" element of a codec that was not in the fleet when the file loaded is kept, until the
// schedule knows better: it makes, takes or lets go of a call of that address and peer, or the codec,
// back in the fleet, shows the peer out of any call. A kept element could otherwise bind at the next
// start and cut a call made by hand meanwhile.
TEST_F(ScheduleFile, AKeptCallElementGivesWayToWhatTheScheduleKnows) {
    const struct {
        const char* label;
        bool is_booked;   // a booking of peer 3 opens on the codec back in the fleet
        bool is_peer_up;  // peer 3 is in a call on it as it comes back
        bool is_kept;     // the element is still written at the end
    } cases[] = {
        {"the schedule takes the call up to that peer", true, true, false},
        {"the codec back shows the peer out of any call", false, false, false},
        {"the codec back shows the peer in a call, which may still be the schedule's", false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sessions_->codecs.clear();
        const std::string file = "<jobs><calls><call ip=\"192.0.2.50\" peer=\"3\" port=\"5004\" "
                                 "since=\"Mon May 6 11:00:00 2024\"/></calls></jobs>";
        writeAll(filePath(), file);
        scheduler_ = makeScheduler();
        ASSERT_TRUE(scheduler_->load());

        FakeSessions::Codec back;
        back.host = "192.0.2.50";
        back.follows = true;
        back.names.insert("3", "Studio 3");
        if (c.is_peer_up) back.active.insert("3");
        codec_ = sessions_->add(back);
        if (c.is_booked) {
            ASSERT_TRUE(scheduler_->addJob(job(10, 20)));
        }
        for (int minute : {10, 11}) tickAt(minute);
        ASSERT_TRUE(scheduler_->save());
        // The kept element, by its "since": a call the schedule holds now has its own.
        EXPECT_EQ(readAll(filePath()).find("Mon May 6 11:00:00 2024") != std::string::npos, c.is_kept);
    }
}

TEST_F(ScheduleFile, CallsAreBoundAsJobsAre) {
    std::string file = "<jobs><calls>";
    for (int i = 0; i < Scheduler::kMaxJobs + 5; ++i) {
        file += "<call ip=\"192.0.2.77\" peer=\"" + std::to_string(i) +
                "\" port=\"5004\" since=\"Mon May 6 11:00:00 2024\"/>";
    }
    file += "</calls></jobs>";
    writeAll(filePath(), file);
    ASSERT_TRUE(scheduler_->load());
    EXPECT_EQ(messages_.count_warnings("schedule: the file holds 5 more calls"), 1);
    ASSERT_TRUE(scheduler_->save());
    const std::string written = readAll(filePath());
    size_t calls = 0;
    for (size_t at = written.find("<call "); at != std::string::npos; at = written.find("<call ", at + 1)) ++calls;
    EXPECT_EQ(calls, size_t{Scheduler::kMaxJobs});
}

// The machine's time zone for one test, as the C library and Qt read it (TZ).
class LocalZone {
public:
    explicit LocalZone(const char* zone) : was_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) { set(zone); }
    ~LocalZone() {
        if (had_) {
            set(was_);
        } else {
            qunsetenv("TZ");
            tzset();
        }
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    static void set(const QByteArray& zone) {
        qputenv("TZ", zone);
        tzset();
    }
    QByteArray was_;
    bool had_;
};

// The zone folder for one test (TZDIR), holding the real London and whatever the test puts there.
class ZoneFolder {
public:
    ZoneFolder() : was_(qgetenv("TZDIR")), had_(qEnvironmentVariableIsSet("TZDIR")) {
        QDir(folder_.path()).mkpath("Europe");
        QDir(folder_.path()).mkpath("Mars");
        QFile::link("/usr/share/zoneinfo/Europe/London", folder_.filePath("Europe/London"));
        qputenv("TZDIR", folder_.path().toUtf8());
        tzset();
    }
    ~ZoneFolder() {
        if (had_) {
            qputenv("TZDIR", was_);
        } else {
            qunsetenv("TZDIR");
        }
        tzset();
    }
    ZoneFolder(const ZoneFolder&) = delete;
    ZoneFolder& operator=(const ZoneFolder&) = delete;
    QString path(const char* name) const { return folder_.filePath(name); }

private:
    QTemporaryDir folder_;
    QByteArray was_;
    bool had_;
};

// A booking from 12:48 to 13:15 and a later one from 14:00 to 15:00, written on 6 May 2024 in the
// row's zone, loaded at 11:50 in London (UTC+1) or 10:50 in UTC, while the first runs: each keeps
// its moment, and none is lost. A file that names no zone reads as local times, as files did
// before the zone was kept; so does one that names a zone this machine does not know, which is
// said once, quoting at most 60 characters of it, and never opened where it is no zone file of the
// database (a path, a FIFO that would block the program at start-up).
TEST_F(ScheduleFile, ABookingKeepsItsMomentWhenTheMachinesZoneChanges) {
    const struct {
        const char* label;
        const char* local;
        std::string written_in;  // the root's "zone"; "-": none
        const char* first_start_utc;
        const char* rewritten_start;  // the first booking's "start" as the next save writes it
        int notices;
    } cases[] = {
        {"written in Paris", "Europe/London", "Europe/Paris", "2024-05-06T10:48:00Z", "Mon May 6 11:48:00 2024", 1},
        {"written in London", "Europe/London", "Europe/London", "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024", 0},
        {"written before the zone was kept", "Europe/London", "-", "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024",
         0},
        {"an alias of London", "Europe/London", "GB", "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024", 0},
        {"an alias of UTC", "UTC", "Etc/UTC", "2024-05-06T12:48:00Z", "Mon May 6 12:48:00 2024", 0},
        {"a zone nobody knows", "Europe/London", "Mars/Olympus", "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024", 1},
        {"a path out of the zone folder", "Europe/London", "../../../../../etc/localtime", "2024-05-06T11:48:00Z",
         "Mon May 6 12:48:00 2024", 1},
        {"a zone file's absolute path", "Europe/London", "/usr/share/zoneinfo/Europe/Paris", "2024-05-06T11:48:00Z",
         "Mon May 6 12:48:00 2024", 1},
        {"a FIFO in the zone folder", "Europe/London", "Mars/Fifo", "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024",
         1},
        {"5,000 characters", "Europe/London", std::string(5000, 'x'), "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024",
         1},
        {"empty, as none", "Europe/London", "", "2024-05-06T11:48:00Z", "Mon May 6 12:48:00 2024", 0},
    };
    const ZoneFolder zones;
    ASSERT_EQ(mkfifo(zones.path("Mars/Fifo").toUtf8().constData(), 0600), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const LocalZone local(c.local);
        sessions_->codec(codec_).log.clear();
        const std::string zone = c.written_in == "-" ? std::string() : " zone=\"" + c.written_in + "\"";
        const std::string job =
            "<job end=\"Mon May 6 %E 2024\" frequency=\"none\" ip=\"192.0.2.1\" peer=\"3\" "
            "peer_name=\"Studio 3\" port=\"5004\" priority=\"false\" "
            "recurrence_end=\"Mon May 6 %E 2024\" repeat_forever=\"false\" start=\"Mon May 6 %S 2024\"/>";
        const auto booking = [&](const char* start, const char* end) {
            QString text = QString::fromStdString(job);
            return text.replace("%S", start).replace("%E", end).toStdString();
        };
        writeAll(filePath(), "<jobs" + zone + ">" + booking("12:48:00", "13:15:00") + booking("14:00:00", "15:00:00") +
                                 "<calls/></jobs>");
        now_ = QDateTime::fromString("2024-05-06T10:50:00Z", Qt::ISODate).toLocalTime();
        MessageBoxRecorder boxes;
        scheduler_ = makeScheduler();
        ASSERT_TRUE(scheduler_->load());
        ASSERT_EQ(scheduler_->jobCount(), 2);
        EXPECT_EQ(jobAt(0).start.toUTC().toString(Qt::ISODate).toStdString(), c.first_start_utc);
        EXPECT_EQ(jobAt(1).state, Job::Waiting);
        EXPECT_EQ(boxes.count("Load Schedule"), c.notices);
        EXPECT_LT(boxes.lastText("Load Schedule").size(), 400);
        EXPECT_EQ(sessions_->codec(codec_).log.size(), c.notices);
        EXPECT_LT(sessions_->codec(codec_).log.value(0).size(), 300);
        ASSERT_TRUE(scheduler_->save());
        const std::string written = readAll(filePath());
        EXPECT_NE(written.find("<jobs zone=\"" + localZoneId().toStdString() + "\">"), std::string::npos) << written;
        EXPECT_NE(written.find(std::string("start=\"") + c.rewritten_start + "\""), std::string::npos) << written;
    }
}

}  // namespace
