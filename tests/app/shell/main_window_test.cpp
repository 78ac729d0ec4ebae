// The main window as the operator meets it: its form, which entries act and which stay off, the
// enabling rules against live sessions on simulated codecs, the instance registry behind it, and
// the application object's last net under a failing slot.
#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QDockWidget>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/dock/codec_dock.h"
#include "app/dock/peer_items.h"
#include "app/dock/profile_list_panel.h"
#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_summary.h"
#include "app/shell/config_paths.h"
#include "tests/app/app_fixture.h"
#include "tests/app/popup_menu.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/qt_wait.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using app_test::AppFixture;
using test_support::wait_processing_events;

// Stands in for the desktop's file manager.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

QAction* action(MainWindow& window, const char* name) {
    return window.findChild<QAction*>(QString::fromLatin1(name));
}

// ------------------------------------------------------------------------------------------------
// The form

struct MenuCase {
    const char* menu;
    const char* title;
    const char* entries;  // action names, "-" for a separator
};

const MenuCase kMenus[] = {
    {"menuFile", "File", "actionExit"},
    {"menuView", "View", "actionGeneralOverview actionStatsOverview - actionShowMainWindow actionShow_Scheduler"},
    {"menuZORVA", "Codec",
     "actionAddDevice actionRemoveDevice - actionCopyNodeId - actionCopyProfile actionEditProfile - actionAddEntry "
     "actionEditEntry - actionEnableMetering actionDisableMetering - actionEnableLogging actionDisableLogging - "
     "actionStart_service actionStop_service actionSetSounds"},
    {"menuFleet", "Fleet", "actionDisconnectFleet"},
    {"menuOptions", "Alerts", "actionSound actionAllowDefaultAlerts"},
    {"menuHELP", "Help", "actionAbout actionHelp actionConfigDir"},
};

struct ActionCase {
    const char* name;
    const char* text;
    const char* icon;      // file under :/icons/, or empty
    const char* shortcut;  // portable text; "help" for the platform's standard help key
    const char* toolTip;   // empty: the text, as Qt makes it
};

const ActionCase kActions[] = {
    {"actionAddDevice", "Add Instance...", "add.svg", "Ctrl+N", ""},
    {"actionRemoveDevice", "Remove Instance", "delete.svg", "Del", ""},
    {"actionAbout", "About", "", "help", ""},
    {"actionConnect", "Connect", "player_play.svg", "", ""},
    {"actionDisconnect", "Disconnect All", "player_stop.svg", "", ""},
    {"actionEditProfile", "Edit Profile...", "edit.svg", "", ""},
    {"actionConfigure", "Configure Instance", "gear.svg", "", "View and edit instance settings"},
    {"actionSendProfile", "Copy Profile to...", "document-go.svg", "", "Copy the selected profile to other devices"},
    {"actionEnableMetering", "Enable Metering", "green_check.svg", "", ""},
    {"actionDisableMetering", "Disable Metering", "red_x.svg", "", ""},
    {"actionSetDefaultProfile", "Set this as the Unit's Default Profile", "", "", ""},
    {"actionInputPassword", "Input Password...", "key.svg", "", ""},
    {"actionGeneralOverview", "Tiled", "", "Ctrl+D", ""},
    {"actionSound", "Play Connection Alerts", "sound.svg", "", "Enable or disable device alerts"},
    {"actionSetSounds", "Set Alert Sounds...", "", "",
     "Define which .wav files are played by Kestrane when certain device events happen."},
    {"actionAllowDefaultAlerts", "Enable the Default Alert Sounds", "", "",
     "Allow or disallow the built-in alert sounds to play for device events when a wav file isn't provided"},
    {"actionCopyNodeId", "Copy MAC Address", "", "", "Copy the MAC Address of this unit\n"},
    {"actionShow_Scheduler", "Show Scheduler", "", "Ctrl+2", ""},
    {"actionScheduleSelectedConnection", "Schedule Connection to Selected Peer...", "clock.svg", "", ""},
    {"actionShowMainWindow", "Show Main Window", "", "Ctrl+1", ""},
};

using MainWindowTest = AppFixture;

TEST_F(MainWindowTest, FormHoldsTheMenusAndActions) {
    MainWindow& opened = openWindow();
    QStringList titles;
    for (QAction* menu : opened.menuBar()->actions()) titles << menu->text();
    EXPECT_EQ(titles.join(','), "File,View,Codec,Fleet,Alerts,Help");
    for (const MenuCase& expected : kMenus) {
        QStringList entries;
        for (QAction* entry : opened.findChild<QMenu*>(expected.menu)->actions()) {
            entries << (entry->isSeparator() ? QStringLiteral("-") : entry->objectName());
        }
        EXPECT_EQ(entries.join(' ').toStdString(), expected.entries) << expected.menu;
        EXPECT_EQ(opened.findChild<QMenu*>(expected.menu)->title(), expected.title);
    }
    for (const ActionCase& expected : kActions) {
        SCOPED_TRACE(expected.name);
        QAction* found = action(opened, expected.name);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->text(), expected.text);
        const bool is_help = std::string(expected.shortcut) == "help";
        EXPECT_EQ(found->shortcut(),
                  is_help ? QKeySequence(QKeySequence::HelpContents) : QKeySequence(expected.shortcut));
        if (*expected.toolTip) {
            EXPECT_EQ(found->toolTip(), expected.toolTip);
        }
        // Our own icons, drawn: an action without one has none.
        EXPECT_EQ(found->icon().pixmap(16, 16).isNull(), *expected.icon == '\0');
    }
    // The alert switch shows its state by its icon: a speaker with waves when on, crossed out when off.
    const QIcon sound = action(opened, "actionSound")->icon();
    EXPECT_NE(sound.pixmap(16, QIcon::Normal, QIcon::On).toImage(),
              sound.pixmap(16, QIcon::Normal, QIcon::Off).toImage());
    EXPECT_FALSE(action(opened, "actionHelp")->isVisible());
    EXPECT_FALSE(action(opened, "actionStart_service")->isVisible());
    EXPECT_EQ(opened.windowTitle(), "Kestrane");
    auto* peers = opened.findChild<QTreeWidget*>("peerList");
    EXPECT_EQ(peers->headerItem()->text(4), "Outbound Braidlink ");
    EXPECT_EQ(opened.findChild<QTreeWidget*>("statsTable")->headerItem()->text(9), "Remote Loss");
    const QTreeWidgetItem& summary = *opened.findChild<QTreeWidget*>("summaryTree")->headerItem();
    QStringList summaryHeaders;
    for (int column = 0; column < summary.columnCount(); ++column) summaryHeaders << summary.text(column);
    EXPECT_EQ(summaryHeaders.join('|'),
              "Name|IP|Status|Connections|Levels|RX Frame Loss|RX Latency|Duration|Scheduled");
}

// ------------------------------------------------------------------------------------------------
// Sessions on simulated codecs

// Codecs of each kind in this process, and the window's sessions on them. The workers run.
class WindowWithCodecs : public AppFixture {
protected:
    WindowWithCodecs() {
        CodecSimOptions options;
        fleet = std::make_unique<CodecSim>(options);
        options.mode = CodecSimMode::kLegacy;
        legacy = std::make_unique<CodecSim>(options);
        options.mode = CodecSimMode::kNormal;
        options.silent_after_ms = 1;
        silent = std::make_unique<CodecSim>(options);
        folder.writeConfig("<config/>");  // so that "Open Config Folder" has a folder to open
        openWindow();
        pool->start_managers();
    }

    ~WindowWithCodecs() override { closeWindow(); }

    // A codec added as the operator would, and made the active one.
    IPCObject* addCodec(uint16_t port) {
        IPCObject* session = findInstance(window->createInstance());
        session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
        window->summary()->tileSelected(window->summary()->addInstance(session));
        return session;
    }

    IPCObject* addReadyCodec(uint16_t port) {
        IPCObject* session = addCodec(port);
        EXPECT_TRUE(wait_processing_events([session] { return session->state() == IQEndpointClient::READY; }));
        window->handleAllEnables();
        return session;
    }

    std::unique_ptr<CodecSim> fleet;
    std::unique_ptr<CodecSim> legacy;
    std::unique_ptr<CodecSim> silent;
};

// "actionX" enabled, "visible:actionX" shown, "tab:N" tab N of the details enabled.
bool stateOf(MainWindow& window, const std::string& key) {
    if (key.rfind("visible:", 0) == 0) return action(window, key.c_str() + 8)->isVisible();
    if (key.rfind("tab:", 0) == 0) {
        return window.findChild<QTabWidget*>("statusTabWidget")->isTabEnabled(std::stoi(key.substr(4)));
    }
    if (QAction* found = action(window, key.c_str())) return found->isEnabled();
    return window.findChild<QWidget*>(QString::fromStdString(key))->isEnabled();
}

void addPeerItem(MainWindow& window, bool isDirectory, const QString& id = QStringLiteral("5")) {
    auto* item = new QTreeWidgetItem(window.findChild<QTreeWidget*>("peerList"));
    item->setData(0, kPeerIdRole, id);
    item->setData(0, kPeerActiveRole, false);
    item->setData(0, kPeerDirectoryRole, isDirectory);
    item->setSelected(true);
}

void addProfileItem(MainWindow& window, bool isFactory) {
    auto* item = new QListWidgetItem(QStringLiteral("Studio"), window.findChild<QListWidget*>("profileList"));
    item->setData(kProfileIdRole, QStringLiteral("3"));
    item->setData(kProfileFactoryRole, isFactory);
    item->setSelected(true);
}

struct EnableCase {
    const char* name;
    void (*setUp)(MainWindow&, IPCObject*);  // with the active session, READY unless the case says
    std::vector<std::pair<std::string, bool>> expected;
};

// clang-format off
const EnableCase kReadyCases[] = {
    {"metering on, logging off", nullptr,
     {{"peerList", true}, {"actionRemoveDevice", true}, {"actionCopyNodeId", true}, {"settingWidget", true},
      {"visible:actionEnableMetering", false}, {"visible:actionDisableMetering", true}, {"tab:5", true},
      {"tab:3", true}, {"eventLogText", true}, {"visible:actionEnableLogging", true},
      {"visible:actionDisableLogging", false}, {"statsTable", false}, {"actionDisconnect", false}}},
    {"metering off, logging on",
     [](MainWindow&, IPCObject* session) {
         session->setMeteringFlag(false);
         session->setEventLogPolling(true);
     },
     {{"visible:actionEnableMetering", true}, {"visible:actionDisableMetering", false}, {"tab:5", false},
      {"eventLogText", true}, {"visible:actionEnableLogging", false}, {"visible:actionDisableLogging", true}}},
    {"directory peer", [](MainWindow& window, IPCObject*) { addPeerItem(window, true); },
     {{"actionRemoveEntry", false}, {"actionSendPeer", false}, {"actionAssignDefaultProfile", true},
      {"actionAssignProfile", false}}},
    {"address-book peer and factory profile",
     [](MainWindow& window, IPCObject*) {
         addPeerItem(window, false);
         addProfileItem(window, true);
     },
     {{"actionRemoveEntry", true}, {"actionAssignProfile", true},
      {"actionSetDefaultProfile", true}, {"actionRemoveProfile", false}, {"actionSendProfile", false},
      {"actionEditProfile", false}}},
    {"incoming connection", [](MainWindow& window, IPCObject*) { addPeerItem(window, false, QStringLiteral("3-1")); },
     {{"actionRemoveEntry", false}, {"actionAssignDefaultProfile", true}}},
    {"profile of the operator's own", [](MainWindow& window, IPCObject*) { addProfileItem(window, false); },
     {{"actionRemoveProfile", true}, {"actionAssignProfile", false}, {"actionEditProfile", true}}},
};
// clang-format on

TEST_F(WindowWithCodecs, EnablesFollowTheActiveCodec) {
    MainWindow& opened = *window;
    // No codec: only the page switch for the other page shows.
    opened.handleAllEnables();
    for (const char* off :
         {"actionRemoveDevice", "peerList", "settingWidget", "tab:3", "tab:5", "visible:actionEnableMetering",
          "visible:actionDisableMetering", "visible:actionEnableLogging", "visible:actionStatsOverview"}) {
        EXPECT_FALSE(stateOf(opened, off)) << off;
    }
    EXPECT_TRUE(stateOf(opened, "visible:actionGeneralOverview"));

    // Connected, never READY: selectable and removable, nothing that sends.
    addCodec(silent->ports()[0]);
    opened.handleAllEnables();
    EXPECT_NE(instanceMap.first()->state(), IQEndpointClient::READY);
    // clang-format off
    for (const auto& [key, is_on] : std::vector<std::pair<std::string, bool>>{
             {"actionRemoveDevice", true}, {"tab:3", true}, {"peerList", false}, {"actionConnect", false},
             {"tab:5", false}, {"visible:actionDisableMetering", false}, {"settingWidget", false}}) {
        EXPECT_EQ(stateOf(opened, key), is_on) << "connecting: " << key;
    }
    // clang-format on

    for (const EnableCase& each : kReadyCases) {
        SCOPED_TRACE(each.name);
        opened.findChild<QTreeWidget*>("peerList")->clear();
        opened.findChild<QListWidget*>("profileList")->clear();
        IPCObject* session = addReadyCodec(fleet->ports()[0]);  // a new session each time
        if (each.setUp) each.setUp(opened, session);
        opened.handleAllEnables();
        for (const auto& [key, is_on] : each.expected) EXPECT_EQ(stateOf(opened, key), is_on) << key;
    }

    // A codec that speaks the old protocol has no tunnel page.
    addReadyCodec(legacy->ports()[0]);
    EXPECT_FALSE(stateOf(opened, "tab:3"));
    EXPECT_TRUE(stateOf(opened, "peerList"));
}

// What the operator can reach either acts or is off: nothing is clicked in vain.
TEST_F(WindowWithCodecs, EveryReachableEntryActsOrIsOff) {
    MainWindow& opened = *window;
    IPCObject* session = addReadyCodec(fleet->ports()[0]);
    addPeerItem(opened, false);
    addProfileItem(opened, false);
    opened.setSoundEnabled(true);
    opened.handleAllEnables();

    QStringList reachable;
    for (QAction* menu : opened.menuBar()->actions()) {
        for (QAction* entry : menu->menu()->actions()) {
            if (!entry->isSeparator() && entry->isVisible() && entry->isEnabled()) reachable << entry->objectName();
        }
    }
    reachable.sort();
    EXPECT_EQ(reachable.join(' ').toStdString(),
              "actionAbout actionAddDevice actionAddEntry actionAllowDefaultAlerts actionConfigDir actionCopyNodeId "
              "actionCopyProfile actionDisableMetering actionDisconnectFleet actionEditEntry actionEditProfile "
              "actionEnableLogging actionExit actionGeneralOverview actionRemoveDevice actionSetSounds "
              "actionShowMainWindow actionShow_Scheduler actionSound");
    // The selected peer is not in a connection: it can be connected, not disconnected.
    EXPECT_TRUE(stateOf(opened, "connectButton"));
    EXPECT_FALSE(stateOf(opened, "disconnectButton"));
    EXPECT_TRUE(stateOf(opened, "logButtonBox"));

    // Each switch flips the codec's flag and shows its other half.
    action(opened, "actionDisableMetering")->trigger();
    EXPECT_FALSE(session->meteringOn);
    EXPECT_TRUE(stateOf(opened, "visible:actionEnableMetering"));
    action(opened, "actionEnableMetering")->trigger();
    EXPECT_TRUE(session->meteringOn);
    action(opened, "actionEnableLogging")->trigger();
    EXPECT_TRUE(session->eventLogPolling);
    EXPECT_TRUE(stateOf(opened, "visible:actionDisableLogging"));
    action(opened, "actionDisableLogging")->trigger();
    EXPECT_FALSE(session->eventLogPolling);

    auto* summary_page = opened.summary()->findChild<QStackedWidget*>("stackedWidget");
    action(opened, "actionGeneralOverview")->trigger();
    EXPECT_EQ(summary_page->currentIndex(), 0);
    EXPECT_TRUE(stateOf(opened, "visible:actionStatsOverview"));
    action(opened, "actionStatsOverview")->trigger();
    EXPECT_EQ(summary_page->currentIndex(), 1);

    action(opened, "actionSound")->trigger();
    EXPECT_FALSE(opened.soundEnabled());
    EXPECT_FALSE(stateOf(opened, "actionAllowDefaultAlerts"));
    action(opened, "actionSound")->trigger();
    action(opened, "actionAllowDefaultAlerts")->trigger();
    EXPECT_TRUE(opened.defaultAlertsAllowed());

    UrlRecorder folders;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &folders, "open");
    action(opened, "actionConfigDir")->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(folders.urls, QList<QUrl>{QUrl::fromLocalFile(configDirPath())});
    // Where nothing opens it, a box gives the folder's path.
    MessageBoxRecorder boxes;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &folders, "noSuchSlot");
    action(opened, "actionConfigDir")->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_TRUE(boxes.lastText("Open Config Folder").endsWith("\n" + configDirPath()));

    opened.hide();
    action(opened, "actionShowMainWindow")->trigger();
    EXPECT_TRUE(opened.isVisible());

    action(opened, "actionRemoveDevice")->trigger();
    EXPECT_TRUE(instanceMap.isEmpty());
    auto* details = opened.findChild<QDockWidget*>("dockWidgetDetails")->findChild<QStackedWidget*>("stackedWidget");
    EXPECT_EQ(details->currentWidget()->objectName(), "page_invalid");
    action(opened, "actionExit")->trigger();
    EXPECT_FALSE(opened.isVisible());
}

// QObject::receivers is protected; this names it for the walk below.
class ConnectionCount : public QObject {
public:
    static int of(const QObject& object, const char* signal) { return (object.*&ConnectionCount::receivers)(signal); }
};

// Whether triggering reaches a slot. Every menu holding the action connects to it for itself.
bool isConnected(const QAction& action) {
    int menus = 0;
    for (const QWidget* holder : action.associatedWidgets()) menus += qobject_cast<const QMenu*>(holder) != nullptr;
    return ConnectionCount::of(action, SIGNAL(triggered(bool))) > menus ||
           ConnectionCount::of(action, SIGNAL(changed())) > 0;
}

// One walk over every menu the operator can open on a READY codec, each opened as a click would:
// whatever is shown and enabled there acts.
TEST_F(WindowWithCodecs, EveryEntryOfEveryMenuIsConnectedOrOff) {
    MainWindow& opened = *window;
    addReadyCodec(fleet->ports()[0]);
    // The codec's first address-book peer and first profile of its own, as a click selects them.
    auto* peers = opened.findChild<QTreeWidget*>("peerList");
    auto* profiles = opened.findChild<QListWidget*>("profileList");
    ASSERT_TRUE(wait_processing_events([&] { return peers->topLevelItemCount() > 0 && profiles->count() > 1; }));
    for (int i = 0; i < peers->topLevelItemCount() && peers->selectedItems().isEmpty(); ++i) {
        QTreeWidgetItem* peer = peers->topLevelItem(i);
        if (!peer->data(0, kPeerDirectoryRole).toBool()) peers->setCurrentItem(peer);
    }
    profiles->setCurrentRow(1);
    ASSERT_TRUE(wait_processing_events([&] { return action(opened, "actionRemoveEntry")->isEnabled(); }));
    opened.show();
    ZorvaSummary& summary = *opened.summary();
    CodecDock& dock = *opened.dock();
    // The codec's own menu last: opening it selects the codec anew, which refills the dock.
    const std::function<void()> openers[] = {
        [&] { dock.showPeerlistContextMenu(QPoint()); },
        [&] { dock.showProfilelistContextMenu(QPoint()); },
        [&] { dock.showMeterContextMenu(QPoint()); },
        [&] { dock.showStatsTableContextMenu(QPoint()); },
        [&] { summary.showContextMenu(QPoint()); },
        [&] { summary.showSummaryTreeContextMenu(QPoint()); },
        [&] { summary.tile(summary.selectedKey())->showContextMenu(QPoint(5, 5)); },
    };
    int entries = 0;
    QStringList idle;
    const auto walk = [&](const QList<QAction*>& menu) {
        for (const QAction* entry : menu) {
            if (entry->isSeparator() || !entry->isVisible()) continue;
            ++entries;
            if (entry->isEnabled() && !isConnected(*entry)) idle << entry->objectName();
        }
    };
    for (QAction* menu : opened.menuBar()->actions()) walk(menu->menu()->actions());
    for (const auto& open : openers) {
        app_test::onNextPopup([&](QMenu& popup) { walk(popup.actions()); });
        open();
    }
    EXPECT_GT(entries, 40);
    EXPECT_EQ(idle.join(' ').toStdString(), "");
}

// Linux's standard Delete key sequence also holds Ctrl+D, which is "Tiled"; removing a codec is Del
// alone, and only while the fleet view has the focus.
TEST_F(WindowWithCodecs, CtrlDOnlyTilesAndDelRemovesFromTheFleetView) {
    MainWindow& opened = *window;
    addCodec(silent->ports()[0]);
    opened.handleAllEnables();
    opened.show();
    QApplication::setActiveWindow(&opened);
    auto* tree = opened.summary()->findChild<QTreeWidget*>("summaryTree");
    auto* tabs = opened.findChild<QWidget*>("statusTabWidget");
    tree->setFocus();

    QTest::keyClick(tree, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(opened.summary()->currentPage(), 0);
    EXPECT_EQ(instanceMap.size(), 1);

    tabs->setFocus();
    QTest::keyClick(tabs, Qt::Key_Delete);
    EXPECT_EQ(instanceMap.size(), 1);
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Delete);
    EXPECT_TRUE(instanceMap.isEmpty());
}

}  // namespace

#include "main_window_test.moc"
