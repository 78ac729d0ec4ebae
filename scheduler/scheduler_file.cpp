// Scheduler's file, schedule.xml: writing its text and saving it, reading it back into jobs and
// held calls (in the time zone it was written in), and setting a damaged file aside.
#include "scheduler/scheduler.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QSet>

#include "dialogs/message_box.h"
#include "ipc/base/exception.h"
#include "scheduler/element_text.h"
#include "scheduler/local_date_time.h"
#include "scheduler/schedule_zone.h"
#include "text/error_reason.h"

// A missing schedule on a first start is routine: off unless the category is switched on.
Q_LOGGING_CATEGORY(lcScheduleFile, "kestrane.schedule.file", QtInfoMsg)

namespace {

const QString kZoneChanged =
    QStringLiteral("The time zone changed from %1 to %2 since the schedule was saved: every scheduled connection "
                   "keeps its moment");
const QString kZoneUnknown =
    QStringLiteral("The schedule was saved in the time zone \"%1\", which this machine does not know: its times are "
                   "read as times of %2");

}  // namespace

std::string Scheduler::fileText() const {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<jobs";
    // The file's times are wall-clock times of this zone: a load under another keeps their moments.
    const QByteArray zone = localZoneId();
    Message::append_xml_attribute(out, "zone", std::string_view(zone.constData(), static_cast<size_t>(zone.size())));
    out += '>';
    out.reserve(jobs_.size() * 320);
    for (const JobPtr& job : jobs_) {
        if (job->state == Job::Done) continue;
        if (job->host.isEmpty()) {
            qWarning() << "schedule: not saving a job whose codec has no address:" << *job;
            continue;
        }
        ElementText element(out, "job", 2);
        job->visitAttributes(element.attributes());
    }
    for (const Message& element : kept_elements_) element.append_xml(out, 2);
    held_calls_.appendText(out);
    out += "\n</jobs>\n";
    return out;
}

bool Scheduler::save() {
    last_save_error_.clear();
    if (file_path_.isEmpty()) {
        last_save_error_ = QStringLiteral("no schedule file is set");
    } else if (is_damaged_file_in_place_ && QFileInfo::exists(file_path_)) {
        last_save_error_ = QStringLiteral("the unreadable schedule file could not be moved aside and is kept");
    } else {
        is_damaged_file_in_place_ = false;
        try {
            Message::write_bytes_to_file(fileText(), QFile::encodeName(file_path_).toStdString());
            return true;
        } catch (const Exception& error) {
            last_save_error_ = errorReason(error.what());
        }
    }
    qWarning().noquote() << "saving schedule message failed: " + last_save_error_;
    return false;
}

bool Scheduler::saveOrWarn(QWidget* parent) {
    if (save()) return true;
    MessageBox::warning(parent, tr("Save Schedule"),
                        tr("The scheduled connections could not be saved to %1:\n%2\n\n"
                           "They stay scheduled while Kestrane runs.")
                            .arg(QDir::toNativeSeparators(file_path_), last_save_error_));
    return false;
}

bool Scheduler::fromMessage(const Message& root) {
    const FileZone zone = zoneOf(root);
    const QTimeZone& written_in = zone.written_in;
    const unsigned count = root.child_count("job");
    // Every receiver asks about the whole schedule: once for the file, not once per job.
    bool is_any_added = false;
    bool is_any_finished = false;
    std::vector<JobPtr> ended_while_closed;  // finished once the calls are in: a dial may be among them
    for (unsigned i = 0; i < count; ++i) {
        const Message& element = root.get_child("job", i);
        const Message::Attributes& a = element.attributes();
        const QString host = a.get_qstring("ip", QString());
        const int port = a.get_int("port", 0);
        // Past the limit, elements are only kept: no codec is looked up for them.
        const bool is_full = pending_count_ + static_cast<int>(kept_elements_.size()) >= kMaxJobs;
        const QUuid uuid = is_full ? QUuid() : sessions_->findByAddress(host, port);
        bool is_added = false;
        if (!uuid.isNull()) {
            const QDateTime now = clock_();
            Job job;
            job.fromMessage(element, written_in);
            job.uuid = uuid;
            job.id = nextJobId();
            job.host = host;
            job.port = port;
            // A call up after a window that passed unnoted was made by hand, not by this job.
            const bool is_missed = job.end <= now && !job.connected_at.isValid();
            job.state = job.start > now || is_missed ? Job::Waiting : job.end > now ? Job::Starting : Job::Ending;
            // Why it waits, as it was last known: its codec's list may take a while to tell again.
            if (job.state == Job::Waiting && !job.wait_reason.isNone()) {
                job.showReason(job.wait_reason);
                job.is_wait_reason_unsaid = true;
            }
            const JobPtr added = insertJob(job);
            is_added = added != nullptr;
            is_any_added = is_any_added || is_added;
            if (added && is_missed) ended_while_closed.push_back(added);
        }
        if (!is_added) {
            qWarning().noquote() << QStringLiteral("schedule: keeping job %1 of %2:%3 as it is: %4")
                                        .arg(i)
                                        .arg(host)
                                        .arg(port)
                                        .arg(uuid.isNull() ? QStringLiteral("no such codec")
                                                           : QStringLiteral("not a valid job"));
            kept_elements_.push_back(element);
            // Written back under this zone, it keeps its moments too.
            if (written_in.isValid()) retimeElement(kept_elements_.back(), written_in);
        }
    }
    if (root.child_count("calls") > 0) {
        held_calls_.load(root.get_child("calls", 0), written_in, kMaxJobs);
    } else {
        held_calls_.holdNoted(jobs_);
    }
    const QDateTime now = clock_();
    is_any_added = restoreLateCallRows(now) || is_any_added;
    for (const JobPtr& job : ended_while_closed) is_any_finished = finishEndedWhileClosed(*job, now) || is_any_finished;
    if (is_any_added || !kept_elements_.empty()) {
        if (zone.is_unknown) noteUnknownZone(zone.unknown_id);
        if (written_in.isValid()) noteZoneChange(written_in);
    }
    if (is_any_added) emit scheduleUpdated();
    if (is_any_finished) save();
    return true;
}

void Scheduler::noteZoneChange(const QTimeZone& written_in) {
    const QString was = QString::fromUtf8(written_in.id());
    const QString now = QString::fromUtf8(localZoneId());
    logLoadLine(kZoneChanged.arg(was, now));
    MessageBox::information(nullptr, tr("Load Schedule"),
                            tr("The scheduled connections were saved in the time zone %1, and this machine is now in "
                               "%2.\n\nEach keeps its moment: its times now read in %2.")
                                .arg(was, now));
}

void Scheduler::noteUnknownZone(const QString& written_in) {
    const QString now = QString::fromUtf8(localZoneId());
    logLoadLine(kZoneUnknown.arg(written_in, now));
    MessageBox::warning(nullptr, tr("Load Schedule"),
                        tr("The scheduled connections were saved in the time zone \"%1\", which this machine does not "
                           "know.\n\nTheir times are read as times of %2, this machine's zone: check that each still "
                           "runs when it should.")
                            .arg(written_in, now));
}

void Scheduler::logLoadLine(const QString& line) {
    qWarning().noquote() << line;
    QSet<QUuid> told;
    for (const JobPtr& job : jobs_) {
        if (told.contains(job->uuid)) continue;
        told.insert(job->uuid);
        sessions_->addLogLine(job->uuid, line);
    }
}

bool Scheduler::load() {
    if (file_path_.isEmpty()) {
        qWarning("schedule load failed: no schedule file is set");
        return false;
    }
    Message root;
    try {
        root.read_from_file(QFile::encodeName(file_path_).toStdString());
        // Every save writes a root element, even without jobs: an empty file is a write that was
        // lost (a full disk), not an empty schedule.
        if (root.name().empty()) throw Exception("%s: The file is empty", "load");
    } catch (const Exception& error) {
        const QString text = QString::fromUtf8(error.what());
        if (!QFileInfo::exists(file_path_)) {
            // A first start: there is no schedule yet, which is nothing an operator needs told.
            qCDebug(lcScheduleFile).noquote() << "no schedule yet: " + text;
            return false;
        }
        qWarning().noquote() << "schedule load failed: " + text;
        if (QFileInfo(file_path_).isFile()) setAsideDamagedFile(errorReason(error.what()));
        return false;
    }
    return fromMessage(root);
}

void Scheduler::setAsideDamagedFile(const QString& error) {
    const QString aside =
        file_path_ + QStringLiteral(".bad-") + QLocale::c().toString(clock_(), QStringLiteral("yyyyMMdd-hhmmss"));
    const bool is_moved = QFile::rename(file_path_, aside);
    is_damaged_file_in_place_ = !is_moved;
    const QString consequence =
        is_moved ? tr("It was kept as %1. Kestrane starts without the scheduled connections it held.")
                 : tr("It could not be moved aside to %1 either, so it stays in place and is not saved over: "
                      "connections scheduled now last only until Kestrane closes.");
    MessageBox::warning(
        nullptr, tr("Load Schedule"),
        tr("The schedule file %1 could not be read:\n%2\n\n").arg(QDir::toNativeSeparators(file_path_), error) +
            consequence.arg(QDir::toNativeSeparators(aside)));
}
