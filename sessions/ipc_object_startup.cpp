// IPCObject's start-up: the replies a session waits for before it is READY, the request set it
// sends after login, the subscriptions of a codec that takes them and what their reports ask of
// the session beyond their slots (report_handling), and the pace of its levels
// (the metering switch and interval) and of its statistics, which a session keeps across
// connections and sends again. Also the event-log poll while READY.
#include "sessions/ipc_object.h"

#include "ipc/base/ipc_mutex_guard.h"
#include "sessions/iq_manager.h"
#include "sessions/session_requests.h"

using session_requests::event_log_request;
using session_requests::kMeteringSubscription;
using session_requests::metering_request;
using session_requests::metering_switch;
using session_requests::monitor_request;

const std::vector<IPCObject::Subscription>& IPCObject::subscriptions() {
    static const std::vector<Subscription> kSubscriptions = {
        {"peer_stats", 0, Pacing::kStatistics, "peer_stats"},
        {"channel_stats", 0, Pacing::kStatistics, "channel_stats"},
        {"tun_conns", 0, Pacing::kStatistics, "tun_conns"},
        {"tun_stats", 0, Pacing::kStatistics, "tun_stats"},
        // Nothing reads the power reports: each connection's first draws a missing-callback warning.
        {"power", 0, Pacing::kFixed, nullptr},
        {"version", 0, Pacing::kFixed, "version"},
        {kMeteringSubscription, kMeterIntervalMs, Pacing::kLevels, kMeteringSubscription},
        {"cfgStatus:netmgr.tunnel", 0, Pacing::kFixed, "cfgStatus:netmgr.tunnel"},
        // The tunnel's settings as they change, all under one id.
        {"cfgData:netmgr.tunnel.*", 0, Pacing::kFixed, "netmgr.tunnel"},
    };
    return kSubscriptions;
}

const IPCObject::ReportHandling* IPCObject::report_handling(const QString& key) {
    static const ReportHandling kHandling[] = {
        {QLatin1String(kMeteringSubscription), true, true, nullptr, QLatin1String()},
        {QLatin1String("levels"), true, true, nullptr, QLatin1String()},
        {QLatin1String("peer_stats"), true, false, "peerStats", QLatin1String("peerStats")},
        {QLatin1String("channel_stats"), true, false, "channelStats", QLatin1String("channelStats")},
        {QLatin1String("cfgStatus_netmgr_tunnel"), false, false, nullptr, QLatin1String("tunnelStatus")},
        {QLatin1String("netmgr_tunnel"), false, false, nullptr, QLatin1String("tunnelStatus")},
    };
    for (const ReportHandling& each : kHandling) {
        if (key == each.key) return &each;
    }
    return nullptr;
}

// ------------------------------------------------------------------------------------------------
// Start-up request set and READY

void IPCObject::set_required_messages() {
    codec_version_ = version();
    namespace wire = session_requests;
    // "systemOpts" is the codec's own: it sends it after login unasked.
    QStringList names = {QStringLiteral("systemOpts")};
    for (const wire::WireRequest& fetch :
         {wire::kGetSysOptions, wire::kGetDirectoryServer, wire::kGetCodecList, wire::kGetChannelList,
          wire::kGetChannelOpts, wire::kGetVersion, wire::kGetPeerList}) {
        names.append(QLatin1String(fetch.seq));
    }
    if (version() != 0) names.append(QLatin1String(wire::kGetBraidlinkSettings.seq));
    set_required(names);
    // Everything may have come in before the login result; then no tick will ever empty the list.
    if (is_required_list_empty()) queue_signal(&IQEndpointClient::finalRequiredMessageReceived);
}

void IPCObject::after_authenticated() {
    after_auth();
}

void IPCObject::after_auth() {
    // Normally already held by the loop; taken so that the subscriptions are safe from any caller.
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    cmd_get_channel_list();
    cmd_get_channel_opts();
    cmd_get_profile_list();
    cmd_get_codec_list();
    cmd_get_peer_list();
    cmd_get_directory_server();
    cmd_get_sys_options();
    if (eventLogPolling) cmd_get_event_log();
    const uint32_t metering_interval = metering_interval_ms_;
    if (version() == 0) {
        send_own(monitor_request(metering_interval != 0 ? metering_interval : kMeterIntervalMs));
        cmd_get_version_slot();
    } else {
        cmd_get_braidlink_settings();
        cmd_get_tunnel_status();
        for (const Subscription& each : subscriptions()) {
            switch (each.pacing) {
            case Pacing::kFixed: subscribe(each.name, each.interval_ms); break;
            case Pacing::kLevels:
                if (meteringOn && metering_interval != 0) subscribe(each.name, metering_interval);
                break;
            case Pacing::kStatistics: subscribe(each.name, statistics_interval_ms_); break;
            }
        }
        cmd_get_version_slot();
    }
    // The operator's choice outlives the connection; "monitor" above switched a legacy codec on
    // whatever it was asked for.
    if (!meteringOn || (version() == 0 && metering_interval == 0)) send_own(metering_request(false, 0));
}

void IPCObject::allMessagesPresent() {
    // The signal was queued from the loop thread: by now the connection may have dropped, or a new
    // login may have refilled the list. Decided under the lock that every state change holds.
    IQManager* manager = session_manager();
    IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
    if (state() != AUTHENTICATED || !is_required_list_empty()) return;
    set_state(READY);
}

// ------------------------------------------------------------------------------------------------
// The pace of levels and statistics, and the event-log poll

void IPCObject::cmd_metering_on() {
    {
        IQManager* manager = session_manager();
        IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
        const uint32_t interval = metering_interval_ms_;
        if (version() != 0) {
            // The codec's own switch; its subscription then says how often.
            send_command(metering_switch(true, interval != 0 ? interval : kMeterIntervalMs));
        } else if (interval != 0) {
            // A legacy codec reports from the moment "monitor" switches it on.
            send_command(metering_switch(true, interval));
        }
        meteringOn = true;
        subscribe_metering();
    }
    note_levels_pace();
}

void IPCObject::cmd_metering_off() {
    {
        IQManager* manager = session_manager();
        IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
        send_command(metering_switch(false, 0));
        meteringOn = false;
        subscribe_metering();
    }
    note_levels_pace();
}

void IPCObject::setMeteringInterval(uint32_t interval_ms) {
    {
        IQManager* manager = session_manager();
        IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
        if (metering_interval_ms_ == interval_ms) return;
        metering_interval_ms_ = interval_ms;
        if (meteringOn && version() != 0) {
            subscribe_metering();
        } else if (meteringOn && is_logged_in()) {
            send_own(metering_request(interval_ms != 0, interval_ms));
        }
    }
    note_levels_pace();
}

void IPCObject::note_levels_pace() {
    note_pace(ReportFreshness::kLevels, meteringOn ? metering_interval_ms_.load() : 0);
}

void IPCObject::subscribe_metering() {
    if (version() == 0) return;  // a legacy codec meters as "monitor" tells it
    subscribe_paced(kMeteringSubscription, metering_interval_ms_, meteringOn && metering_interval_ms_ != 0);
}

void IPCObject::setStatisticsInterval(uint32_t interval_ms) {
    bool is_legacy = false;
    {
        IQManager* manager = session_manager();
        IPCMutexGuard guard(manager ? manager->mutex() : nullptr);
        if (statistics_interval_ms_ == interval_ms) return;
        statistics_interval_ms_ = interval_ms;
        is_legacy = version() == 0;
        // A legacy codec reports its statistics as "monitor" tells it.
        for (const Subscription& each : subscriptions()) {
            if (!is_legacy && each.pacing == Pacing::kStatistics) subscribe_paced(each.name, interval_ms, true);
        }
    }
    note_pace(ReportFreshness::kStatistics, is_legacy ? 0 : interval_ms);
}

void IPCObject::subscribe_paced(const char* name, uint32_t interval_ms, bool is_wanted) {
    if (!is_logged_in()) {
        subscriptions_.erase(name);
    } else if (is_wanted) {
        subscribe(name, interval_ms);
    } else {
        unsubscribe(name);
    }
}

void IPCObject::cmd_monitor(int interval) {
    send_or_warn(monitor_request(interval));
}

void IPCObject::setEventLogPolling(bool is_on) {
    const bool is_switched_on = is_on && !eventLogPolling;
    eventLogPolling = is_on;
    // A refusal says why the log does not come while it is asked for; then nothing is.
    if (!is_on) noteEventLogRefusal(std::nullopt);
    // The operator asked to read the log: it shows now, not at the next poll.
    if (is_switched_on) send_if_ready(event_log_request());
}

void IPCObject::eventLogTimerExpire() {
    // Sent only while READY: a poll never waits in the queue for a later connection.
    if (eventLogPolling) send_if_ready(event_log_request());
}
