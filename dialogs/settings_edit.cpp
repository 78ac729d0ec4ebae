#include "dialogs/settings_edit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtDebug>

#include <limits>
#include <mutex>

#include "dialogs/codec_text.h"
#include "dialogs/message_box.h"
#include "sessions/ipc_object.h"
#include "ui_settings_edit.h"

namespace {

constexpr int kColumnWidth = 210;
const QString kFollowCodec = QStringLiteral("!follow");

Ui::SettingsEdit* builtForm(QWidget* page) {
    auto* form = new Ui::SettingsEdit;
    form->setupUi(page);
    return form;
}

// The last item whose data is `value`, as the tree shows the last matching choice; -1 when none.
int lastIndexWithData(const QComboBox* box, const QString& value) {
    int found = -1;
    for (int index = 0; index < box->count(); ++index) {
        if (box->itemData(index).toString() == value) found = index;
    }
    return found;
}

QString withUnits(const QString& value, const QString& units) {
    return QStringLiteral("%1 %2").arg(shownCodecText(value), units);
}

// A limit the codec left open reads as none.
QString limitText(int limit, const QString& units) {
    const bool is_open = limit == std::numeric_limits<int>::min() || limit == std::numeric_limits<int>::max();
    return is_open ? QStringLiteral("(none)") : withUnits(QString::number(limit), units);
}

// The options key of an option row.
QString rowKey(const QTreeWidgetItem* row) {
    const QString key = row->data(0, SettingsTree::kKeyRole).toString();
    const bool is_tunnel = row->data(0, SettingsTree::kTagRole).toString() == SettingsWorkingCopies::kTunnelTag;
    return is_tunnel ? QStringLiteral("bdlink:") + key : key;
}

}  // namespace

SettingsEdit::SettingsEdit(QWidget* parent)
    : QWidget(parent), ui(builtForm(this)), tree(ui->treeProfileItems) {
    ui->buttonStringClear->hide();
    ui->treeProfileItems->setColumnWidth(0, kColumnWidth);
    ui->treeProfileItems->setColumnWidth(1, kColumnWidth);
    ui->treeProfileItems->setAlternatingRowColors(true);
    ui->groupEdit->setEnabled(false);
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
    // leave the operator with a text that quietly goes back.
    connect(ui->spinValue->findChild<QLineEdit*>(), &QLineEdit::textEdited, ui->buttonSave,
            [this] { ui->buttonSave->setEnabled(true); });
}

// ------------------------------------------------------------------------------------------------
// The session

void SettingsEdit::setIPCObject(IPCObject* next) {
    updating = true;
    if (session) disconnect(session, nullptr, this, nullptr);
    session = next;
    loaded = false;
    copies.clear();
    ui->treeProfileItems->clear();
    ui->groupEdit->setEnabled(false);
    showNoSelection();
    if (next) connectSession(*next);
    ui->buttonSave->setEnabled(false);
    ui->buttonReset->setEnabled(false);
    updating = false;
    refreshFromDevice();
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
    connect(&source, &IPCObject::recvSetBraidlinkOptions, this, &SettingsEdit::braidlinkSettingsChanged);
}

bool SettingsEdit::isReady() const {
    return session && session->state() == IQEndpointClient::READY;
}

void SettingsEdit::refreshFromDevice() {
    if (!isReady()) return;
    takeValuesFromCache();
    copies.codecList = session->expectedMessage(QStringLiteral("codecList"));
    parseDescriptors();
    populate_all(true);
    loaded = true;
}

void SettingsEdit::reloadFromCache() {
    if (!loaded || !isReady()) return;
    takeValuesFromCache();
    ui->buttonReset->setEnabled(false);
    ui->buttonSave->setEnabled(false);
    populate_all(false);
}

void SettingsEdit::takeValuesFromCache() {
    copies.pendingSysOptions = session->expectedMessage(QStringLiteral("sysOptions"));
    copies.pendingDirectoryServer = session->expectedMessage(QStringLiteral("directoryServer"));
    copies.loadChannels(session->expectedMessage(QStringLiteral("channelList")));
    copies.braidlinkNode = Message();
    // The session keeps this reply up to date with every tunnel change the codec has accepted.
    if (!session->takesSubscriptions()) return;
    const Message settings = session->expectedMessage(QStringLiteral("braidlinkSettings"));
    if (settings.child_count("node")) copies.braidlinkNode = settings.get_child("node", 0);
}

void SettingsEdit::parseDescriptors() {
    copies.options.clear();
    Message systemOpts;
    if (session->getCachedMessage(QStringLiteral("systemOpts"), systemOpts)) {
        copies.parseSystemOpts(systemOpts, sessionPeers());
    } else {
        qWarning("missing systemOpts");
    }
    Message channelOpts;
    if (session->getCachedMessage(QStringLiteral("channelOpts"), channelOpts)) {
        copies.parseChannelOpts(channelOpts);
    } else {
        qWarning("missing channelOpts");
    }
    if (session->takesSubscriptions()) copies.parseBraidlinkSettings(copies.braidlinkNode);
}

QList<PeerMetaPtr> SettingsEdit::sessionPeers() const {
    std::lock_guard<SessionMutex> lock(session->mutex());
    return session->allPeers;
}

void SettingsEdit::statechange(QUuid, IQEndpointClient::DEVICE_STATE state) {
    if (state == IQEndpointClient::READY) refreshFromDevice();
}

void SettingsEdit::peerlistUpdated(QUuid) {
    if (loaded && isReady()) copies.refillPeerChoices(sessionPeers());
}

void SettingsEdit::sysOptionsUpdated(QUuid) {
    reloadFromCache();
}

void SettingsEdit::systemOptsUpdated() {
    reloadFromCache();
}

void SettingsEdit::channelOptionsUpdated(QUuid) {
    reloadFromCache();
}

void SettingsEdit::channelListUpdated(QUuid) {
    reloadFromCache();
}

void SettingsEdit::directoryServerUpdated(QUuid) {
    reloadFromCache();
}

void SettingsEdit::braidlinkUpdated(QUuid) {
    reloadFromCache();
}

void SettingsEdit::braidlinkSettingsChanged() {
    reloadFromCache();
}

void SettingsEdit::resetClicked() {
    reloadFromCache();
}

void SettingsEdit::saveClicked() {
    if (!loaded || !session) return;
    QString problem = spinBoxProblem();
    if (problem.isEmpty()) problem = copies.checkEdits();
    if (!problem.isEmpty()) {
        MessageBox::warning(this, tr("Save Changes"), problem + tr(" Nothing was sent."));
        return;
    }
    const std::vector<Message> requests = copies.changedRequests(session->takesSubscriptions());
    if (requests.empty()) return;
    if (!session->send_all_if_ready(requests)) {
        MessageBox::warning(this, tr("Save Changes"),
                            tr("Nothing was sent: the codec is not connected. Your changes are kept."));
    }
}

QString SettingsEdit::spinBoxProblem() const {
    if (ui->stackEdit->currentWidget() != ui->pageInt || ui->spinValue->hasAcceptableInput()) return {};
    return copies.options.value(shownKey).check(ui->spinValue->cleanText(), copies.codecList);
}

// ------------------------------------------------------------------------------------------------
// The tree

void SettingsEdit::populate_all(bool collapse) {
    updating = true;
    tree.populate(copies);
    tree.applyAdvancedFilter(ui->checkAdvanced->isChecked());
    if (collapse) ui->treeProfileItems->collapseAll();
    ui->treeProfileItems->sortItems(0, Qt::AscendingOrder);
    updating = false;
    showNoSelection();
}

void SettingsEdit::advanceToggle(bool) {
    tree.applyAdvancedFilter(ui->checkAdvanced->isChecked());
}

// ------------------------------------------------------------------------------------------------
// The editor

QTreeWidgetItem* SettingsEdit::selectedOptionRow() const {
    QTreeWidgetItem* row = ui->treeProfileItems->selectedItems().value(0);
    return row && row->parent() ? row : nullptr;
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
    ui->stackEdit->setCurrentWidget(ui->pageBlank);
    ui->labelDescription->setText(tr("Please select a setting to edit."));
    setValueLabelsVisible(false);
}

void SettingsEdit::setValueLabelsVisible(bool visible) {
    for (QWidget* each : {static_cast<QWidget*>(ui->labelCurVal), static_cast<QWidget*>(ui->labelCurrentValue),
                          static_cast<QWidget*>(ui->buttonDefault), static_cast<QWidget*>(ui->labelDefVal),
                          static_cast<QWidget*>(ui->labelDefaultValue)}) {
        each->setVisible(visible);
    }
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
    const std::pair<const char*, void (SettingsEdit::*)(const SettingOption&, const QString&)> pages[] = {
        {"int", &SettingsEdit::fillIntPage},       {"bool", &SettingsEdit::fillBoolPage},
        {"string", &SettingsEdit::fillStringPage}, {"select", &SettingsEdit::fillSelectPage},
        {"codec", &SettingsEdit::fillCodecPage},
    };
    for (const auto& [type, fill] : pages) {
        if (option.type == QLatin1String(type)) {
            (this->*fill)(option, current);
            return;
        }
    }
    ui->stackEdit->setCurrentWidget(ui->pageBlank);
}

void SettingsEdit::fillIntPage(const SettingOption& option, const QString& current) {
    ui->labelCurrentValue->setText(withUnits(current, option.units));
    ui->labelDefaultValue->setText(withUnits(option.defaultValue, option.units));
    ui->labelMaximumValue->setText(limitText(option.max, option.units));
    ui->labelMinimumValue->setText(limitText(option.min, option.units));
    ui->stackEdit->setCurrentWidget(ui->pageInt);
    ui->spinValue->setSuffix(option.units.isEmpty() ? QString() : QLatin1Char(' ') + option.units);
    ui->spinValue->setMaximum(option.max);
    ui->spinValue->setMinimum(option.min);
    ui->spinValue->setValue(current.toInt());
}

void SettingsEdit::fillBoolPage(const SettingOption& option, const QString& current) {
    ui->labelCurrentValue->setText(option.shownValue(current, copies.codecList));
    ui->labelDefaultValue->setText(option.shownValue(option.defaultValue, copies.codecList));
    ui->checkValue->setText(option.units.isEmpty() ? tr("Enabled") : option.units);
    ui->stackEdit->setCurrentWidget(ui->pageBool);
    ui->checkValue->setChecked(current == QLatin1String("true"));
}

void SettingsEdit::fillStringPage(const SettingOption& option, const QString& current) {
    ui->labelCurrentValue->setText(option.shownValue(current, copies.codecList));
    ui->labelDefaultValue->setText(option.shownValue(option.defaultValue, copies.codecList));
    ui->stackEdit->setCurrentWidget(ui->pageString);
    ui->lineValue->setText(current);
}

void SettingsEdit::fillSelectPage(const SettingOption& option, const QString& current) {
    ui->stackEdit->setCurrentWidget(ui->pageSelect);
    ui->comboValue->clear();
    for (const auto& [text, value] : option.choices) ui->comboValue->addItem(text, value);
    const int index = lastIndexWithData(ui->comboValue, current);
    if (index >= 0) ui->comboValue->setCurrentIndex(index);
    ui->labelCurrentValue->setText(option.shownValue(current, copies.codecList));
    ui->labelDefaultValue->setText(option.shownValue(option.defaultValue, copies.codecList));
}

void SettingsEdit::fillCodecPage(const SettingOption& option, const QString& current) {
    ui->comboCodec->clear();
    for (int row = 0; row < copies.codecList.size(); ++row) {
        const Message& codec = copies.codecList.get_child(row);
        if (codec.name() != "codec") continue;
        ui->comboCodec->addItem(SettingOption::codecText(codec), codec.attributes().get_qstring("id", QString()));
    }
    const int index = lastIndexWithData(ui->comboCodec, current);
    if (index >= 0) ui->comboCodec->setCurrentIndex(index);
    // A value that is no codec's id shows as it is.
    const std::pair<QLabel*, QString> labels[] = {{ui->labelCurrentValue, current},
                                                  {ui->labelDefaultValue, option.defaultValue}};
    for (const auto& [label, value] : labels) {
        const Message* codec = SettingOption::findCodec(copies.codecList, value);
        label->setText(codec ? SettingOption::codecText(*codec) : shownCodecText(value));
    }
    showCodecDetails(current);
    ui->stackEdit->setCurrentWidget(ui->pageCodec);
}

void SettingsEdit::showCodecDetails(const QString& id) {
    if (id == kFollowCodec) {
        ui->labelCodecDescription->setText(tr("Follow the local encoder settings."));
        ui->labelCodecQuality->setText(tr("(follow)"));
        ui->labelCodecDelay->setText(tr("(follow)"));
        return;
    }
    const Message* codec = SettingOption::findCodec(copies.codecList, id);
    if (!codec) return;
    const Message::Attributes& a = codec->attributes();
    ui->labelCodecDescription->setText(shownCodecText(a.get_qstring("descr", QString())));
    ui->labelCodecQuality->setText(shownCodecText(a.get_qstring("quality", QString())) + QLatin1Char('%'));
    ui->labelCodecDelay->setText(shownCodecText(a.get_qstring("delay", QString())) + QStringLiteral("ms"));
}

// ------------------------------------------------------------------------------------------------
// Edits

void SettingsEdit::recordEdit(const QString& shown, const QString& value) {
    if (updating) return;
    QTreeWidgetItem* row = selectedOptionRow();
    if (!row) return;
    const bool is_recorded =
        copies.setPendingValue(row->data(0, SettingsTree::kNameRole).toString(), value,
                               row->data(0, SettingsTree::kTagRole).toString(),
                               row->data(0, SettingsTree::kChannelRole).toString());
    if (!is_recorded) return;
    row->setText(1, shown);
    SettingsTree::setColumnBold(1, row, true);
    ui->buttonSave->setEnabled(true);
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
    if (!row) return;
    const QString type = row->data(0, SettingsTree::kTypeRole).toString();
    const QString value = copies.options.value(rowKey(row)).defaultValue;
    if (type == QLatin1String("int")) {
        ui->spinValue->setValue(value.toInt());
    } else if (type == QLatin1String("bool")) {
        ui->checkValue->setChecked(value == QLatin1String("true"));
    } else if (type == QLatin1String("string")) {
        ui->lineValue->setText(value);
    } else if (type == QLatin1String("select") || type == QLatin1String("codec")) {
        QComboBox* box = type == QLatin1String("select") ? ui->comboValue : ui->comboCodec;
        const int index = lastIndexWithData(box, value);
        if (index >= 0) box->setCurrentIndex(index);
    }
}

void SettingsEdit::clearStringText() {
    ui->lineValue->clear();
}
