#include "app/dock/codec_dock.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QtDebug>

#include <algorithm>
#include <mutex>

#include "app/dock/arrow_keys_stay_in_dock.h"
#include "app/dock/peer_items.h"
#include "app/shared/codec_text.h"
#include "app/shared/delay_graph.h"
#include "app/shared/frame_clock.h"
#include "app/shared/loss_graph.h"
#include "app/shared/monitoring_meter.h"
#include "app/shell/instance_registry.h"
#include "app/tunnel/braidlink_stats.h"
#include "dialogs/enter_presses_button.h"
#include "dialogs/profile_edit.h"
#include "dialogs/settings_edit.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "text/connection_fault_text.h"
#include "text/decimal_id.h"
#include "ui_main_window.h"

namespace {

// The most the header's line of the codec's state takes from the name beside it, in pixels.
constexpr int kHealthLineMaxWidth = 600;

// The id a command names, read strictly; none, with a warning, for anything but a decimal number.
std::optional<int> commandId(const QString& text, const char* command, const char* what) {
    const std::optional<int> id = readDecimalId(text);
    if (!id) {
        qWarning().noquote() << command << "not sent: the codec's" << what << "id" << ('"' + text + '"')
                             << "is not a decimal number";
    }
    return id;
}

// Shows in `label` the line of `lost`; hides it when nothing was lost.
void showLostChoice(QLabel& label, const std::optional<LostChoice>& lost) {
    label.setText(lost ? lost->line() : QString());
    label.setVisible(lost.has_value());
}

// The line above the Log tab while the codec refuses to send its event log, in its words.
QString eventLogRefusalText(const QString& code, const QString& text) {
    return CodecDock::tr("The codec refused to send its event log: %1 (error %2)")
        .arg(shownCodecText(text), shownCodecText(code));
}

// Pops up `actions` as a context menu at `globalPos`; a null entry is a separator.
void popUpMenu(const QList<QAction*>& actions, const QPoint& globalPos) {
    QList<QAction*> entries;
    QList<QAction*> separators;
    for (QAction* action : actions) {
        if (!action) {
            separators << new QAction(nullptr);
            separators.last()->setSeparator(true);
            action = separators.last();
        }
        entries << action;
    }
    QMenu::exec(entries, globalPos);
    qDeleteAll(separators);
}

}  // namespace

CodecDock::CodecDock(Ui::MainWindow& form, QWidget& window_)
    : QObject(&window_),
      ui(form),
      window(window_),
      peers(form.peerList, form.peerFilterLine),
      profiles(form.profileList, form.profileFilterLine),
      stats(form.statsTable),
      eventLog(form.eventLogText, &window_),
      profileEditor(new ProfileEdit(&window_)) {
    setObjectName(QStringLiteral("codecDock"));
    // Everywhere in the dock, its settings page included; the profile editor is a dialog, where Qt
    // does it. Owned by the dock widget.
    new EnterPressesButton(form.dockWidgetDetails);
    new ArrowKeysStayInDock(form.dockWidgetDetails);
    // Seen is no taller than the header's line, and keeps its room while hidden: the header keeps
    // its height, so the pages below neither jump nor lose a row on a small screen.
    form.linkDropsSeenButton->setMaximumHeight(form.nameLabel->sizeHint().height());
    QSizePolicy seenPolicy = form.linkDropsSeenButton->sizePolicy();
    seenPolicy.setRetainSizeWhenHidden(true);
    form.linkDropsSeenButton->setSizePolicy(seenPolicy);
    connectWidgets();
    empty();
}

CodecDock::~CodecDock() = default;

void CodecDock::connectWidgets() {
    connect(ui.peerList, &QTreeWidget::itemSelectionChanged, this, &CodecDock::peerListSelectionChanged);
    connect(ui.profileList, &QListWidget::itemSelectionChanged, this, &CodecDock::profileListSelectionChanged);
    connect(ui.peerFilterLine, &QLineEdit::textChanged, this, &CodecDock::peerFilterChanged);
    connect(ui.profileFilterLine, &QLineEdit::textChanged, this, &CodecDock::profileFilterChanged);
    connect(ui.statsTable, &QTreeWidget::currentItemChanged, this, &CodecDock::activePeerSelectionChanged);
    connect(ui.connectButton, &QPushButton::clicked, this, &CodecDock::on_connectButton_clicked);
    connect(ui.disconnectButton, &QPushButton::clicked, this, &CodecDock::on_disconnectButton_clicked);
    connect(ui.logButtonBox, &QDialogButtonBox::clicked, this, &CodecDock::handleLogButtonPress);
    connect(ui.linkDropsSeenButton, &QToolButton::clicked, this, [this] {
        if (shown) shown->markLinkDropsSeen();
    });

    connect(ui.peerList, &QWidget::customContextMenuRequested, this, &CodecDock::showPeerlistContextMenu);
    connect(ui.profileList, &QWidget::customContextMenuRequested, this, &CodecDock::showProfilelistContextMenu);
    connect(ui.meters, &QWidget::customContextMenuRequested, this, &CodecDock::showMeterContextMenu);
    connect(ui.statsTable, &QWidget::customContextMenuRequested, this, &CodecDock::showStatsTableContextMenu);

    const std::pair<QAction*, void (CodecDock::*)()> actions[] = {
        {ui.actionDisconnectPeerFromStatTable, &CodecDock::actionDisconnectStatTableTriggered},
        {ui.actionCopyNodeId, &CodecDock::copyNodeId},
        {ui.actionDisconnect, &CodecDock::doDisconnectAll},
        {ui.actionCopyProfile, &CodecDock::copyProfile},
        {ui.actionRemoveProfile, &CodecDock::removeProfile},
        {ui.actionRemoveEntry, &CodecDock::removePeer},
        {ui.actionSetDefaultProfile, &CodecDock::setDefaultProfileTriggered},
        {ui.actionAssignProfile, &CodecDock::assignProfileTriggered},
        {ui.actionAssignDefaultProfile, &CodecDock::assignDefaultProfileTriggered},
        {ui.actionAddEntry, &CodecDock::addNewPeer},
        {ui.actionEditEntry, &CodecDock::editPeer},
        {ui.actionConnect, &CodecDock::showConnectDialog},
        {ui.actionSendPeer, &CodecDock::sendPeerTriggered},
        {ui.actionSendProfile, &CodecDock::sendProfileTriggered},
    };
    for (const auto& [action, slot] : actions) connect(action, &QAction::triggered, this, slot);
    connect(ui.actionEditProfile, &QAction::triggered, this, &CodecDock::editProfile);
}

// ------------------------------------------------------------------------------------------------
// The codec shown

void CodecDock::showSession(IPCObject* next) {
    // Each press on the active tile (for its menu, say) names the codec again: showing it afresh
    // would drop what the operator is doing here, unsaved settings edits included.
    if (next == shown) return;
    if (shown) disconnectSession(*shown);
    shown = next;
    empty();
    // Each of these lets go of the codec shown before, and empties itself, only when it changes.
    ui.meters->setSession(next);
    ui.delayGraph->setSeries(next ? &next->delayGraph : nullptr);
    ui.lossGraph->setSeries(next ? &next->lossGraph : nullptr);
    ui.braidlinkStats->setTunnelInfo(next);
    ui.settingWidget->setIPCObject(next);
    if (!next) return;

    connectSession(*next);
    if (next->state() == IQEndpointClient::READY) fillFromReadySession(*next);
    showUnitName();
    showHealth();
    fillEventLog();
    updateStatsTable();
}

void CodecDock::addDemand(ReportPacer::Demand& demand) const {
    if (!shown || !FrameClock::isInSight(*ui.dockWidgetDetails)) return;
    demand.statisticsShown.insert(shown.data());
    if (FrameClock::isInSight(*ui.meters)) demand.levelsDrawn.insert(shown.data());
}

IPCObject* CodecDock::session() const {
    return shown.data();
}

void CodecDock::connectSession(IPCObject& session) {
    connect(&session, &IPCObject::recvPeerList, this, &CodecDock::ipcRecvPeerList);
    connect(&session, &IPCObject::recvProfileList, this, &CodecDock::clearAndPopulateProfileList);
    connect(&session, &IPCObject::recvChannelStats, this, &CodecDock::ipcRecvChannelStats);
    // A call's row comes with its peer's first figures and goes with the peer list that ends it.
    connect(&session, &IPCObject::recvPeerStats, this, &CodecDock::updateStatsTable);
    connect(&session.deviceLog, &DeviceLog::lineAdded, this, &CodecDock::logAppend);
    connect(&session.deviceLog, &DeviceLog::lineReplaced, this, &CodecDock::logAppend);
    connect(&session, &IPCObject::recvEventLog, this, &CodecDock::eventLogAppend);
    connect(&session, &IPCObject::eventLogRefusalChanged, this, &CodecDock::showEventLogRefusal);
    connect(&session.tunnelInfo, &TunnelInfo::connsChanged, this, &CodecDock::enablesChanged);
    connect(&session, &IPCObject::recvSipProxy, this, &CodecDock::ipcRecvSipProxy);
    connect(&session, &IPCObject::recvDirectoryServer, this, &CodecDock::ipcRecvDirectoryServer);
    connect(&session, &IPCObject::recvCurrentEncoder, this, &CodecDock::ipcRecvCurrentEncoder);
    // The version comes while the codec logs in (a codec chosen then is never filled as a READY
    // one) and again after a firmware update.
    connect(&session, &IPCObject::recvVersion, this, &CodecDock::showFirmwareVersion);
    connect(&session, &IPCObject::recvSysOptions, this, &CodecDock::ipcRecvSysOptions);
    connect(&session, &IPCObject::changedState, this, &CodecDock::sessionChangedState);
    connect(&session, &IPCObject::faultChanged, this, &CodecDock::showHealth);
    connect(&session, &IPCObject::linkDropsChanged, this, &CodecDock::showHealth);
    connect(&session, &IPCObject::figuresFreshnessChanged, this, &CodecDock::showHealth);
}

void CodecDock::disconnectSession(IPCObject& session) {
    disconnect(&session, nullptr, this, nullptr);
    disconnect(&session.deviceLog, nullptr, this, nullptr);
    disconnect(&session.tunnelInfo, &TunnelInfo::connsChanged, this, &CodecDock::enablesChanged);
}

void CodecDock::empty() {
    peers.clear();
    profiles.clear();
    stats.rebuild(nullptr);
    activePeerId_.clear();
    lostPeer.reset();
    lostProfile.reset();
    showLostChoices();
    for (QLabel* label :
         std::initializer_list<QLabel*>{ui.nameLabel, ui.addressLabel, ui.encoderLabel, ui.relaydeskStatusLabel,
                                        ui.sipStatusLabel, ui.publicIpLabel, ui.natTypeLabel, ui.firmwareLabel}) {
        label->clear();
    }
    ui.relaydeskStatusLabel->setStyleSheet(QString());
    ui.nameLabel->setToolTip(QString());
    ui.healthLabel->clear();
    ui.healthLabel->setMinimumWidth(0);  // the room showHealth kept for the last codec's line
    ui.healthLabel->setMaximumWidth(QWIDGETSIZE_MAX);
    ui.healthLabel->setToolTip(QString());
    ui.linkDropsSeenButton->hide();
    eventLog.clear();
    trailingOwnLines = 0;
    showEventLogRefusal();  // the codec's now shown, or none
}

void CodecDock::fillFromReadySession(IPCObject& session) {
    peers.refill(session);
    profiles.refill(session);
    reapplyFilters();
    showSystemStatus();
}

void CodecDock::showSystemStatus() {
    ipcRecvSipProxy();
    ipcRecvDirectoryServer();
    ipcRecvCurrentEncoder();
    showFirmwareVersion();
}

bool CodecDock::isLive() const {
    return shown && shown->state() == IQEndpointClient::READY;
}

void CodecDock::sessionChangedState(QUuid, IQEndpointClient::DEVICE_STATE state) {
    // A peer list that comes while the codec logs in again is current: it redecorates the peers.
    if (state != IQEndpointClient::READY) {
        peers.showNotLive();
        activePeerId_.clear();
        // Greyed with its box (the window disables it), not "Online" in green; coloured again at READY.
        ui.relaydeskStatusLabel->setStyleSheet(QString());
    } else {
        catchUpOnReady();
    }
    updateStatsTable();
    ipcRecvCurrentEncoder();
    showHealth();
}

// A codec chosen while it logged in was not filled as one chosen READY is (fillFromReadySession),
// and the lists and replies that came before the choice signal nothing again: they are taken now,
// each list as a new one from the codec is taken, keeping the operator's choices.
void CodecDock::catchUpOnReady() {
    if (!shown) return;
    ipcRecvPeerList(shown->uuid);
    refillProfiles(shown.data());
    showSystemStatus();
}

void CodecDock::showHealth() {
    if (!shown) return;
    const QString line = codecStatusLine(*shown);
    ui.healthLabel->setText(line);
    // Beside a long name the line keeps its room and the name is cut (its tool tip holds it whole),
    // up to a bound that keeps a long reason from widening the window. No wider than its words, so
    // that Seen follows them.
    const int lineWidth = ui.healthLabel->fontMetrics().horizontalAdvance(line);
    ui.healthLabel->setMinimumWidth(std::min(lineWidth, kHealthLineMaxWidth));
    ui.healthLabel->setMaximumWidth(lineWidth);
    ui.healthLabel->setToolTip(CodecText::healthToolTip(*shown));
    // Only while the line tells of drops: out of READY it does not.
    ui.linkDropsSeenButton->setVisible(isLive() && shown->linkDrops().count > 0);
    stats.setStale(isLive() && shown->areStatisticsStale());
    // Out of READY the graphs still hold what came before the link went: they look as a stall's
    // do, whatever a new connection's freshness says, so that their newest bar never reads as now.
    const bool areGraphsStale = !isLive() || shown->areStatisticsStale();
    ui.delayGraph->setStale(areGraphsStale);
    ui.lossGraph->setStale(areGraphsStale);
}

bool CodecDock::cached(const QString& name, Message& out) const {
    return shown && shown->getCachedMessage(name, out);
}

// ------------------------------------------------------------------------------------------------
// Peers and connections

void CodecDock::clearAndPopulatePeerList(QUuid) {
    if (shown) peers.refill(*shown);
}

void CodecDock::ipcRecvPeerList(QUuid) {
    if (!shown) return;
    if (std::optional<LostChoice> lost = peers.update(*shown)) {
        lostPeer = lost;
        showLostChoices();
    }
    followActivePeer();
    updateStatsTable();
    reapplyFilters();
    emit enablesChanged();
    ipcRecvCurrentEncoder();
}

void CodecDock::followActivePeer() {
    const QList<PeerMetaPtr> active = shown->activePeerList();
    const std::optional<int> key = readDecimalId(activePeerId_);
    const bool isStillActive = key && std::any_of(active.cbegin(), active.cend(), [&key](const PeerMetaPtr& peer) {
                                   return readDecimalId(peer->id) == key;
                               });
    if (!isStillActive) activePeerId_ = active.isEmpty() ? QString() : active.first()->id;
}

void CodecDock::peerListSelectionChanged() {
    const QTreeWidgetItem* peer = peers.selectedPeerItem();
    if (!peer) return;
    lostPeer.reset();
    showLostChoices();
    QString defaultProfileId;
    if (shown) {
        std::lock_guard<SessionMutex> lock(shown->mutex());
        defaultProfileId = shown->defaultProfileId;
    }
    profiles.selectProfileById(peer->data(0, kPeerProfileRole).toString(), defaultProfileId);
    // After the profile list's own selection change has run.
    QMetaObject::invokeMethod(this, &CodecDock::enablesChanged, Qt::QueuedConnection);
}

void CodecDock::peerFilterChanged(const QString&) {
    peers.applyFilter();
}

void CodecDock::showLostChoices() {
    showLostChoice(*ui.lostPeerLabel, lostPeer);
    showLostChoice(*ui.lostProfileLabel, lostProfile);
}

void CodecDock::reapplyFilters() {
    peers.applyFilter();
    profiles.applyFilter();
}

std::optional<int> CodecDock::selectedPeerId(const char* command) const {
    const QTreeWidgetItem* peer = peers.selectedPeerItem();
    if (!peer) return std::nullopt;
    return commandId(peer->data(0, kPeerIdRole).toString(), command, "peer");
}

std::optional<int> CodecDock::selectedProfileId(const char* command) const {
    const QListWidgetItem* profile = profiles.selectedProfileItem();
    if (!profile) return std::nullopt;
    return commandId(profile->data(kProfileIdRole).toString(), command, "profile");
}

void CodecDock::on_connectButton_clicked() {
    const QTreeWidgetItem* peer = peers.selectedPeerItem();
    const QListWidgetItem* profile = profiles.selectedProfileItem();
    if (!shown || !peer || !profile) return;
    if (!selectedPeerId("connect") || !selectedProfileId("connect")) return;
    shown->cmd_connect_peer(peer->data(0, kPeerIdRole).toString(), profile->data(kProfileIdRole).toString());
}

void CodecDock::on_disconnectButton_clicked() {
    doDisconnectSelected();
}

void CodecDock::doDisconnectSelected() {
    if (!shown) return;
    const std::optional<int> id = selectedPeerId("disconnect");
    if (id) shown->cmd_disconnect(*id, IPCObject::Asker::kOperator);
}

void CodecDock::doDisconnectAll() {
    if (shown) shown->cmd_disconnect_peer(IPCObject::Asker::kOperator);
}

void CodecDock::removePeer() {
    if (!shown) return;
    const std::optional<int> id = selectedPeerId("removePeer");
    // The choice goes with the peer, and needs no line saying so.
    if (id && shown->cmd_remove_peer(*id)) shown->sentPeerRenames.noteRemoval(peers.selectedPeer());
}

void CodecDock::assignProfileTriggered() {
    if (!shown || !peers.selectedPeerItem() || !profiles.selectedProfileItem()) return;
    const std::optional<int> peer = selectedPeerId("setPeerSettings");
    const std::optional<int> profile = selectedProfileId("setPeerSettings");
    if (peer && profile) shown->cmd_set_peer_settings(*peer, *profile);
}

void CodecDock::assignDefaultProfileTriggered() {
    if (!shown) return;
    // Profile 0 stands for the unit's default profile.
    if (const std::optional<int> peer = selectedPeerId("setPeerSettings")) shown->cmd_set_peer_settings(*peer, 0);
}

void CodecDock::showPeerlistContextMenu(const QPoint& pos) {
    if (!shown) return;
    popUpMenu({ui.actionAddEntry, ui.actionEditEntry, ui.actionRemoveEntry, nullptr,
               ui.actionScheduleSelectedConnection, nullptr, ui.actionSendPeer, ui.actionAssignDefaultProfile},
              ui.peerList->viewport()->mapToGlobal(pos));
}

// ------------------------------------------------------------------------------------------------
// Profiles

void CodecDock::clearAndPopulateProfileList(QUuid key) {
    refillProfiles(findInstance(key));
}

void CodecDock::refillProfiles(IPCObject* session) {
    if (!session) {
        profiles.clear();
    } else if (std::optional<LostChoice> lost = profiles.refill(*session)) {
        lostProfile = lost;
        showLostChoices();
    }
    reapplyFilters();
    emit enablesChanged();
}

void CodecDock::profileListSelectionChanged() {
    // Choosing a peer chooses its profile too.
    if (profiles.selectedProfileItem()) {
        lostProfile.reset();
        showLostChoices();
    }
    emit enablesChanged();
}

void CodecDock::profileFilterChanged(const QString&) {
    profiles.applyFilter();
}

void CodecDock::copyProfile() {
    const QListWidgetItem* profile = profiles.selectedProfileItem();
    if (!shown || !profile) return;
    if (const std::optional<int> id = selectedProfileId("copyProfile")) {
        shown->cmd_copy_profile(*id, profile->data(kProfileNameRole).toString() + QStringLiteral(" (Copy)"));
    }
}

void CodecDock::setDefaultProfileTriggered() {
    const QListWidgetItem* item = profiles.selectedProfileItem();
    if (!shown || !item) return;
    Message profile;
    if (!shown->findProfile(item->data(kProfileIdRole).toString(), profile)) return;
    profile.attributes().set("default", true);
    shown->cmd_set_profile(profile);
}

void CodecDock::showProfilelistContextMenu(const QPoint& pos) {
    if (!shown) return;
    popUpMenu({ui.actionCopyProfile, ui.actionEditProfile, nullptr, ui.actionAssignProfile, ui.actionSetDefaultProfile,
               nullptr, ui.actionSendProfile, nullptr, ui.actionRemoveProfile},
              ui.profileList->viewport()->mapToGlobal(pos));
}

// ------------------------------------------------------------------------------------------------
// System status

void CodecDock::ipcRecvSysOptions(QUuid) {
    showUnitName();
}

void CodecDock::showUnitName() {
    if (!shown) return;
    // Named as every view names the codec; its address follows a name the codec has told and stays
    // in sight: a long name gives way, cut with "…", and one codec reached through two ports stays
    // two. The tool tip holds both whole.
    const QString name = shown->unitName();
    const QString address = IPCObject::addressText(shown->host, shown->port);
    const QString named = name.isEmpty() ? address : name;
    ui.nameLabel->setText(CodecText::name(named));
    ui.addressLabel->setText(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(address));
    ui.nameLabel->setToolTip(
        Qt::convertFromPlainText(shownCodecText(named, CodecText::kToolTipLength) + ui.addressLabel->text()));
}

void CodecDock::ipcRecvSipProxy() {
    Message sip;
    if (!cached(QStringLiteral("sipProxy"), sip)) return;
    const Message::Attributes& a = sip.attributes();
    if (!a.get_bool("enabled", false)) {
        ui.sipStatusLabel->setText(QStringLiteral("Disabled"));
    } else if (a.get_bool("online", false)) {
        ui.sipStatusLabel->setText(
            QStringLiteral("Connected (%1)").arg(CodecText::name(a.get_qstring("status", QString()))));
    } else {
        ui.sipStatusLabel->setText(QStringLiteral("Not Connected"));
    }
}

void CodecDock::ipcRecvDirectoryServer() {
    Message server;
    if (!cached(QStringLiteral("directoryServer"), server)) return;
    const Message::Attributes& a = server.attributes();
    if (!a.get_bool("enabled", false)) {
        ui.relaydeskStatusLabel->setText(QStringLiteral("Disabled"));
        ui.relaydeskStatusLabel->setStyleSheet(QStringLiteral("color: darkYellow"));
    } else if (a.get_bool("connected", false)) {
        ui.relaydeskStatusLabel->setText(QStringLiteral("Online"));
        ui.relaydeskStatusLabel->setStyleSheet(QStringLiteral("color: darkGreen"));
    } else {
        ui.relaydeskStatusLabel->setText(QStringLiteral("Offline"));
        ui.relaydeskStatusLabel->setStyleSheet(QStringLiteral("color: darkRed"));
    }
    CodecText::showName(*ui.publicIpLabel, a.get_qstring("nat_addr", QString()));
    CodecText::showName(*ui.natTypeLabel, a.get_qstring("nat_type", QString()));
}

void CodecDock::ipcRecvCurrentEncoder() {
    if (!shown) return;
    Message encoder;
    const bool isCached = cached(QStringLiteral("currentEncoder"), encoder);
    const bool isConnected = isLive() && !shown->activePeerList().isEmpty();
    CodecText::showName(*ui.encoderLabel, isCached && isConnected ? encoder.attributes().get_qstring("descr", QString())
                                                                  : QStringLiteral("None"));
}

void CodecDock::showFirmwareVersion() {
    Message version;
    if (cached(QStringLiteral("version"), version))
        CodecText::showName(*ui.firmwareLabel, version.attributes().get_qstring("version", QString()));
}

void CodecDock::copyNodeId() {
    Message version;
    if (cached(QStringLiteral("version"), version)) {
        QGuiApplication::clipboard()->setText(version.attributes().get_qstring("node_id", QString()),
                                              QClipboard::Clipboard);
    }
}

// ------------------------------------------------------------------------------------------------
// Statistics and meters

void CodecDock::updateStatsTable() {
    stats.rebuild(isLive() ? shown.data() : nullptr);
}

void CodecDock::ipcRecvChannelStats(QUuid) {
    updateStatsTable();
}

void CodecDock::activePeerSelectionChanged(QTreeWidgetItem*, QTreeWidgetItem*) {
    const std::optional<int> peer = stats.selectedPeerId();
    if (!peer) {
        activePeerId_.clear();
        return;
    }
    activePeerId_ = QString::number(*peer);
    if (shown) {
        shown->lossGraph.setPeer(*peer);
        shown->delayGraph.setPeer(*peer);
    }
    ui.delayGraph->update();
    ui.lossGraph->update();
}

void CodecDock::actionDisconnectStatTableTriggered() {
    if (!shown || !statsMenuPeer || shown->uuid != statsMenuCodec) return;
    const QList<PeerMetaPtr> active = shown->activePeerList();
    const bool isStillActive = std::any_of(active.cbegin(), active.cend(), [this](const PeerMetaPtr& peer) {
        return readDecimalId(peer->id) == statsMenuPeer;
    });
    if (isStillActive) shown->cmd_disconnect(*statsMenuPeer, IPCObject::Asker::kOperator);
}

void CodecDock::showMeterContextMenu(const QPoint& pos) {
    if (!shown) return;
    popUpMenu({shown->meteringOn ? ui.actionDisableMetering : ui.actionEnableMetering}, ui.meters->mapToGlobal(pos));
}

void CodecDock::showStatsTableContextMenu(const QPoint& pos) {
    // The call under the cursor, taken now: while the menu is open that call may end, and the table
    // then makes another row current.
    const QTreeWidgetItem* row = ui.statsTable->itemAt(pos);
    statsMenuPeer = row ? std::optional<int>(row->data(0, StatsTable::kPeerIdRole).toInt()) : std::nullopt;
    statsMenuCodec = shown ? shown->uuid : QUuid();
    ui.actionDisconnectPeerFromStatTable->setEnabled(statsMenuPeer.has_value());
    popUpMenu({ui.actionDisconnectPeerFromStatTable}, ui.statsTable->viewport()->mapToGlobal(pos));
    statsMenuPeer.reset();
}

// ------------------------------------------------------------------------------------------------
// The event log

void CodecDock::fillEventLog() {
    // The program's own lines about the codec too, also those written while another codec was shown.
    trailingOwnLines = 0;
    if (shown) eventLog.show(shown->deviceLog.linesAmongEventLog(&trailingOwnLines));
}

void CodecDock::showEventLogRefusal() {
    const std::optional<IPCObject::Refusal> refusal = shown ? shown->eventLogRefusal() : std::nullopt;
    // Once above the log, however many polls the codec refuses alike: an empty log would read as
    // "no events".
    ui.eventLogRefusalLabel->setText(refusal ? eventLogRefusalText(refusal->code, refusal->text) : QString());
    ui.eventLogRefusalLabel->setVisible(refusal.has_value());
}

void CodecDock::eventLogAppend(const QStringList& lines) {
    // New entries go after every entry shown; the program's lines after those take their places
    // among them by time.
    if (!shown || trailingOwnLines == 0) {
        eventLog.append(lines);
        return;
    }
    const int replaced = trailingOwnLines;
    eventLog.replaceLast(replaced, shown->deviceLog.linesAmongNewEntries(lines, trailingOwnLines));
}

void CodecDock::logAppend(const LogLine& line) {
    // A codec whose clock runs ahead of this desktop's has entries this line goes before.
    if (shown && !shown->deviceLog.followsEveryEntry(line)) {
        fillEventLog();
        return;
    }
    eventLog.append({line.text});
    ++trailingOwnLines;
}

void CodecDock::handleLogButtonPress(QAbstractButton* button) {
    switch (ui.logButtonBox->standardButton(button)) {
    case QDialogButtonBox::Reset: resetLog(); break;
    case QDialogButtonBox::Save: eventLog.saveLog(); break;
    default: break;
    }
}

void CodecDock::resetLog() {
    if (shown) {
        shown->eventLog.clear();
        shown->cmd_get_event_log_noreply();
        shown->deviceLog.clear();
    }
    eventLog.clear();
    trailingOwnLines = 0;
}
