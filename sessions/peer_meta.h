#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class Message;

// The live connection of an active peer, read from the "peer" node itself.
struct PeerChannelInfo {
    QString channel;            // "channel": the channel id text; joins the channel statistics
    QString state;              // "state"
    bool transmitting = false;  // "transmitting"
    bool receiving = false;     // "receiving"
    int channels = 0;           // "channels"
    QString rx_codec;           // "rx_codec"
};

// What the codec's directory server says about a peer, from the first "directory" child.
struct PeerDirectoryInfo {
    QString product;      // "product"
    QString state;        // "state"
    bool online = false;  // "online"
};

// One peer of a codec's peer list ("peerList"), as reported. Built by the session's peer-list
// parser and then never changed: the session publishes each one as a shared pointer to const
// (PeerMetaPtr), so a view that copied a list under the session mutex may keep reading its peers
// after the next list has replaced them. Copies are deep.
class PeerMeta {
public:
    PeerMeta();
    // Reads one "peer" node; absent attributes take their defaults (false, empty, 0).
    explicit PeerMeta(const Message& node);
    PeerMeta(const PeerMeta& other);
    PeerMeta& operator=(const PeerMeta& other);
    PeerMeta(PeerMeta&&) noexcept = default;
    PeerMeta& operator=(PeerMeta&&) noexcept = default;
    virtual ~PeerMeta();

    // Creates the directory record when absent and replaces its three fields.
    void setDirectoryInfo(const QString& product, const QString& state, bool online);

    // The host of an "addr" text: "192.0.2.7:9000" -> "192.0.2.7", "[fe80::1]:9000" -> "fe80::1";
    // a bare IPv6 address, which has more than one colon and no port, is kept whole.
    static QString hostOfAddress(const QString& addr);

    // What a view holds a chosen peer by: {id, name, addr}. A codec may give a removed peer's id to
    // another, and a client may rename or readdress a peer.
    QStringList identity() const { return {id, name, addr}; }

    bool stored = false;                           // "stored"
    bool active = false;                           // "active": the peer has a connection now
    QString chan_state;                            // "chan_state"
    QString can_connect;                           // "can_connect"
    QString id;                                    // "id": the codec's id of the peer, decimal text
    int profile = 0;                               // "profile": the assigned profile id; 0 = none
    QString addr;                                  // host part of "addr"; empty for a peer with a directory record
    QString name;                                  // "name"
    QString password;                              // "pw" (or "password"); empty for a peer with a directory record
    QString backup_id;                             // "backup_id"
    QString unit;                                  // "unit"
    bool retry_primary = false;                    // "retry_primary"
    bool bdlink = false;                           // "bdlink" (or "use_bdlink")
    std::unique_ptr<PeerChannelInfo> channel;      // owned; only for an active peer
    std::unique_ptr<PeerDirectoryInfo> directory;  // owned; only with a "directory" child
};

// How the session hands out peers: shared and immutable. See PeerMeta.
using PeerMetaPtr = std::shared_ptr<const PeerMeta>;
