#include "scheduler/schedule_window.h"

#include <QHash>
#include <QHeaderView>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QScreen>

#include <algorithm>

#include "dialogs/kestrane_resources.h"
#include "dialogs/message_box.h"
#include "scheduler/codec_sessions.h"
#include "scheduler/job_dialog.h"
#include "scheduler/scheduler.h"
#include "text/codec_text.h"
#include "ui_schedule_window.h"

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kUuidRole = Qt::UserRole + 1;
constexpr int kColumnGap = 12;  // pixels added to a fitted column
enum Column { kStart, kEnd, kCodec, kPeer, kStatus, kRecurrence, kColumnCount };

QString shortText(const QDateTime& when) {
    return QLocale::system().toString(when, QLocale::ShortFormat);
}

// Sets the text only when it differs, and says so: a changed cell is measured and laid out again.
bool updateText(QTreeWidgetItem* row, int column, const QString& text) {
    if (row->text(column) == text) return false;
    row->setText(column, text);
    return true;
}

// The job's peer as the window names it: by the name the job was made with, since the codec's name
// for the id may be another peer's by now; else (a job from an older file) by the codec's name for
// the id. Empty while neither is known.
QString shownPeerName(const Job& job, const CodecSessions& sessions) {
    return shownCodecText(job.peer_name.isEmpty() ? sessions.peerName(job.uuid, job.peer) : job.peer_name);
}

}  // namespace

int ScheduleWindow::ticks_since_refresh_ = 0;

ScheduleWindow::ScheduleWindow(Scheduler& scheduler, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), ui_(std::make_unique<Ui::ScheduleWindow>()) {
    initKestraneResources();
    warning_icon_ = QIcon(QStringLiteral(":/icons/job_warning.svg"));
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->jobTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_->jobTable, &QWidget::customContextMenuRequested, this, &ScheduleWindow::doContextMenu);
    connect(ui_->actionRemove, &QAction::triggered, this, &ScheduleWindow::onActionRemoveTriggered);
    connect(ui_->actionEdit, &QAction::triggered, this, &ScheduleWindow::onActionEdit);
    // From the keyboard as well as the menu: Return (or a double click) edits the row, Delete removes it.
    connect(ui_->jobTable, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* row) {
        ui_->jobTable->setCurrentItem(row);  // the row with the focus may not be selected yet
        onActionEdit();
    });
    // The current row is the selection: the row the window opens on, with the focus frame, is
    // shown selected and is what Delete and Return take.
    connect(ui_->jobTable, &QTreeWidget::currentItemChanged, this, [](QTreeWidgetItem* current) {
        if (current) current->setSelected(true);
    });
    ui_->actionRemove->setShortcut(QKeySequence::Delete);
    ui_->actionRemove->setShortcutContext(Qt::WidgetShortcut);
    ui_->jobTable->addAction(ui_->actionRemove);
    ui_->jobTable->setFocus();  // the window's one control: the keyboard starts on the list
    // New jobs are made from the main window; this window has no add or remove buttons of its own.
    ui_->addButton->hide();
    ui_->removeButton->hide();
    updateClock();
    connect(&timer_, &QTimer::timeout, this, &ScheduleWindow::timerTick);
    timer_.start(1000);
    catch_up_timer_.setSingleShot(true);
    connect(&catch_up_timer_, &QTimer::timeout, this, &ScheduleWindow::catchUp);
    connect(&scheduler_, &Scheduler::jobAdded, this, &ScheduleWindow::addJobEntry);
    connect(&scheduler_, &Scheduler::scheduleUpdated, this, &ScheduleWindow::handleScheduleUpdate);
    connect(&scheduler_, &Scheduler::jobsShownChanged, this, &ScheduleWindow::handleScheduleUpdate);
}

ScheduleWindow::~ScheduleWindow() = default;

void ScheduleWindow::addJobEntries(const QList<Job>& jobs) {
    for (const Job& job : jobs) addJobEntry(job);
}

void ScheduleWindow::addJobEntry(const Job& job) {
    auto* row = new QTreeWidgetItem(ui_->jobTable);
    row->setText(kStart, shortText(job.start));
    row->setText(kEnd, shortText(job.end));
    row->setText(kCodec, tr("(updating...)"));
    // The codec's name for the id comes with the next refresh.
    row->setText(kPeer, job.peer_name.isEmpty() ? job.peer : shownCodecText(job.peer_name));
    setStatus(row, job);
    row->setText(kRecurrence, Job::recurrenceText(job));
    row->setData(0, kUuidRole, job.uuid);
    row->setData(0, kIdRole, job.id);
    fitColumnsLater((1 << kColumnCount) - 1);
}

void ScheduleWindow::fitColumnsLater(int columns) {
    columns_to_fit_ |= columns;
    catch_up_timer_.start(0);
}

void ScheduleWindow::catchUp() {
    if (are_rows_stale_) rewriteRows();
    are_rows_stale_ = false;
    for (int column = 0; column < kColumnCount; ++column) {
        if (columns_to_fit_ & (1 << column)) fitColumn(column);
    }
    columns_to_fit_ = 0;
    if (!has_widened_ && ui_->jobTable->topLevelItemCount() > 0) widenToFitColumns();
}

void ScheduleWindow::fitColumn(int column) {
    QTreeWidget* table = ui_->jobTable;
    table->resizeColumnToContents(column);
    // Fitted exactly, one cell's text would run into the next.
    table->header()->resizeSection(column, table->header()->sectionSize(column) + kColumnGap);
}

void ScheduleWindow::widenToFitColumns() {
    has_widened_ = true;
    const QTreeWidget* table = ui_->jobTable;
    const int missing = table->header()->length() - table->viewport()->width();
    if (missing <= 0 || !screen()) return;
    const QRect room = screen()->availableGeometry();
    resize(std::min(width() + missing, std::max(room.width(), width())), height());
    // Widened where it stands, its right edge (the recurrence column) could leave the screen.
    const int overflow = frameGeometry().right() - room.right();
    if (overflow > 0) move(std::max(room.left(), x() - overflow), y());
}

QHash<int, Job> ScheduleWindow::jobsById() const {
    QHash<int, Job> jobs;
    const QList<Job> list = scheduler_.jobList();
    // The first job with an id answers for it, as Scheduler::getJob does.
    for (auto job = list.crbegin(); job != list.crend(); ++job) jobs.insert(job->id, *job);
    return jobs;
}

void ScheduleWindow::handleScheduleUpdate() {
    are_rows_stale_ = true;
    catch_up_timer_.start(0);
}

void ScheduleWindow::rewriteRows() {
    const QHash<int, Job> jobs = jobsById();
    // From the bottom, so that taking a row out moves none of those still to visit.
    for (int i = ui_->jobTable->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* row = ui_->jobTable->topLevelItem(i);
        const auto job = jobs.constFind(row->data(0, kIdRole).toInt());
        // The scheduler dropped a day-old Done job: its row would otherwise stay for good.
        if (job == jobs.constEnd()) {
            deleteRow(row);
            continue;
        }
        updateText(row, kStart, shortText(job->start));
        updateText(row, kEnd, shortText(job->end));
        // What the scheduler learnt shows at once; names wait for the refresh.
        if (setStatus(row, *job)) columns_to_fit_ |= 1 << kStatus;
        updateText(row, kRecurrence, Job::recurrenceText(*job));
    }
}

void ScheduleWindow::deleteRow(QTreeWidgetItem* row) {
    // Left current, the row would hand the selection to the next job, which Remove would then take
    // without the operator having picked it.
    if (ui_->jobTable->currentItem() == row) ui_->jobTable->setCurrentItem(nullptr);
    delete row;
}

void ScheduleWindow::timerTick() {
    if (++ticks_since_refresh_ >= kRefreshTicks) {
        refreshEntries();
        ticks_since_refresh_ = 0;
    }
    updateClock();
}

void ScheduleWindow::refreshEntries() {
    const QHash<int, Job> jobs = jobsById();
    const CodecSessions& sessions = scheduler_.sessions();
    QHash<QUuid, QString> unit_names;  // one read of each codec's options per refresh
    bool is_codec_changed = false;
    bool is_peer_changed = false;
    bool is_status_changed = false;
    for (int i = 0; i < ui_->jobTable->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ui_->jobTable->topLevelItem(i);
        const auto job = jobs.constFind(row->data(0, kIdRole).toInt());
        const QUuid uuid = row->data(0, kUuidRole).toUuid();
        if (job == jobs.constEnd() || !sessions.isRegistered(uuid)) continue;
        auto unit_name = unit_names.find(uuid);
        if (unit_name == unit_names.end()) unit_name = unit_names.insert(uuid, sessions.unitLabel(uuid));
        is_codec_changed = updateText(row, kCodec, *unit_name) || is_codec_changed;
        const QString peer_name = shownPeerName(*job, sessions);
        if (!peer_name.isEmpty()) is_peer_changed = updateText(row, kPeer, peer_name) || is_peer_changed;
        is_status_changed = setStatus(row, *job) || is_status_changed;
        updateText(row, kRecurrence, Job::recurrenceText(*job));
    }
    // Measuring every row's text is most of a refresh's time: only for columns that changed.
    fitColumnsLater((is_codec_changed ? 1 << kCodec : 0) | (is_peer_changed ? 1 << kPeer : 0) |
                    (is_status_changed ? 1 << kStatus : 0));
}

bool ScheduleWindow::setStatus(QTreeWidgetItem* row, const Job& job) const {
    const QString state = Job::stateName(job.state);
    const bool is_changed =
        updateText(row, kStatus, job.warning.isEmpty() ? state : tr("%1 (%2)").arg(state, job.warning));
    const QString reason = job.warning.left(1).toUpper() + job.warning.mid(1);
    if (row->toolTip(kStatus) == reason) return is_changed;
    row->setToolTip(kStatus, reason);
    row->setIcon(kStatus, reason.isEmpty() ? QIcon() : warning_icon_);
    return is_changed;
}

void ScheduleWindow::updateClock() {
    ui_->currTimeLabel->setText(tr("Current Time: ") +
                                QLocale::system().toString(scheduler_.now(), QLocale::LongFormat));
}

QTreeWidgetItem* ScheduleWindow::selectedRow() const {
    return ui_->jobTable->currentItem();
}

void ScheduleWindow::doContextMenu(const QPoint& point) {
    QMenu menu;
    menu.addAction(ui_->actionRemove);
    menu.addAction(ui_->actionEdit);
    menu.exec(ui_->jobTable->viewport()->mapToGlobal(point));
}

void ScheduleWindow::onActionRemoveTriggered() {
    QTreeWidgetItem* row = selectedRow();
    if (!row) return;
    const bool is_removed = scheduler_.removeJob(row->data(0, kIdRole).toInt());
    deleteRow(row);
    if (is_removed) scheduler_.saveOrWarn(this);
}

void ScheduleWindow::onActionEdit() {
    QTreeWidgetItem* row = selectedRow();
    Job job;
    if (!row || !scheduler_.getJob(row->data(0, kIdRole).toInt(), job)) return;
    IPCObject* session = scheduler_.sessions().session(job.uuid);
    if (!session) return;

    JobDialog dialog(this);
    dialog.setWindowTitle(tr("Edit Scheduled Connection"));
    dialog.setIPCObject(session);
    // A job whose id another peer has taken since opens with no target, and says so, so that OK
    // never moves it to that peer unseen: the operator picks the peer anew.
    dialog.setTargetPeer(job.peer, job.peer_name, job.peer_address);
    dialog.setStartDateTime(job.start);
    dialog.setEndDateTime(job.end);
    dialog.setFrequency(job.frequency);
    dialog.setRecurEndDateTime(job.recurrence_end);
    dialog.setRepeatForever(job.repeat_forever);
    dialog.setForce(job.priority);
    if (dialog.exec() != QDialog::Accepted || !dialog.confirmRange()) return;

    Job edited = job;
    edited.start = dialog.startTime();
    edited.end = dialog.endTime();
    edited.priority = dialog.force();
    edited.peer = dialog.targetPeer();
    edited.peer_name = dialog.targetPeerName();
    edited.peer_address = dialog.targetPeerAddress();
    edited.repeat_forever = dialog.repeatForever();
    edited.recurrence_end = dialog.recurEndTime();
    edited.frequency = dialog.frequency();
    // The scheduler kept running while the dialog was open: it writes the edit onto the job as it
    // stands now.
    QString refusal;
    if (!scheduler_.applyEdit(edited, job.state == Job::Done, &refusal)) {
        MessageBox::warning(this, tr("Edit Scheduled Connection"), tr("The edit was not applied. %1").arg(refusal));
        return;
    }
    refreshEntries();
    scheduler_.saveOrWarn(this);
}
