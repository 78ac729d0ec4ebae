#include "sessions/tunnel_session.h"

#include <set>

#include "ipc/base/logger.h"
#include "ipc/message/message.h"
#include "sessions/update_if_changed.h"

namespace {

constexpr int kLogCategory = 0;
constexpr int kError = 2;
constexpr int kWarning = 3;
constexpr int kDebug = 6;

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

// A connection's name in the reports: its interface numbers as received, "li:ri".
std::string connectionUid(const Message::Attributes& a) {
    return a.get_string("li", "") + ":" + a.get_string("ri", "");
}

}  // namespace

TunnelSession::TunnelSession(int sid, const std::string& addr) : sid_(sid), addr_(addr) {
    ipc_logger().log_cat(kLogCategory, kDebug, "TunnelSession constructor");
}

TunnelSession::~TunnelSession() {
    // Normally the page or resetWidgets() has already deleted the buttons; a button left behind
    // would go on labelling a connection that no longer exists.
    clearIfcWidgets();
}

bool TunnelSession::updateDelay(const Message& sess) {
    const Message::Attributes& a = sess.attributes();
    bool changed = false;
    if (a.has("dm")) changed |= updateIfChanged(max_allowed_delay_tx, a.get_int("dm", 0));
    if (a.has("rdm")) changed |= updateIfChanged(max_allowed_delay_rx, a.get_int("rdm", 0));
    changed |= txStats.readDelay(sess);
    changed |= rxStats.readRemoteDelay(sess);
    return changed;
}

void TunnelSession::updateTxCodecStats(const Message& codec) {
    ipc_logger().log_cat(kLogCategory, kDebug, "update tx codec stats:");
    txStats.bitrate.update(codec);
}

bool TunnelSession::updateRxCodecStats(const Message& sess) {
    txStats.readLoss(sess);
    rxStats.readRemoteLoss(sess);
    if (sess.child_count("codec") > 0) {
        ipc_logger().log_cat(kLogCategory, kDebug, "update rx codec stats:");
        rxStats.bitrate.update(sess.get_child("codec", 0));
    }
    for (auto& entry : connections_) entry.second->updated = false;
    return updateConnections(sess);
}

bool TunnelSession::updateSessionStatus(const Message& sess) {
    const Message::Attributes& a = sess.attributes();
    if (a.get_int("sid", 0) != sid_) return false;
    active = a.get_bool("active", false);
    isProtected = a.get_bool("protected", false);
    encrypted = a.get_bool("encrypted", false);
    state = a.get_string("state", "");
    ipc_logger().log_cat(kLogCategory, kDebug,
                         "TunnelSession::updateSessionStatus: active=%s protected=%s encrypted=%s state=%s",
                         active ? "true" : "false", isProtected ? "true" : "false", encrypted ? "true" : "false",
                         state.c_str());
    bool changed = false;
    const unsigned count = sess.child_count("conn");
    for (unsigned i = 0; i < count; ++i) {
        const Message& conn = sess.get_child("conn", i);
        ipc_logger().log_cat(kLogCategory, kDebug, "update session status.. update connection...");
        if (TunnelConnection* connection = updateConnection(conn)) changed |= connection->updateConnectionStatus(conn);
    }
    return changed;
}

TunnelConnection* TunnelSession::updateConnection(const Message& conn) {
    const Message::Attributes& a = conn.attributes();
    if (!a.has("li") || !a.has("ri")) return nullptr;
    return updateConnection(conn, connectionUid(a));
}

TunnelConnection* TunnelSession::updateConnection(const Message& conn, std::string uid) {
    ipc_logger().log_cat(kLogCategory, kDebug, "updateConnection uid=%s", uid.c_str());
    conn.dump(kDebug, kLogCategory);

    TunnelConnection* connection = nullptr;
    const auto found = connections_.find(uid);
    if (found != connections_.end()) {
        connection = found->second.get();
        connection->isNew = false;
    } else {
        if (connections_.size() >= static_cast<size_t>(kMaxConnections)) {
            if (!warnedConnectionCap_) {
                ipc_logger().log_cat(kLogCategory, kWarning,
                                     "TunnelSession %d: more than %d connections reported; %s and any further "
                                     "ones are ignored",
                                     sid_, kMaxConnections, uid.c_str());
                warnedConnectionCap_ = true;
            }
            return nullptr;
        }
        auto created = std::make_unique<TunnelConnection>();
        connection = created.get();
        connection->isNew = true;
        connection->li = conn.attributes().get_int("li", 0);
        connection->ri = conn.attributes().get_int("ri", 0);
        connection->uid = uid;
        connections_.emplace(std::move(uid), std::move(created));
    }
    connection->updated = true;
    connection->parseConnNode(conn);
    return connection;
}

bool TunnelSession::updateConnections(const Message& sess) {
    bool changed = false;
    const unsigned count = sess.child_count("conn");
    // A statistics update without connections keeps the last values and buttons; the connections
    // themselves are pruned below like after any update.
    if (count > 0) {
        txValues_.clear();
        rxValues_.clear();
        std::set<std::string> listed;
        for (unsigned i = 0; i < count; ++i) {
            const Message& conn = sess.get_child("conn", i);
            const Message::Attributes& a = conn.attributes();
            const bool isNamed = a.has("li") && a.has("ri");
            std::string uid = isNamed ? connectionUid(a) : std::string();
            // A connection listed twice counts once, so the value lists stay within the cap.
            if (isNamed && listed.count(uid) != 0) continue;
            TunnelConnection* connection = isNamed ? updateConnection(conn, std::move(uid)) : nullptr;
            if (!connection) {
                // Over the cap: already warned about in updateConnection.
                if (isNamed) continue;
                ipc_logger().log_cat(kLogCategory, kError, "error updating connections: sess dump below");
                sess.dump(kDebug, kLogCategory);
                continue;
            }
            txValues_.append(connection->local.tp);
            rxValues_.append(connection->remote.tp);
            listed.insert(connection->uid);

            bool buttonCreated = false;
            if (!hasButtonContainer())
                ipc_logger().log_cat(kLogCategory, kDebug, "TunnelSession::updateConnections: m_ifc_widget is null");
            else
                buttonCreated = updateButtons(static_cast<int>(i), *connection);

            if (connection->isNew || connection->graphIndex == -1 || buttonCreated) changed = true;
            connection->graphIndex = txValues_.size() - 1;
        }
        for (ButtonMap* buttons : {&txIfcButtons, &rxIfcButtons}) {
            for (auto it = buttons->begin(); it != buttons->end();) {
                if (listed.count(it->first) != 0) {
                    ++it;
                    continue;
                }
                delete it->second.object();
                it = buttons->erase(it);
            }
        }
    }
    if (pruneConnections()) changed = true;

    if (TunnelUtilizationSink* graph = txStats.utilGrapher.get()) {
        graph->addSample(0, txValues_, changed);
        graph->scheduleRepaint();
    }
    if (TunnelUtilizationSink* graph = rxStats.utilGrapher.get()) {
        graph->addSample(0, rxValues_, changed);
        graph->scheduleRepaint();
    }
    return changed;
}

bool TunnelSession::updateButtons(int index, const TunnelConnection& connection) {
    QObject* container = m_ifc_widget.data();
    const QString uid = qtext(connection.uid);
    const QString ldesc = qtext(connection.ldesc);
    const QString rdesc = qtext(connection.rdesc);
    // The receive page names the remote interface first.
    const bool txCreated =
        updateButton(txIfcButtons, container, buttonFactory_, index, connection.uid, uid, ldesc, rdesc, true);
    const bool rxCreated =
        updateButton(rxIfcButtons, container, buttonFactory_, index, connection.uid, uid, rdesc, ldesc, false);
    return txCreated || rxCreated;
}

bool TunnelSession::updateButton(ButtonMap& buttons, QObject* container, ButtonFactory factory, int index,
                                 const std::string& key, const QString& uid, const QString& first,
                                 const QString& second, bool inLayout) {
    const auto found = buttons.find(key);
    if (found != buttons.end()) {
        if (TunnelConnectionLabel* label = found->second.get()) {
            label->setLabels(first, second, false);
            label->setColor(index);
            return false;
        }
        // Destroyed by someone else: make it again.
        buttons.erase(found);
    }
    GuardedLink<TunnelConnectionLabel> link;
    link.set(factory(container, index, uid, first, second, inLayout));
    if (!link) return false;
    buttons.emplace(key, link);
    return true;
}

bool TunnelSession::pruneConnections() {
    bool pruned = false;
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->second->updated) {
            ++it;
            continue;
        }
        it = connections_.erase(it);
        pruned = true;
    }
    return pruned;
}

bool TunnelSession::resetConnections() {
    for (auto& entry : connections_) entry.second->updated = false;
    return pruneConnections();
}

void TunnelSession::setIfcWidget(QObject* container, ButtonFactory factory) {
    m_ifc_widget = container;
    buttonFactory_ = factory;
}

void TunnelSession::showButtons(const ButtonMap& buttons, bool shown) {
    for (const auto& entry : buttons)
        if (TunnelConnectionLabel* label = entry.second.get()) label->setShown(shown);
}

void TunnelSession::showTxWidgets() {
    showButtons(txIfcButtons, true);
    showButtons(rxIfcButtons, false);
}

void TunnelSession::showRxWidgets() {
    showButtons(txIfcButtons, false);
    showButtons(rxIfcButtons, true);
}

void TunnelSession::deleteButtons(ButtonMap& buttons) {
    // Taken out of the map first: deleting a widget may run code that looks at the map.
    ButtonMap doomed;
    doomed.swap(buttons);
    for (auto& entry : doomed) delete entry.second.object();
}

void TunnelSession::clearIfcWidgets() {
    deleteButtons(txIfcButtons);
    deleteButtons(rxIfcButtons);
}

void TunnelSession::resetWidgets() {
    m_ifc_widget.clear();
    buttonFactory_ = nullptr;
    txStats.utilGrapher.reset();
    txStats.lossGrapher.reset();
    rxStats.utilGrapher.reset();
    rxStats.lossGrapher.reset();
    clearIfcWidgets();
}

void TunnelSession::dump() const {
    Logger& log = ipc_logger();
    log.log_cat(kLogCategory, kDebug, "TunnelSession id=%d addr=%s", sid_, addr_.c_str());
    log.log_cat(kLogCategory, kDebug, "max_allowed_delay_tx = %d", max_allowed_delay_tx);
    log.log_cat(kLogCategory, kDebug, "max_allowed_delay_rx = %d", max_allowed_delay_rx);
}
