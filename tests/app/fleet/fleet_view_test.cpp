// The fleet views as the operator meets them: the tile grid and its selection, the instance count,
// the codec menus, the tiles and rows against live sessions on simulated codecs, the statistics
// columns, the metering switch and the schedule clocks.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "app/dock/codec_dock.h"
#include "app/dock/peer_items.h"
#include "app/fleet/instance_widget.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/fleet/zorva_summary.h"
#include "app/shared/codec_text.h"
#include "app/shared/frame_clock.h"
#include "app/shared/mini_meter.h"
#include "app/shared/statistics_text.h"
#include "app/shared/view_colours.h"
#include "ipc/net/ipc_dropped_frame.h"
#include "scheduler/scheduler.h"
#include "tests/app/app_fixture.h"
#include "tests/app/paint_counter.h"
#include "tests/app/popup_menu.h"
#include "tests/app/widget_image.h"
#include "tests/support/qt_wait.h"
#include "tests/support/unplaced_session.h"
#include "text/connection_fault_text.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using app_test::AppFixture;
using app_test::onNextPopup;
using test_support::UnplacedSession;
using test_support::wait_processing_events;

class FleetViewTest : public AppFixture {
protected:
    ZorvaSummary& view() { return *window->summary(); }
    QTreeWidget& tree() { return *view().findChild<QTreeWidget*>("summaryTree"); }

    // A codec as the configuration loader adds it; it connects only when given a port.
    QUuid addCodec(uint16_t port = 0, const QString& password = QStringLiteral("tarnel")) {
        IPCObject* session = findInstance(window->createInstance());
        if (port) {
            session->setConnection(QStringLiteral("127.0.0.1"), port, password);
        } else {
            session->setAddress(QStringLiteral("127.0.0.1"), 1);
        }
        const QUuid key = view().addInstance(session);
        view().layoutTiles();
        return key;
    }

    IPCObject* sessionOf(const QUuid& key) { return view().tile(key)->session(); }
};

QString labelText(const QWidget& tile, const char* name) {
    return tile.findChild<QLabel*>(name)->text();
}

// The texts of a popup menu's entries, "-" for a separator.
QStringList entriesOf(const QMenu& menu) {
    QStringList entries;
    for (const QAction* action : menu.actions()) {
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return entries;
}

// ------------------------------------------------------------------------------------------------
// The grid, the selection and removal

TEST_F(FleetViewTest, TilesSelectAndCloseTheGapWhenOneIsRemoved) {
    openWindow();
    std::vector<QUuid> keys;
    for (int i = 0; i < 5; ++i) keys.push_back(addCodec());
    auto* grid = qobject_cast<QGridLayout*>(view().findChild<QWidget*>("scrollAreaContents")->layout());
    auto placeOf = [&](const QUuid& key) {
        int row = 0, column = 0, rows = 0, columns = 0;
        grid->getItemPosition(grid->indexOf(view().tile(key)), &row, &column, &rows, &columns);
        return std::make_pair(row, column);
    };
    for (int i = 0; i < 5; ++i) EXPECT_EQ(placeOf(keys[i]), std::make_pair(i / 4, i % 4)) << i;

    std::vector<IPCObject*> selections;
    QObject::connect(&view(), &ZorvaSummary::selectionChanged, &view(),
                     [&selections](IPCObject* session) { selections.push_back(session); });
    QPointer<InstanceWidget> second = view().tile(keys[1]);
    QTest::mouseClick(second, Qt::LeftButton);
    QTest::mouseClick(second, Qt::LeftButton);  // again: the window refills its dock
    ASSERT_EQ(selections.size(), 2u);
    EXPECT_EQ(selections.at(1), second->session());
    // The selected tile wears a yellow frame; the others do not.
    EXPECT_EQ(app_test::rgb(app_test::pixel(app_test::render(*second), 3, 33)), "255,240,0");
    EXPECT_NE(app_test::rgb(app_test::pixel(app_test::render(*view().tile(keys[0])), 3, 33)), "255,240,0");

    window->removeInstance();
    ASSERT_EQ(selections.size(), 3u);
    EXPECT_EQ(selections.at(2), nullptr);
    EXPECT_EQ(instanceMap.size(), 4);
    EXPECT_EQ(tree().topLevelItemCount(), 4);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    const QUuid remaining[] = {keys[0], keys[2], keys[3], keys[4]};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(placeOf(remaining[i]), std::make_pair(0, i)) << i;

    window->removeInstance();  // the removed codec is still the last selected: nothing happens
    EXPECT_EQ(selections.size(), 3u);
    EXPECT_EQ(instanceMap.size(), 4);
    EXPECT_EQ(tree().topLevelItemCount(), 4);
}

// The highlighted codec is the one the dock shows, whether a key or the mouse moved it there, and
// Del removes that one; then nothing is highlighted. On the tree and on the tiles alike.
TEST_F(FleetViewTest, KeysMoveTheActiveCodecAndDelRemovesTheHighlightedOne) {
    openWindow();
    for (int i = 0; i < 6; ++i) addCodec();
    window->show();
    QApplication::setActiveWindow(window.get());
    const auto shown = [&] { return window->dock()->session(); };

    view().showStatsOverview();
    tree().setFocus();
    EXPECT_EQ(tree().currentItem(), nullptr);  // the focus alone selects nothing
    const std::pair<Qt::Key, int> tree_keys[] = {{Qt::Key_Down, 0}, {Qt::Key_End, 5}, {Qt::Key_Up, 4}};
    for (const auto& [key, row] : tree_keys) {
        QTest::keyClick(&tree(), key);
        const ZorvaStatRow* selected = view().summaryRow(view().selectedKey());
        ASSERT_NE(selected, nullptr) << row;
        EXPECT_EQ(selected->item(), tree().topLevelItem(row));
        EXPECT_EQ(shown(), selected->session());
    }
    IPCObject* highlighted = shown();
    QTest::keyClick(&tree(), Qt::Key_Delete);
    EXPECT_FALSE(instanceMap.values().contains(highlighted));
    EXPECT_EQ(shown(), nullptr);
    EXPECT_EQ(tree().currentItem(), nullptr);
    EXPECT_TRUE(tree().selectedItems().isEmpty());

    view().showGeneralOverview();
    const QList<IPCObject*> tiles = view().sessionsInTileOrder();   // five left, four to a row
    QWidget* focus = view().findChild<QScrollArea*>("scrollArea");  // where Tab enters the page
    const std::pair<Qt::Key, int> tile_keys[] = {{Qt::Key_Home, 0}, {Qt::Key_Right, 1}, {Qt::Key_Down, 1},
                                                 {Qt::Key_Left, 0}, {Qt::Key_Down, 4},  {Qt::Key_End, 4}};
    for (const auto& [key, tile] : tile_keys) {
        QTest::keyClick(focus, key);
        EXPECT_EQ(shown(), tiles.at(tile)) << tile;
        focus = QApplication::focusWidget();
    }
    // The selected tile shows the focus while it or its grid has it.
    const QImage focused = app_test::render(*focus);
    view().findChild<QWidget*>("scrollArea")->setFocus();
    EXPECT_TRUE(app_test::samePixels(app_test::render(*focus), focused));
    window->findChild<QWidget*>("statusTabWidget")->setFocus();
    EXPECT_FALSE(app_test::samePixels(app_test::render(*focus), focused));
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_Delete);
    EXPECT_FALSE(instanceMap.values().contains(tiles.at(4)));
    EXPECT_EQ(shown(), nullptr);
}

// A click on the last row, half out of sight, chooses that row: the tree scrolls it into view only
// once the click is over, so a pointer that moves a little while pressed stays on it.
TEST_F(FleetViewTest, AClickOnAHalfHiddenRowChoosesIt) {
    openWindow();
    for (int i = 0; i < 12; ++i) addCodec();
    view().showStatsOverview();
    window->show();
    QWidget* viewport = tree().viewport();
    // The viewport's height a row and a half short of whole rows: the last row in sight is cut.
    const int rowHeight = tree().visualItemRect(tree().topLevelItem(0)).height();
    ASSERT_GT(rowHeight, 0);
    const int wanted = 4 * rowHeight + rowHeight / 2;
    ASSERT_TRUE(wait_processing_events([&] {
        if (viewport->height() != wanted) tree().setFixedHeight(tree().height() + wanted - viewport->height());
        return viewport->height() == wanted;
    }));
    QTreeWidgetItem* cut = tree().itemAt(5, viewport->height() - 2);
    ASSERT_NE(cut, nullptr);
    ASSERT_GT(tree().visualItemRect(cut).bottom(), viewport->height());
    const QPoint at(5, viewport->height() - 3);
    QTest::mousePress(viewport, Qt::LeftButton, {}, at);
    QMouseEvent moved(QEvent::MouseMove, at + QPoint(1, 0), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &moved);
    // Held as long as a hand holds a click: near the edge, a tree would scroll under the pointer.
    const int scrolled = tree().verticalScrollBar()->value();
    EXPECT_FALSE(wait_processing_events([&] { return tree().verticalScrollBar()->value() != scrolled; },
                                        std::chrono::milliseconds(400)));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at + QPoint(1, 0));
    EXPECT_EQ(tree().currentItem(), cut);
    EXPECT_EQ(tree().selectedItems(), QList<QTreeWidgetItem*>{cut});
    EXPECT_LE(tree().visualItemRect(cut).bottom(), viewport->height());  // in sight once the click is over
}

// A laptop's screen and a netbook's, at a first start and filled: the window within the screen, four
// tiles side by side, the meter page unscrolled at the first size, and at both the dock's buttons,
// filters, Save and the statistics table's first rows in sight, no page scrolled.
TEST_F(FleetViewTest, TheWindowFitsASmallScreen) {
    openWindow();
    QUuid key;
    for (int i = 0; i < 4; ++i) key = addCodec();
    view().showGeneralOverview();
    window->show();
    view().tile(key)->select();
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("statusTabWidget"));
    auto* table = window->findChild<QTreeWidget*>(QStringLiteral("statsTable"));
    for (const char* peer : {"Studio A", "Studio B"}) new QTreeWidgetItem(table, {peer});
    const auto isInside = [](QWidget* widget, const QRect& screen) {
        return widget->isVisible() && screen.contains(QRect(widget->mapToGlobal(QPoint()), widget->size())) &&
               widget->visibleRegion().boundingRect().contains(widget->rect());
    };
    const auto showTab = [&](const char* tab, const char* page) {
        tabs->setTabEnabled(tabs->indexOf(window->findChild<QWidget*>(tab)), true);
        tabs->setCurrentWidget(window->findChild<QWidget*>(tab));
        auto* scrolled = window->findChild<QScrollArea*>(page);
        EXPECT_TRUE(wait_processing_events([&] { return scrolled->isVisible(); })) << page;
        QCoreApplication::processEvents();
        return scrolled->verticalScrollBar()->maximum() == 0;
    };
    for (const QRect screen : {QRect(0, 0, 1366, 768), QRect(0, 0, 1024, 600)}) {
        const int width = screen.width();
        window->fitFirstStart(screen);
        auto* tiles = view().findChild<QScrollArea*>("scrollArea");
        EXPECT_TRUE(wait_processing_events([&] { return !tiles->horizontalScrollBar()->isVisible(); })) << width;
        EXPECT_TRUE(screen.contains(window->geometry())) << width;
        EXPECT_TRUE(showTab("meterTab", "meterScrollArea")) << width;
        for (const QSize size : {window->size(), screen.size()}) {
            window->resize(size);
            EXPECT_TRUE(showTab("connectionsTab", "connectionsScrollArea")) << width;
            for (const char* name : {"connectButton", "disconnectButton", "peerFilterLine", "profileFilterLine"}) {
                EXPECT_TRUE(isInside(window->findChild<QWidget*>(name), screen)) << name << " at " << size.width();
            }
            EXPECT_TRUE(showTab("settingsTab", "settingsScrollArea")) << width;
            EXPECT_TRUE(isInside(window->findChild<QWidget*>("buttonSave"), screen)) << size.width();
            EXPECT_TRUE(showTab("statsTab", "statsScrollArea")) << width;
            const int lastRow = table->visualItemRect(table->topLevelItem(1)).bottom();
            EXPECT_LT(lastRow, table->viewport()->height()) << size.width();
            EXPECT_TRUE(isInside(table, screen)) << size.width();
        }
    }
}

TEST_F(FleetViewTest, CountSaysHowManyMoreFit) {
    openWindow();
    const struct {
        int sessions;
        const char* text;
    } cases[] = {
        {0, "0 instances."},
        {192, "192 instances."},
        {193, "193 instances (63 more can be added)."},
        {255, "255 instances (1 more can be added)."},
        {256, "256 instances (no more can be added)."},
    };
    auto* count = view().findChild<QLabel*>("labelCodecCount");
    for (const auto& c : cases) {
        while (instanceMap.size() < c.sessions) ASSERT_FALSE(window->createInstance().isNull());
        view().updateCount();
        EXPECT_EQ(count->text(), c.text);
    }
    EXPECT_TRUE(window->createInstance().isNull());
    EXPECT_TRUE(window->summaryMenuActions().isEmpty());
    for (const QAction* action : window->instanceMenuActions(instanceMap.first())) {
        EXPECT_NE(action->objectName(), "actionAddDevice");
    }
}

// A right click on a row presses it first (selecting the codec), then opens the codec's menu. From
// a tile's own menu, "Remove Instance" deletes the tile while the menu still runs.
TEST_F(FleetViewTest, CodecMenusSelectFirstAndSurviveTheirTilesRemoval) {
    openWindow();
    window->show();
    addCodec();
    const QUuid key = addCodec();
    QTreeWidgetItem* item = view().summaryRow(key)->item();
    const QPoint at = tree().visualItemRect(item).center();

    QStringList entries;
    onNextPopup([&](QMenu& menu) { entries = entriesOf(menu); });
    QTest::mousePress(tree().viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, tree().viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree().viewport(), &click);
    EXPECT_EQ(view().selectedKey(), key);
    EXPECT_EQ(entries.join('|'), "Connect|Disconnect All|-|Disable Metering|Set Alert Sounds...|-|Add Instance...|"
                                 "Remove Instance");

    view().showGeneralOverview();
    QPointer<InstanceWidget> tile = view().tile(key);
    bool was_deleted_inside = false;
    onNextPopup([&](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (action->text() == "Remove Instance") action->trigger();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        was_deleted_inside = tile.isNull();
    });
    tile->showContextMenu(QPoint(5, 5));
    EXPECT_TRUE(was_deleted_inside);
    EXPECT_EQ(instanceMap.size(), 1);
}

// ------------------------------------------------------------------------------------------------
// Tiles and rows against a live session

// ... and when the codec is lost, nothing of its connection stays on show as if current.
TEST_F(FleetViewTest, TileRowAndDockFollowTheSessionToReadyAndBack) {
    CodecSimOptions options;
    options.count = 1;
    auto codec = std::make_unique<CodecSim>(options);
    openWindow();
    pool->start_managers();
    const QUuid key = addCodec(codec->ports()[0]);
    InstanceWidget& tile = *view().tile(key);
    tile.select();
    QTreeWidgetItem& row = *view().summaryRow(key)->item();
    // Recorded after the tile's and the row's own slots have run.
    QStringList seen;
    QObject::connect(sessionOf(key), &IPCObject::changedState, &tile, [&](QUuid, IQEndpointClient::DEVICE_STATE) {
        const QString icon = tile.findChild<QWidget*>("stateIcon")->styleSheet().section('(', 1).section(')', 0, 0);
        seen << labelText(tile, "stateLabel") + "/" + row.text(ZorvaStatRow::kStatusColumn) + "/" + icon;
    });
    ASSERT_TRUE(wait_processing_events([&] { return seen.size() >= 3; }));
    EXPECT_EQ(seen.join(" ").toStdString(),
              "Connecting/Connecting/:icons/yellow backbend arrow.svg Logging in.../Logging in/:icons/yellow backbend "
              "arrow.svg Ready/Ready/:icons/green_check.svg");
    EXPECT_EQ(labelText(tile, "nameLabel"), "Studio 1");
    EXPECT_EQ(row.text(ZorvaStatRow::kNameColumn), "Studio 1");
    EXPECT_EQ(row.text(ZorvaStatRow::kAddressColumn), QStringLiteral("127.0.0.1:%1").arg(codec->ports()[0]));
    EXPECT_EQ(labelText(tile, "peerSummaryLabel"), "[idle]");

    // Connecting a peer fills the receiving connection's figures.
    QString peer;
    {
        std::lock_guard<SessionMutex> lock(sessionOf(key)->mutex());
        peer = sessionOf(key)->bookPeers.first()->id;
    }
    ASSERT_TRUE(sessionOf(key)->cmd_connect(peer));
    ASSERT_TRUE(wait_processing_events([&] { return !row.text(ZorvaStatRow::kDurationColumn).isEmpty(); }));
    EXPECT_TRUE(row.text(ZorvaStatRow::kLatencyColumn).endsWith("ms"));
    EXPECT_TRUE(row.text(ZorvaStatRow::kFrameLossColumn).endsWith("%"));
    EXPECT_EQ(row.text(ZorvaStatRow::kStatusColumn), "1 connected");
    EXPECT_EQ(labelText(tile, "stateLabel"), "1 connected");
    auto* stats = window->findChild<QTreeWidget*>("statsTable");
    auto* peers = window->findChild<QTreeWidget*>("peerList");
    const auto activePeers = [&] {  // by role or by colour
        int active = 0;
        for (int i = 0; i < peers->topLevelItemCount(); ++i) {
            const QTreeWidgetItem& item = *peers->topLevelItem(i);
            active += item.data(0, kPeerActiveRole).toBool() || item.background(0).color() == activePeerBackground;
        }
        return active;
    };
    ASSERT_TRUE(wait_processing_events([&] { return stats->topLevelItemCount() == 1 && activePeers() == 1; }));

    codec.reset();
    ASSERT_TRUE(wait_processing_events([&] { return labelText(tile, "stateLabel") == "Not connected"; }));
    for (const int column : {ZorvaStatRow::kConnectionsColumn, ZorvaStatRow::kFrameLossColumn,
                             ZorvaStatRow::kLatencyColumn, ZorvaStatRow::kDurationColumn}) {
        EXPECT_EQ(row.text(column), "") << column;
    }
    EXPECT_EQ(labelText(tile, "peerSummaryLabel"), "");
    EXPECT_EQ(tile.findChild<QLabel*>("peerSummaryLabel")->toolTip(), "");
    EXPECT_EQ(stats->topLevelItemCount(), 0);
    EXPECT_EQ(activePeers(), 0);
    EXPECT_EQ(window->findChild<QLabel*>("encoderLabel")->text(), "None");
    EXPECT_EQ(window->findChild<QLabel*>("healthLabel")->text(), "Not connected: the codec closed the connection");
    auto* relaydesk = window->findChild<QLabel*>("relaydeskStatusLabel");  // greyed, not "Online" in green
    EXPECT_TRUE(!relaydesk->isEnabled() && relaydesk->styleSheet().isEmpty()) << relaydesk->styleSheet().toStdString();
}

PeerMetaPtr activePeer(const QString& id, const QString& name, const QString& addr, bool transmits, bool receives) {
    auto peer = std::make_shared<PeerMeta>();
    peer->id = id;
    peer->name = name;
    peer->addr = addr;
    peer->active = true;
    peer->channel = std::make_unique<PeerChannelInfo>();
    peer->channel->channel = QStringLiteral("1");
    peer->channel->transmitting = transmits;
    peer->channel->receiving = receives;
    return peer;
}

QString shownToolTip(const QWidget& widget) {
    QTextDocument document;
    document.setHtml(widget.toolTip());
    return document.toPlainText();
}

// What a codec names (unit, peers) is shown as it is, never as markup.
TEST(FleetTile, ShowsPeersAndNamesAsPlainText) {
    const QUuid uuid = QUuid::createUuid();
    UnplacedSession session(uuid.toString(), uuid);
    Message options;
    options.set_name("sysOptions");
    options.attributes().set("unit_name", std::string("<b>x</b>"));
    session.cache_message(options, "sysOptions");
    InstanceWidget tile(nullptr, &session, QUuid::createUuid());
    tile.ipcRecvSysOptions(uuid);
    EXPECT_EQ(labelText(tile, "nameLabel"), "<b>x</b>");
    EXPECT_EQ(tile.findChild<QLabel*>("nameLabel")->textFormat(), Qt::PlainText);

    session.set_state(IQEndpointClient::READY);
    const struct {
        QList<PeerMetaPtr> peers;
        const char* label;
        const char* tip;
        const char* state;
    } cases[] = {
        {{}, "[idle]", "Device is not connected to any peer.", "Ready"},
        {{activePeer("3", "<i>Oslo</i>", "192.0.2.1", true, true)},
         "<i>Oslo</i>",
         "Device is transmitting to and receiving from 192.0.2.1",
         "1 connected"},
        {{activePeer("3", "<i>Oslo</i>", "192.0.2.1", false, true), activePeer("4", "Rome", "192.0.2.2", false, false)},
         "(2 devices connected)",
         "RX: <i>Oslo</i> (192.0.2.1)\n???: Rome (192.0.2.2)\n",
         "2 connected"},
    };
    for (const auto& c : cases) {
        {
            std::lock_guard<SessionMutex> lock(session.mutex());
            session.activePeers = c.peers;
        }
        tile.ipcRecvPeerList(uuid);
        EXPECT_EQ(labelText(tile, "peerSummaryLabel"), c.label);
        EXPECT_EQ(shownToolTip(*tile.findChild<QLabel*>("peerSummaryLabel")).trimmed(), QString(c.tip).trimmed());
        EXPECT_EQ(labelText(tile, "stateLabel"), c.state);
    }
    // However many peers a codec lists, the tip stays as short as any tip of codec text.
    QList<PeerMetaPtr> many;
    for (int i = 0; i < 100; ++i) many << activePeer(QString::number(i), QString(400, 'n'), "192.0.2.9", true, true);
    {
        std::lock_guard<SessionMutex> lock(session.mutex());
        session.activePeers = many;
    }
    tile.ipcRecvPeerList(uuid);
    EXPECT_EQ(shownToolTip(*tile.findChild<QLabel*>("peerSummaryLabel")).size(), CodecText::kToolTipLength);
}

// A codec's tile and row, and what both their tool tips tell of its health ("differ" when they do
// not agree).
struct HealthViews {
    explicit HealthViews(IPCObject& session)
        : tile(nullptr, &session, QUuid::createUuid()), row(&session, QUuid::createUuid()) {}

    QString told() {
        rowTip.setToolTip(row.item()->toolTip(ZorvaStatRow::kStatusColumn));
        return shownToolTip(tile) == shownToolTip(rowTip) ? shownToolTip(tile).trimmed() : QStringLiteral("differ");
    }

    InstanceWidget tile;
    ZorvaStatRow row;
    QLabel rowTip;  // the row's tool tip, read as a widget's
};

// Why a codec's connection last failed, as its tile, its row and the dock's header tell it, plainly,
// until it is READY again.
TEST(FleetTile, TheLastFailureIsToldUntilReady) {
    const std::pair<ConnectionFault, const char*> cases[] = {
        {{ConnectionFault::kLoginRefused, {}, 0}, "the codec refused the password"},
        {{ConnectionFault::kTimedOut, {}, 0}, "the codec stopped answering"},
        {{ConnectionFault::kTooSlow, "3 bytes of one message in 14 s", 3},
         "bytes from the codec came too slowly (3 bytes of one message in 14 s)"},
        {{ConnectionFault::kCouldNotConnect, "Connection refused", 0}, "could not connect: Connection refused"},
        {{ConnectionFault::kClosedByCodec, {}, 0}, "the codec closed the connection"},
        {{ConnectionFault::kConnectionError, "Connection reset by peer", 0},
         "the connection failed: Connection reset by peer"},
        {{ConnectionFault::kFrameUnreadable, "<b>not UTF-8</b>", 0},
         "a message from the codec could not be read and was dropped: <b>not UTF-8</b>"},
        {{ConnectionFault::kFrameTooLarge, {}, 3145728},
         "a message from the codec was too large (3145728 bytes) and was dropped"},
        {{ConnectionFault::kNoAnswer, "setSysOptions", 0}, "the codec did not answer setSysOptions within 15 s"},
        {{ConnectionFault::kNoAnswer, {}, 0, true},
         "no answer of the codec's came through for 15 s, though its reports did; at least one message from it was "
         "dropped meanwhile and may have held an answer"},
    };
    const QUuid uuid = QUuid::createUuid();
    UnplacedSession session(uuid.toString(), uuid);
    HealthViews views(session);
    for (const auto& [fault, words] : cases) {
        session.note_fault(fault);
        const QString expected = QStringLiteral("Last failure: ") + words;
        EXPECT_TRUE(wait_processing_events([&] { return views.told() == expected; })) << words;
        EXPECT_EQ(views.row.item()->toolTip(ZorvaStatRow::kNameColumn),
                  views.row.item()->toolTip(ZorvaStatRow::kStatusColumn));
        EXPECT_EQ(codecStatusLine(session), QStringLiteral("Not connected: ") + words);
    }
    session.set_state(IQEndpointClient::READY);
    EXPECT_TRUE(wait_processing_events([&] { return views.told().isEmpty(); }));
}

// What a codec dropped since its link came up, the login's drops too, as its tile, its row and the
// dock's header tell it, plainly: only while it is READY, until the operator has seen it.
TEST(FleetTile, DropsAreToldWhileReadyUntilSeen) {
    const IPCDroppedFrame markup{IPCDroppedFrame::kUnreadable, "read_xml_element: <b>bad</b>", 9, "<a"};
    const struct {
        const char* label;
        std::function<void(UnplacedSession&)> step;
        const char* told;  // a pattern; empty: nothing is told
    } steps[] = {
        {"a drop in the login",
         [&](UnplacedSession& s) {
             s.set_state(IQEndpointClient::AUTHENTICATED);
             s.on_frame_dropped(markup);
         },
         "Last failure: a message from the codec could not be read and was dropped: <b>bad</b>"},
        {"then READY", [](UnplacedSession& s) { s.set_state(IQEndpointClient::READY); },
         R"(1 message from the codec was dropped since it connected, at \d\d:\d\d:\d\d: unreadable \(<b>bad</b>\))"},
        {"seen", [](UnplacedSession& s) { s.markLinkDropsSeen(); }, ""},
    };
    const QUuid uuid = QUuid::createUuid();
    UnplacedSession session(uuid.toString(), uuid);
    HealthViews views(session);
    for (const auto& step : steps) {
        step.step(session);
        const QRegularExpression told(QStringLiteral("^%1$").arg(step.told));
        EXPECT_TRUE(wait_processing_events([&] { return told.match(views.told()).hasMatch(); }))
            << step.label << ": " << views.told().toStdString();
        if (session.state() == IQEndpointClient::READY) {
            EXPECT_EQ(codecStatusLine(session), views.told()) << step.label;
        }
    }
}

// ------------------------------------------------------------------------------------------------
// The statistics columns

TEST(FleetRow, FiguresReadAsTheOperatorExpects) {
    EXPECT_EQ(durationText(3725), "01:02:05");
    EXPECT_EQ(durationText(90000), "25:00:00");  // a call longer than a day, as the dock shows it
    EXPECT_EQ(tenthsText(1234, "ms"), "123ms");
    EXPECT_EQ(tenthsText(5, "%"), "0%");
    EXPECT_EQ(tenthsText(-15, "%"), "-1%");
}

// Gives the READY session a receiving connection with this average delay (tenths of a millisecond).
void receiveWithDelay(IPCObject& session, int delay) {
    session.set_state(IQEndpointClient::READY);
    std::lock_guard<SessionMutex> lock(session.mutex());
    session.receivingPeerId = QStringLiteral("7");
    session.peerById.insert(7, activePeer("7", "Oslo", "192.0.2.1", true, true));
    PeerStatsInfo stats;
    stats.bufferDelayAvg = delay;
    session.peerStatsById.insert(7, stats);
    session.channelStatsById.insert(1, ChannelStatsInfo());
}

// A codec whose statistics stopped coming: its row says "Stale: " and slants its figures, so that
// they show otherwise than live on a selected row too, where the selection's colours hide their grey.
TEST(FleetRow, StaleFiguresShowOnASelectedRow) {
    const QUuid key = QUuid::createUuid();
    UnplacedSession session(key.toString(), key);
    QTreeWidget tree;
    tree.setColumnCount(ZorvaStatRow::kColumnCount);
    ZorvaStatRow row(&session, key);
    tree.addTopLevelItem(row.item());
    tree.resize(1200, 120);
    tree.show();
    session.setStatisticsInterval(500);  // at the codec's own pace, unlearned, stale takes two minutes
    receiveWithDelay(session, 1234);
    const std::string figuresXml = R"(<peerStats><peer id="7" callTime="65" frameLossRate="5"/></peerStats>)";
    ASSERT_TRUE(session.receive("peerStats", figuresXml));
    row.updateStats(key);
    row.item()->setSelected(true);
    const auto figures = [&] {
        const QRect item = tree.visualItemRect(row.item());
        const int left = tree.header()->sectionViewportPosition(ZorvaStatRow::kFrameLossColumn);
        const int right = tree.header()->sectionViewportPosition(ZorvaStatRow::kDurationColumn) +
                          tree.header()->sectionSize(ZorvaStatRow::kDurationColumn);
        return tree.viewport()->grab(QRect(left, item.top(), right - left, item.height())).toImage();
    };
    ASSERT_TRUE(app_test::flushPostedEvents());
    const QImage live = figures();
    ASSERT_EQ(row.item()->text(ZorvaStatRow::kDurationColumn), "00:01:05");

    ASSERT_TRUE(wait_processing_events([&] { return session.areStatisticsStale(); }));
    EXPECT_TRUE(row.item()->text(ZorvaStatRow::kStatusColumn).startsWith("Stale: "));
    EXPECT_FALSE(row.item()->font(ZorvaStatRow::kNameColumn).italic());
    ASSERT_TRUE(app_test::flushPostedEvents());
    EXPECT_FALSE(app_test::samePixels(figures(), live));

    ASSERT_TRUE(session.receive("peerStats", figuresXml));
    ASSERT_TRUE(app_test::flushPostedEvents());
    EXPECT_TRUE(app_test::samePixels(figures(), live));
}

// A click on "RX Latency" sorts by the number, not the text; a changed figure finds its place again.
TEST_F(FleetViewTest, LatencySortsByNumber) {
    openWindow();
    window->show();
    std::vector<QUuid> keys;
    for (const int delay : {1234, 95, 450}) {
        keys.push_back(addCodec());
        receiveWithDelay(*sessionOf(keys.back()), delay);
        view().summaryRow(keys.back())->updateStats(QUuid());
    }
    QHeaderView* header = tree().header();
    const int x = header->sectionViewportPosition(ZorvaStatRow::kLatencyColumn) + 10;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    const auto order = [&] {
        QStringList texts;
        for (int i = 0; i < tree().topLevelItemCount(); ++i) {
            texts << tree().topLevelItem(i)->text(ZorvaStatRow::kLatencyColumn);
        }
        return texts.join(' ');
    };
    EXPECT_EQ(order(), "9ms 45ms 123ms");

    receiveWithDelay(*sessionOf(keys[1]), 3000);
    view().summaryRow(keys[1])->updateStats(QUuid());
    EXPECT_TRUE(wait_processing_events([&] { return order() == "45ms 123ms 300ms"; })) << order().toStdString();
}

// A row out of the tree's sight keeps only the cell the tree sorts by current; the others catch up
// when it comes into sight.
TEST_F(FleetViewTest, RowsOutOfSightKeepOnlyTheirSortCellCurrent) {
    openWindow();
    window->show();
    std::vector<QUuid> keys;
    for (int i = 0; i < 40; ++i) keys.push_back(addCodec());
    // The last codec has the longest delay and call throughout, so its row stays the last.
    const auto report = [&](int index, int delay) {
        IPCObject& session = *sessionOf(keys.at(index));
        receiveWithDelay(session, delay);
        {
            std::lock_guard<SessionMutex> lock(session.mutex());
            session.peerStatsById[7].callTime = index == 39 ? 3600 : 0;
        }
        view().summaryRow(keys.at(index))->updateStats(QUuid());
    };
    for (int i = 0; i < 40; ++i) report(i, 100 + i);
    view().showStatsOverview();
    tree().sortByColumn(ZorvaStatRow::kLatencyColumn, Qt::AscendingOrder);
    const ZorvaStatRow& first = *view().summaryRow(keys.front());
    ASSERT_TRUE(wait_processing_events([&] { return first.existingMeter() != nullptr; }));  // a frame showed the tree
    const QTreeWidgetItem& last = *view().summaryRow(keys.back())->item();
    const auto cell = [&](int column) { return last.text(column); };

    const QString shownDuration = cell(ZorvaStatRow::kDurationColumn);
    report(39, 5000);
    EXPECT_EQ(cell(ZorvaStatRow::kLatencyColumn), "500ms");
    EXPECT_EQ(cell(ZorvaStatRow::kDurationColumn), shownDuration);
    // Sorted by it, a cell is current at once.
    tree().sortByColumn(ZorvaStatRow::kDurationColumn, Qt::AscendingOrder);
    EXPECT_EQ(cell(ZorvaStatRow::kDurationColumn), durationText(3600));
    EXPECT_EQ(tree().topLevelItem(tree().topLevelItemCount() - 1), &last);

    report(39, 7000);
    EXPECT_EQ(cell(ZorvaStatRow::kLatencyColumn), "500ms");
    tree().scrollToBottom();
    EXPECT_TRUE(wait_processing_events([&] { return cell(ZorvaStatRow::kLatencyColumn) == "700ms"; }));
}

// A new row takes its place among the sorted rows, in either order.
TEST_F(FleetViewTest, NewRowsTakeTheirPlaceInTheSortedTree) {
    openWindow();
    const auto add = [&](int port) {
        IPCObject* session = findInstance(window->createInstance());
        session->setAddress(QStringLiteral("127.0.0.1"), port);
        view().addInstance(session);
    };
    const auto ports = [&] {
        QStringList texts;
        for (int i = 0; i < tree().topLevelItemCount(); ++i) {
            texts << tree().topLevelItem(i)->text(ZorvaStatRow::kNameColumn).section(':', -1);
        }
        return texts.join(' ').toStdString();
    };
    for (const int port : {7, 3, 9, 5}) add(port);
    EXPECT_EQ(ports(), "3 5 7 9");
    view().treeHeader().setSortIndicator(ZorvaStatRow::kNameColumn, Qt::DescendingOrder);
    for (const int port : {6, 1, 8}) add(port);
    EXPECT_EQ(ports(), "9 8 7 6 5 3 1");
}

// ------------------------------------------------------------------------------------------------
// Metering and the schedule

TEST_F(FleetViewTest, MeteringSwitchesTheLevelsCellEvenWhenQuick) {
    openWindow();
    window->show();
    const QUuid key = addCodec();
    view().tile(key)->select();
    view().showStatsOverview();
    QTreeWidgetItem* item = view().summaryRow(key)->item();
    const auto cell = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return qobject_cast<MiniMeter*>(tree().itemWidget(item, ZorvaStatRow::kLevelsColumn));
    };
    const auto tileMeterShown = [&] { return view().tile(key)->miniMeter()->isVisibleTo(view().tile(key)); };
    // Metering is on for a new codec; its row's meter comes with the first frame it is in sight.
    ASSERT_TRUE(wait_processing_events([&] { return cell() != nullptr; }));

    window->disableMetering();
    EXPECT_EQ(cell(), nullptr);
    EXPECT_FALSE(tileMeterShown());
    window->enableMetering();
    EXPECT_NE(cell(), nullptr);
    EXPECT_TRUE(tileMeterShown());
    window->disableMetering();
    window->enableMetering();  // before the old meter is gone
    ASSERT_NE(cell(), nullptr);
    EXPECT_EQ(cell(), view().summaryRow(key)->existingMeter());
}

// The tree holds a meter for the rows in its viewport only: it moves every cell widget at each
// sort and scroll. A row scrolled out gives its meter up, and one scrolled in gets one.
TEST_F(FleetViewTest, OnlyRowsInSightHoldAMeter) {
    openWindow();
    window->show();
    std::vector<QUuid> keys;
    for (int i = 0; i < 60; ++i) keys.push_back(addCodec());
    view().showStatsOverview();
    const auto hasMeter = [&](int index) { return view().summaryRow(keys.at(index))->existingMeter() != nullptr; };
    ASSERT_TRUE(wait_processing_events([&] { return hasMeter(0); }));
    EXPECT_FALSE(hasMeter(59));

    tree().scrollToBottom();
    ASSERT_TRUE(wait_processing_events([&] { return hasMeter(59) && !hasMeter(0); }));
    int held = 0;
    for (int index = 0; index < 60; ++index) held += hasMeter(index);
    EXPECT_LT(held, 60);
}

// A row's meter paints only inside the tree's viewport, though its row is scrolled out, re-sorted or
// hidden after its levels changed and before the frame that paints them: thirty such frames leave
// the screen outside the viewport as a whole paint of the window shows it.
TEST_F(FleetViewTest, RowMetersPaintNothingOutsideTheViewport) {
    openWindow();
    window->show();
    window->resize(1366, 768);
    std::vector<QUuid> keys;
    for (int i = 0; i < 48; ++i) keys.push_back(addCodec());
    view().showStatsOverview();
    ASSERT_TRUE(wait_processing_events([&] { return view().summaryRow(keys.front())->existingMeter() != nullptr; }));
    std::mt19937 random(7);  // the same frames each run
    const std::function<void(int)> moves[] = {
        [&](int row) { tree().verticalScrollBar()->setValue(row); },
        [&](int row) {
            tree().sortByColumn(ZorvaStatRow::kLevelsColumn, row % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
        },
        [&](int row) { tree().topLevelItem(row)->setHidden(!tree().topLevelItem(row)->isHidden()); },
    };
    constexpr int kMovingFrames = 30;
    int frames = 0;
    QObject counting;  // ends the count before `frames` goes
    QObject::connect(FrameClock::of(*window), &FrameClock::frameEnded, &counting, [&] {
        if (++frames > kMovingFrames) return;
        for (const QUuid& key : keys) {
            ZorvaStatRow& row = *view().summaryRow(key);
            const float db = -72.0f + static_cast<float>(random() % 72);
            row.item()->setData(ZorvaStatRow::kLevelsColumn, ZorvaStatRow::kLevelSortRole, db);
            if (MiniMeter* meter = row.existingMeter()) meter->levels(db, db - 3, db - 6, db - 9);
        }
        moves[frames % 3](static_cast<int>(random() % 48));
    });
    ASSERT_TRUE(wait_processing_events([&] { return frames > kMovingFrames; }));  // the last moves painted
    ASSERT_TRUE(app_test::flushPostedEvents());
    QImage screen = window->screen()->grabWindow(window->winId()).toImage();
    const QImage whole = app_test::render(*window);
    const QRect viewport(tree().viewport()->mapTo(window.get(), QPoint()), tree().viewport()->size());
    QPainter(&screen).drawImage(viewport, whole, viewport);  // where the last frame's levels may differ
    EXPECT_TRUE(app_test::samePixels(screen, whole));
}

TEST_F(FleetViewTest, ClocksFollowTheSchedule) {
    // Every icon the tiles draw from a style sheet, the clock among them, renders (no SVG support
    // would leave them blank).
    for (const char* icon : {"clock.svg", "green_check.svg", "red_x.svg", "yellow backbend arrow.svg", "alert.svg"}) {
        QWidget widget;
        widget.setStyleSheet(QStringLiteral("border-image: url(:icons/%1) 0 0 0 0 stretch stretch;").arg(icon));
        widget.resize(16, 16);
        const QImage image = app_test::render(widget);
        int drawn = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) drawn += image.pixel(x, y) != QColor(Qt::white).rgb();
        }
        EXPECT_GT(drawn, 10) << icon;
    }

    openWindow();
    const QUuid key = addCodec();
    Scheduler scheduler;
    view().setScheduler(&scheduler);
    QTreeWidgetItem* item = view().summaryRow(key)->item();
    auto* clock = view().tile(key)->findChild<QWidget*>("clockIcon");
    EXPECT_TRUE(item->icon(ZorvaStatRow::kScheduledColumn).isNull());

    Job job;
    job.uuid = sessionOf(key)->uuid;
    job.peer = QStringLiteral("1");
    job.id = 41;
    job.start = QDateTime::currentDateTime().addDays(1);
    job.end = job.start.addSecs(3600);
    job.recurrence_end = job.end;
    ASSERT_TRUE(scheduler.addJob(job));
    EXPECT_FALSE(item->icon(ZorvaStatRow::kScheduledColumn).isNull());
    EXPECT_TRUE(clock->isVisibleTo(view().tile(key)));
    ASSERT_TRUE(scheduler.removeJob(41));
    EXPECT_TRUE(item->icon(ZorvaStatRow::kScheduledColumn).isNull());
    EXPECT_FALSE(clock->isVisibleTo(view().tile(key)));
}

}  // namespace
