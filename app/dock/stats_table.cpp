#include "app/dock/stats_table.h"

#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>

#include <mutex>
#include <vector>

#include "app/shared/codec_text.h"
#include "app/shared/statistics_text.h"
#include "sessions/ipc_object.h"
#include "text/decimal_id.h"

namespace {

// Rows the table keeps in sight, whatever room the dock leaves it; a codec has a connection per
// channel, mostly one or two.
constexpr int kRowsInSight = 2;
// Beyond its text, what a row takes (the item's margins in the styles we ship with).
constexpr int kRowPadding = 4;

struct Row {
    int peerId;
    QStringList texts;
};

// Rates come in bit/s, delays in tenths of a millisecond and losses in tenths of a percent.
QString kbps(int bitsPerSecond) {
    return QString::number(bitsPerSecond / 1000) + QStringLiteral("kbps");
}

QString ms(int tenths) {
    return tenthsText(tenths, QStringLiteral("ms"));
}

QString percent(int tenths) {
    return tenthsText(tenths, QStringLiteral("%"));
}

std::vector<Row> rowsOf(IPCObject& session) {
    std::vector<Row> rows;
    const QList<PeerMetaPtr> active = session.activePeerList();
    std::lock_guard<SessionMutex> lock(session.mutex());
    for (const PeerMetaPtr& peer : active) {
        const std::optional<int> peerKey = readDecimalId(peer->id);
        const std::optional<int> channelKey = readDecimalId(peer->channel ? peer->channel->channel : QString());
        if (!peerKey || !channelKey) continue;
        const auto stats = session.peerStatsById.constFind(*peerKey);
        const auto channel = session.channelStatsById.constFind(*channelKey);
        if (stats == session.peerStatsById.constEnd() || channel == session.channelStatsById.constEnd()) continue;
        rows.push_back({*peerKey, StatsTable::rowTexts(CodecText::name(peer->name), *stats, *channel)});
    }
    return rows;
}

}  // namespace

StatsTable::StatsTable(QTreeWidget* table_) : table(table_) {
    // However short the dock, its first rows stay in sight: the graphs above give way first.
    const int rowHeight = table->fontMetrics().height() + kRowPadding;
    const int scrollBar = table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    table->setMinimumHeight(table->header()->sizeHint().height() + kRowsInSight * rowHeight + scrollBar +
                            2 * table->frameWidth());
}

QStringList StatsTable::rowTexts(const QString& name, const PeerStatsInfo& peer, const ChannelStatsInfo& channel) {
    return {name,
            durationText(peer.callTime),
            kbps(channel.rxAvgPayload),
            kbps(channel.rxAvgOverhead),
            ms(peer.delayIn),
            kbps(channel.txAvgPayload),
            kbps(channel.txAvgOverhead),
            ms(peer.delayOut),
            percent(peer.frameLossRateAvg),
            percent(peer.remoteLossAvg)};
}

std::optional<int> StatsTable::selectedPeerId() const {
    const QTreeWidgetItem* selected = table->selectedItems().value(0);
    if (!selected) return std::nullopt;
    return selected->data(0, kPeerIdRole).toInt();
}

void StatsTable::rebuild(IPCObject* session) {
    const std::optional<int> previous = selectedPeerId();
    table->clear();
    if (!session) return;
    QTreeWidgetItem* current = nullptr;
    for (const Row& row : rowsOf(*session)) {
        auto* item = new QTreeWidgetItem(table, row.texts);
        item->setData(0, kPeerIdRole, row.peerId);
        if (previous == row.peerId) current = item;
    }
    if (!current) current = table->topLevelItem(0);
    if (current) table->setCurrentItem(current);
    if (isStale_) showStaleness();
}

void StatsTable::setStale(bool isStale) {
    if (isStale_ == isStale) return;
    isStale_ = isStale;
    showStaleness();
}

void StatsTable::showStaleness() {
    for (int row = 0; row < table->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = table->topLevelItem(row);
        for (int column = 0; column < item->columnCount(); ++column) showFigureStale(*item, column, isStale_);
    }
}
