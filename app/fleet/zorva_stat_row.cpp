#include "app/fleet/zorva_stat_row.h"

#include <QDebug>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

#include "app/fleet/connected_count_text.h"
#include "app/shared/codec_text.h"
#include "app/shared/mini_meter.h"
#include "app/shared/statistics_text.h"
#include "sessions/ipc_object.h"
#include "text/device_state_text.h"

namespace {

// Every row is as tall as the small meter needs, whether or not it shows one, so that switching
// metering never makes the rows jump.
constexpr int kRowHeight = 30;

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

// Sorts the statistics columns by their numbers ("9ms" before "45ms") and "Levels" by the level
// taken for sorting; an empty cell sorts first.
class SummaryTreeItem : public QTreeWidgetItem {
public:
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        if (column == ZorvaStatRow::kLevelsColumn) {
            const QVariant mine = data(column, ZorvaStatRow::kLevelSortRole);
            const QVariant theirs = other.data(column, ZorvaStatRow::kLevelSortRole);
            if (!mine.isValid() || !theirs.isValid()) return !mine.isValid() && theirs.isValid();
            return mine.toFloat() < theirs.toFloat();
        }
        if (ZorvaStatRow::isStatisticsColumn(column)) {
            const QString mine = text(column);
            const QString theirs = other.text(column);
            if (mine.isEmpty() || theirs.isEmpty()) return mine.isEmpty() && !theirs.isEmpty();
            return figureValue(mine) < figureValue(theirs);
        }
        return QTreeWidgetItem::operator<(other);
    }
};

}  // namespace

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
    item_->setText(kAddressColumn, session_->host);
}

void ZorvaStatRow::ipcChangedState(QUuid, IQEndpointClient::DEVICE_STATE state) {
    if (state == IQEndpointClient::READY) {
        updateConnectionText();
        return;
    }
    if (meter_) meter_->reset();
    // What the codec said of its connections is no longer current.
    setConnected(QString());
    clearStats();
    if (state != IQEndpointClient::AUTHENTICATED) setStatus(deviceStateText(state));
}

void ZorvaStatRow::ipcRecvPeerList(QUuid) {
    updateConnectionText();
}

void ZorvaStatRow::updateConnectionText() {
    if (!isLive()) return;
    const QList<PeerMetaPtr> active = session_->activePeerList();
    setStatus(connectedCountText(active.size()));
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
    showFigures({stats.callTime, stats.bufferDelayAvg, stats.frameLossRateAvg});
}

// A row out of the tree's sight writes only the cell the tree sorts by: each written cell costs
// the tree a row update, and with the tree sorted by a statistics figure every codec reports every
// second. The other cells catch up when the row comes into sight (setInSight).
void ZorvaStatRow::showFigures(const Figures& figures) {
    reportedFigures_ = figures;
    const int sortColumn = item_->treeWidget() ? item_->treeWidget()->sortColumn() : -1;
    for (const int column : {kDurationColumn, kLatencyColumn, kFrameLossColumn}) {
        if (isInSight_ || column == sortColumn) showFigure(column);
    }
}

void ZorvaStatRow::showFigure(int column) {
    const Figures& figures = *reportedFigures_;
    const qint64 value = column == kDurationColumn  ? qint64{figures.callTime}
                         : column == kLatencyColumn ? figures.bufferDelayAvg
                                                    : figures.frameLossRateAvg;
    std::optional<qint64>& shown = shownFigures_[static_cast<size_t>(column - kFrameLossColumn)];
    if (shown == value) return;
    shown = value;
    if (column == kDurationColumn) {
        item_->setText(column, durationText(figures.callTime));
    } else {
        item_->setText(column, tenthsText(static_cast<int>(value),
                                          column == kLatencyColumn ? QStringLiteral("ms") : QStringLiteral("%")));
    }
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
    for (const int column : {kDurationColumn, kLatencyColumn, kFrameLossColumn}) item_->setText(column, QString());
}
