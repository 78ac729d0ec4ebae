#include "scheduler/job_dialog.h"

#include <QPushButton>

#include <mutex>

#include "dialogs/codec_text.h"
#include "dialogs/message_box.h"
#include "scheduler/date_time_dialog.h"
#include "scheduler/local_date_time.h"
#include "sessions/ipc_object.h"
#include "ui_job_dialog.h"

JobDialog::JobDialog(QWidget* parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint), ui_(std::make_unique<Ui::jobdialog>()) {
    ui_->setupUi(this);
    const QDateTime now = QDateTime::currentDateTime();
    ui_->startDateTime->setDateTime(now.addSecs(3600));
    ui_->endDateTime->setDateTime(now.addSecs(7200));
    ui_->recurEndDateTime->setDateTime(now.addSecs(7200));
    ui_->radioRepeatOff->setChecked(true);

    connect(ui_->buttonCalendarStart, &QPushButton::pressed, this, &JobDialog::onButtonCalendarStartPressed);
    connect(ui_->buttonCalendarEnd, &QPushButton::pressed, this, &JobDialog::onButtonCalendarEndPressed);
    connect(ui_->buttonCalendarRecurEnd, &QPushButton::pressed, this, &JobDialog::onButtonCalendarRecurEndPressed);
    connect(ui_->radioRepeatOff, &QRadioButton::toggled, this, &JobDialog::handleEnables);
    connect(ui_->checkRepeatForever, &QCheckBox::stateChanged, this, &JobDialog::handleEnables);
    connect(ui_->targetCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &JobDialog::handleEnables);
    handleEnables();
}

JobDialog::~JobDialog() = default;

void JobDialog::setIPCObject(IPCObject* session) {
    if (session_) disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    peerListUpdate();
    setTargetIndex(0);
    if (session_) connect(session_, &IPCObject::recvPeerList, this, &JobDialog::peerListUpdate);
}

void JobDialog::setTargetIndex(int index) {
    ui_->targetCombo->setCurrentIndex(index);
}

void JobDialog::setTargetPeer(const QString& id) {
    selectPeer(id);
}

void JobDialog::setTargetLocked(bool is_locked) {
    ui_->targetCombo->setEnabled(!is_locked);
    ui_->targetCombo->setToolTip(is_locked ? tr("The connection is under way: its peer can't be changed.")
                                           : QString());
}

void JobDialog::setStartDateTime(const QDateTime& start) {
    ui_->startDateTime->setDateTime(start);
}

void JobDialog::setEndDateTime(const QDateTime& end) {
    ui_->endDateTime->setDateTime(end);
}

void JobDialog::setRecurEndDateTime(const QDateTime& recurrence_end) {
    ui_->recurEndDateTime->setDateTime(recurrence_end);
}

void JobDialog::setFrequency(int frequency) {
    ui_->radioRepeatDaily->setChecked(frequency == Job::Daily);
    ui_->radioRepeatWeekely->setChecked(frequency == Job::Weekly);
}

void JobDialog::setRepeatForever(bool is_forever) {
    ui_->checkRepeatForever->setChecked(is_forever);
}

void JobDialog::setForce(bool is_forced) {
    ui_->forceCheckbox->setChecked(is_forced);
}

QDateTime JobDialog::toMinute(const QDateTimeEdit* edit) {
    const QTime time = edit->time();
    return localDateTime(edit->date(), QTime(time.hour(), time.minute()));
}

QDateTime JobDialog::startTime() const {
    return toMinute(ui_->startDateTime);
}

QDateTime JobDialog::endTime() const {
    return toMinute(ui_->endDateTime);
}

QDateTime JobDialog::recurEndTime() const {
    return toMinute(ui_->recurEndDateTime);
}

QString JobDialog::targetPeer() const {
    return ui_->targetCombo->currentData().toString();
}

bool JobDialog::force() const {
    return ui_->forceCheckbox->isChecked();
}

bool JobDialog::repeatForever() const {
    return ui_->checkRepeatForever->isChecked();
}

Job::JobFrequency JobDialog::frequency() const {
    if (ui_->radioRepeatDaily->isChecked()) return Job::Daily;
    if (ui_->radioRepeatWeekely->isChecked()) return Job::Weekly;
    return Job::Once;
}

bool JobDialog::confirmRange() {
    const QDateTime start = startTime();
    const QDateTime end = endTime();
    if (start.isValid() && end.isValid() && start.secsTo(end) >= 1) return true;
    MessageBox::warning(this, tr("Invalid Date Range"), tr("The end date & time must be later than the start date & time."));
    return false;
}

void JobDialog::peerListUpdate() {
    if (!session_) return;
    const QString chosen = targetPeer();
    QList<PeerMetaPtr> peers;
    {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        peers = session_->bookPeers + session_->directoryPeers;
    }
    {
        const QSignalBlocker blocker(ui_->targetCombo);
        ui_->targetCombo->clear();
        for (const PeerMetaPtr& peer : peers) {
            if (Job::isPeerId(peer->id)) ui_->targetCombo->addItem(shownCodecText(peer->name), peer->id);
        }
        if (chosen.isEmpty()) {
            // Filling an empty list makes its first entry current: a peer nobody chose.
            ui_->targetCombo->setCurrentIndex(-1);
        } else {
            selectPeer(chosen);
        }
    }
    handleEnables();
}

void JobDialog::selectPeer(const QString& id) {
    int index = ui_->targetCombo->findData(id);
    if (index < 0 && Job::isPeerId(id)) {
        ui_->targetCombo->addItem(tr("Peer %1 (not in the codec's list)").arg(id), id);
        index = ui_->targetCombo->count() - 1;
    }
    if (index >= 0) ui_->targetCombo->setCurrentIndex(index);
}

void JobDialog::onButtonCalendarStartPressed() {
    pickDateTime(ui_->startDateTime, tr("Start date and time"));
}

void JobDialog::onButtonCalendarEndPressed() {
    pickDateTime(ui_->endDateTime, tr("End date and time"));
}

void JobDialog::onButtonCalendarRecurEndPressed() {
    pickDateTime(ui_->recurEndDateTime, tr("Recurring job End date and time"));
}

void JobDialog::pickDateTime(QDateTimeEdit* edit, const QString& title) {
    DateTimeDialog picker(this);
    picker.setWindowTitle(title);
    picker.setDate(edit->date());
    picker.setTime(edit->time());
    if (picker.exec() != QDialog::Accepted) return;
    // Date and time together: set apart, the edit would pass through the new date at the old time.
    edit->setDateTime(localDateTime(picker.date(), picker.time()));
}

void JobDialog::handleEnables() {
    const bool is_once = ui_->radioRepeatOff->isChecked();
    const bool is_forever = ui_->checkRepeatForever->isChecked();
    const QList<QWidget*> repeat_until = {ui_->labelRepeatUntil, ui_->buttonCalendarRecurEnd, ui_->recurEndDateTime,
                                          ui_->checkRepeatForever};
    for (QWidget* widget : repeat_until) widget->setVisible(!is_once);
    ui_->buttonCalendarRecurEnd->setEnabled(!is_forever);
    ui_->recurEndDateTime->setEnabled(!is_forever);
    ui_->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!targetPeer().isEmpty());
}
