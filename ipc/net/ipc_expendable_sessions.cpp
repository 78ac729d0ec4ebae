#include "ipc/net/ipc_expendable_sessions.h"

#include "ipc/net/ipc_endpoint_server.h"

bool IPCExpendableSessions::ByActivity::operator()(const Entry& a, const Entry& b) const {
    if (a.active_us != b.active_us) return a.active_us < b.active_us;
    return a.session->id() < b.session->id();
}

void IPCExpendableSessions::update(IPCEndpointServer* session) {
    remove(session);
    if (session->has_passed_check() || session->connection()) return;
    by_activity_.insert({session->last_active_us(), session});
    filed_at_[session] = session->last_active_us();
}

void IPCExpendableSessions::remove(IPCEndpointServer* session) {
    const auto filed = filed_at_.find(session);
    if (filed == filed_at_.end()) return;
    by_activity_.erase({filed->second, session});
    filed_at_.erase(filed);
}

IPCEndpointServer* IPCExpendableSessions::oldest() const {
    return by_activity_.empty() ? nullptr : by_activity_.begin()->session;
}
