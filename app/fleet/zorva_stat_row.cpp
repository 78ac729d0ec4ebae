#include "app/fleet/zorva_stat_row.h"

#include <QDebug>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <array>
#include <iterator>
#include <mutex>
#include <utility>

#include "app/fleet/connected_count_text.h"
#include "app/shared/codec_text.h"
#include "app/shared/mini_meter.h"
#include "app/shared/statistics_text.h"
#include "sessions/ipc_object.h"
#include "text/connection_fault_text.h"
#include "text/device_state_text.h"
#include "text/unit_label.h"

namespace {

using Row = ZorvaStatRow;

// Every row is as tall as the small meter needs, whether or not it shows one, so that switching
// metering never makes the rows jump.
constexpr int kRowHeight = 30;

// How the tree orders its rows by a column.
enum class ColumnSort {
    kByText,    // as QTreeWidgetItem compares texts
    kByFigure,  // by the number the cell shows ("9ms" before "45ms"); an empty cell first
    kByLevel,   // by the level taken for sorting (kLevelSortRole); a row without levels first
};

// One column of the summary tree: its header, the receiving connection's figure it shows (if any)
// with the unit written after it, and how the tree sorts by it.
struct SummaryColumn {
    Row::Column column;
    const char* header;  // in the context "ZorvaStatRow"
    Row::Figure figure;
    // Written after the figure, which the codec reports in tenths and the cell shows in whole units;
    // null: the figure is a duration in seconds, shown as "hh:mm:ss".
    const char* unit;
    ColumnSort sort;
};

// The columns, in order. A column added at the end keeps the widths the configuration file saved for
// the others (by index); one put between moves them.
constexpr SummaryColumn kColumns[] = {
    {Row::kNameColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "Name"), Row::kNoFigure, nullptr, ColumnSort::kByText},
    {Row::kAddressColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "IP"), Row::kNoFigure, nullptr, ColumnSort::kByText},
    {Row::kStatusColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "Status"), Row::kNoFigure, nullptr, ColumnSort::kByText},
    {Row::kConnectionsColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "Connections"), Row::kNoFigure, nullptr,
     ColumnSort::kByText},
    {Row::kLevelsColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "Levels"), Row::kNoFigure, nullptr, ColumnSort::kByLevel},
    {Row::kFrameLossColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "RX Frame Loss"), Row::kFrameLoss, "%",
     ColumnSort::kByFigure},
    {Row::kLatencyColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "RX Latency"), Row::kLatency, "ms", ColumnSort::kByFigure},
    {Row::kDurationColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "Duration"), Row::kDuration, nullptr,
     ColumnSort::kByFigure},
    {Row::kScheduledColumn, QT_TRANSLATE_NOOP("ZorvaStatRow", "Scheduled"), Row::kNoFigure, nullptr,
     ColumnSort::kByText},
};

constexpr bool isInColumnOrder() {
    for (int column = 0; column < Row::kColumnCount; ++column) {
        if (kColumns[column].column != column) return false;
    }
    return true;
}
static_assert(std::size(kColumns) == Row::kColumnCount && isInColumnOrder(),
              "kColumns holds every column once, at its own index");

const SummaryColumn* columnAt(int column) {
    return column >= 0 && column < Row::kColumnCount ? &kColumns[column] : nullptr;
}

// The number a statistics cell shows: "123ms" 123, "-1%" -1, "25:00:00" 90000 (seconds). The
// cells hold only their text: each change of a cell costs the tree a row update, and the duration
// changes every second on every row.
qint64 figureValue(const QString& text) {
    if (!text.contains(QLatin1Char(':'))) {
        int digits = 0;
        while (digits < text.size() && (text.at(digits).isDigit() || (digits == 0 && text.at(0) == QLatin1Char('-')))) {
            ++digits;
        }
        return text.leftRef(digits).toLongLong();
    }
    qint64 seconds = 0;
    for (const QStringRef& part : text.splitRef(QLatin1Char(':'))) seconds = seconds * 60 + part.toLongLong();
    return seconds;
}

QString figureText(const SummaryColumn& column, qint64 figure) {
    if (!column.unit) return durationText(figure);
    return tenthsText(static_cast<int>(figure), QString::fromLatin1(column.unit));
}

// Sorts each column as the table of columns says.
class SummaryTreeItem : public QTreeWidgetItem {
public:
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const SummaryColumn* shown = columnAt(column);
        const ColumnSort sort = shown ? shown->sort : ColumnSort::kByText;
        if (sort == ColumnSort::kByLevel) {
            const QVariant mine = data(column, Row::kLevelSortRole);
            const QVariant theirs = other.data(column, Row::kLevelSortRole);
            if (!mine.isValid() || !theirs.isValid()) return !mine.isValid() && theirs.isValid();
            return mine.toFloat() < theirs.toFloat();
        }
        if (sort == ColumnSort::kByFigure) {
            const QString mine = text(column);
            const QString theirs = other.text(column);
            if (mine.isEmpty() || theirs.isEmpty()) return mine.isEmpty() && !theirs.isEmpty();
            return figureValue(mine) < figureValue(theirs);
        }
        return QTreeWidgetItem::operator<(other);
    }
};

}  // namespace

QStringList ZorvaStatRow::headerTexts() {
    QStringList texts;
    for (const SummaryColumn& column : kColumns) texts << tr(column.header);
    return texts;
}

bool ZorvaStatRow::isStatisticsColumn(int column) {
    const SummaryColumn* shown = columnAt(column);
    return shown && shown->figure != kNoFigure;
}

ZorvaStatRow::ZorvaStatRow(IPCObject* session, QUuid uuid)
    : session_(session), item_(new SummaryTreeItem), uuid_(uuid) {
    item_->setText(kStatusColumn, tr("Not connected"));
    item_->setSizeHint(kLevelsColumn, QSize(0, kRowHeight));
    if (!session) return;
    ipcRecvSysOptions(session->uuid);  // a session added once ready has its name already
    connect(session, &IPCObject::recvSysOptions, this, &ZorvaStatRow::ipcRecvSysOptions);
    connect(session, &IPCObject::changedState, this, &ZorvaStatRow::ipcChangedState);
    connect(session, &IPCObject::recvChannelStats, this, &ZorvaStatRow::updateStats);
    connect(session, &IPCObject::recvPeerList, this, &ZorvaStatRow::ipcRecvPeerList);
    connect(session, &IPCObject::faultChanged, this, &ZorvaStatRow::showHealth);
    connect(session, &IPCObject::linkDropsChanged, this, &ZorvaStatRow::showHealth);
    connect(session, &IPCObject::figuresFreshnessChanged, this, &ZorvaStatRow::showHealth);
    // A row made for a session that is under way shows where it stands.
    if (session->state() != IQEndpointClient::DISCONNECTED) ipcChangedState(session->uuid, session->state());
}

ZorvaStatRow::~ZorvaStatRow() {
    delete item_;
}

IPCObject* ZorvaStatRow::session() const {
    return session_.data();
}

MiniMeter* ZorvaStatRow::existingMeter() const {
    return meter_.data();
}

MiniMeter* ZorvaStatRow::meter() {
    if (meter_) return meter_;
    auto* made = new MiniMeter;
    meter_ = made;
    connect(made, &QObject::destroyed, this, &ZorvaStatRow::meterDestroyed);
    made->showLevelsOf(session_);
    return made;
}

void ZorvaStatRow::releaseMeter() {
    if (!meter_) return;
    disconnect(meter_.data(), nullptr, this, nullptr);
    meter_->showLevelsOf(nullptr);
    meter_.clear();
}

void ZorvaStatRow::takeLevelsForSorting() {
    std::array<float, 8> db;
    const bool has_levels = session_ && session_->newestLevels(db);
    item_->setData(kLevelsColumn, kLevelSortRole,
                   has_levels ? QVariant(*std::max_element(db.begin(), db.begin() + 4)) : QVariant());
}

void ZorvaStatRow::meterDestroyed() {
    meter_.clear();
}

// ------------------------------------------------------------------------------------------------
// Name, state and connections

void ZorvaStatRow::ipcRecvSysOptions(QUuid) {
    if (!session_) return;
    CodecText::showUnit(*item_, kNameColumn, *session_);
    // With the port: one codec added twice, directly and through another port, is two rows.
    item_->setText(kAddressColumn, IPCObject::addressText(session_->host, session_->port));
    showHealth();  // the name's tool tip says it too
}

void ZorvaStatRow::ipcChangedState(QUuid, IQEndpointClient::DEVICE_STATE state) {
    showHealth();
    if (state == IQEndpointClient::READY) return;
    if (meter_) meter_->reset();
    // What the codec said of its connections is no longer current.
    setConnected(QString());
    clearStats();
    if (state != IQEndpointClient::AUTHENTICATED) setStatus(deviceStateText(state));
}

void ZorvaStatRow::showHealth() {
    if (!session_) return;
    const QString tip = CodecText::healthToolTip(*session_);
    const bool areFiguresStale = isLive() && session_->areStatisticsStale();
    // The name, where the operator hovers first, says it after the whole name when that is cut.
    item_->setToolTip(kNameColumn, CodecText::nameToolTip(session_->unitName(), kMaxUnitLabelLength) + tip);
    for (const SummaryColumn& column : kColumns) {
        // The peer's name keeps the tool tip that shows it whole.
        if (column.column != kNameColumn && column.column != kConnectionsColumn) item_->setToolTip(column.column, tip);
        if (column.figure != kNoFigure) showFigureStale(*item_, column.column, areFiguresStale);
    }
    updateConnectionText();
}

void ZorvaStatRow::ipcRecvPeerList(QUuid) {
    updateConnectionText();
}

void ZorvaStatRow::updateConnectionText() {
    if (!isLive()) return;
    const QList<PeerMetaPtr> active = session_->activePeerList();
    setStatus(liveStatusText(*session_, connectedCountText(active.size())));
    setConnected(active.isEmpty() ? QString() : active.first()->name);
}

bool ZorvaStatRow::isLive() const {
    return session_ && session_->state() == IQEndpointClient::READY;
}

void ZorvaStatRow::setStatus(const QString& text) {
    item_->setText(kStatusColumn, text);
}

void ZorvaStatRow::setConnected(const QString& text) {
    CodecText::showName(*item_, kConnectionsColumn, text);
}

// ------------------------------------------------------------------------------------------------
// Statistics of the receiving connection

void ZorvaStatRow::updateStats(QUuid) {
    if (!isLive()) return;
    bool has_peer = false;
    bool has_stats = false;
    PeerStatsInfo stats;
    {
        std::lock_guard<SessionMutex> lock(session_->mutex());
        if (session_->receivingPeerId.isEmpty()) return;
        const int peer_id = session_->receivingPeerId.toInt();
        const PeerMetaPtr peer = session_->peerById.value(peer_id);
        has_peer = peer && peer->channel;
        if (has_peer) {
            const int channel_id = peer->channel->channel.toInt();
            const auto found = session_->peerStatsById.constFind(peer_id);
            has_stats = found != session_->peerStatsById.constEnd() && session_->channelStatsById.contains(channel_id);
            if (has_stats) stats = found.value();
        }
    }
    if (!has_stats) {
        if (has_peer) qDebug() << "XXX peerinfo/channelinfo missing";
        clearStats();
        return;
    }
    Figures figures{};
    figures[kFrameLoss] = stats.frameLossRateAvg;
    figures[kLatency] = stats.bufferDelayAvg;
    figures[kDuration] = stats.callTime;
    showFigures(figures);
}

// A row out of the tree's sight writes only the cell the tree sorts by: each written cell costs
// the tree a row update, and with the tree sorted by a statistics figure every codec reports every
// second. The other cells catch up when the row comes into sight (setInSight).
void ZorvaStatRow::showFigures(const Figures& figures) {
    reportedFigures_ = figures;
    const int sortColumn = item_->treeWidget() ? item_->treeWidget()->sortColumn() : -1;
    for (const SummaryColumn& column : kColumns) {
        if (column.figure != kNoFigure && (isInSight_ || column.column == sortColumn)) showFigure(column.column);
    }
}

void ZorvaStatRow::showFigure(int column) {
    const SummaryColumn& shown = kColumns[column];
    const qint64 figure = (*reportedFigures_)[shown.figure];
    std::optional<qint64>& shownFigure = shownFigures_[shown.figure];
    if (shownFigure == figure) return;
    shownFigure = figure;
    item_->setText(column, figureText(shown, figure));
}

void ZorvaStatRow::showFigureForSorting(int column) {
    if (isStatisticsColumn(column) && reportedFigures_) showFigure(column);
}

void ZorvaStatRow::setInSight(bool isInSight) {
    if (isInSight_ == isInSight) return;
    isInSight_ = isInSight;
    if (isInSight && reportedFigures_) showFigures(*reportedFigures_);
}

void ZorvaStatRow::clearStats() {
    reportedFigures_.reset();
    shownFigures_ = {};
    for (const SummaryColumn& column : kColumns) {
        if (column.figure != kNoFigure) item_->setText(column.column, QString());
    }
}
