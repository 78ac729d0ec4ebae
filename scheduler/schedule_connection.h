#pragma once

#include <QString>

#include <optional>

class IPCObject;
class QWidget;
class Scheduler;

// The main window's "Schedule Connection": runs a job dialog over `parent` for the session's codec
// (with the peer `peer_id` chosen: none for an empty id, the dialog's first without one) until the
// operator cancels or gives a start and end at least a second apart (an invalid range is reported
// and the dialog runs again with the operator's values), then adds the job, Waiting, and saves the
// schedule. True when a job was added.
bool scheduleConnection(Scheduler& scheduler, IPCObject* session, const std::optional<QString>& peer_id,
                        QWidget* parent);
