// IPCObject's reply and report slots, on the GUI thread: the parsers that rebuild the session's
// data from what the codec sent (the peer list, the profile list, peer and channel statistics, the
// levels, the tunnel settings and the event log) and the slots that only tell of a new reply.
#include "sessions/ipc_object.h"

#include <QSet>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "ipc/base/ipc_clock.h"
#include "sessions/message_text.h"
#include "sessions/meter_levels.h"
#include "sessions/peer_list_update.h"
#include "sessions/session_requests.h"

using meter_levels::levels_of;
using session_requests::kTunnelPath;

namespace {

// " name1 name2 ...": the names of an audio event line, each after one blank.
QString audio_event_names(const QStringList& names) {
    QString text;
    for (const QString& name : names) text += QLatin1Char(' ') + name;
    return text;
}

// The first few of `ids` for a warning, which a hostile list must not make arbitrarily long.
QString first_ids(const QStringList& ids) {
    constexpr int kShown = 8;
    QString text = ids.mid(0, kShown).join(QLatin1Char(' '));
    if (ids.size() > kShown) text += QStringLiteral(" ...");
    return text;
}

QStringList identity_of(const PeerMetaPtr& peer) {
    return peer->identity();
}

QStringList identity_of(const ProfileInfo& profile) {
    return profile.identity();
}

// Settles `renames` with `list`, the session's peers or profiles, read under `mutex`. Run once
// every view has followed the list.
template <typename List>
void settle_renames(SentRenames& renames, const List& list, SessionMutex& mutex) {
    if (renames.isEmpty()) return;
    QList<QStringList> listed;
    std::lock_guard<SessionMutex> lock(mutex);
    for (const auto& each : list) listed << identity_of(each);
    renames.settle(listed);
}

}  // namespace

void IPCObject::cb_resp_channelList() {
    emit recvChannelList(uuid);
}

void IPCObject::cb_resp_channelOpts() {
    emit recvChannelOpts(uuid);
}

void IPCObject::cb_resp_profileList() {
    // This list came after the answers that gave those ids: it shows each one the codec still holds.
    unlisted_copy_ids_.clear();
    Message list;
    if (getCachedMessage(QStringLiteral("profileList"), list)) {
        QList<ProfileInfo> parsed;
        QString default_id;
        const unsigned count = list.child_count("profile");
        for (unsigned i = 0; i < count; ++i) {
            const Message& node = list.get_child("profile", i);
            if (node.child_count("settings") == 0) continue;
            const Message::Attributes& settings = node.get_child("settings", 0).attributes();
            ProfileInfo profile;
            profile.name = settings.get_qstring("name", QString());
            profile.id = node.attributes().get_qstring("id", QString());
            profile.isDefault = node.attributes().get_bool("default", false);
            if (profile.isDefault) default_id = profile.id;  // the last one marked wins
            profile.factory = settings.get_bool("factory", false);
            parsed.append(profile);
        }
        std::lock_guard<SessionMutex> lock(session_mutex());
        profiles = parsed;
        defaultProfileId = default_id;
    }
    emit recvProfileList(uuid);
    settle_renames(sentProfileRenames, profiles, session_mutex());
}

void IPCObject::cb_resp_peerList() {
    Message list;
    if (getCachedMessage(QStringLiteral("peerList"), list)) apply_peer_list(list);
}

void IPCObject::apply_peer_list(const Message& list) {
    PeerListUpdate update;
    bool is_summary_changed = false;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        update = PeerListUpdate::read(list, activePeerIds, peerById);
        allPeers = update.all;
        activePeers = update.active;
        bookPeers = update.book;
        directoryPeers = update.directory;
        peerById = update.by_id;
        activePeerCount = update.active.size();
        activePeerIds = update.active_ids;
        if (update.receiving_id) receivingPeerId = *update.receiving_id;
        if (update.active.isEmpty()) {
            delayGraph.clear();
            lossGraph.clear();
        }
        if (update.chan_state != chanState) {
            chanState = update.chan_state;
            is_summary_changed = true;
        }
    }

    if (!update.duplicate_ids.isEmpty()) {
        warnings_.warn(QStringLiteral("peerList duplicate"),
                       QStringLiteral("peer list of %1: %2 entries repeat an earlier id and are skipped: %3")
                           .arg(uuid.toString())
                           .arg(update.duplicate_ids.size())
                           .arg(first_ids(update.duplicate_ids)));
    }
    if (is_summary_changed) emit newChanState(uuid, update.chan_state);
    // One audio event per list at most; a start outweighs an end in the same list.
    if (!update.started_names.isEmpty()) {
        deviceLog.addEventLine(QStringLiteral("Audio connection started. Active peers:") +
                               audio_event_names(update.started_names));
        emit deviceEvent(this, AUDIO_START);
    } else if (!update.ended_names.isEmpty()) {
        deviceLog.addEventLine(QStringLiteral("Audio connection ended. Disconnected peers:") +
                               audio_event_names(update.ended_names));
        emit deviceEvent(this, AUDIO_END);
    }
    emit recvPeerList(uuid);
    settle_renames(sentPeerRenames, allPeers, session_mutex());
}

void IPCObject::cb_resp_version() {
    emit recvVersion(uuid);
}

void IPCObject::cb_resp_sysOptions() {
    emit recvSysOptions(uuid);
}

void IPCObject::cb_resp_systemOpts() {
    emit recvSystemOpts();
}

void IPCObject::cb_resp_codecList() {
    emit recvCodecList(uuid);
}

void IPCObject::cb_resp_vantixConfig() {
    Message config;
    QString text;
    if (getCachedMessage(QStringLiteral("vantixConfig"), config)) {
        std::string xml;
        config.serialize(Message::XML, xml, false);
        text = text_of(xml);
    }
    emit recvVantixConfig(uuid, text);
}

void IPCObject::cb_resp_directoryServer() {
    emit recvDirectoryServer(uuid);
}

void IPCObject::cb_resp_peerStats() {
    parsePeerStats();
}

void IPCObject::parsePeerStats() {
    // Every codec reports its statistics each second: the cached report is read without a copy.
    if (const SharedMessage report = shared_cached_message(QStringLiteral("peerStats"))) apply_peer_stats(*report);
}

void IPCObject::apply_peer_stats(const Message& report) {
    QStringList duplicate_ids;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        // Each report replaces the whole set.
        peerStatsById.clear();
        QSet<int> ids;
        const qint64 taken_ms = ipc_now_us() / 1000;
        const unsigned count = report.child_count("peer");
        for (unsigned i = 0; i < count; ++i) {
            const PeerStatsInfo stats = PeerStatsInfo::fromMessage(report.get_child("peer", i));
            // One sample per peer and report: a repeated id would put two into the series.
            if (ids.contains(stats.id)) {
                duplicate_ids.append(QString::number(stats.id));
                continue;
            }
            ids.insert(stats.id);
            peerStatsById.insert(stats.id, stats);
            delayGraph.addSample(stats.id, stats.bufferDelay, stats.packetJitter, stats.bufferDesiredDelay, taken_ms);
            lossGraph.addSample(stats.id, stats.frameLossRate, stats.remoteLoss, stats.corrUpRate, stats.corrDownRate,
                                taken_ms);
        }
        delayGraph.retainPeers(ids);
        lossGraph.retainPeers(ids);
    }
    announce_graph_changes();
    if (!duplicate_ids.isEmpty()) {
        warnings_.warn(QStringLiteral("peerStats duplicate"),
                       QStringLiteral("peer statistics of %1: %2 entries repeat an earlier id and are "
                                      "skipped: %3")
                           .arg(uuid.toString())
                           .arg(duplicate_ids.size())
                           .arg(first_ids(duplicate_ids)));
    }
    note_figures(ReportFreshness::kStatistics);
    emit recvPeerStats(uuid);
}

void IPCObject::announce_graph_changes() {
    delayGraph.announceChanges();
    lossGraph.announceChanges();
}

void IPCObject::cb_resp_channelStats() {
    if (const SharedMessage report = shared_cached_message(QStringLiteral("channelStats"))) {
        apply_channel_stats(*report);
    }
}

void IPCObject::apply_channel_stats(const Message& report) {
    int refused = 0;
    {
        std::lock_guard<SessionMutex> lock(session_mutex());
        const unsigned count = report.child_count("channel");
        for (unsigned i = 0; i < count; ++i) {
            const ChannelStatsInfo stats = ChannelStatsInfo::fromMessage(report.get_child("channel", i));
            // Records are never dropped, so the number of ids a codec may bring in is capped.
            auto found = channelStatsById.find(stats.id);
            if (found != channelStatsById.end()) {
                *found = stats;
            } else if (channelStatsById.size() < kMaxChannelStats) {
                channelStatsById.insert(stats.id, stats);
            } else {
                ++refused;
            }
        }
    }
    if (refused > 0) {
        warnings_.warn(QStringLiteral("channelStats cap"),
                       QStringLiteral("channel statistics of %1: keeping %2 channels at most; %3 "
                                      "further channels ignored")
                           .arg(uuid.toString())
                           .arg(kMaxChannelStats)
                           .arg(refused));
    }
    note_figures(ReportFreshness::kStatistics);
    emit recvChannelStats(uuid);
}

void IPCObject::cb_resp_levels() {
    // A subscribing codec reports "metering" with the values in a child, a legacy one "levels".
    const QString name = codec_version_ == 0 ? QStringLiteral("levels") : QStringLiteral("metering");
    if (const SharedMessage report = shared_cached_message(name)) {
        report_levels(*report);
    } else if (codec_version_ != 0) {
        // A subscribing codec's reports are kept as their levels only.
        announceNewestLevels();
    }
}

const Message* IPCObject::level_values(const Message& report) {
    if (codec_version_ == 0) return &report;
    // Childless reports are normally dropped on arrival already; this catches a codec whose version
    // changed on the way.
    if (report.size() == 0) {
        warnings_.warn(QStringLiteral("metering childless"),
                       QStringLiteral("dropping \"metering\" report without values"));
        return nullptr;
    }
    return &report.get_child(0);
}

void IPCObject::report_levels(const Message& report) {
    const Message* values = level_values(report);
    if (!values) return;
    const std::array<float, 8> db = levels_of(values->attributes());
    keep_newest_levels(db);
    announce_levels(db);
}

void IPCObject::receive_levels(const Message::Attributes& values) {
    keep_newest_levels(levels_of(values));
    queue_own_slot(OwnSlot::kAnnounceNewestLevels, nullptr, SessionInbox::Delivery::kNewestOnly);
}

void IPCObject::keep_newest_levels(const std::array<float, 8>& db) {
    std::lock_guard<SessionMutex> lock(session_mutex());
    newest_levels_ = db;
    has_newest_levels_ = true;
}

void IPCObject::forget_reports() {
    std::lock_guard<SessionMutex> lock(session_mutex());
    has_newest_levels_ = false;
}

void IPCObject::announceNewestLevels() {
    std::array<float, 8> db;
    if (newestLevels(db)) announce_levels(db);
}

void IPCObject::announce_levels(const std::array<float, 8>& db) {
    ++level_reports_;
    note_figures(ReportFreshness::kLevels);
    emit levelsReported();
    emit recvLevels(db[0], db[1], db[2], db[3]);
    emit recvAllLevels(db[0], db[1], db[2], db[3], db[4], db[5], db[6], db[7]);
}

bool IPCObject::newestLevels(std::array<float, 8>& db) {
    std::lock_guard<SessionMutex> lock(session_mutex());
    if (!has_newest_levels_) return false;
    db = newest_levels_;
    return true;
}

void IPCObject::cb_resp_addPeer() {
    emit recvAddPeer();
}

void IPCObject::cb_resp_tunnelStatus() {
    emit recvTunnelStatus(uuid);
}

void IPCObject::cb_resp_braidlinkSettings() {
    emit recvBraidlinkSettings(uuid);
}

void IPCObject::cb_resp_setBraidlinkOptions() {
    {
        // Under one hold of the mutex, so that a new "braidlinkSettings" cannot slip in between.
        std::lock_guard<SessionMutex> lock(session_mutex());
        Message answer;
        Message settings;
        if (cached_message(QStringLiteral("setBraidlinkOptions"), answer) &&
            cached_message(QStringLiteral("braidlinkSettings"), settings)) {
            apply_tunnel_answer(answer, settings);
            cache_message(settings, QStringLiteral("braidlinkSettings"));
        }
    }
    emit recvSetBraidlinkOptions();
}

void IPCObject::apply_tunnel_answer(const Message& answer, Message& settings) {
    if (!settings.child_count("node") || !settings.get_child("node", 0).child_count("group")) return;
    Message& group = settings.get_child("node", 0).get_child("group", 0);
    const std::string prefix = std::string(kTunnelPath) + ".";
    for (int row = 0; row < answer.size(); ++row) {
        const Message& accepted = answer.get_child(row);
        if (accepted.name() != "option") continue;
        std::string name = accepted.attributes().get_string("option", "");
        if (name.compare(0, prefix.size(), prefix) == 0) name.erase(0, prefix.size());
        if (name.empty()) continue;
        for (int index = 0; index < group.size(); ++index) {
            Message& option = group.get_child(index);
            if (option.name() == "option" && option.attributes().get_string("name", "") == name) {
                option.attributes().set("value", accepted.attributes().get_string("value", ""));
            }
        }
    }
}

void IPCObject::cb_resp_eventLog() {
    noteEventLogRefusal(std::nullopt);
    emit recvEventLog(eventLog.merge(expectedMessage(QStringLiteral("eventLog"))));
}

void IPCObject::cb_unso_currentEncoder(const Message&) {
    emit recvCurrentEncoder();
}

void IPCObject::cb_unso_sipProxy(const Message&) {
    emit recvSipProxy();
}

void IPCObject::cb_unso_channelList(const Message&) {
    emit recvChannelList(uuid);
}

void IPCObject::cb_unso_channelOpts(const Message&) {
    emit recvChannelOpts(uuid);
}

void IPCObject::cb_unso_profileList(const Message&) {
    cb_resp_profileList();
}

void IPCObject::cb_unso_peerList(const Message& unso) {
    apply_peer_list(unso);
}

void IPCObject::cb_unso_version(const Message&) {
    if (codec_version_ == 0) {
        emit recvVersion(uuid);
        return;
    }
    // A subscribing codec's report says only that the version changed: ask for it.
    QTimer::singleShot(kVersionReaskMs, this, &IPCObject::cmd_get_version_slot);
}

void IPCObject::cb_unso_systemOpts(const Message&) {
    emit recvSystemOpts();
}

void IPCObject::cb_unso_codecList(const Message&) {
    emit recvCodecList(uuid);
}

void IPCObject::cb_unso_vantixConfig(const Message&) {
    cb_resp_vantixConfig();
}

void IPCObject::cb_unso_directoryServer(const Message&) {
    emit recvDirectoryServer(uuid);
}

void IPCObject::cb_unso_metering(const Message& unso) {
    report_levels(unso);
}

void IPCObject::cb_unso_tun_stats(const Message&) {
    emit recvTunStats(uuid);
}

void IPCObject::cb_unso_tun_conns(const Message&) {
    emit recvTunConns(uuid);
}

void IPCObject::cb_unso_cfgStatus_netmgr_tunnel(const Message&) {
    // Filed as "tunnelStatus" on arrival (file_report_parts).
    emit recvTunnelStatus(uuid);
}

void IPCObject::cb_unso_netmgr_tunnel(const Message& unso) {
    cb_unso_cfgStatus_netmgr_tunnel(unso);
}

void IPCObject::cb_unso_peer_stats(const Message& unso) {
    if (unso.child_count("peerStats") == 0) {
        warnings_.warn(QStringLiteral("peer_stats childless"),
                       QStringLiteral("dropping \"peer_stats\" report without \"peerStats\""));
        return;
    }
    // Filed as "peerStats" on arrival (file_report_parts).
    apply_peer_stats(unso.get_child("peerStats", 0));
}

void IPCObject::cb_unso_channel_stats(const Message& unso) {
    if (unso.child_count("channelStats") == 0) {
        warnings_.warn(QStringLiteral("channel_stats childless"),
                       QStringLiteral("dropping \"channel_stats\" report without \"channelStats\""));
        return;
    }
    // Filed as "channelStats" on arrival (file_report_parts).
    apply_channel_stats(unso.get_child("channelStats", 0));
}

void IPCObject::cb_unso_channelStats(const Message&) {
    cb_resp_channelStats();
}

void IPCObject::cb_unso_levels(const Message& unso) {
    report_levels(unso);
}

void IPCObject::cb_unso_peerStats(const Message&) {
    cb_resp_peerStats();
}

void IPCObject::cb_unso_sysOptions(const Message&) {
    cb_resp_sysOptions();
}

// ------------------------------------------------------------------------------------------------
// Figures that stopped coming

void IPCObject::note_figures(ReportFreshness::Figures which) {
    // With levels at fifteen a second this runs often: the sweep is told, and only moves when this
    // session's figures are due before all others (watch_freshness).
    if (freshness_.received(which, ReportFreshness::Clock::now())) emit figuresFreshnessChanged(uuid);
    watch_freshness();
}

void IPCObject::note_pace(ReportFreshness::Figures which, uint32_t interval_ms) {
    // Taken before the change: levels no longer asked for are no longer stale (nothing draws them),
    // and a view left grey now would stay so while they come again.
    const Staleness before = staleness();
    const ReportFreshness::Clock::time_point now = ReportFreshness::Clock::now();
    freshness_.paced(which, ReportFreshness::Duration(interval_ms), now);
    settle_freshness(before, now);
    watch_freshness();
}

std::optional<ReportFreshness::Clock::time_point> IPCObject::checkFreshness(ReportFreshness::Clock::time_point now) {
    return settle_freshness(staleness(), now);
}

IPCObject::Staleness IPCObject::staleness() const {
    return {areLevelsStale(), areStatisticsStale()};
}

std::optional<ReportFreshness::Clock::time_point> IPCObject::settle_freshness(Staleness before,
                                                                              ReportFreshness::Clock::time_point now) {
    freshness_.update(now);
    if (staleness() != before) emit figuresFreshnessChanged(uuid);
    return freshness_.nextStaleAt();
}

void IPCObject::watch_freshness() {
    if (const std::optional<ReportFreshness::Clock::time_point> next = freshness_.nextStaleAt()) {
        freshnessSweep_->due(*next);
    }
}
