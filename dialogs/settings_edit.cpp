#include "dialogs/settings_edit.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtDebug>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

#include "dialogs/message_box.h"
#include "dialogs/option_spin_box.h"
#include "sessions/ipc_object.h"
#include "sessions/session_requests.h"
#include "text/codec_text.h"
#include "ui_settings_edit.h"

namespace {

constexpr int kColumnWidth = 210;

Ui::SettingsEdit* builtForm(QWidget* page) {
    auto* form = new Ui::SettingsEdit;
    form->setupUi(page);
    return form;
}

// The options key of an option row.
QString rowKey(const QTreeWidgetItem* row) {
    return SettingsWorkingCopies::keyFor(row->data(0, SettingsTree::kTagRole).toString(),
                                         row->data(0, SettingsTree::kNameRole).toString(),
                                         row->data(0, SettingsTree::kChannelRole).toString());
}

}  // namespace

SettingsEdit::SettingsEdit(QWidget* parent)
    : QWidget(parent), ui(builtForm(this)), tree(ui->treeProfileItems), pages(*ui) {
    ui->buttonStringClear->hide();
    ui->labelDroppedEdits->hide();
    ui->treeProfileItems->setColumnWidth(0, kColumnWidth);
    ui->treeProfileItems->setColumnWidth(1, kColumnWidth);
    ui->treeProfileItems->setAlternatingRowColors(true);
    ui->groupEdit->setEnabled(false);
    ui->spinValue->installEventFilter(this);
    connectWidgets();
    showNoSelection();
}

SettingsEdit::~SettingsEdit() = default;

void SettingsEdit::connectWidgets() {
    connect(ui->checkAdvanced, &QCheckBox::toggled, this, &SettingsEdit::advanceToggle);
    connect(ui->treeProfileItems, &QTreeWidget::itemSelectionChanged, this, &SettingsEdit::changeSelection);
    connect(ui->buttonDefault, &QPushButton::clicked, this, &SettingsEdit::defaultClicked);
    connect(ui->buttonSave, &QPushButton::clicked, this, &SettingsEdit::saveClicked);
    connect(ui->buttonStringClear, &QPushButton::clicked, this, &SettingsEdit::clearStringText);
    connect(ui->spinValue, qOverload<int>(&QSpinBox::valueChanged), this, &SettingsEdit::intChanged);
    connect(ui->checkValue, &QCheckBox::stateChanged, this, &SettingsEdit::boolChanged);
    connect(ui->lineValue, &QLineEdit::textChanged, this, &SettingsEdit::textChanged);
    connect(ui->comboValue, qOverload<int>(&QComboBox::currentIndexChanged), this, &SettingsEdit::selectChanged);
    connect(ui->comboCodec, qOverload<int>(&QComboBox::currentIndexChanged), this, &SettingsEdit::codecChanged);
    // Discard acts on press, Save on click.
    connect(ui->buttonReset, &QPushButton::pressed, this, &SettingsEdit::resetClicked);
    // A number the spin box cannot take yet is no edit, but Save must be there to say so rather than
    // leave the operator with a number that goes nowhere. A number typed again replaces the one the
    // box refused before, even when it is the value the box already held.
    connect(ui->spinValue->findChild<QLineEdit*>(), &QLineEdit::textEdited, ui->buttonSave, [this] {
        pages.forgetRefusedNumber(shownKey);
        setSaveEnabled(true);
    });
}

bool SettingsEdit::hasParentItem(const QTreeWidgetItem* item) {
    return item->parent() != nullptr;
}

bool SettingsEdit::keepNameAndValue(Message::Attributes& attributes) {
    if (!attributes.has("name") || !attributes.has("value")) return false;
    Message::Attributes kept;
    kept.set("name", attributes.get("name"));
    kept.set("value", attributes.get("value"));
    attributes = kept;
    return true;
}

// ------------------------------------------------------------------------------------------------
// The session

void SettingsEdit::setIPCObject(IPCObject* next) {
    updating = true;
    if (session) disconnect(session, nullptr, this, nullptr);
    session = next;
    loaded = false;
    reported.clear();
    copies.clear();
    pages.forgetRefusedNumbers();
    clearEditLines();
    ui->treeProfileItems->clear();
    ui->groupEdit->setEnabled(false);
    showNoSelection();
    if (next) connectSession(*next);
    savedSeqs_.clear();
    showSaving();
    setSaveEnabled(false);
    ui->buttonReset->setEnabled(false);
    updating = false;
    refreshFromDevice(true);
}

void SettingsEdit::connectSession(IPCObject& source) {
    connect(&source, &IPCObject::recvPeerList, this, &SettingsEdit::peerlistUpdated);
    connect(&source, &IPCObject::recvSysOptions, this, &SettingsEdit::sysOptionsUpdated);
    connect(&source, &IPCObject::recvSystemOpts, this, &SettingsEdit::systemOptsUpdated);
    connect(&source, &IPCObject::recvChannelOpts, this, &SettingsEdit::channelOptionsUpdated);
    connect(&source, &IPCObject::recvChannelList, this, &SettingsEdit::channelListUpdated);
    connect(&source, &IPCObject::recvDirectoryServer, this, &SettingsEdit::directoryServerUpdated);
    connect(&source, &IPCObject::recvBraidlinkSettings, this, &SettingsEdit::braidlinkUpdated);
    connect(&source, &IPCObject::changedState, this, &SettingsEdit::statechange);
    connect(&source, &IPCObject::answersSettled, this, &SettingsEdit::showSaving);
    connect(&source, &IPCObject::recvSetBraidlinkOptions, this, &SettingsEdit::braidlinkSettingsChanged);
}

bool SettingsEdit::isReady() const {
    return session && session->state() == IQEndpointClient::READY;
}

void SettingsEdit::refreshFromDevice(bool collapse, bool keepsEditor) {
    const SettingsWorkingCopies reportedBefore = reported;
    if (isReady()) {
        takeReported();
        loaded = true;
    } else if (!loaded) {
        return;
    }
    // Only the operator finishes a number (Enter, the focus leaving, Save): news that arrives while
    // one is typed leaves it typed. A rebuild that clears the editor takes it first.
    const QString keptKey = keepsEditor && reported.showsOption(shownKey) ? shownKey : QString();
    std::optional<OptionSpinBox::Typing> typing;
    if (keptKey.isEmpty()) {
        takeTypedNumber();
    } else if (ui->stackEdit->currentWidget() == ui->pageInt) {
        typing = ui->spinValue->typing();
    }
    const SettingsWorkingCopies edited = std::exchange(copies, reported);
    addEditLines(copies.restoreEdits(edited, reportedBefore));
    populate_all(collapse, keptKey);
    if (typing && ui->stackEdit->currentWidget() == ui->pageInt) ui->spinValue->resumeTyping(*typing);
    // A number refused at a row change is still Save's to name.
    const bool hasSomethingToSay = copies.hasEdits() || pages.hasRefusedNumbers();
    setSaveEnabled(hasSomethingToSay || typing);
    ui->buttonReset->setEnabled(hasSomethingToSay);
}

void SettingsEdit::takeTypedNumber() {
    if (ui->stackEdit->currentWidget() != ui->pageInt) return;
    pages.noteRefusedNumber(shownKey, [this](const QString& text) { return checkTypedNumber(text); });
    ui->spinValue->interpretText();
}

void SettingsEdit::addEditLines(const QMap<QString, QString>& lines) {
    for (auto line = lines.constBegin(); line != lines.constEnd(); ++line) editLines.insert(line.key(), line.value());
    const QStringList shown = editLines.values();
    ui->labelDroppedEdits->setText(shown.join(QLatin1Char('\n')));
    ui->labelDroppedEdits->setVisible(!shown.isEmpty());
}

void SettingsEdit::clearEditLines() {
    editLines.clear();
    addEditLines({});
}

void SettingsEdit::takeReported() {
    reported.pendingSysOptions = session->expectedMessage(QStringLiteral("sysOptions"));
    reported.pendingDirectoryServer = session->expectedMessage(QStringLiteral("directoryServer"));
    reported.loadChannels(session->expectedMessage(QStringLiteral("channelList")));
    reported.codecList = session->expectedMessage(QStringLiteral("codecList"));
    reported.braidlinkNode = Message();
    // The session keeps this reply up to date with every tunnel change the codec has accepted.
    if (session->takesSubscriptions()) {
        const Message settings = session->expectedMessage(QStringLiteral("braidlinkSettings"));
        if (settings.child_count("node")) reported.braidlinkNode = settings.get_child("node", 0);
    }
    parseDescriptors();
}

void SettingsEdit::parseDescriptors() {
    reported.options.clear();
    Message systemOpts;
    if (session->getCachedMessage(QStringLiteral("systemOpts"), systemOpts)) {
        reported.parseSystemOpts(systemOpts, sessionPeers());
    } else {
        qWarning("missing systemOpts");
    }
    Message channelOpts;
    if (session->getCachedMessage(QStringLiteral("channelOpts"), channelOpts)) {
        reported.parseChannelOpts(channelOpts);
    } else {
        qWarning("missing channelOpts");
    }
    // The tunnel node holds the tunnel options' limits and choices beside their values.
    if (session->takesSubscriptions()) reported.parseBraidlinkSettings(reported.braidlinkNode);
}

QList<PeerMetaPtr> SettingsEdit::sessionPeers() const {
    std::lock_guard<SessionMutex> lock(session->mutex());
    return session->allPeers;
}

void SettingsEdit::statechange(QUuid, IQEndpointClient::DEVICE_STATE state) {
    showSaving();
    if (state == IQEndpointClient::READY) refreshFromDevice(true);
}

void SettingsEdit::peerlistUpdated(QUuid) {
    if (!loaded || !isReady()) return;
    // Peer lists come with every change of a peer's state: only one that moves a chosen peer's id
    // to another peer rebuilds the page under the operator.
    const QList<PeerMetaPtr> peers = sessionPeers();
    if (copies.hasEditNamingAnotherPeer(peers)) {
        takeNews();
        return;
    }
    reported.refillPeerChoices(peers);
    copies.refillPeerChoices(peers);
    // The entries on screen too, so that what the operator picks there is what its id names now.
    if (copies.options.value(shownKey).peer && ui->stackEdit->currentWidget() == ui->pageSelect) {
        updating = true;
        showEditor(shownKey);
        updating = false;
    }
}

void SettingsEdit::takeNews() {
    if (loaded && isReady()) refreshFromDevice(false, true);
}

void SettingsEdit::sysOptionsUpdated(QUuid) {
    takeNews();
}

void SettingsEdit::systemOptsUpdated() {
    takeNews();
}

void SettingsEdit::channelOptionsUpdated(QUuid) {
    takeNews();
}

void SettingsEdit::channelListUpdated(QUuid) {
    takeNews();
}

void SettingsEdit::directoryServerUpdated(QUuid) {
    takeNews();
}

void SettingsEdit::braidlinkUpdated(QUuid) {
    takeNews();
}

void SettingsEdit::braidlinkSettingsChanged() {
    takeNews();
}

void SettingsEdit::resetClicked() {
    // A number still being typed goes with the rest.
    takeTypedNumber();
    copies.clearMarks();
    pages.forgetRefusedNumbers();
    clearEditLines();
    refreshFromDevice(false);
    // What the box showed may be gone: it starts again at its top.
    ui->editScrollArea->verticalScrollBar()->setValue(0);
}

QString SettingsEdit::checkTypedNumber(const QString& value) const {
    const SettingOption option = copies.options.value(shownKey);
    // Every channel has options of the same names: the box names the channel as the tree shows it.
    const bool is_channel = SettingsWorkingCopies::tagOf(option) == SettingsWorkingCopies::kChannelTag;
    return option.typedNumberProblem(value, is_channel ? option.groupName : QString());
}

QString SettingsEdit::spinBoxProblem() const {
    return pages.spinBoxProblem([this](const QString& text) { return checkTypedNumber(text); });
}

bool SettingsEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->spinValue && event->type() == QEvent::FocusOut) {
        pages.noteRefusedNumber(shownKey, [this](const QString& text) { return checkTypedNumber(text); });
        if (pages.hasRefusedNumbers()) ui->buttonReset->setEnabled(true);
    }
    if (pages.isEnterOnUnacceptableNumber(watched, event)) {
        saveClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsEdit::saveClicked() {
    if (!loaded || !session || !savedSeqs_.empty()) return;
    const QString typed = spinBoxProblem();
    // Save takes no focus, so a number still typed has not left the box: it goes with the rest.
    if (typed.isEmpty()) takeTypedNumber();
    // Each number named says itself that nothing was sent for it.
    QString problem = typed.isEmpty() ? pages.takeRefusedNumbers() : typed;
    if (problem.isEmpty()) {
        const QString edited = copies.checkEdits();
        if (!edited.isEmpty()) problem = edited + tr(" Nothing was sent.");
    }
    if (!problem.isEmpty()) {
        MessageBox::warning(this, tr("Save Changes"), problem);
        // The box took the focus from the spin box, which noted the number just named.
        if (!typed.isEmpty()) pages.forgetRefusedNumber(shownKey);
        // A number named in the spin box stays there to be corrected or discarded; a number named
        // from another row is gone, and only edits keep the buttons then.
        const bool isNumberLeft = !spinBoxProblem().isEmpty();
        if (!isNumberLeft) setSaveEnabled(copies.hasEdits());
        ui->buttonReset->setEnabled(isNumberLeft || copies.hasEdits());
        return;
    }
    // A peer picked before the codec's last peer list is checked against the list as it is now: one
    // whose id another peer holds by now is dropped with its line, and the rest waits for the next
    // Save so that the line is read first.
    if (isReady() && copies.hasEditNamingAnotherPeer(sessionPeers())) {
        takeNews();
        return;
    }
    const std::vector<session_requests::AskedRequest> requests = copies.changedRequests(session->takesSubscriptions());
    if (requests.empty()) {
        setSaveEnabled(false);
        return;
    }
    if (!session->send_all_if_ready(requests)) {
        MessageBox::warning(this, tr("Save Changes"),
                            tr("Nothing was sent: the codec is not connected. Your changes are kept."));
        return;
    }
    for (const session_requests::AskedRequest& request : requests) savedSeqs_.push_back(request.seq());
    showSaving();
    clearEditLines();
}

void SettingsEdit::setSaveEnabled(bool isWanted) {
    isSaveWanted_ = isWanted;
    ui->buttonSave->setEnabled(isWanted && savedSeqs_.empty());
}

void SettingsEdit::showSaving() {
    // A codec that answers no more (or another connection) answers none of them.
    const bool isConnected = session && session->state() == IQEndpointClient::READY;
    savedSeqs_.erase(std::remove_if(savedSeqs_.begin(), savedSeqs_.end(),
                                    [&](const std::string& seq) {
                                        return !isConnected || !session->awaitsAnswer(seq.c_str());
                                    }),
                     savedSeqs_.end());
    ui->buttonSave->setText(savedSeqs_.empty() ? tr("Save Changes") : tr("Saving…"));
    setSaveEnabled(isSaveWanted_);
}

// ------------------------------------------------------------------------------------------------
// The tree

void SettingsEdit::populate_all(bool collapse, const QString& keptKey) {
    {
        // Emptying the tree would empty the editor under the operator's keys: the editor follows the
        // selection once the tree is whole again.
        const QSignalBlocker quiet(ui->treeProfileItems);
        // A rebuild leaves each group open or closed as the operator left it; a group new to the
        // tree comes open.
        QSet<QString> closedGroups;
        for (int group = 0; group < ui->treeProfileItems->topLevelItemCount(); ++group) {
            const QTreeWidgetItem* row = ui->treeProfileItems->topLevelItem(group);
            if (!row->isExpanded()) closedGroups << row->text(0);
        }
        populate_system();
        tree.applyAdvancedFilter(ui->checkAdvanced->isChecked());
        if (collapse) ui->treeProfileItems->collapseAll();
        for (int group = 0; group < ui->treeProfileItems->topLevelItemCount() && !collapse; ++group) {
            QTreeWidgetItem* row = ui->treeProfileItems->topLevelItem(group);
            if (closedGroups.contains(row->text(0))) row->setExpanded(false);
        }
        ui->treeProfileItems->sortItems(0, Qt::AscendingOrder);
        if (QTreeWidgetItem* row = optionRow(keptKey)) ui->treeProfileItems->setCurrentItem(row);
    }
    changeSelection();
}

void SettingsEdit::populate_system() {
    updating = true;
    tree.populate(copies);
    updating = false;
}

void SettingsEdit::advanceToggle(bool) {
    tree.applyAdvancedFilter(ui->checkAdvanced->isChecked());
}

// ------------------------------------------------------------------------------------------------
// The editor

QTreeWidgetItem* SettingsEdit::selectedOptionRow() const {
    QTreeWidgetItem* row = ui->treeProfileItems->selectedItems().value(0);
    return row && hasParentItem(row) ? row : nullptr;
}

QTreeWidgetItem* SettingsEdit::optionRow(const QString& key) const {
    for (QTreeWidgetItemIterator row(ui->treeProfileItems); *row; ++row) {
        if (hasParentItem(*row) && rowKey(*row) == key) return *row;
    }
    return nullptr;
}

void SettingsEdit::changeSelection() {
    const QTreeWidgetItem* row = selectedOptionRow();
    ui->groupEdit->setEnabled(row != nullptr);
    if (!row) {
        showNoSelection();
        return;
    }
    updating = true;
    showEditor(rowKey(row));
    updating = false;
    setValueLabelsVisible(true);
}

void SettingsEdit::showNoSelection() {
    shownKey.clear();
    pages.showBlank();
    ui->labelDescription->setText(tr("Please select a setting to edit."));
    setValueLabelsVisible(false);
}

void SettingsEdit::setValueLabelsVisible(bool visible) {
    pages.setValueLabelsVisible(visible, visible);
}

void SettingsEdit::showEditor(const QString& key) {
    shownKey = key;
    const SettingOption option = copies.options.value(key);
    QString current = copies.currentValue(option).value_or(QString());
    if (current.isEmpty() && option.type != QLatin1String("name") && option.type != QLatin1String("string")) {
        current = option.defaultValue;
    }
    ui->labelDescription->setText(option.descr);
    ui->buttonDefault->setEnabled(current != option.defaultValue);
    const std::pair<const char*, void (SettingsEdit::*)(const SettingOption&, const QString&)> fillers[] = {
        {"int", &SettingsEdit::fillIntPage},       {"bool", &SettingsEdit::fillBoolPage},
        {"string", &SettingsEdit::fillStringPage}, {"select", &SettingsEdit::fillSelectPage},
        {"codec", &SettingsEdit::fillCodecPage},
    };
    for (const auto& [type, fill] : fillers) {
        if (option.type == QLatin1String(type)) {
            (this->*fill)(option, current);
            return;
        }
    }
    pages.showBlank();
}

void SettingsEdit::fillIntPage(const SettingOption& option, const QString& current) {
    pages.showInt(option, current);
}

void SettingsEdit::fillBoolPage(const SettingOption& option, const QString& current) {
    pages.showBool(current, option.shownValue(current, copies.codecList),
                   option.shownValue(option.defaultValue, copies.codecList),
                   option.units.isEmpty() ? tr("Enabled") : option.units);
}

void SettingsEdit::fillStringPage(const SettingOption& option, const QString& current) {
    pages.showString(current, option.defaultValue);
}

void SettingsEdit::fillSelectPage(const SettingOption& option, const QString& current) {
    pages.showChoices(option.choices, current);
    pages.setCurrentText(option.shownValue(current, copies.codecList));
    pages.setDefaultText(option.shownValue(option.defaultValue, copies.codecList));
}

void SettingsEdit::fillCodecPage(const SettingOption& option, const QString& current) {
    pages.showCodecs(copies.codecList, false, current);
    // A value that is no codec's id shows as it is.
    const auto shown = [this](const QString& value) {
        const Message* codec = SettingOption::findCodec(copies.codecList, value);
        return codec ? SettingOption::codecText(*codec) : shownCodecText(value);
    };
    pages.setCurrentText(shown(current));
    pages.setDefaultText(shown(option.defaultValue));
    pages.showCodecDetails(copies.codecList, current);
}

// ------------------------------------------------------------------------------------------------
// Edits

void SettingsEdit::recordEdit(const QString& shown, const QString& value) {
    if (updating) return;
    QTreeWidgetItem* row = selectedOptionRow();
    if (!row) return;
    const bool is_recorded = copies.setPendingValue(row->data(0, SettingsTree::kNameRole).toString(), value,
                                                    row->data(0, SettingsTree::kTagRole).toString(),
                                                    row->data(0, SettingsTree::kChannelRole).toString(), shown);
    if (!is_recorded) return;
    pages.forgetRefusedNumber(rowKey(row));
    row->setText(1, shown);
    SettingsTree::setColumnBold(1, row, true);
    setSaveEnabled(true);
    ui->buttonReset->setEnabled(true);
}

void SettingsEdit::intChanged(int value) {
    recordEdit(QString::number(value), QString::number(value));
}

void SettingsEdit::boolChanged(int state) {
    recordEdit(state ? tr("Enabled") : tr("Not Enabled"), state ? QStringLiteral("true") : QStringLiteral("false"));
}

void SettingsEdit::textChanged(const QString& text) {
    recordEdit(text, text);
}

void SettingsEdit::selectChanged(int index) {
    if (index >= 0) recordEdit(ui->comboValue->currentText(), ui->comboValue->itemData(index).toString());
}

void SettingsEdit::codecChanged(int index) {
    if (index >= 0) recordEdit(ui->comboCodec->currentText(), ui->comboCodec->itemData(index).toString());
}

void SettingsEdit::defaultClicked() {
    const QTreeWidgetItem* row = selectedOptionRow();
    if (row)
        pages.putValue(row->data(0, SettingsTree::kTypeRole).toString(),
                       copies.options.value(rowKey(row)).defaultValue);
}

void SettingsEdit::clearStringText() {
    ui->lineValue->clear();
}
