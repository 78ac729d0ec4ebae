#include "scheduler/job_dialog.h"

#include <QPushButton>

#include <mutex>

#include "dialogs/message_box.h"
#include "scheduler/date_time_dialog.h"
#include "scheduler/local_date_time.h"
#include "sessions/ipc_object.h"
#include "text/codec_text.h"
#include "text/unit_label.h"
#include "ui_job_dialog.h"

namespace {

// Each Target Peer entry holds its peer's id (the default data role), the peer as it is chosen
// (id, name, address) and whether the codec's list holds it.
constexpr int kIdentityRole = Qt::UserRole + 1;
constexpr int kListedRole = Qt::UserRole + 2;

// A peer's name as an entry, cut as a codec's own name is: the codec names its peers at any length,
// and the dialog must stay within the screen.
QString entryName(const QString& name) {
    return shownCodecText(name, kMaxUnitLabelLength);
}

}  // namespace

JobDialog::JobDialog(QWidget* parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint), ui_(std::make_unique<Ui::jobdialog>()) {
    ui_->setupUi(this);
    const QDateTime now = QDateTime::currentDateTime();
    ui_->startDateTime->setDateTime(now.addSecs(3600));
    ui_->endDateTime->setDateTime(now.addSecs(7200));
    ui_->recurEndDateTime->setDateTime(now.addSecs(7200));
    ui_->radioRepeatOff->setChecked(true);
    ui_->problemLabel->hide();

    connect(ui_->buttonCalendarStart, &QPushButton::pressed, this, &JobDialog::onButtonCalendarStartPressed);
    connect(ui_->buttonCalendarEnd, &QPushButton::pressed, this, &JobDialog::onButtonCalendarEndPressed);
    connect(ui_->buttonCalendarRecurEnd, &QPushButton::pressed, this, &JobDialog::onButtonCalendarRecurEndPressed);
    connect(ui_->radioRepeatOff, &QRadioButton::toggled, this, &JobDialog::handleEnables);
    connect(ui_->checkRepeatForever, &QCheckBox::stateChanged, this, &JobDialog::handleEnables);
    connect(ui_->targetCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &JobDialog::handleEnables);
    // The list is rebuilt with its signals blocked: an entry activated here is the operator's choice.
    connect(ui_->targetCombo, QOverload<int>::of(&QComboBox::activated), this, &JobDialog::setTargetIndex);
    handleEnables();
}

JobDialog::~JobDialog() = default;

void JobDialog::setIPCObject(IPCObject* session) {
    if (session_) disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    showCodecName();
    peerListUpdate();
    setTargetIndex(0);
    if (!session_) return;
    connect(session_, &IPCObject::recvSysOptions, this, &JobDialog::showCodecName);
    connect(session_, &IPCObject::recvPeerList, this, &JobDialog::peerListUpdate);
}

void JobDialog::showCodecName() {
    ui_->codecLabel->setText(session_ ? tr("Codec: %1").arg(unitLabel(*session_)) : QString());
}

void JobDialog::setTargetIndex(int index) {
    ui_->targetCombo->setCurrentIndex(index);
    const int current = ui_->targetCombo->currentIndex();
    chosen_ = ui_->targetCombo->itemData(current, kIdentityRole).toStringList();
    is_chosen_listed_ = ui_->targetCombo->itemData(current, kListedRole).toBool();
    lost_peer_.reset();
    showLostPeer();
}

void JobDialog::setTargetPeer(const QString& id, const QString& name, const QString& address) {
    if (!Job::isPeerId(id)) return;
    chosen_ = QStringList{id, name, address};
    is_chosen_listed_ = false;
    lost_peer_.reset();
    reselect();
    showLostPeer();
    handleEnables();
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

QString JobDialog::targetPeerName() const {
    return ui_->targetCombo->currentData(kIdentityRole).toStringList().value(1);
}

QString JobDialog::targetPeerAddress() const {
    return ui_->targetCombo->currentData(kIdentityRole).toStringList().value(2);
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
    MessageBox::warning(this, tr("Invalid Date Range"),
                        tr("The end date & time must be later than the start date & time."));
    return false;
}

void JobDialog::peerListUpdate() {
    if (!session_) return;
    QList<PeerMetaPtr> peers;
    {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        peers = session_->bookPeers + session_->directoryPeers;
    }
    {
        const QSignalBlocker blocker(ui_->targetCombo);
        ui_->targetCombo->clear();
        for (const PeerMetaPtr& peer : peers) {
            if (!Job::isPeerId(peer->id)) continue;
            ui_->targetCombo->addItem(entryName(peer->name), peer->id);
            const int added = ui_->targetCombo->count() - 1;
            ui_->targetCombo->setItemData(added, peer->identity(), kIdentityRole);
            ui_->targetCombo->setItemData(added, true, kListedRole);
        }
        reselect();
    }
    showLostPeer();
    handleEnables();
}

void JobDialog::reselect() {
    const QSignalBlocker blocker(ui_->targetCombo);
    for (int i = ui_->targetCombo->count() - 1; i >= 0; --i) {
        if (!ui_->targetCombo->itemData(i, kListedRole).toBool()) ui_->targetCombo->removeItem(i);
    }
    // Filling an empty list makes its first entry current: a peer nobody chose.
    ui_->targetCombo->setCurrentIndex(-1);
    if (chosen_.isEmpty()) return;
    const QString id = chosen_.value(0);
    const int listed = ui_->targetCombo->findData(id);
    // Known by its id alone (a job from an older file): whichever peer the list holds under it.
    const bool is_known_by_id = chosen_.value(1).isEmpty() && chosen_.value(2).isEmpty();
    const QStringList there = ui_->targetCombo->itemData(listed, kIdentityRole).toStringList();
    const bool is_renamed_here = session_ && session_->sentPeerRenames.isSent(chosen_, there);
    if (listed >= 0 && (is_known_by_id || there == chosen_ || is_renamed_here)) {
        chosen_ = there;
        is_chosen_listed_ = true;
        ui_->targetCombo->setCurrentIndex(listed);
        return;
    }
    if (listed < 0 && !is_chosen_listed_) {
        const QString name = chosen_.value(1).isEmpty() ? tr("Peer %1").arg(id) : entryName(chosen_.value(1));
        ui_->targetCombo->addItem(tr("%1 (not in the codec's list)").arg(name), id);
        const int added = ui_->targetCombo->count() - 1;
        ui_->targetCombo->setItemData(added, chosen_, kIdentityRole);
        ui_->targetCombo->setCurrentIndex(added);
        return;
    }
    lost_peer_ = LostChoice{LostChoice::Kind::kPeer, chosen_, there};
    chosen_.clear();
}

void JobDialog::showLostPeer() {
    ui_->problemLabel->setText(lost_peer_ ? lost_peer_->line() : QString());
    ui_->problemLabel->setVisible(lost_peer_.has_value());
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
