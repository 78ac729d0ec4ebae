#include "sessions/tunnel_connection.h"

#include "ipc/base/logger.h"
#include "ipc/message/message.h"

namespace {
constexpr int kLogCategory = 0;
constexpr int kDebug = 6;
}  // namespace

void TunnelConnection::parseConnNode(const Message& conn) {
    ipc_logger().log_cat(kLogCategory, kDebug, "TunnelConnection::parseConnNode: %d:%d", li, ri);
    local.parseLocal(conn);
    remote.parseRemote(conn);
}

bool TunnelConnection::updateConnectionStatus(const Message& conn) {
    const Message::Attributes& a = conn.attributes();
    if (a.get_int("li", 0) != li || a.get_int("ri", 0) != ri) return false;
    ldesc = a.get_string("ldesc", "");
    rdesc = a.get_string("rdesc", "");
    name = a.get_string("name", "");
    ipc_logger().log_cat(kLogCategory, kDebug,
                         "TunnelConnection::updateConnectionStatus: %d:%d ldesc=%s rdesc=%s name=%s", li, ri,
                         ldesc.c_str(), rdesc.c_str(), name.c_str());
    return true;
}
