#pragma once

#include <QDialog>
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
// job. It follows the Scheduler's signals for new jobs and changed times and polls the rest every
// twelve seconds; it never starts or ends a connection itself. Shown without parent and without
// modality; closing only hides it. Rows are in the order they were added and carry the job's id
// (Qt::UserRole) and its codec's instance key (Qt::UserRole + 1) in column 0.
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
    void handleScheduleUpdate();
    void addJobEntry(const Job& job);

private:
    // The status column: the state's name, and the reason and a warning icon when the job waits
    // or was missed.
    void setStatus(QTreeWidgetItem* row, const Job& job) const;
    QTreeWidgetItem* selectedRow() const;

    // One-second ticks since the last refresh, shared by every window, shown or not.
    static int ticks_since_refresh_;

    Scheduler& scheduler_;  // not owned; outlives the window
    std::unique_ptr<Ui::ScheduleWindow> ui_;
    QTimer timer_;
};
