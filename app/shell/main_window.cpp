#include "app/shell/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QUrl>

#include <algorithm>
#include <optional>

#include "app/dock/codec_dock.h"
#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "app/fleet/password_prompt_queue.h"
#include "app/fleet/zorva_summary.h"
#include "app/shared/frame_clock.h"
#include "app/shared/view_colours.h"
#include "app/shell/config_paths.h"
#include "app/shell/instance_registry.h"
#include "app/shell/my_q_application.h"
#include "dialogs/about_dialog.h"
#include "dialogs/add_device.h"
#include "dialogs/email_assignment_dialog.h"
#include "dialogs/email_management_dialog.h"
#include "dialogs/kestrane_resources.h"
#include "dialogs/message_box.h"
#include "dialogs/refusal_notice.h"
#include "dialogs/settings_edit.h"
#include "scheduler/schedule_connection.h"
#include "scheduler/schedule_window.h"
#include "scheduler/scheduler.h"
#include "scheduler/sound_select.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "sessions/session_requests.h"
#include "text/decimal_id.h"
#include "ui_main_window.h"

MainWindow* mainWindowInstance = nullptr;

namespace {

// The details dock's share of a first start's height, and the least it gets: what its pages need to
// show whole (the Statistics page its graphs at their least above the table's first rows); they
// scroll inside a dock made smaller. Left to its size hint, the dock would take two thirds of the
// height and leave the fleet a handful of rows.
constexpr int kFirstStartDockPercent = 42;
constexpr int kFirstStartDockMinHeight = 290;

constexpr int kStatsSectionWidths[] = {85, 55, 88, 58, 58, 80, 55, 70, 70};  // sections 1 to 9

// The dock's status tabs that follow the active codec.
constexpr int kBraidlinkTab = 3;
constexpr int kMetersTab = 5;

// Fills a codec's menu with `actions` and two separators, which belong to the menu: they set off the
// connection pair at the top and the add and remove pair at the end.
void fillInstanceMenu(QMenu& menu, QList<QAction*> actions) {
    if (actions.size() >= 4) {
        auto* before_last_two = new QAction(&menu);
        before_last_two->setSeparator(true);
        actions.insert(actions.size() - 2, before_last_two);
        auto* after_first_two = new QAction(&menu);
        after_first_two->setSeparator(true);
        actions.insert(2, after_first_two);
    }
    menu.addActions(actions);
}

// Appends each address the list does not hold yet (exact text); what it holds keeps its place.
void addMissingAddresses(QList<QString>& list, const QStringList& addresses) {
    for (const QString& address : addresses) {
        if (!list.contains(address)) list.append(address);
    }
}

}  // namespace

MainWindow::MainWindow(QWidget* parent, AlertPlayer* alertOutput)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      configStore(*this),
      alertPlayer(alertOutput ? *alertOutput : soundPlayer),
      refusalNotice(new RefusalNotice(this)),
      deviceEventHandler(alertPlayer, [this] {
          return std::optional<DeviceEventHandler::SoundSwitches>({soundEnabledFlag, defaultAlertsFlag});
      }) {
    initKestraneResources();
    ui->setupUi(this);
    firstStartSize = size();
    ui->actionHelp->setVisible(false);
    ui->nameLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setupStatsTable();
    codecDock = new CodecDock(*ui, *this);
    connect(codecDock, &CodecDock::enablesChanged, this, &MainWindow::handleAllEnables);
    ui->settingWidget->setEnabled(false);
    connect(ui->settingWidget, &SettingsEdit::saveRequested, this, &MainWindow::sendUpdatedSettings);
    ui->stackedWidget->setCurrentWidget(ui->page_invalid);  // no codec is active yet
    if (!mainWindowInstance) mainWindowInstance = this;
    // Stays off for the whole run when there was no file at start: the folder may not exist yet.
    if (!QFileInfo::exists(configFilePath())) ui->actionConfigDir->setEnabled(false);
    ui->peerList->setAlternatingRowColors(true);
    ui->profileList->setAlternatingRowColors(true);
    connectActions();
    connectInstanceActions();
    setupShortcuts();
    ui->actionAllowDefaultAlerts->setEnabled(soundEnabledFlag);
    ui->actionStart_service->setVisible(false);
    ui->actionStop_service->setVisible(false);
    for (QWidget* button : {static_cast<QWidget*>(ui->connectButton), static_cast<QWidget*>(ui->disconnectButton)}) {
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setColor(QColor(2, 2, 2, 255));
        shadow->setBlurRadius(10.0);
        shadow->setOffset(1.0, 1.0);
        button->setGraphicsEffect(shadow);
    }
    setPalette();
    ui->menuHELP->removeAction(ui->actionNick);
    // Repaints the fleet at most thirty times a second, however its codecs report, and tells the
    // pacer at each frame what is in sight. The details dock has a clock of its own for when it
    // floats, and is shown and hidden apart from the window.
    for (QWidget* paced : {static_cast<QWidget*>(this), static_cast<QWidget*>(ui->dockWidgetDetails)}) {
        connect(new FrameClock(paced), &FrameClock::frameEnded, this, &MainWindow::reportWhatIsInSight);
    }
}

void MainWindow::reportWhatIsInSight() {
    ui->w_summary->placeRowMetersInSight();
    ReportPacer::Demand demand;
    ui->w_summary->addDemand(demand);
    codecDock->addDemand(demand);
    reportPacer.setDemand(demand);
}

void MainWindow::restoreLayout(const QByteArray& geometry, const QByteArray& state) {
    if (restoreGeometry(geometry)) isFirstSizePending = false;
    if (restoreState(state, 0)) isDockSplitPending = false;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (isFirstSizePending && screen()) fitFirstStart(screen()->availableGeometry());
    if (isDockSplitPending) splitFirstStartDock();
    isFirstSizePending = false;
    isDockSplitPending = false;
}

void MainWindow::fitFirstStart(const QRect& available) {
    // Not shown yet, the window has no frame to measure: room is kept for a window manager's title
    // bar and borders.
    const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    const QSize frame(2 * border, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 2 * border);
    resize(firstStartSize.boundedTo(available.size() - frame).expandedTo(minimumSizeHint()));
    if (!available.contains(QRect(pos(), size() + frame))) move(available.topLeft());
    splitFirstStartDock();
}

void MainWindow::splitFirstStartDock() {
    const int dockHeight = std::max(kFirstStartDockMinHeight, height() * kFirstStartDockPercent / 100);
    resizeDocks({ui->dockWidgetDetails}, {dockHeight}, Qt::Vertical);
}

MainWindow::~MainWindow() {
    deviceEventHandler.setSwitchReader({});
    if (mainWindowInstance == this) mainWindowInstance = nullptr;
    saveConfig();
    if (Scheduler* jobs = scheduler()) {
        jobs->stopTimer();
        jobs->save();
    }
    delete scheduleWindow;
    // Before the form: the dock reaches its widgets through it.
    delete codecDock;
    codecDock = nullptr;
    delete ui;
}

void MainWindow::setupStatsTable() {
    ui->statsTable->setHeaderLabels({tr("Remote Unit"), tr("Duration"), tr("RX Rate"), tr("RX Overhead"),
                                     tr("RX Delay"), tr("TX Rate"), tr("TX Overhead"), tr("TX Delay"), tr("Frame Loss"),
                                     tr("Remote Loss")});
    ui->statsTable->setAlternatingRowColors(true);
    ui->statsTable->setSelectionMode(QAbstractItemView::SingleSelection);
    int section = 1;
    for (const int width : kStatsSectionWidths) ui->statsTable->header()->resizeSection(section++, width);
}

void MainWindow::setupShortcuts() {
    ui->actionGeneralOverview->setShortcut(QKeySequence(tr("Ctrl+D")));
    ui->actionAbout->setShortcut(QKeySequence::HelpContents);
    ui->actionAddDevice->setShortcut(QKeySequence(tr("Ctrl+N")));
    // Del alone: Linux's standard Delete also holds Ctrl+D, which is "Tiled". It removes a codec
    // only while the fleet view has the focus, never while the operator edits text elsewhere.
    ui->actionRemoveDevice->setShortcut(QKeySequence(Qt::Key_Delete));
    ui->actionRemoveDevice->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ui->w_summary->addAction(ui->actionRemoveDevice);
}

void MainWindow::setPalette() {
    const std::pair<QLabel*, const QColor*> legend[] = {
        {ui->glabelCorrection, &correctionColor}, {ui->glabelDelay, &delayColor},
        {ui->glabelFrameLoss, &frameLossColor},   {ui->glabelJitter, &jitterColor},
        {ui->glabelRemoteLoss, &remoteLossColor}, {ui->glabelTarget, &targetColor},
    };
    for (const auto& [label, colour] : legend) {
        QPalette palette = label->palette();
        palette.setBrush(QPalette::All, label->foregroundRole(), QBrush(*colour));
        label->setPalette(palette);
    }
}

void MainWindow::connectActions() {
    connect(ui->actionExit, &QAction::triggered, this, &MainWindow::exit);
    connect(ui->w_summary, &ZorvaSummary::selectionChanged, this, &MainWindow::activeInstanceSelected);
    connect(ui->w_summary, &ZorvaSummary::menuRequested, this, &MainWindow::showCodecMenu);
    connect(ui->w_summary, &ZorvaSummary::pageChanged, this, &MainWindow::handleAllEnables);
    connect(ui->actionRemoveDevice, &QAction::triggered, this, &MainWindow::removeInstance);
    connect(ui->actionStatsOverview, &QAction::triggered, ui->w_summary, &ZorvaSummary::showStatsOverview);
    connect(ui->actionGeneralOverview, &QAction::triggered, ui->w_summary, &ZorvaSummary::showGeneralOverview);
    connect(ui->actionSound, &QAction::changed, this, &MainWindow::soundToggle);
    connect(ui->actionAllowDefaultAlerts, &QAction::changed, this, &MainWindow::actionAllowDefaultAlertsTriggered);
    connect(ui->actionEnableAlertEmails, &QAction::triggered, this, &MainWindow::emailEnableTriggered);
    connect(ui->actionNick, &QAction::triggered, this, &MainWindow::nick);
    connect(ui->actionAddDevice, &QAction::triggered, this, &MainWindow::addNewInstance);
    connect(ui->actionSetSounds, &QAction::triggered, this, &MainWindow::setSoundsTriggered);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    connect(ui->actionShow_Scheduler, &QAction::triggered, this, &MainWindow::showScheduler);
    connect(ui->actionScheduleConnection, &QAction::triggered, this, &MainWindow::scheduleConnectionTriggered);
    connect(ui->actionScheduleSelectedConnection, &QAction::triggered, this,
            &MainWindow::scheduleSelectedConnectionTriggered);
    if (IQCommonPooledApp* pool = IPCObject::sessionPool()) {
        // Normally the workers have stopped already; this covers a window that ends another way.
        connect(this, &QObject::destroyed, pool, qOverload<QObject*>(&IQCommonPooledApp::stop_managers));
    }
}

void MainWindow::initialize() {
    ui->w_summary->setScheduler(scheduler());
    configStore.load();
    ui->w_summary->layoutTiles();
    ui->w_summary->updateCount();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/gear.svg")), this);
        trayIcon->setToolTip(windowTitle());
        connect(trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::trayIconActivated);
        trayIcon->show();
    }
}

ZorvaSummary* MainWindow::summary() const {
    return ui->w_summary;
}

QUuid MainWindow::createInstance() {
    IQCommonPooledApp* pool = IPCObject::sessionPool();
    // Asked first, so that no session is made only to be thrown away: a session ends only through
    // markForDeletion.
    if (!pool || pool->available_spots() <= 0) return QUuid();
    const QUuid key = QUuid::createUuid();
    const QString name = key.toString();
    auto* session = new IPCObject(name, key);
    if (!pool->add_client(name, session)) {
        session->markForDeletion();
        return QUuid();
    }
    instanceMap.insert(key, session);
    reportPacer.follow(session);
    connect(session, &IPCObject::deviceEvent, &deviceEventHandler, &DeviceEventHandler::handleEvent);
    connect(session, &IPCObject::requestFailed, refusalNotice,
            [notice = refusalNotice, session](QUuid, QString, QString code, QString text, FailureEffect effect) {
                notice->report(*session, code, text, effect);
            });
    return key;
}

// ------------------------------------------------------------------------------------------------
// Enabling

void MainWindow::handleAllEnables() {
    // With no codec at all nothing counts, whatever the window still holds.
    const bool has_instances = ui->w_summary->hasInstances();
    IPCObject* session = has_instances ? activeInstance.data() : nullptr;
    const bool is_active = session != nullptr;
    const bool is_ready = is_active && session->state() == IQEndpointClient::READY;
    const bool is_metering = is_ready && session->meteringOn;
    const bool is_logging = is_ready && session->eventLogPolling;
    const bool has_tunnel = is_active && session->takesSubscriptions();
    const bool has_connections = is_ready && !session->activePeerList().isEmpty();

    const QListWidgetItem* profile = has_instances ? ui->profileList->selectedItems().value(0) : nullptr;
    const bool has_profile = profile != nullptr;
    const bool is_factory = has_profile && profile->data(kProfileFactoryRole).toBool();
    const QTreeWidgetItem* peer = has_instances ? ui->peerList->selectedItems().value(0) : nullptr;
    const bool has_peer = peer != nullptr;
    const bool is_directory = has_peer && peer->data(0, kPeerDirectoryRole).toBool();
    const bool is_peer_active = has_peer && peer->data(0, kPeerActiveRole).toBool();
    // Read as the commands read it: an incoming connection's "3-1" names no address-book entry.
    const std::optional<int> peer_id = has_peer ? readDecimalId(peer->data(0, kPeerIdRole).toString()) : std::nullopt;
    const bool is_editable_peer = has_peer && !is_directory && peer_id && *peer_id >= 0;
    const bool is_editable_profile = has_profile && !is_factory;
    IQCommonPooledApp* pool = IPCObject::sessionPool();
    const bool has_room = pool && pool->available_spots() > 0;
    const int page = ui->w_summary->currentPage();

    // What the codec last said stays in sight, greyed while it is not live.
    for (QWidget* shown : {static_cast<QWidget*>(ui->peerList), static_cast<QWidget*>(ui->profileList),
                           static_cast<QWidget*>(ui->peerFilterLine), static_cast<QWidget*>(ui->profileFilterLine),
                           static_cast<QWidget*>(ui->statusGroupBox)}) {
        shown->setEnabled(is_ready);
    }
    ui->actionAddDevice->setEnabled(has_room);
    ui->actionRemoveDevice->setEnabled(is_active);
    ui->actionAddEntry->setEnabled(is_ready);
    // Whatever sends to the active codec needs it READY: the session drops commands otherwise.
    ui->actionEditEntry->setEnabled(is_ready && is_editable_peer);
    ui->actionRemoveEntry->setEnabled(is_ready && is_editable_peer);
    ui->actionConfigure->setEnabled(is_ready);
    ui->actionShowNetStats->setEnabled(is_ready);
    ui->actionConnect->setEnabled(is_ready);
    ui->actionCopyProfile->setEnabled(is_ready && has_profile);
    ui->actionDisconnect->setEnabled(has_connections);
    ui->actionEditProfile->setEnabled(is_ready && is_editable_profile);
    ui->actionRemoveProfile->setEnabled(is_ready && is_editable_profile);
    ui->actionUseDirectoryPeers->setEnabled(is_ready);
    ui->actionSendPeer->setEnabled(is_editable_peer);
    ui->actionSendProfile->setEnabled(is_editable_profile);
    ui->actionEnableMetering->setVisible(is_ready && !is_metering);
    ui->actionDisableMetering->setVisible(is_metering);
    ui->actionEnableLogging->setVisible(is_ready && !is_logging);
    ui->actionDisableLogging->setVisible(is_logging);
    ui->actionSetDefaultProfile->setEnabled(is_ready && has_profile);
    ui->actionAssignProfile->setEnabled(is_ready && has_profile && has_peer);
    ui->actionAssignDefaultProfile->setEnabled(is_ready && has_peer);
    ui->statusTabWidget->setTabEnabled(kMetersTab, is_metering);
    ui->statusTabWidget->setTabEnabled(kBraidlinkTab, has_tunnel);
    ui->connectButton->setEnabled(is_ready && has_profile && has_peer && !is_peer_active);
    ui->disconnectButton->setEnabled(is_ready && has_peer && is_peer_active);
    ui->statsTable->setEnabled(has_connections);
    ui->settingWidget->setEnabled(is_ready);
    ui->actionGeneralOverview->setVisible(page != 0);
    ui->actionStatsOverview->setVisible(page != 1);
    for (QAction* action :
         {ui->actionSetSounds, ui->actionManageAddresses, ui->actionCopyNodeId, ui->actionScheduleConnection}) {
        action->setEnabled(is_ready);
    }
    ui->logButtonBox->setEnabled(is_ready);
}

// ------------------------------------------------------------------------------------------------
// The active instance

void MainWindow::activeInstanceSelected(IPCObject* session) {
    if (activeInstance) disconnect(activeInstance, nullptr, this, nullptr);
    activeInstance = session;
    if (codecDock) codecDock->showSession(session);
    if (!session) {
        handleAllEnables();
        ui->stackedWidget->setCurrentWidget(ui->page_invalid);
        return;
    }
    ui->stackedWidget->setCurrentWidget(ui->w_details);
    connect(session, &IPCObject::changedState, this, &MainWindow::selectedWidgetChangedState);
    handleAllEnables();
}

void MainWindow::selectedWidgetChangedState(QUuid, IQEndpointClient::DEVICE_STATE) {
    handleAllEnables();
}

// ------------------------------------------------------------------------------------------------
// Instances: menus, removal, switches, password, fleet disconnect

void MainWindow::connectInstanceActions() {
    connect(ui->actionEnableMetering, &QAction::triggered, this, &MainWindow::enableMetering);
    connect(ui->actionDisableMetering, &QAction::triggered, this, &MainWindow::disableMetering);
    connect(ui->actionEnableLogging, &QAction::triggered, this, &MainWindow::enableLogReading);
    connect(ui->actionDisableLogging, &QAction::triggered, this, &MainWindow::disableLogReading);
    connect(ui->actionInputPassword, &QAction::triggered, this, &MainWindow::showPasswordDialog);
    connect(ui->actionDisconnectFleet, &QAction::triggered, this, &MainWindow::doDisconnectAllFleet);
}

QList<QAction*> MainWindow::instanceMenuActions(IPCObject* session) const {
    QList<QAction*> actions{ui->actionConnect, ui->actionDisconnect};
    const IQEndpointClient::DEVICE_STATE state = session->state();
    if (state == IQEndpointClient::AUTH_FAILED) actions << ui->actionInputPassword;
    QAction* metering = session->meteringOn ? ui->actionDisableMetering : ui->actionEnableMetering;
    if (state == IQEndpointClient::READY) {
        actions << ui->actionCopyNodeId << metering << ui->actionScheduleConnection;
    } else {
        actions << metering;
    }
    actions << ui->actionSetSounds;
    actions << summaryMenuActions();
    actions << ui->actionRemoveDevice;
    return actions;
}

void MainWindow::showCodecMenu(IPCObject* session, const QPoint& globalPos) {
    // Not the tile's menu: "Remove Instance" deletes the tile while the menu runs.
    QMenu menu;
    if (session) {
        fillInstanceMenu(menu, instanceMenuActions(session));
    } else {
        menu.addActions(summaryMenuActions());
    }
    if (!menu.isEmpty()) menu.exec(globalPos);
}

QList<QAction*> MainWindow::summaryMenuActions() const {
    const IQCommonPooledApp* pool = IPCObject::sessionPool();
    if (pool && pool->available_spots() > 0) return {ui->actionAddDevice};
    return {};
}

bool MainWindow::anyInstanceReady() {
    return ::anyInstanceReady();
}

void MainWindow::removeInstance() {
    ui->w_summary->removeInstance(ui->w_summary->selectedKey());
    handleAllEnables();
}

void MainWindow::enableMetering() {
    if (!activeInstance) return;
    activeInstance->cmd_metering_on();
    ui->w_summary->setMeterShown(ui->w_summary->selectedKey(), true);
    handleAllEnables();
}

void MainWindow::disableMetering() {
    if (!activeInstance) return;
    activeInstance->cmd_metering_off();
    ui->w_summary->setMeterShown(ui->w_summary->selectedKey(), false);
    handleAllEnables();
}

void MainWindow::enableLogReading() {
    if (!activeInstance) return;
    activeInstance->setEventLogPolling(true);
    handleAllEnables();
}

void MainWindow::disableLogReading() {
    if (!activeInstance) return;
    activeInstance->setEventLogPolling(false);
    handleAllEnables();
}

void MainWindow::showPasswordDialog() {
    if (activeInstance) ui->w_summary->passwordPrompts().askOnRequest(activeInstance->uuid);
}

void MainWindow::doDisconnectAllFleet() {
    for (IPCObject* session : qAsConst(instanceMap)) {
        if (session->state() == IQEndpointClient::READY) session->cmd_disconnect_peer(IPCObject::Asker::kOperator);
    }
}

void MainWindow::sendUpdatedSettings(Message message) {
    if (!activeInstance) return;
    namespace wire = session_requests;
    const std::string name = message.name();
    if (name == "directoryServer") {
        activeInstance->send(wire::AskedRequest(std::move(message), wire::kSetDirectoryServer));
    } else if (name == "sysOptions") {
        activeInstance->send(wire::AskedRequest(std::move(message), wire::kSetSysOptions));
    }
}

// ------------------------------------------------------------------------------------------------
// Adding codecs, alert sounds and the about box

void MainWindow::addNewInstance() {
    AddDevice dialog;
    dialog.setWindowTitle(tr("Add Instance"));
    // Two sessions on one codec would both log in, and the scheduler could not tell them apart.
    QList<std::pair<QString, int>> fleet;
    for (const IPCObject* session : qAsConst(instanceMap)) fleet.append({session->host, session->port});
    dialog.setFleetAddresses(fleet);
    if (dialog.exec() != QDialog::Accepted) return;
    IPCObject* session = findInstance(createInstance());
    if (!session) {
        MessageBox::show(nullptr, {QMessageBox::Warning, QString(), tr("Maximum number of codecs reached."),
                                   QMessageBox::Ok, QMessageBox::Ok});
        return;
    }
    session->setAddress(dialog.address(), dialog.port());
    ui->w_summary->selectTile(ui->w_summary->addInstance(session));
    session->setConnection(dialog.address(), dialog.port(), QString::fromLatin1(IPCObject::kDefaultPassword));
    ui->w_summary->layoutTiles();
    dialog.storeSoundsTo(*session);
    // At once: the codec is part of the fleet whether or not Kestrane ends cleanly.
    saveConfig();
}

void MainWindow::assignEmailAddressesTriggered() {
    if (instanceMap.isEmpty()) {
        MessageBox::warning(this, tr("No Devices"),
                            tr("To assign an alert email address to a device, you must first add a device to "
                               "Kestrane."));
        return;
    }
    if (!anyInstanceReady()) {
        MessageBox::warning(this, tr("No Devices Ready"),
                            tr("No devices are currently ready. Make sure you have an active internet connection "
                               "on this computer and on your codecs, then try again."));
        return;
    }
    EmailAssignmentDialog dialog;
    dialog.setUnits(instanceMap.values());
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList addresses = dialog.addresses();
    for (const QUuid& key : dialog.selectedUnits()) {
        // Looked up again: the codec may have been removed while the dialog was open.
        if (IPCObject* session = findInstance(key)) addMissingAddresses(session->alertEmails, addresses);
    }
    saveConfig();
}

void MainWindow::manageEmailAddressesTriggered() {
    if (!activeInstance) return;
    const QUuid key = activeInstance->uuid;
    EmailManagementDialog dialog;
    dialog.setAddresses(*activeInstance);
    if (dialog.exec() != QDialog::Accepted) return;
    if (IPCObject* still_there = findInstance(key)) still_there->alertEmails = dialog.addresses();
    saveConfig();
}

void MainWindow::setSoundsTriggered() {
    if (activeInstance) setIPCWavs(activeInstance);
}

void MainWindow::setIPCWavs(IPCObject* session) {
    if (!session) return;
    const QUuid key = session->uuid;
    SoundSelect dialog;
    dialog.setModal(true);
    dialog.setWindowTitle(tr("Set Alert Sounds"));
    dialog.fillFrom(*session);
    // Looked up again: the codec may have been removed while the dialog was open.
    if (dialog.exec() == QDialog::Accepted) {
        if (IPCObject* still_there = findInstance(key)) dialog.storeTo(*still_there);
    }
    saveConfig();
}

void MainWindow::showAbout() {
    AboutDialog dialog(configFilePath(), this);
    dialog.exec();
}

// ------------------------------------------------------------------------------------------------
// Scheduled connections

Scheduler* MainWindow::scheduler() {
    MyQApplication* application = myApplication();
    return application ? &application->scheduler() : nullptr;
}

void MainWindow::showScheduler() {
    Scheduler* jobs = scheduler();
    if (!jobs) return;
    if (!scheduleWindow) {
        scheduleWindow = new ScheduleWindow(*jobs);
        scheduleWindow->addJobEntries(jobs->jobList());
        scheduleWindow->refreshEntries();
        connect(scheduleWindow, &QObject::destroyed, this, &MainWindow::schedulerClosed);
    }
    scheduleWindow->show();
    scheduleWindow->raise();
    scheduleWindow->activateWindow();
}

void MainWindow::schedulerClosed() {
    scheduleWindow = nullptr;
}

void MainWindow::scheduleConnectionTriggered() {
    scheduleConnection(false);
}

void MainWindow::scheduleSelectedConnectionTriggered() {
    scheduleConnection(true);
}

void MainWindow::scheduleConnection(bool preselectPeer) {
    Scheduler* jobs = scheduler();
    if (!jobs || !activeInstance) return;
    std::optional<QString> peer_id;
    if (preselectPeer) {
        // No peer selected: none is chosen, rather than the list's first.
        const QTreeWidgetItem* peer = ui->peerList->selectedItems().value(0);
        peer_id = peer ? peer->data(0, kPeerIdRole).toString() : QString();
    }
    ::scheduleConnection(*jobs, activeInstance, peer_id, this);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    Scheduler* jobs = scheduler();
    if (jobs && jobs->hasPendingJobs()) {
        const MessageBox::Request question{
            QMessageBox::Warning, tr("Warning"),
            tr("There are scheduled connections pending: closing Kestrane will prevent them from running. "
               "Are you sure you want to close kestrane?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
        if (MessageBox::show(this, question) != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    delete scheduleWindow;
    event->accept();
}

// ------------------------------------------------------------------------------------------------
// Switches, raising and closing

void MainWindow::setSoundEnabled(bool on) {
    ui->actionSound->setChecked(on);
    soundEnabledFlag = on;
}

void MainWindow::setDefaultAlertsAllowed(bool on) {
    ui->actionAllowDefaultAlerts->setChecked(on);
    defaultAlertsFlag = on;
}

void MainWindow::soundToggle() {
    soundEnabledFlag = ui->actionSound->isChecked();
    ui->actionAllowDefaultAlerts->setEnabled(soundEnabledFlag);
}

bool MainWindow::actionAllowDefaultAlertsTriggered() {
    defaultAlertsFlag = ui->actionAllowDefaultAlerts->isChecked();
    return defaultAlertsFlag;
}

bool MainWindow::emailEnableTriggered() {
    emailEnabledFlag = ui->actionEnableAlertEmails->isChecked();
    return emailEnabledFlag;
}

bool MainWindow::detailDockFloating() const {
    return ui->dockWidgetDetails->isFloating();
}

QByteArray MainWindow::detailDockGeometry() const {
    return ui->dockWidgetDetails->saveGeometry().toBase64();
}

void MainWindow::setDetailDockFloating(bool floating) {
    ui->dockWidgetDetails->setFloating(floating);
}

void MainWindow::restoreDetailDockGeometry(const QByteArray& base64) {
    ui->dockWidgetDetails->restoreGeometry(QByteArray::fromBase64(base64));
}

void MainWindow::nick() {
    if (activeInstance) activeInstance->sayHi();
}

void MainWindow::trayIconActivated(QSystemTrayIcon::ActivationReason) {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    switchTo();
}

void MainWindow::switchTo() {
    show();
    raise();
    activateWindow();
}

void MainWindow::on_actionShowMainWindow_triggered() {
    switchTo();
}

void MainWindow::exit() {
    close();
}

void MainWindow::on_actionConfigDir_triggered() {
    const QString folder = configDirPath();
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) return;
    // Where no file manager is installed the path at least tells the operator where to look.
    MessageBox::warning(this, tr("Open Config Folder"),
                        tr("No program could open the configuration folder. It is:\n%1").arg(folder));
}
