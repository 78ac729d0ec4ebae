#pragma once

#include <QString>

class IPCObject;
class QWidget;
class Scheduler;

// The main window's "Schedule Connection": runs a job dialog over `parent` for the session's codec
// (with the peer `peer_id` chosen, unless it is empty) until the operator cancels or gives a start
// and end at least a second apart (an invalid range is reported and the dialog runs again with the
// operator's values), then adds the job, Waiting, and saves the schedule. True when a job was added.
bool scheduleConnection(Scheduler& scheduler, IPCObject* session, const QString& peer_id, QWidget* parent);
