#include "app/fleet/zorva_summary.h"

#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTreeWidgetItem>

#include <algorithm>
#include <utility>

#include "app/fleet/connected_count_text.h"
#include "app/fleet/instance_widget.h"
#include "app/fleet/password_prompt_queue.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/shared/frame_clock.h"
#include "app/shared/mini_meter.h"
#include "app/shell/instance_registry.h"
#include "scheduler/scheduler.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "text/connection_fault_text.h"
#include "text/device_state_text.h"
#include "ui_zorva_summary.h"

namespace {

constexpr int kTilesPerRow = 4;
constexpr int kTreePage = 1;
constexpr int kTilePage = 0;
// The room the tree gives the names of codecs and peers until the operator resizes it, in the font's
// average characters: a name's letters and blanks are narrower, so it holds about twenty of them.
constexpr int kCommonNameLength = 16;
// How long the tree may show a changed cell out of order before it sorts again.
constexpr int kResortDelayMs = 1000;

}  // namespace

ZorvaSummary::ZorvaSummary(QWidget* parent)
    : QWidget(parent),
      ui(new Ui::ZorvaSummaryClass),
      gridLayout(new QGridLayout),
      prompts(new PasswordPromptQueue(this)),
      clockIcon(QStringLiteral("://icons/clock.svg")) {
    ui->setupUi(this);
    gridLayout->setSpacing(8);
    gridLayout->setContentsMargins(4, 4, 4, 4);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &ZorvaSummary::showContextMenu);
    ui->scrollAreaContents->setLayout(gridLayout);
    ui->scrollArea->installEventFilter(this);
    // The selected tile shows whether keys act on it (see InstanceWidget::hasKeyboardFocus).
    connect(qApp, &QApplication::focusChanged, this, [this] {
        if (InstanceWidget* tile = tileMap.value(selectedUuid)) tile->update();
    });

    QTreeWidget* tree = ui->summaryTree;
    tree->setHeaderLabels(ZorvaStatRow::headerTexts());
    tree->viewport()->installEventFilter(this);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, &ZorvaSummary::showSummaryTreeContextMenu);
    // The current row is the selection, whether a click or a key made it current.
    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { summaryTreeItemActivated(current, 0); });
    // Set once, so that the tree's taking the focus does not make its first row current: nothing is
    // selected until the operator picks a codec.
    tree->setCurrentItem(nullptr);
    tree->setAlternatingRowColors(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setDragEnabled(false);
    // A flat list.
    tree->setRootIsDecorated(false);
    // Every row has the same height (see ZorvaStatRow). Said so, the tree stops measuring a row's
    // every cell whenever one changes, which the durations do every second on every row.
    tree->setUniformRowHeights(true);
    setUpSorting();
    fitColumnsToCommonTexts();
}

// The form's width for every column cuts "Stale: 1 connected" in the status column, and names as
// common as "Master Control 11" in the name and connections columns, however much room the tree has
// to its right. These columns get the room of the statuses a row commonly shows and of a common name
// (kCommonNameLength); widths saved in the configuration are applied later and win.
void ZorvaSummary::fitColumnsToCommonTexts() {
    QTreeWidget* tree = ui->summaryTree;
    const QFontMetrics metrics = tree->fontMetrics();
    // A cell's text keeps this margin on either side (QCommonStyle's item view text margin).
    const int margins = 2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
    const auto widen = [&](int column, int textWidth) {
        QHeaderView& header = *tree->header();
        header.resizeSection(column, std::max(header.sectionSize(column), textWidth + margins));
    };
    for (const QString& status :
         {staleStatusText(connectedCountText(1)), deviceStateText(IQEndpointClient::DISCONNECTED),
          deviceStateText(IQEndpointClient::READY)}) {
        widen(ZorvaStatRow::kStatusColumn, metrics.horizontalAdvance(status));
    }
    const int name = metrics.averageCharWidth() * kCommonNameLength;
    widen(ZorvaStatRow::kNameColumn, name);
    widen(ZorvaStatRow::kConnectionsColumn, name);
}

// A click on a header sorts by that column, as the tree's own sorting would; but the tree sorts
// again when a cell of that column changes at most once a second. Sorting itself on every change
// (each codec's statistics arrive every second, each at its own moment) would lay out the whole
// tree, meters and all, hundreds of times a second.
void ZorvaSummary::setUpSorting() {
    QTreeWidget* tree = ui->summaryTree;
    tree->setSortingEnabled(false);
    QHeaderView* header = tree->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(ZorvaStatRow::kNameColumn, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &ZorvaSummary::sortTree);
    resortTimer.setSingleShot(true);
    resortTimer.setInterval(kResortDelayMs);
    connect(&resortTimer, &QTimer::timeout, this, &ZorvaSummary::sortTree);
    connect(tree->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                const int column = ui->summaryTree->header()->sortIndicatorSection();
                if (column >= topLeft.column() && column <= bottomRight.column() && !resortTimer.isActive()) {
                    resortTimer.start();
                }
            });
}

void ZorvaSummary::sortTree() {
    resortTimer.stop();
    if (isSortedByLevels()) {
        // No cell holds the levels as text, and they change all the time: the rows take the newest
        // at each sort, and the tree sorts again once a second.
        for (ZorvaStatRow* row : qAsConst(rowMap)) row->takeLevelsForSorting();
        resortTimer.start();
    }
    const QHeaderView* header = ui->summaryTree->header();
    for (ZorvaStatRow* row : qAsConst(rowMap)) row->showFigureForSorting(header->sortIndicatorSection());
    ui->summaryTree->sortItems(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

bool ZorvaSummary::isSortedByLevels() const {
    return ui->summaryTree->header()->sortIndicatorSection() == ZorvaStatRow::kLevelsColumn;
}

bool ZorvaSummary::isTreeInSight() const {
    return FrameClock::isInSight(*ui->summaryTree->viewport());
}

// A start with 256 codecs sorted the whole tree 256 times; the rows are in order already, so the
// new one only finds its place, after every row it does not precede (sortItems keeps equal rows in
// their order).
void ZorvaSummary::placeLastRowInOrder() {
    QTreeWidget* tree = ui->summaryTree;
    const int last = tree->topLevelItemCount() - 1;
    QTreeWidgetItem* added = tree->topLevelItem(last);
    const bool isAscending = tree->header()->sortIndicatorOrder() == Qt::AscendingOrder;
    int low = 0;
    int high = last;
    while (low < high) {
        const int middle = (low + high) / 2;
        const QTreeWidgetItem& other = *tree->topLevelItem(middle);
        if (isAscending ? *added < other : other < *added) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    if (low == last) return;
    tree->takeTopLevelItem(last);
    tree->insertTopLevelItem(low, added);
}

// The main window has saved the configuration just before; by now its layout can no longer be read,
// so the view does not save again. The rows go first, while their tree still stands.
ZorvaSummary::~ZorvaSummary() {
    // A deleted current row makes a neighbour current, which must not select it in a window going away.
    disconnect(ui->summaryTree, nullptr, this, nullptr);
    // The prompts' dialogs, deleted with the children after this body, move the focus: by then this
    // is no longer a ZorvaSummary, so the application's focus signal must not reach it.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    qDeleteAll(rowMap);
    rowMap.clear();
    itemRowMap.clear();
    delete ui;
}

// ------------------------------------------------------------------------------------------------
// Codecs

QUuid ZorvaSummary::addInstance(IPCObject* session) {
    const QUuid key = QUuid::createUuid();
    auto* tile = new InstanceWidget(ui->scrollAreaContents, session, key);
    tileMap.insert(key, tile);
    tileList.append(tile);
    addSummaryRow(session, key);
    connect(tile, &InstanceWidget::selected, this, &ZorvaSummary::tileSelected);
    connect(tile, &InstanceWidget::menuRequested, this,
            [this, tile](const QPoint& at) { emit menuRequested(tile->session(), at); });
    tile->installEventFilter(this);
    // The session's state signals are queued: a refusal reaches the tile, and so the queue, even
    // when the session was refused before it was added.
    connect(tile, &InstanceWidget::loginRefused, prompts, &PasswordPromptQueue::askAfterRefusal);
    if (scheduler_) tile->setScheduler(scheduler_);
    return key;
}

void ZorvaSummary::layoutTiles() {
    for (int index = 0; index < tileList.size(); ++index) {
        gridLayout->addWidget(tileList.at(index), index / kTilesPerRow, index % kTilesPerRow);
    }
    // The tiles keep to the top; the room left over goes to an empty row below the last.
    const int rows = (tileList.size() + kTilesPerRow - 1) / kTilesPerRow;
    const int grid_rows = std::max(gridLayout->rowCount(), rows + 1);
    for (int row = 0; row < grid_rows; ++row) gridLayout->setRowStretch(row, row == rows ? 1 : 0);
    // Every column as wide as the next, whatever the length of the names in it.
    for (int column = 0; column < kTilesPerRow; ++column) gridLayout->setColumnStretch(column, 1);
}

void ZorvaSummary::addSummaryRow(IPCObject* session, const QUuid& key) {
    auto* row = new ZorvaStatRow(session, key);
    QTreeWidgetItem* item = row->item();
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    ui->summaryTree->addTopLevelItem(item);
    placeLastRowInOrder();
    // Out of sight until a frame shows it, once frames tell which rows are in sight.
    if (isTreeSightKnown) row->setInSight(false);
    if (session->meteringOn) showRowMeter(*row, true);
    itemRowMap.insert(item, row);
    rowMap.insert(key, row);
    updateCount();
}

void ZorvaSummary::removeInstance(const QUuid& tileKey) {
    InstanceWidget* tile = tileMap.take(tileKey);
    if (!tile) return;
    tileList.removeAll(tile);
    gridLayout->removeWidget(tile);
    if (IPCObject* session = tile->session()) {
        instanceMap.remove(session->uuid);
        session->markForDeletion();
    }
    tile->deselect();
    tile->hide();
    tile->deleteLater();
    removeSummaryRow(tileKey);
    layoutTiles();
    emit selectionChanged(nullptr);
}

void ZorvaSummary::removeSummaryRow(const QUuid& key) {
    ZorvaStatRow* row = rowMap.take(key);
    if (!row) return;
    QTreeWidget* tree = ui->summaryTree;
    // Taking the current row would make a neighbour current, and so selected.
    if (tree->currentItem() == row->item()) tree->setCurrentItem(nullptr);
    tree->takeTopLevelItem(tree->indexOfTopLevelItem(row->item()));
    itemRowMap.remove(row->item());
    meteredRows.remove(row);
    rowsWithMeter.remove(row);
    rowsInSight.remove(row);
    row->deleteLater();
    updateCount();
}

QList<IPCObject*> ZorvaSummary::sessionsInTileOrder() const {
    QList<IPCObject*> sessions;
    for (const InstanceWidget* tile : tileList) {
        if (IPCObject* session = tile->session()) sessions.append(session);
    }
    return sessions;
}

IPCObject* ZorvaSummary::selectedSession() const {
    const InstanceWidget* tile = tileMap.value(selectedUuid);
    return tile ? tile->session() : nullptr;
}

// ------------------------------------------------------------------------------------------------
// Meters and clocks

void ZorvaSummary::setMeterShown(const QUuid& tileKey, bool isShown) {
    if (InstanceWidget* tile = tileMap.value(tileKey)) tile->setMeterShown(isShown);
    if (ZorvaStatRow* row = rowMap.value(tileKey)) showRowMeter(*row, isShown);
}

// Asked at every frame, so it looks only at what may be in sight: the grid rows, or the tree rows,
// within the page's viewport (a fleet's 256 widgets, each looked at, would cost more than the rest).
void ZorvaSummary::addDemand(ReportPacer::Demand& demand) const {
    if (currentPage() == kTilePage) {
        // The tiles show no statistics.
        if (FrameClock::isInSight(*ui->scrollArea->viewport())) addTilesInSight(demand.levelsDrawn);
        return;
    }
    if (!isTreeInSight()) return;
    demand.isSortingByLevels = demand.isSortingByLevels || isSortedByLevels();
    demand.isSortingByStatistics = demand.isSortingByStatistics ||
                                   ZorvaStatRow::isStatisticsColumn(ui->summaryTree->header()->sortIndicatorSection());
    const bool showsStatistics = isStatisticsColumnInSight();
    const QRect seen = ui->summaryTree->viewport()->rect();
    for (const ZorvaStatRow* row : rowsInViewport()) {
        IPCObject* session = row->session();
        if (!session) continue;
        if (showsStatistics) demand.statisticsShown.insert(session);
        // The row's meter is a child of the viewport, placed in the "Levels" cell.
        const MiniMeter* meter = row->existingMeter();
        if (meter && meter->isVisible() && meter->geometry().intersects(seen)) demand.levelsDrawn.insert(session);
    }
}

void ZorvaSummary::addTilesInSight(QSet<IPCObject*>& sessions) const {
    const QWidget& contents = *ui->scrollAreaContents;
    const QRect seen(-contents.pos(), ui->scrollArea->viewport()->size());  // in the contents' coordinates
    for (int row = 0; row < gridLayout->rowCount(); ++row) {
        const QRect cells = gridLayout->cellRect(row, 0);
        if (cells.bottom() < seen.top()) continue;
        if (cells.top() > seen.bottom()) break;
        for (int column = 0; column < kTilesPerRow; ++column) {
            QLayoutItem* cell = gridLayout->itemAtPosition(row, column);
            const auto* tile = cell ? qobject_cast<const InstanceWidget*>(cell->widget()) : nullptr;
            if (!tile || !tile->session()) continue;
            const MiniMeter& meter = *tile->miniMeter();
            if (meter.isVisible() && seen.intersects(QRect(meter.mapTo(&contents, QPoint()), meter.size()))) {
                sessions.insert(tile->session());
            }
        }
    }
}

QList<ZorvaStatRow*> ZorvaSummary::rowsInViewport() const {
    QList<ZorvaStatRow*> rows;
    const QTreeWidget& tree = *ui->summaryTree;
    const QModelIndex top = tree.indexAt(QPoint(0, 0));
    if (!top.isValid()) return rows;
    // Every row has the same height (uniformRowHeights), and the tree has no child rows.
    const int rowHeight = std::max(1, tree.visualRect(top).height());
    const int bottom = tree.viewport()->height() - 1;
    for (int index = top.row(), y = tree.visualRect(top).top(); y <= bottom && index < tree.topLevelItemCount();
         ++index, y += rowHeight) {
        if (ZorvaStatRow* row = itemRowMap.value(tree.topLevelItem(index))) rows.append(row);
    }
    return rows;
}

bool ZorvaSummary::isStatisticsColumnInSight() const {
    const QHeaderView& header = *ui->summaryTree->header();
    const int width = ui->summaryTree->viewport()->width();
    for (int column = 0; column < header.count(); ++column) {
        if (!ZorvaStatRow::isStatisticsColumn(column) || header.isSectionHidden(column)) continue;
        const int left = header.sectionViewportPosition(column);
        if (left < width && left + header.sectionSize(column) > 0) return true;
    }
    return false;
}

// A row's meter is in the tree only while the row is in the viewport: the tree moves every cell
// widget it holds whenever it sorts or lays out its rows, which would be 256 meters for the two
// dozen in sight. A row that comes into sight gets its meter at the next frame.
void ZorvaSummary::showRowMeter(ZorvaStatRow& row, bool isShown) {
    if (!isShown) {
        meteredRows.remove(&row);
        removeRowMeter(row);
        return;
    }
    meteredRows.insert(&row);
    if (rowsInSight.contains(&row)) placeRowMeter(row);
}

void ZorvaSummary::placeRowMetersInSight() {
    if (currentPage() != kTreePage || !isTreeInSight()) return;
    const QList<ZorvaStatRow*> rows = rowsInViewport();
    const QSet<ZorvaStatRow*> wereInSight = std::exchange(rowsInSight, QSet<ZorvaStatRow*>(rows.begin(), rows.end()));
    if (!isTreeSightKnown) {
        // Rows start in sight; from the first frame that shows the tree on, only those are.
        isTreeSightKnown = true;
        for (ZorvaStatRow* row : qAsConst(rowMap)) row->setInSight(rowsInSight.contains(row));
    }
    for (ZorvaStatRow* row : wereInSight) {
        if (!rowsInSight.contains(row)) row->setInSight(false);
    }
    QList<ZorvaStatRow*> leftSight;
    for (ZorvaStatRow* row : qAsConst(rowsWithMeter)) {
        if (!rowsInSight.contains(row)) leftSight.append(row);
    }
    for (ZorvaStatRow* row : qAsConst(leftSight)) removeRowMeter(*row);
    for (ZorvaStatRow* row : rows) {
        row->setInSight(true);
        if (meteredRows.contains(row)) placeRowMeter(*row);
    }
}

void ZorvaSummary::placeRowMeter(ZorvaStatRow& row) {
    if (row.existingMeter() && rowsWithMeter.contains(&row)) return;  // placed at an earlier frame
    QTreeWidget* tree = ui->summaryTree;
    rowsWithMeter.insert(&row);
    MiniMeter* meter = row.meter();
    // Setting the widget the cell already holds would make the tree delete it.
    if (tree->itemWidget(row.item(), ZorvaStatRow::kLevelsColumn) != meter) {
        tree->setItemWidget(row.item(), ZorvaStatRow::kLevelsColumn, meter);
    }
}

void ZorvaSummary::removeRowMeter(ZorvaStatRow& row) {
    rowsWithMeter.remove(&row);
    if (!row.existingMeter()) return;
    // The tree deletes the meter later; the row forgets it now.
    row.releaseMeter();
    ui->summaryTree->removeItemWidget(row.item(), ZorvaStatRow::kLevelsColumn);
}

void ZorvaSummary::setScheduler(Scheduler* scheduler) {
    if (scheduler_) disconnect(scheduler_, nullptr, this, nullptr);
    scheduler_ = scheduler;
    if (scheduler) connect(scheduler, &Scheduler::scheduleUpdated, this, &ZorvaSummary::updateScheduled);
    for (InstanceWidget* tile : qAsConst(tileList)) tile->setScheduler(scheduler);
    updateScheduled();
}

void ZorvaSummary::updateScheduled() {
    QTreeWidget* tree = ui->summaryTree;
    for (int index = 0; index < tree->topLevelItemCount(); ++index) {
        const ZorvaStatRow* row = itemRowMap.value(tree->topLevelItem(index));
        if (!row) continue;
        const IPCObject* session = row->session();
        const bool has_job = scheduler_ && session && scheduler_->hasJobFor(session->uuid);
        row->item()->setIcon(ZorvaStatRow::kScheduledColumn, has_job ? clockIcon : QIcon());
    }
}

// ------------------------------------------------------------------------------------------------
// Selection, menus, pages and the count

void ZorvaSummary::tileSelected(QUuid key) {
    if (key != selectedUuid) {
        if (InstanceWidget* previous = tileMap.value(selectedUuid)) previous->deselect();
    }
    selectedUuid = key;
    const InstanceWidget* tile = tileMap.value(key);
    IPCObject* session = tile ? tile->session() : nullptr;
    if (const ZorvaStatRow* row = rowMap.value(key)) ui->summaryTree->setCurrentItem(row->item());
    emit selectionChanged(session);
}

void ZorvaSummary::selectTile(QUuid tileKey) {
    if (InstanceWidget* tile = tileMap.value(tileKey)) tile->select();
}

void ZorvaSummary::summaryTreeItemActivated(QTreeWidgetItem* item, int) {
    // The selected codec's row becomes current when its tile is selected; that selects nothing anew.
    const ZorvaStatRow* row = itemRowMap.value(item);
    if (row && row->key() != selectedUuid) selectTile(row->key());
}

std::optional<int> ZorvaSummary::tileIndexForKey(int key) const {
    const int selected = tileList.indexOf(tileMap.value(selectedUuid));  // -1 for none
    switch (key) {
    case Qt::Key_Home: return 0;
    case Qt::Key_End: return tileList.size() - 1;
    case Qt::Key_Left: return selected < 0 ? 0 : selected - 1;
    case Qt::Key_Right: return selected + 1;
    case Qt::Key_Up: return selected < 0 ? 0 : selected - kTilesPerRow;
    case Qt::Key_Down: return selected < 0 ? 0 : selected + kTilesPerRow;
    default: return std::nullopt;
    }
}

bool ZorvaSummary::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->summaryTree->viewport()) {
        keepRowUnderPointer(*event);
        return false;
    }
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* press = static_cast<QKeyEvent*>(event);
    const std::optional<int> next =
        press->modifiers() & ~Qt::KeypadModifier ? std::nullopt : tileIndexForKey(press->key());
    if (!next) return false;
    // At the grid's edges the key is still taken: it would otherwise scroll the page away.
    if (InstanceWidget* tile = tileList.value(*next)) {
        tile->select();
        tile->setFocus(Qt::OtherFocusReason);
        ui->scrollArea->ensureWidgetVisible(tile);
    }
    return true;
}

void ZorvaSummary::keepRowUnderPointer(const QEvent& event) {
    // Made current, a row half out of sight would scroll into view (by whole rows) while the button
    // is still down, and the slightest move would then choose the row that took its place under
    // the pointer. The tree scrolls once the click is over.
    QTreeWidget* tree = ui->summaryTree;
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: tree->setAutoScroll(false); break;
    case QEvent::MouseButtonRelease:
        tree->setAutoScroll(true);
        if (QTreeWidgetItem* current = tree->currentItem()) tree->scrollToItem(current);
        break;
    default: break;
    }
}

void ZorvaSummary::showSummaryTreeContextMenu(const QPoint& pos) {
    // The tree reports the point in its viewport, below the header.
    emit menuRequested(selectedSession(), ui->summaryTree->viewport()->mapToGlobal(pos));
}

void ZorvaSummary::showContextMenu(const QPoint& pos) {
    emit menuRequested(nullptr, mapToGlobal(pos));
}

int ZorvaSummary::currentPage() const {
    return ui->stackedWidget->currentIndex();
}

QHeaderView& ZorvaSummary::treeHeader() const {
    return *ui->summaryTree->header();
}

void ZorvaSummary::showStatsOverview() {
    ui->stackedWidget->setCurrentIndex(kTreePage);
    emit pageChanged();
}

void ZorvaSummary::showGeneralOverview() {
    ui->stackedWidget->setCurrentIndex(kTilePage);
    emit pageChanged();
}

void ZorvaSummary::updateCount() {
    const IQCommonPooledApp* pool = IPCObject::sessionPool();
    const int current = pool ? pool->client_count() : 0;
    const int maximum = pool ? current + pool->available_spots() : 0;
    const int remaining = maximum - current;
    QString text;
    if (remaining <= 0) {
        text = tr("%1 instances (no more can be added).").arg(current);
    } else if (remaining < maximum / 4) {
        text = tr("%1 instances (%2 more can be added).").arg(current).arg(remaining);
    } else {
        text = tr("%1 instances.").arg(current);
    }
    ui->labelCodecCount->setText(text);
}
