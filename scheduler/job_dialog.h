#pragma once

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "scheduler/job.h"
#include "text/lost_choice.h"

class IPCObject;
class QDateTimeEdit;

namespace Ui {
class jobdialog;
}

// The modal dialog in which the operator sets one scheduled connection: start and end, whether
// and how it repeats, the target peer among the codec's peers, and whether it forces the codec's
// other connections off. A line at the top names the codec as the fleet does. It presents and
// returns values; the caller checks the range (confirmRange) and makes or changes the Job. Each
// "Calendar" button opens a DateTimeDialog.
//
// The Target Peer list holds the codec's address-book peers, then its directory peers, each under
// its id; peers whose id is not a plain number are left out (Job::isPeerId). It follows the
// session's peer list while open, and holds the chosen peer by its id, name and address: when a new
// list no longer has that peer under its id, nor the rename this program sent for it, the choice
// is cleared, a line says what became of it, and OK waits until the operator chooses again. A
// job's peer that the codec did not list when the dialog was given it keeps an entry of its own,
// until another peer shows under its id. A new list never chooses a peer where none was chosen.
// GUI thread only.
class JobDialog : public QDialog {
    Q_OBJECT

public:
    // Start one hour and end two hours from now, "Don't Repeat".
    explicit JobDialog(QWidget* parent = nullptr);
    ~JobDialog() override;

    // Names the codec, fills the Target Peer list from the session, its first peer chosen, and
    // follows its name and peer lists from then on.
    void setIPCObject(IPCObject* session);
    // Makes the entry at this position the choice; -1 or a position outside the list: none.
    void setTargetIndex(int index);
    // Chooses the peer with this id, and with this name and address when they are given (a job's
    // peer). An id that no listed peer has gets an entry of its own, so that an edit never moves a
    // job to another peer; when the codec lists another peer under the id, nothing is chosen and the
    // line says so. An id that is no peer id changes nothing.
    void setTargetPeer(const QString& id, const QString& name = QString(), const QString& address = QString());
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
    // The chosen peer's id, name and address (host part; empty for a directory peer), as the
    // codec's list showed them when it was chosen; empty when nothing is chosen.
    QString targetPeer() const;
    QString targetPeerName() const;
    QString targetPeerAddress() const;
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
    // Makes the entry that stands for chosen_ current, adding one of its own where the choice may
    // stay without the codec listing it; otherwise clears the choice and notes it as lost.
    void reselect();
    // The lost choice's line, or none.
    void showLostPeer();
    void showCodecName();
    // Runs a DateTimeDialog on the edit's date and time and, on OK, puts its choice in the edit.
    void pickDateTime(QDateTimeEdit* edit, const QString& title);
    static QDateTime toMinute(const QDateTimeEdit* edit);

    std::unique_ptr<Ui::jobdialog> ui_;
    QPointer<IPCObject> session_;  // not owned; the registry may delete it while we are open
    // The chosen peer's id, name and address; empty while nothing is chosen.
    QStringList chosen_;
    // The codec listed the chosen peer when it was chosen: should it leave the list, it is gone.
    bool is_chosen_listed_ = false;
    std::optional<LostChoice> lost_peer_;  // a chosen peer the codec's list no longer holds as chosen
};
