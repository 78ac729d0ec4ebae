#include "sessions/tunnel_info.h"

#include "ipc/base/logger.h"
#include "ipc/message/message.h"

namespace {

constexpr int kLogCategory = 0;
constexpr int kError = 2;
constexpr int kWarning = 3;
constexpr int kDebug = 6;

// Loss and late rates are tenths of a percent: above 10 % the tunnel is in trouble.
constexpr int kLossThreshold = 100;

bool over_threshold(const TunnelCodecStats& stats) {
    return stats.packet_loss_rate > kLossThreshold || stats.packet_late_rate > kLossThreshold;
}

}  // namespace

class TunnelInfo::HandlerScope {
public:
    explicit HandlerScope(bool& isHandling) : isHandling_(isHandling), isEntered_(!isHandling) { isHandling_ = true; }
    ~HandlerScope() {
        if (isEntered_) isHandling_ = false;
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
    bool isEntered() const { return isEntered_; }

private:
    bool& isHandling_;
    const bool isEntered_;
};

TunnelInfo::TunnelInfo(CacheReader reader) : readCached_(std::move(reader)) {}

TunnelInfo::~TunnelInfo() = default;

void TunnelInfo::refresh() {
    for (std::weak_ptr<const Message>* handled : {&handledStats_, &handledConns_, &handledStatus_}) handled->reset();
    handleUnsoTunStats(QUuid());
    handleRecvTunnelStatus(QUuid());
    handleUnsoTunConns(QUuid());
}

void TunnelInfo::detachSession() {
    if (session_) session_->resetWidgets();
}

std::shared_ptr<const Message> TunnelInfo::takeNewReport(const QString& name, std::weak_ptr<const Message>& handled) {
    std::shared_ptr<const Message> report = readCached_(name);
    // The same report shares its control block, which outlives it while `handled` refers to it.
    const bool isHandled = !handled.owner_before(report) && !report.owner_before(handled);
    if (!report || isHandled) return nullptr;
    handled = report;
    return report;
}

void TunnelInfo::handleUnsoTunStats(QUuid) {
    Logger& log = ipc_logger();
    log.log_cat(kLogCategory, kDebug, "handleUnsoTunStats");
    const HandlerScope scope(isHandling_);
    if (!scope.isEntered()) return;
    const std::shared_ptr<const Message> report = takeNewReport(QStringLiteral("tun_stats"), handledStats_);
    if (!report || report->child_count("stats") != 1) return;
    const Message& stats = report->get_child("stats", 0);

    const int count = static_cast<int>(stats.child_count("sess"));
    log.log_cat(kLogCategory, kDebug, "stats node has %d session child nodes", count);
    if (count == 0) {
        if (session_) destroySession();
    } else {
        // One node is followed: the current session's while the codec still lists it, else the
        // last one. Other sessions in the same report are not kept, and a listed current session
        // is never torn down and rebuilt because others are listed beside it.
        int chosen = count - 1;
        if (session_) {
            for (int i = 0; i < count; ++i) {
                if (stats.get_child("sess", static_cast<unsigned>(i)).attributes().get_int("sid", 0) ==
                    session_->sid()) {
                    chosen = i;
                    break;
                }
            }
        }
        const Message& sess = stats.get_child("sess", static_cast<unsigned>(chosen));
        const int sid = sess.attributes().get_int("sid", 0);
        const std::string addr = sess.attributes().get_string("addr", "");
        if (session_ && session_->sid() != sid) {
            log.log_cat(kLogCategory, kDebug, "TunnelInfo destroying session id=%d", session_->sid());
            destroySession();
        }
        if (!session_) {
            log.log_cat(kLogCategory, kDebug, "TunnelInfo creating session id=%d", sid);
            createSession(sid, addr);
        }
        // Listeners of the signals above may have changed the model; look again before each step.
        // The transmit bit rates go to the session the report leaves current, so that a new
        // session has them from its first report on.
        if (session_ && stats.child_count("codec") > 0) session_->updateTxCodecStats(stats.get_child("codec", 0));
        if (session_ && session_->sid() == sid && session_->updateDelay(sess)) emit sessionDelayUpdate(sid);
        if (session_ && session_->sid() == sid && session_->updateRxCodecStats(sess)) emit sessionStatsUpdate(sid);
    }
    emitBraidlinkStatus();
}

void TunnelInfo::handleUnsoTunConns(QUuid) {
    Logger& log = ipc_logger();
    log.log_cat(kLogCategory, kDebug, "handleUnsoTunConns:");
    const HandlerScope scope(isHandling_);
    if (!scope.isEntered()) return;
    const std::shared_ptr<const Message> report = takeNewReport(QStringLiteral("tun_conns"), handledConns_);
    if (!report || report->child_count("conns") == 0) return;
    const Message& conns = report->get_child("conns", 0);

    const unsigned count = conns.child_count("sess");
    if (static_cast<int>(count) != connSessionCount_) {
        connSessionCount_ = static_cast<int>(count);
        emit connsChanged();
    }
    for (unsigned i = 0; i < count; ++i) {
        const Message& sess = conns.get_child("sess", i);
        log.log_cat(kLogCategory, kDebug, "handleUnsoTunConns, parsing session sid=%d",
                    sess.attributes().get_int("sid", 0));
        if (session_) session_->updateSessionStatus(sess);
    }
}

void TunnelInfo::handleRecvTunnelStatus(QUuid) {
    Logger& log = ipc_logger();
    log.log_cat(kLogCategory, kDebug, "TunnelInfo::handleRecvTunnelStatus");
    const HandlerScope scope(isHandling_);
    if (!scope.isEntered()) return;
    const std::shared_ptr<const Message> status = takeNewReport(QStringLiteral("tunnelStatus"), handledStatus_);
    if (!status) return;
    const bool hasNode = status->child_count("node") > 0;
    if (!hasNode) {
        if (status->attributes().get_bool("fail", false)) {
            log.log_cat(kLogCategory, kError, "TunnelInfo::handleRecvTunnelStatus response failure");
            status->dump(kDebug, kLogCategory);
        } else {
            log.log_cat(kLogCategory, kWarning, "TunnelInfo::handleRecvTunnelStatus: status without node ignored");
        }
        return;
    }
    updateSession(status->get_child("node", 0));
}

void TunnelInfo::handleUnsoTunnelStatus(QUuid) {
    ipc_logger().log_cat(kLogCategory, kDebug, "TunnelInfo::handleUnsoTunnelStatus");
    const HandlerScope scope(isHandling_);
    if (!scope.isEntered()) return;
    const std::shared_ptr<const Message> status = readCached_(QStringLiteral("tunnelStatus"));
    if (status) updateSession(*status);
}

void TunnelInfo::updateSession(const Message& status) {
    const unsigned count = status.child_count("sess");
    for (unsigned i = 0; i < count; ++i) {
        const Message& sess = status.get_child("sess", i);
        const Message::Attributes& a = sess.attributes();
        const int sid = a.get_int("sid", 0);
        const int activeConns = a.get_int("active_conns", 0);
        ipc_logger().log_cat(kLogCategory, kDebug, "sessid=%d  active_conns=%d", sid, activeConns);
        if (!session_ && (activeConns >= 1 || count == 1) && a.get_bool("active", false)) {
            const std::string addr = a.get_string("addr", "");
            ipc_logger().log_cat(kLogCategory, kDebug, "creating new tunnel session sid=%d addr=%s", sid, addr.c_str());
            createSession(sid, addr);
        }
        if (session_ && session_->sid() == sid) session_->updateSessionStatus(sess);
    }
}

void TunnelInfo::createSession(int sid, const std::string& addr) {
    session_ = std::make_unique<TunnelSession>(sid, addr);
    emit sessionCreate(sid);
}

void TunnelInfo::destroySession() {
    TunnelSession* doomed = session_.get();
    const int sid = doomed->sid();
    doomed->resetConnections();
    // Still current while the listeners run (the page deletes its buttons then).
    emit sessionDestroy(sid);
    // A listener may already have replaced it; `doomed` is not touched again.
    if (session_.get() == doomed) session_.reset();
    emit connsChanged();
}

void TunnelInfo::emitBraidlinkStatus() {
    QString colour;
    const char* line;
    if (!session_) {
        colour = QStringLiteral("gray");
        line = "braidlink status: gray - no session";
    } else if (over_threshold(session_->txStats) || over_threshold(session_->rxStats)) {
        colour = QStringLiteral("red");
        line = "braidlink status: red - loss/late exceeds threshold";
    } else if (!session_->txStats.bitrate.throttled && !session_->rxStats.bitrate.throttled) {
        colour = QStringLiteral("green");
        line = "braidlink status: green - OK";
    } else {
        colour = QStringLiteral("yellow");
        line = "braidlink status: yellow - throttled";
    }
    emit braidlinkStatus(colour);
    ipc_logger().log_cat(kLogCategory, kDebug, "%s", line);
}
