#include "scheduler/schedule_connection.h"

#include <QObject>

#include "dialogs/message_box.h"
#include "scheduler/codec_sessions.h"
#include "scheduler/job_dialog.h"
#include "scheduler/scheduler.h"
#include "sessions/ipc_object.h"

bool scheduleConnection(Scheduler& scheduler, IPCObject* session, const std::optional<QString>& peer_id,
                        QWidget* parent) {
    if (!session) return false;
    const QUuid uuid = session->uuid;
    JobDialog dialog(parent);
    dialog.setIPCObject(session);
    if (peer_id && peer_id->isEmpty()) {
        dialog.setTargetIndex(-1);
    } else if (peer_id) {
        dialog.setTargetPeer(*peer_id);
    }
    while (dialog.exec() == QDialog::Accepted) {
        if (!dialog.confirmRange()) continue;
        Job job;
        job.start = dialog.startTime();
        job.end = dialog.endTime();
        job.uuid = uuid;
        job.priority = dialog.force();
        // The peer as it was chosen: the job is for it, not for whichever holds its id later.
        job.peer = dialog.targetPeer();
        job.peer_name = dialog.targetPeerName();
        job.peer_address = dialog.targetPeerAddress();
        job.id = Scheduler::nextJobId();
        job.repeat_forever = dialog.repeatForever();
        job.recurrence_end = dialog.recurEndTime();
        job.frequency = dialog.frequency();
        QString problem;
        if (!scheduler.sessions().isRegistered(uuid)) {
            problem = QObject::tr("The codec was removed from the fleet while the dialog was open.");
        } else if (!scheduler.addJob(job)) {
            problem = QObject::tr("The schedule already holds %1 connections, the most it can hold.")
                          .arg(Scheduler::kMaxJobs);
        }
        if (!problem.isEmpty()) {
            MessageBox::warning(&dialog, QObject::tr("Schedule Connection"), problem);
            return false;
        }
        scheduler.saveOrWarn(parent);
        return true;
    }
    return false;
}
