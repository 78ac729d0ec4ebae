#pragma once

#include <string>

#include "sessions/tunnel_conn_stats.h"

class Message;

// One network connection of a tunnel session: a pair of local and remote interfaces, named by
// their numbers as the uid "li:ri". Owned by its TunnelSession.
class TunnelConnection {
public:
    TunnelConnStats local;
    TunnelConnStats remote;
    bool updated = false;  // named by a report since the last statistics update began
    bool isNew = false;    // created by the last report that named it
    int li = 0;
    int ri = 0;
    int graphIndex = -1;  // position in the session's throughput lists; -1 until placed
    std::string uid;      // the "li" and "ri" texts as received, joined by ":"
    std::string ldesc;    // local interface description, from a connection report
    std::string rdesc;    // remote interface description, from a connection report
    std::string name;

    // A "conn" node of a statistics report: both sides' figures. The numbers and uid are the
    // session's to set when it makes the connection; a node of this uid names the same numbers.
    void parseConnNode(const Message& conn);
    // A "conn" node of a connection or status report: descriptions and name, when the node names
    // this connection's interface pair. Returns whether it did.
    bool updateConnectionStatus(const Message& conn);
};
