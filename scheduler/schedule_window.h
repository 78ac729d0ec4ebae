#pragma once

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QTimer>

#include <memory>

#include "scheduler/job.h"

class QPoint;
class QTreeWidgetItem;
class Scheduler;

namespace Ui {
class ScheduleWindow;
}

// "Scheduled Connections": one row per job of the Scheduler, with its start, end, codec, target
// peer, status and recurrence, a clock line, and a context menu that edits or removes the selected
// job. It follows the Scheduler's signals for new jobs, changed times, states and reasons and
// dropped jobs, and polls the codec and peer names every twelve seconds; it never starts or ends a connection itself.
// Shown without parent and without modality; closing only hides it. Rows are in the order they were added and carry the
// job's id (Qt::UserRole) and its codec's instance key (Qt::UserRole + 1) in column 0.
//
// Threads: GUI thread only.
class ScheduleWindow : public QDialog {
    Q_OBJECT

public:
    // One-second ticks between two row refreshes.
    static constexpr int kRefreshTicks = 12;

    ScheduleWindow(Scheduler& scheduler, QWidget* parent = nullptr);
    ~ScheduleWindow() override;

    void addJobEntries(const QList<Job>& jobs);
    // Codec name, peer name, status and recurrence of every row whose job and codec still exist.
    void refreshEntries();
    // "Current Time: " and the scheduler's time in the system locale's long form.
    void updateClock();

public slots:
    void timerTick();
    void doContextMenu(const QPoint& point);
    void onActionRemoveTriggered();
    void onActionEdit();
    // Rewrites the start, end, status and recurrence columns, and takes out the rows of jobs the
    // scheduler no longer holds, once the event loop runs again: a tick may change hundreds of
    // jobs, each with its own signal.
    void handleScheduleUpdate();
    void addJobEntry(const Job& job);

private:
    // The status column: the state's name; while the job waits, or when it was missed, the reason
    // after it, and a warning icon whose tool tip gives the reason. True when its text changed.
    bool setStatus(QTreeWidgetItem* row, const Job& job) const;
    QTreeWidgetItem* selectedRow() const;
    // Takes the row out; when it was the selected one, no row is selected after it.
    void deleteRow(QTreeWidgetItem* row);
    // Fits the columns (a bit per column) to their texts once the event loop runs again: once for
    // all the rows added meanwhile (a whole list, or the many occurrences one tick may add), since
    // measuring every row for each added row would take minutes with thousands of jobs.
    void fitColumnsLater(int columns);
    // The work put off by handleScheduleUpdate and fitColumnsLater.
    void catchUp();
    // Its contents and a gap.
    void fitColumn(int column);
    // Once, when the first rows are fitted: wide enough for every column, within the screen, and
    // moved left as far as it then needs to stay on it.
    void widenToFitColumns();
    void rewriteRows();
    // Copies of the scheduler's jobs by id: one pass over its list for a pass over the rows.
    QHash<int, Job> jobsById() const;

    // One-second ticks since the last refresh, shared by every window, shown or not.
    static int ticks_since_refresh_;

    Scheduler& scheduler_;  // not owned; outlives the window
    std::unique_ptr<Ui::ScheduleWindow> ui_;
    QTimer timer_;
    QTimer catch_up_timer_;  // single shot, for catchUp
    bool are_rows_stale_ = false;
    int columns_to_fit_ = 0;  // a bit per column
    bool has_widened_ = false;
    QIcon warning_icon_;  // of the status column
};
