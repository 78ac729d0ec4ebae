#pragma once

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

#include "scheduler/job.h"

class IPCObject;
class QDateTimeEdit;

namespace Ui {
class jobdialog;
}

// The modal dialog in which the operator sets one scheduled connection: start and end, whether
// and how it repeats, the target peer among the codec's peers, and whether it forces the codec's
// other connections off. It presents and returns values; the caller checks the range
// (confirmRange) and makes or changes the Job. Each "Calendar" button opens a DateTimeDialog.
//
// The Target Peer list holds the codec's address-book peers, then its directory peers, each under
// its id; peers whose id is not a plain number are left out (Job::isPeerId), and a chosen peer the
// codec no longer lists keeps an entry of its own. It follows the session's peer list while open;
// a new list never chooses a peer where none was chosen. GUI thread only.
class JobDialog : public QDialog {
    Q_OBJECT

public:
    // Start one hour and end two hours from now, "Don't Repeat".
    explicit JobDialog(QWidget* parent = nullptr);
    ~JobDialog() override;

    // Fills the Target Peer list from the session, its first peer chosen, and follows its peer lists
    // from then on.
    void setIPCObject(IPCObject* session);
    // Makes the entry at this position current; -1 or a position outside the list: none.
    void setTargetIndex(int index);
    // Makes the entry of the peer with this id current. An id that no listed peer has gets an
    // entry of its own (shown with the id), so that an edit never moves a job to another peer.
    void setTargetPeer(const QString& id);
    // A job under way keeps its peer: the list can't be changed.
    void setTargetLocked(bool is_locked);
    void setStartDateTime(const QDateTime& start);
    void setEndDateTime(const QDateTime& end);
    void setRecurEndDateTime(const QDateTime& recurrence_end);
    // Daily and Weekly check their button; anything else leaves "Don't Repeat".
    void setFrequency(int frequency);
    void setRepeatForever(bool is_forever);
    void setForce(bool is_forced);

    // The edits' local dates and times to the minute (seconds and milliseconds 0).
    QDateTime startTime() const;
    QDateTime endTime() const;
    QDateTime recurEndTime() const;
    // The current entry's peer id; empty when there is none.
    QString targetPeer() const;
    bool force() const;
    bool repeatForever() const;
    Job::JobFrequency frequency() const;

    // True when start and end are valid and the end at least a second after the start; otherwise
    // the "Invalid Date Range" warning over this dialog, and false.
    bool confirmRange();

public slots:
    void peerListUpdate();
    void onButtonCalendarStartPressed();
    void onButtonCalendarEndPressed();
    void onButtonCalendarRecurEndPressed();
    void handleEnables();

private:
    // Makes the entry with this id current, adding one for a peer id no entry has.
    void selectPeer(const QString& id);
    // Runs a DateTimeDialog on the edit's date and time and, on OK, puts its choice in the edit.
    void pickDateTime(QDateTimeEdit* edit, const QString& title);
    static QDateTime toMinute(const QDateTimeEdit* edit);

    std::unique_ptr<Ui::jobdialog> ui_;
    QPointer<IPCObject> session_;  // not owned; the registry may delete it while we are open
};
