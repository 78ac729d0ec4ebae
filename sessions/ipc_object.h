#pragma once

// The sessions' contract with the window, in brief:
// - The global instance map owns each session. A session ends only through markForDeletion(),
//   which drops its connection, leaves the pool and deletes it later; the destructor is not public.
// - Widgets hold a session as QPointer<IPCObject> and check it before each use.
// - Signals are emitted on the GUI thread, in the order things happened, never while a manager
//   lock or the session mutex is held: a slot may send, ask the pool or take its time without
//   stalling any codec (a modal dialog is still posted to the event loop, not opened inside the
//   signal). Once the queue has run, the last changedState equals state() (AUTHENTICATED and
//   TIMED_OUT are not reported on their own).
// - Calls already queued are delivered until markForDeletion(); from then on nothing more is
//   (isMarkedForDeletion()).
// - Signals whose first argument is a QUuid name their session by it. The others (levelsReported,
//   recvLevels, recvAllLevels, recvAddPeer, recvAddProfile, recvSystemOpts, recvSetBraidlinkOptions,
//   recvSipProxy, recvCurrentEncoder, recvEventLog, eventLogRefusalChanged, deviceConnected,
//   deviceDisconnected) do not:
//   a slot shared by many sessions uses sender() or a connection that captures the session.
//   deviceEvent carries the session itself.
// - A request the codec refuses raises requestFailed; the refusal never reaches the lists or the
//   reply cache, which keep the last good data.
// - The lists (peers, profiles, statistics, graph series) are the last data the codec sent: kept
//   when the session leaves READY, current only while state() is READY. Read them under mutex(),
//   copy what you need and unlock; never hold mutex() across any other call into the sessions (a
//   command, the pool, another session).
// - Commands (cmd_connect, cmd_disconnect, ...) go out only while READY; those that return bool
//   say whether they were sent.

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ipc/message/message.h"
#include "sessions/awaited_answers.h"
#include "sessions/channel_stats_info.h"
#include "sessions/delay_graph_data.h"
#include "sessions/device_log.h"
#include "sessions/failure_effect.h"
#include "sessions/freshness_sweep.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/kt_event.h"
#include "sessions/locked_message_list.h"
#include "sessions/loss_graph_data.h"
#include "sessions/meter_levels.h"
#include "sessions/peer_meta.h"
#include "sessions/peer_stats_info.h"
#include "sessions/profile_info.h"
#include "sessions/report_freshness.h"
#include "sessions/sent_renames.h"
#include "sessions/session_requests.h"
#include "sessions/tunnel_info.h"
#include "sessions/unanswered_requests.h"
#include "sessions/warning_limiter.h"

class IQCommonPooledApp;
class IQManager;

// One managed codec: the session every view, editor, the scheduler and the alert handler reach by
// its uuid. It logs in through its endpoint client, sends the start-up request set, waits for the
// replies it needs before it calls itself READY, sends the operator's commands, and turns the
// codec's replies and reports into Qt signals.
//
// Threads: lives on the GUI thread, where every slot, timer, sender and getter runs. The socket loop
// thread of its manager calls the state hooks, set_required_messages, after_auth (the start-up set)
// and the two message hooks, always under the manager lock; the hooks store into the reply cache
// under the session mutex and reach the GUI thread only through slot calls queued in the thread's
// SessionInbox. Senders take the manager lock for the hand-over to the connection, and note a
// request whose answer decides more (awaited_answers) under the session mutex before it goes, so
// that the reply hook, which takes it there, always finds it. Lock order: manager lock before the
// session mutex; nothing sends while holding the session mutex. The parsers
// rebuild the session data on the GUI thread under the session mutex and raise their signals (the
// graph series' dataChanged included) after releasing it.
//
// Its members are defined in a file per concern: ipc_object.cpp (the object and its connection),
// ipc_object_commands.cpp, ipc_object_startup.cpp (with the subscriptions, how their reports are
// taken, and the metering pace), ipc_object_answers.cpp (what answers settle, refusals) and
// ipc_object_parsers.cpp.
class IPCObject : public IQEndpointClient {
    Q_OBJECT

public:
    // The login password of a new session, and of a codec as it leaves the factory.
    static constexpr char kDefaultPassword[] = "tarnel";
    // The shortest interval of metering reports, in milliseconds: what a codec is asked for until
    // told otherwise (setMeteringInterval).
    static constexpr int kMeterIntervalMs = 67;

    // What decides the interval a subscription is made with.
    enum class Pacing {
        kFixed,       // always its interval_ms
        kLevels,      // the metering switch and interval (meteringOn, setMeteringInterval)
        kStatistics,  // the statistics interval (setStatisticsInterval)
    };
    struct Subscription {
        const char* name;
        uint32_t interval_ms;  // what a session nothing paces asks for
        Pacing pacing;
        // The "id" its reports carry, which names their slot (report_key); null when no slot reads
        // them.
        const char* report_id;
    };
    // What a codec that takes subscriptions is asked for after login, in this order.
    static const std::vector<Subscription>& subscriptions();
    // The slots of the session's own that its loop-thread hooks queue for the GUI thread; reached
    // by signature, as the reply and report slots are (own_slot_signature).
    enum class OwnSlot {
        kRaiseRequestFailed,
        kConnectAssignedPeer,
        kDropRefusedProfileCopy,
        kAnnounceNewestLevels,
        kTellCommandsRead,
    };
    static constexpr int kOwnSlotCount = 5;
    static const char* own_slot_signature(OwnSlot slot);
    static constexpr int kEventLogPollMs = 6200;
    // Delay between an unsolicited "version" and asking for the version, in milliseconds.
    static constexpr int kVersionReaskMs = 100;
    // The level meters' scale in dBFS (see meter_levels).
    static constexpr float kSilenceDb = meter_levels::kSilenceDb;
    static constexpr float kFullScaleDb = meter_levels::kFullScaleDb;
    // Channel statistics records are kept for the session's lifetime; a codec naming more channels
    // than this gets no records for the rest.
    static constexpr int kMaxChannelStats = 256;
    // Characters of the codec's name a log line shows (log_name); a longer name is cut.
    static constexpr int kMaxLoggedNameLength = 64;

    // `name` is the uuid's text (QUuid::toString) and names the endpoint. Throws std::logic_error
    // for a null uuid.
    IPCObject(const QString& name, QUuid uuid);

    // The program's session pool, recorded once at start-up for whoever needs to reach it. GUI
    // thread only.
    static void setSessionPool(IQCommonPooledApp* pool);
    static IQCommonPooledApp* sessionPool();

    // "host:port", with an IPv6 host in brackets ("[fe80::1]:5004"); empty for a port outside
    // 1..65535, which is never connected to.
    static QString addressText(const QString& host, int port);

    void setAddress(const QString& new_host, int new_port);
    // The codec's address and, once the codec has said it, its name as the log shows it: quoted,
    // escaped and cut to kMaxLoggedNameLength characters (10.0.0.5:5000 "Studio A"). Any thread.
    QString log_name() override;
    void setConnection(const QString& new_host, int new_port, const QString& password);
    void reconnectIPC();
    void disconnectIPC();
    void scheduleReconnect(int delayMs);
    // The only end of a session: drops the connection, leaves the pool, drops every call and signal
    // still queued, emits nothing more and deletes the object later. Calling it again does nothing.
    void markForDeletion();
    bool isMarkedForDeletion() const { return markedForDeletion; }
    IQManager* ipcManager() const { return session_manager(); }
    // Hands the operator's request to the connection under the manager lock; false (with a
    // warning) when the session is not placed on a manager. A refusal of it is raised with its
    // definition (FailureEffect::asked), which says it in the operator's words.
    bool send(const session_requests::AskedRequest& request);
    // Hands over every request, in order, when the session is READY, and none otherwise: READY is
    // decided once, under the manager lock, so the codec cannot drop half-way. Returns which.
    bool send_all_if_ready(const std::vector<session_requests::AskedRequest>& requests);
    // Whether the codec speaks the versioned protocol, and so takes subscriptions and has a tunnel.
    bool takesSubscriptions();
    // Whether the codec tells when it has read a command without seq (commandRead): one of the
    // versioned dialect, which answers for itself and in order. GUI thread.
    bool tellsCommandsRead() { return takesSubscriptions(); }

    void setMeteringFlag(bool is_on) { meteringOn = is_on; }
    // How often the codec is asked for its levels while metering is switched on, in milliseconds;
    // 0 asks for none. A codec that takes subscriptions is told through its "metering"
    // subscription (or "unsubscribe"), a legacy one through "monitor". Sent at once while the
    // session is logged in; otherwise the next start-up set asks for the interval as it stands
    // then. The metering switch (meteringOn) is left as it is.
    void setMeteringInterval(uint32_t interval_ms);
    uint32_t meteringInterval() const { return metering_interval_ms_; }
    // How often a codec that takes subscriptions is asked for its statistics and its tunnel's
    // (the subscriptions paced by Pacing::kStatistics), in milliseconds; 0, the start, lets it
    // report at its own pace. Sent at once while the session is logged in; otherwise the next
    // start-up set asks for the interval as it stands then. A legacy codec reports them as
    // "monitor" tells it, whatever this says.
    void setStatisticsInterval(uint32_t interval_ms);
    uint32_t statisticsInterval() const { return statistics_interval_ms_; }
    // Switched on while READY, the log is fetched at once, then polled every kEventLogPollMs.
    void setEventLogPolling(bool is_on);
    // Views lock it while they copy from the session's parsed lists.
    SessionMutex& mutex() { return session_mutex(); }
    void traceMessage(const Message& message) const;

    // Reply-cache reads by cache name (a request's "seq" or a report's name); each locks the mutex.
    bool getCachedMessage(const QString& name, Message& out);
    // The codec's newest levels in dB, in the order of recvAllLevels, as its last level report on
    // this connection gave them; false before the first one. For views that show levels at their
    // own pace, told by levelsReported and levelReportCount. Takes the session mutex.
    bool newestLevels(std::array<float, 8>& db);
    // The level reports so far: a view that has read levels at one count has missed none while it
    // stays. GUI thread.
    quint64 levelReportCount() const { return level_reports_; }
    // Whether the newest levels, or the newest statistics, stopped coming: no level for about a
    // second, statistics older than two of their periods at the pace asked for (ReportFreshness).
    // They are live again at the next report; figuresFreshnessChanged tells of each turn. GUI
    // thread.
    bool areLevelsStale() const { return freshness_.isStale(ReportFreshness::kLevels); }
    bool areStatisticsStale() const { return freshness_.isStale(ReportFreshness::kStatistics); }
    // Marks the figures that stopped coming by `now` as stale, and tells of each turn. Returns when
    // the next live figures turn stale; none while nothing is live. The FreshnessSweep calls it.
    std::optional<ReportFreshness::Clock::time_point> checkFreshness(ReportFreshness::Clock::time_point now);
    // The last reason the connection failed or a frame of the codec was dropped before READY; none
    // since the codec was last READY (faultChanged tells). Any thread.
    ConnectionFault lastFault() { return last_fault(); }
    // The codec's frames dropped since its link came up, the login's included, until a new
    // connection or markLinkDropsSeen (linkDropsChanged tells). Any thread.
    LinkDrops linkDrops() { return link_drops(); }
    // The operator has seen linkDrops(): it is emptied, and counts again from now. Any thread.
    void markLinkDropsSeen() { forget_link_drops(QDateTime::currentDateTimeUtc()); }
    // Whether a request of `seq` (an editor's save, say) awaits the codec's answer; answersSettled
    // tells when that may have changed. GUI thread.
    bool awaitsAnswer(const char* seq) { return awaits_answer(seq); }
    Message expectedMessage(const QString& name);
    bool findProfile(const QString& id, Message& out);
    bool findPeer(const QString& id, Message& out);
    QString unitName();
    unsigned int productBuild();
    // The peers in an audio connection as of the last peer list, copied under the mutex. Like the
    // list they come from, kept when the session leaves READY: live only while state() is READY.
    QList<PeerMetaPtr> activePeerList();

    // Fetch requests: always sent (queued by the endpoint while not logged in).
    void cmd_get_channel_list();
    void cmd_get_channel_opts();
    void cmd_get_profile_list();
    void cmd_get_codec_list();
    void cmd_get_peer_list();
    void cmd_get_directory_server();
    void cmd_get_sys_options();
    void cmd_get_braidlink_settings();
    void cmd_get_tunnel_status();
    void cmd_get_event_log();

    // Who asked for a command. A refusal of the operator's own raises requestFailed with what it
    // left undone (FailureEffect), which the window tells the operator; a refusal of the program's
    // own (the scheduler's) with its name and the peer ids it named, and no effect: the scheduler
    // says it on its own row.
    enum class Asker { kProgram, kOperator };

    // Operator and scheduler commands: sent only while READY, otherwise warned about and dropped,
    // so that nothing pressed while a codec is offline is replayed on a later connection. Those
    // returning bool say whether the command was sent.
    // The scheduler's connect; the operator's is cmd_connect_peer.
    bool cmd_connect(const QString& id);
    bool cmd_disconnect(int id, Asker asker = Asker::kProgram);
    // Asks for no entries and clears the codec's own event log (the "Reset" of the event-log panel).
    void cmd_get_event_log_noreply();
    void cmd_set_sys_options(const Message& options);
    void cmd_set_unit_name(const QString& name);
    bool cmd_set_profile(const Message& profile);
    void cmd_add_new_profile();
    // Sends "addProfile" and queues `profile` (a "profile" node of another codec); the codec's
    // answer gives the new id, under which the profile is then written ("setProfile"). A codec of
    // the old protocol gets nothing.
    bool cmd_add_profile(const Message& profile);
    void cmd_copy_profile(int id, const QString& name);
    bool cmd_delete_profile(int id);
    bool cmd_add_peer(const QString& name, const QString& addr, const QString& password);
    bool cmd_add_peer_bdlink(const QString& name, const QString& addr, const QString& password, const QString& unit);
    // Copies a "peer" element of another codec's peer list into this codec's address book.
    bool cmd_add_peer_meta(const Message& peer);
    bool cmd_remove_peer(int id);
    void cmd_set_peer_settings(int id, int profile);
    // The metering choice is kept even when the session is not READY: the start-up set applies it.
    // Switched on, the codec is asked for its levels at the metering interval, if any.
    void cmd_metering_on();
    void cmd_metering_off();
    void cmd_monitor(int interval);
    // Connects the peer whose id text is `peerId`, first assigning the profile `profile` (an id
    // text) when the peer has another one. An empty or non-numeric `profile` keeps the peer's own.
    // An assigned profile must be accepted first: "connect" follows its answer, and a refusal, or
    // an answer that cannot be told from another's, connects nothing and raises requestFailed
    // (FailureEffect::kNotConnected, kNotConnectedUnsure). The operator's command: a refused
    // "connect" raises kNotConnected too. False when the peer is not in the last peer list or the
    // session is not READY: nothing was sent.
    bool cmd_connect_peer(const QString& peerId, const QString& profile);
    // "disconnect" without an id: the codec drops every connection. Then drops the peer statistics.
    bool cmd_disconnect_peer(Asker asker = Asker::kProgram);

    // Alert sound file per KT_EVENT; empty when none is set. GUI thread only.
    void setAlertSound(int kind, const QString& file);
    QString alertSound(int kind) const;

    // The display lines of every stored event-log entry, oldest first.
    QStringList eventLogLines() const { return eventLog.lines(); }
    // What the codec said when it last refused to send its event log, until it next sends it,
    // logging stops or a new connection starts; none while it sends it. Its code and text, as the
    // codec wrote them. GUI thread only.
    struct Refusal {
        QString code;
        QString text;
        bool operator==(const Refusal& other) const { return code == other.code && text == other.text; }
    };
    std::optional<Refusal> eventLogRefusal() const { return eventLogRefusal_; }

    // IQEndpointClient hooks; the message hooks and the list run on the socket loop thread.
    void after_authenticated() override;
    void handle_response(const Message& reply) override;
    void handle_unsolicited(const Message& message) override;
    void set_required_messages() override;

    const QUuid uuid;  // the instance key; never null
    QString host = QStringLiteral("0.0.0.0");
    int port = 80;
    std::atomic<bool> meteringOn{true};        // read by the start-up set on the loop thread
    std::atomic<bool> eventLogPolling{false};  // read by the start-up set on the loop thread
    QList<QString> alertEmails;                // kept in memory only

    // The codec's data as the parsers last built it. Guarded by mutex(): written by the parsers on
    // the GUI thread, read by every view. A view locks, copies what it needs and unlocks; it never
    // keeps a pointer or reference into these members past a return to the event loop, because
    // the next report replaces them. The peers are shared and immutable (PeerMetaPtr), so a copied
    // list stays readable after the next peer list; statistics and profiles are plain values.
    QList<PeerMetaPtr> allPeers;                   // every peer of the last peer list, in message order
    QList<PeerMetaPtr> activePeers;                // those with `active` set
    QList<PeerMetaPtr> bookPeers;                  // those without a directory record
    QList<PeerMetaPtr> directoryPeers;             // those with a directory record
    QMap<int, PeerMetaPtr> peerById;               // `id` as a decimal number (non-numbers count as 0)
    QList<int> activePeerIds;                      // ids of `activePeers`, in the same order
    int activePeerCount = -1;                      // size of `activePeers`; -1 until the first peer list
    QString chanState;                             // the last non-empty "chan_state" of the last peer list
    QString receivingPeerId;                       // last active peer seen receiving; kept while none is
    QMap<int, PeerStatsInfo> peerStatsById;        // the last "peerStats" report, by peer id
    QMap<int, ChannelStatsInfo> channelStatsById;  // every channel ever reported, by channel id
    QList<ProfileInfo> profiles;                   // the last profile list, in message order
    QString defaultProfileId;                      // id of the profile marked "default"; may be empty
    LossGraphData lossGraph;                       // guarded by mutex(); views copy a series, see GraphData
    DelayGraphData delayGraph;                     // guarded by mutex(); views copy a series, see GraphData
    // Not under mutex(): the device log is GUI-thread only, the event log has its own lock.
    DeviceLog deviceLog;
    LockedMessageList eventLog;
    // The codec's tunnel, rebuilt from the cached tunnel reports on the GUI thread; the tunnel page
    // reads it there. Connects itself to recvTunStats, recvTunConns and recvTunnelStatus.
    TunnelInfo tunnelInfo;
    // The renames of peers and profiles the operator sent from this program, until the peer or
    // profile list shows them: each list is followed by every view before they are settled with
    // it. GUI thread only.
    SentRenames sentPeerRenames;
    SentRenames sentProfileRenames;

signals:
    void newChanState(QUuid, QString state);
    void error(QUuid, QString text);
    void reconnect(QUuid);
    void recvChannelList(QUuid);
    void recvChannelOpts(QUuid);
    void recvChannelStats(QUuid);
    void recvPeerStats(QUuid);
    void recvPeerList(QUuid);
    void recvAddPeer();
    void recvAddProfile(int id);
    void recvProfileList(QUuid);
    void recvVantixConfig(QUuid, QString config);
    void recvSysOptions(QUuid);
    void recvCodecList(QUuid);
    void recvDirectoryServer(QUuid);
    // A level report arrived (newestLevels reads it). recvLevels and recvAllLevels follow with its
    // values. A newer report of the same session replaces one not yet told of.
    void levelsReported();
    void recvLevels(float rmlf, float rmrf, float tmlf, float tmrf);
    void recvAllLevels(float rmlf, float rmrf, float tmlf, float tmrf, float rmls, float rmrs, float tmls, float tmrs);
    void recvVersion(QUuid);
    void recvSystemOpts();
    void recvTunConns(QUuid);
    void recvTunStats(QUuid);
    void recvTunnelStatus(QUuid);
    void recv(QUuid);
    void recvBraidlinkSettings(QUuid);
    void recvSetBraidlinkOptions();
    void recvSipProxy();
    void recvCurrentEncoder();
    void recvEventLog(const QStringList& lines);
    // eventLogRefusal() changed: a poll was refused in other words than the last, or answered
    // after a refusal. Polls refused alike raise it once.
    void eventLogRefusalChanged();
    void deviceEvent(IPCObject* session, KT_EVENT kind);
    void deviceConnected();
    void deviceDisconnected();
    void changedState(QUuid, IQEndpointClient::DEVICE_STATE new_state);
    // lastFault() changed.
    void faultChanged(QUuid);
    // linkDrops() changed.
    void linkDropsChanged(QUuid);
    // An answer came to a request the operator asked for, or the link was lost before it did.
    void answersSettled(QUuid);
    // areLevelsStale() or areStatisticsStale() changed.
    void figuresFreshnessChanged(QUuid);
    // The codec refused a request. `request` is the reply's seq ("peerList", "addPeer", ...) or,
    // for a request sent without one, its name ("connect", "removePeer", ...) when it was the only
    // such request awaiting an answer; empty when it cannot be told, and then `effect` lists the
    // requests it may answer (FailureEffect::kAnswersOneOf) when there were any. The cached reply
    // and the lists keep their last good data. `effect`: what became of the operator's action
    // behind it (a profile copy, a connect). Also raised, with empty error texts, for an answer the session
    // could not use (FailureEffect::isRefusal is false then).
    void requestFailed(QUuid, QString request, QString errorCode, QString errorText, FailureEffect effect);
    // The operator's own "connect" of the peer (its id text) went to the codec: the scheduler's
    // connects never raise it.
    void operatorConnected(QUuid, QString peerId);
    // The operator's own "disconnect" of the peer went to the codec; -1: of every peer.
    void operatorDisconnected(QUuid, int peerId);
    // The codec has read a command the operator or the scheduler sent without seq ("connect",
    // "disconnect"; `peerId` the id it named, -1 for none): it answered a request sent after it,
    // and a refusal of it, if any, was raised before this. Raised in the order they were sent;
    // never for a codec of the old dialect (tellsCommandsRead).
    void commandRead(QUuid, QString request, int peerId);

protected:
    // Only markForDeletion() ends a session (deleteLater); it leaves its pool first all the same.
    ~IPCObject() override;

    // Rebuilds `peerStatsById` from the cached "peerStats" and feeds the graph series.
    void parsePeerStats();
    SessionInbox::Delivery delivery_of(const QString& key) const override;

public slots:
    void sayHi() {}

    // Slot names are part of the protocol: the endpoint client invokes "cb_resp_" + key without
    // arguments and "cb_unso_" + key with the message. Do not rename them.
protected slots:
    void allMessagesPresent();
    void cmd_get_version_slot();
    void cb_resp_channelList();
    void cb_resp_channelOpts();
    void cb_resp_profileList();
    // Rebuilds from the cached list, for a caller that has just stored one: the codec's own lists,
    // whichever road they come by, go to cb_unso_peerList with the list each came in.
    void cb_resp_peerList();
    void cb_resp_version();
    void cb_resp_sysOptions();
    void cb_resp_systemOpts();
    void cb_resp_codecList();
    void cb_resp_vantixConfig();
    void cb_resp_directoryServer();
    void cb_resp_peerStats();
    void cb_resp_channelStats();
    void cb_resp_levels();
    void cb_resp_addPeer();
    void cb_resp_addProfile();
    void cb_resp_powerInfo() {}
    void cb_resp_sipProxy() {}
    void cb_resp_currentEncoder() {}
    void cb_resp_cc() {}
    void cb_resp_tunnelStatus();
    void cb_resp_braidlinkSettings();
    void cb_resp_setBraidlinkOptions();
    void cb_resp_eventLog();
    void cb_unso_currentEncoder(const Message& unso);
    void cb_unso_sipProxy(const Message& unso);
    void cb_unso_channelList(const Message& unso);
    void cb_unso_channelOpts(const Message& unso);
    void cb_unso_profileList(const Message& unso);
    // Rebuilds from `unso`: a peer list as the codec sent it, reply or report, in the order sent.
    void cb_unso_peerList(const Message& unso);
    void cb_unso_version(const Message& unso);
    void cb_unso_systemOpts(const Message& unso);
    void cb_unso_codecList(const Message& unso);
    void cb_unso_vantixConfig(const Message& unso);
    void cb_unso_directoryServer(const Message& unso);
    void cb_unso_metering(const Message& unso);
    void cb_unso_addPeer(const Message&) {}
    void cb_unso_addProfile(const Message&) {}
    void cb_unso_tun_stats(const Message& unso);
    void cb_unso_tun_conns(const Message& unso);
    void cb_unso_cfgStatus_netmgr_tunnel(const Message& unso);
    void cb_unso_netmgr_tunnel(const Message& unso);
    void cb_unso_peer_stats(const Message& unso);
    void cb_unso_channel_stats(const Message& unso);
    // The start-up request set; runs on the socket loop thread inside set_state(AUTHENTICATED).
    void after_auth();
    void cb_unso_channelStats(const Message& unso);
    void cb_unso_levels(const Message& unso);
    void cb_unso_peerStats(const Message& unso);
    void cb_unso_sysOptions(const Message& unso);
    // These take a message, so the reply path (no arguments) never reaches them: those replies are
    // only cached.
    void cb_resp_login(const Message&) {}
    void cb_resp_setPeerSettings(const Message&) {}
    void cb_resp_setSysOptions(const Message&) {}
    void changedState_connecting();
    void changedState_connected();
    void changedState_disconnected();
    void changedState_wrong_password();
    void changedState_ready();
    void eventLogTimerExpire();

private:
    struct RequestFailure;

private slots:
    void doReconnect();
    void addProfileCallback(int id);
    // Raises requestFailed, its subjects named from the session's lists; queued by the loop
    // thread's reply hook. Deletes the empty profile of a refused copy.
    void raiseRequestFailed(const RequestFailure& failure);
    void dropRefusedProfileCopy();
    // Sends the "connect" whose profile the codec has just accepted: the peer's id.
    void connectAssignedPeer(const QString& peer);
    // Tells of the newest levels that the loop thread took from a level report.
    void announceNewestLevels();
    // Raises commandRead for each command the loop thread saw read.
    void tellCommandsRead(const std::vector<RequestsInFlight::Request>& read);

private:
    // What the answer to a request decides: to one of an awaited seq (see awaited_answers()), or to
    // one without seq; `{}` for nothing.
    struct AwaitedNote {
        int copy_id;                       // "setProfile": the new profile a copy writes; 0 for an edit
        QString connect_peer;              // "setPeerSettings": the peer to connect once it is accepted
        UnansweredRequests::Note refused;  // without seq: what its refusal leaves undone
        QString added_peer;                // "addPeer": the name of the peer it adds, to name it in a refusal
    };
    // What an answer to a request of an awaited seq decided: the effect on the operator's action,
    // with the ids it concerns (for a refusal without effect, what the request named), or the peer
    // to connect now.
    struct Settlement {
        FailureEffect::Kind effect = FailureEffect::kNone;
        QList<int> ids;
        QString connect_peer;
        QString added_peer;  // a refused "addPeer": the name it gave the peer
    };
    // A refusal, or an answer the session could not use, as the loop thread settled it; carried to
    // raiseRequestFailed as it is.
    struct RequestFailure {
        QString request;                                 // see requestFailed
        const session_requests::OperatorRequest* asked;  // see FailureEffect::asked
        QString code;
        QString text;
        Settlement settled;
        std::vector<UnansweredRequests::Request> candidates;  // the requests it may answer
        ConnectionFault lost_link;                            // see FailureEffect::lostLink
    };
    // A profile waiting for the id of its "addProfile".
    struct PendingCopy {
        Message profile;  // a "profile" node of another codec
        // The ids this codec held when "addProfile" went (held_profile_ids()), and those given
        // since to the copies before it.
        QSet<int> held_profiles;
    };

    // The note of a command without seq: what its refusal leaves undone when the operator asked
    // for it, nothing for the program's own.
    static AwaitedNote refusal_note(Asker asker, FailureEffect::Kind undone, const QList<int>& ids);
    // The program's own request, in any state (queued by the endpoint while not logged in).
    bool send_own(const session_requests::Request& request);
    // Runs `hand_over` under the manager lock when the session is READY, and says whether it
    // sent: READY is decided once, so that the state cannot change between the test and the
    // hand-over. False when not READY.
    template <typename HandOver>
    bool while_ready(HandOver hand_over);
    // Sends only while READY. False when not sent.
    bool send_if_ready(const session_requests::Request& request, const AwaitedNote& note = {});
    // send_if_ready, with a warning naming the dropped request.
    bool send_or_warn(const session_requests::Request& request, const AwaitedNote& note = {});
    // send_or_warn for a command. The operator's, unless `asker` says it is the program's: then a
    // refusal of it is told to no one but the log and the scheduler.
    bool send_command(const session_requests::AskedRequest& request, AwaitedNote note = {},
                      Asker asker = Asker::kOperator);
    // send_command for the operator's "connect" of the peer (its id text), then operatorConnected.
    bool send_operator_connect(const QString& peer);
    // Hands the request over; one of an awaited seq is noted first, with `note`, so that its
    // answer always finds it, and taken back when it did not go. The operator's request of a seq
    // (note.refused.asked) is kept as the one that seq names in a refusal.
    bool send_noting(const session_requests::Request& request, const AwaitedNote& note);
    // The note the operator's request goes with: its definition, to tell a refusal of it by.
    static AwaitedNote asked_note(const session_requests::AskedRequest& request, AwaitedNote note = {});
    // The answers of "setProfile" (a copy's write or an edit), of "deleteProfile" with a seq (only
    // the removal of a refused copy's empty profile carries one), of "setPeerSettings" (maybe
    // awaited by a connect) and of "addPeer" (whose refusal names the peer) decide more than their
    // request: these are noted as they go. Null for any other seq.
    AwaitedAnswers<AwaitedNote>* awaited_answers(const std::string& seq);
    // Pairs an answer with the noted request of its seq, and says what that decides. From the
    // reply hook.
    Settlement settle_awaited(const Message& reply);
    // A refusal never counts as data: logged, then raised as requestFailed on the GUI thread.
    // `request` names what was refused (see requestFailed), `asked` the operator's request it is,
    // or `candidates` what it may answer. Loop thread.
    void report_refusal(const Message& reply, const QString& request, const session_requests::OperatorRequest* asked,
                        const Settlement& settled, const std::vector<UnansweredRequests::Request>& candidates = {});
    // The operator's request last sent under `seq`; null when none was. Takes the session mutex.
    const session_requests::OperatorRequest* asked_by_seq(const std::string& seq);
    // A refusal without seq, as the request it answers when `answerable` holds one, else as one of
    // them (FailureEffect::kAnswersOneOf).
    void report_seqless_refusal(const Message& reply, const std::vector<UnansweredRequests::Request>& answerable);
    // Queues the raising of requestFailed on the GUI thread.
    void queue_failure(RequestFailure failure);
    // Keeps `refusal` as eventLogRefusal(), and tells of a change. GUI thread.
    void noteEventLogRefusal(const std::optional<Refusal>& refusal);
    // Sends "deleteProfile" with a seq for the empty profile of a copy whose write was refused.
    void delete_copy_profile(int id);
    // The ids of the profiles in the cached profile list, and unlisted_copy_ids_.
    QSet<int> held_profile_ids();
    // `id` named from the session's peers when `request` concerns a peer, else from its profiles.
    FailureEffect::Subject effect_subject(const QString& request, int id);
    // The subjects of the ids a failure or one of its candidates concerns, named as `request`
    // requires.
    QList<FailureEffect::Subject> effect_subjects(const QString& request, const QList<int>& ids);
    // A request a failure may answer, as the session's lists show it now.
    FailureEffect::Candidate answerable_candidate(const UnansweredRequests::Request& request);
    // Whether the last peer list shows done what a connect or disconnect of `subjects` asked for.
    bool is_shown_done(FailureEffect::Kind undone, const QList<FailureEffect::Subject>& subjects);
    bool is_logged_in() const { return state() == AUTHENTICATED || state() == READY; }
    // The codec's "metering" subscription as metering and its interval stand now (see
    // subscribe_paced).
    void subscribe_metering();
    // Subscribes to `name` at `interval_ms`, or unsubscribes when it is not `is_wanted`, while the
    // session is logged in. Otherwise the name is dropped from the subscriptions kept for the next
    // connection, which go out before its start-up set subscribes afresh. Under the manager lock.
    void subscribe_paced(const char* name, uint32_t interval_ms, bool is_wanted);
    // Queues the call of a reply's slot `slot` (without arguments), or hands a peer list, `stored`
    // as cached, to cb_unso_peerList with the call. Loop thread.
    void queue_reply(const QString& key, int slot, const SharedMessage& stored);
    // Queues a call of one of this class's own slots for the GUI thread.
    void queue_own_slot(OwnSlot slot, std::shared_ptr<const void> argument,
                        SessionInbox::Delivery delivery = SessionInbox::Delivery::kInOrder);
    // Folds the options a "cfgSetOption" answer reports into the tunnel settings as cached
    // ("braidlinkSettings"): the codec reports its new tunnel values only in the answer.
    static void apply_tunnel_answer(const Message& answer, Message& settings);
    // Emits the graph series' pending dataChanged; without the session mutex.
    void announce_graph_changes();
    // What a report asks of the session beyond its slot, by its key.
    struct ReportHandling {
        QLatin1String key;
        bool has_values_child;   // a subscribing codec sends its values in a child; dropped without one
        bool is_newest_only;     // it says what the meters show now: a newer one replaces it (delivery_of)
        const char* part;        // the child filed under `filed_as`, without a copy; null: the whole report
        QLatin1String filed_as;  // the key the parsers read it by; empty: its own only
    };
    // The handling of the reports that need one, beside the subscriptions (ipc_object_startup.cpp);
    // null for any other key.
    static const ReportHandling* report_handling(const QString& key);
    // True for reports that carry their values in a child on a subscribing codec, and lack it.
    static bool is_childless_report(const QString& key, const Message& message);
    // True for the keys of the reports that setStatisticsInterval paces.
    static bool is_statistics_report(const QString& key);
    // Files the statistics a subscribed report carries, and a pushed tunnel status, under the
    // names the parsers read them by, without a copy.
    void file_report_parts(const QString& key, const SharedMessage& report) override;

    // The parsers' bodies, on a report already taken from the cache (GUI thread).
    void apply_peer_list(const Message& list);
    void apply_peer_stats(const Message& report);
    void apply_channel_stats(const Message& report);
    // The node of a level report that holds the values: the report itself from a legacy codec,
    // its first child otherwise; null (with a warning) for a report without one.
    const Message* level_values(const Message& report);
    // Keeps the levels of a report's values as the newest, then tells of them (GUI thread).
    void report_levels(const Message& report);
    // A subscribing codec's level report, on the loop thread: its levels are kept as numbers and
    // announced by a call that a newer report replaces while it waits. Nothing reads the report
    // itself again, so it is not cached.
    void receive_levels(const Message::Attributes& values);
    void keep_newest_levels(const std::array<float, 8>& db);
    // levelsReported, then both level signals (GUI thread).
    void announce_levels(const std::array<float, 8>& db);
    void forget_reports() override;
    // Tells the operator of the requests of theirs the codec had not answered when the link ended.
    void on_link_lost(const std::vector<RequestsInFlight::Request>& unsettled, const ConnectionFault& why) override;
    void on_commands_read(const std::vector<RequestsInFlight::Request>& read) override;
    // Figures of `which` came: live again if they were stale (GUI thread).
    void note_figures(ReportFreshness::Figures which);
    // The pace at which the codec is asked for `which` changed (GUI thread).
    void note_pace(ReportFreshness::Figures which, uint32_t interval_ms);
    // note_pace for the levels as the metering switch and interval ask for them.
    void note_levels_pace();
    // Tells the freshness sweep when the next live figures turn stale.
    void watch_freshness();
    // Whether the levels, and the statistics, are stale.
    using Staleness = std::pair<bool, bool>;
    Staleness staleness() const;
    // Marks what has passed its time at `now` and tells of any turn since `before`. Returns when
    // the next live figures turn stale; none while nothing is live.
    std::optional<ReportFreshness::Clock::time_point> settle_freshness(Staleness before,
                                                                       ReportFreshness::Clock::time_point now);

    // The protocol version as the loop thread last saw it, for the GUI-thread slots: 0 = legacy.
    std::atomic<int> codec_version_{1};
    std::array<float, 8> newest_levels_{};            // guarded by the session mutex; valid with has_newest_levels_
    bool has_newest_levels_ = false;                  // guarded by the session mutex; emptied with the reply cache
    quint64 level_reports_ = 0;                       // GUI thread
    ReportFreshness freshness_;                       // GUI thread
    std::shared_ptr<FreshnessSweep> freshnessSweep_;  // shared by every session; joined while this one lives
    // Written under the manager lock; read by the start-up set on the loop thread.
    std::atomic<uint32_t> metering_interval_ms_{kMeterIntervalMs};
    std::atomic<uint32_t> statistics_interval_ms_{0};  // likewise
    bool markedForDeletion = false;                    // set once; blocks every later reconnect
    QTimer pollTimer;                                  // event-log poll; GUI thread
    // The address as setAddress last set it, for log_name on any thread. Guarded by the session mutex.
    QString logged_address_;
    // Profiles waiting for the id of their "addProfile", oldest first; GUI thread. Emptied on a new
    // connection, whose codec never answers the old requests.
    std::deque<PendingCopy> pending_profiles_;
    // The ids the codec gave this session's copies since the profile list was last taken (the
    // cached list may not show them yet), kept through a reconnect; GUI thread.
    QSet<int> unlisted_copy_ids_;
    // The id each accepted reply with seq "addProfile" carried (0 for none), in arrival order: the
    // cached reply may already be replaced when its slot runs. Guarded by the session mutex.
    std::deque<int> added_profile_ids_;
    // The requests of the awaited seqs sent and not yet answered (see awaited_answers()). Guarded
    // by the session mutex; emptied on a new connection.
    AwaitedAnswers<AwaitedNote> profile_writes_;
    AwaitedAnswers<AwaitedNote> copy_deletions_;
    AwaitedAnswers<AwaitedNote> peer_assignments_;
    AwaitedAnswers<AwaitedNote> peer_additions_;
    // The operator's request each seq named when it was last sent, which a refusal under that seq
    // answers. Guarded by the session mutex; kept across connections (a seq names one definition).
    std::map<std::string, const session_requests::OperatorRequest*> asked_by_seq_;
    QMap<int, QString> alertSounds;           // KT_EVENT -> sound file; GUI thread
    WarningLimiter warnings_;                 // the GUI-thread parsers' warnings about malformed reports
    std::optional<Refusal> eventLogRefusal_;  // GUI thread
};
