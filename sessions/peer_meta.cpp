#include "sessions/peer_meta.h"

#include "ipc/message/message.h"

namespace {

// Codecs spell some fields in two ways: the peer list's own and the one "addPeer" takes.
QString text_either(const Message::Attributes& attributes, const char* name, const char* other) {
    if (attributes.has(name)) return attributes.get_qstring(name, QString());
    return attributes.get_qstring(other, QString());
}

bool flag_either(const Message::Attributes& attributes, const char* name, const char* other) {
    if (attributes.has(name)) return attributes.get_bool(name, false);
    return attributes.get_bool(other, false);
}

}  // namespace

PeerMeta::PeerMeta() = default;

PeerMeta::PeerMeta(const Message& node) {
    const Message::Attributes& a = node.attributes();
    stored = a.get_bool("stored", false);
    active = a.get_bool("active", false);
    chan_state = a.get_qstring("chan_state", QString());
    can_connect = a.get_qstring("can_connect", QString());
    id = a.get_qstring("id", QString());
    profile = a.get_int("profile", 0);
    name = a.get_qstring("name", QString());
    backup_id = a.get_qstring("backup_id", QString());
    unit = a.get_qstring("unit", QString());
    retry_primary = a.get_bool("retry_primary", false);
    bdlink = flag_either(a, "bdlink", "use_bdlink");
    if (active) {
        channel = std::make_unique<PeerChannelInfo>();
        channel->channel = a.get_qstring("channel", QString());
        channel->state = a.get_qstring("state", QString());
        channel->transmitting = a.get_bool("transmitting", false);
        channel->receiving = a.get_bool("receiving", false);
        channel->channels = a.get_int("channels", 0);
        channel->rx_codec = a.get_qstring("rx_codec", QString());
    }
    if (node.child_count("directory") > 0) {
        const Message::Attributes& d = node.get_child("directory", 0).attributes();
        setDirectoryInfo(d.get_qstring("product", QString()), d.get_qstring("state", QString()),
                         d.get_bool("online", false));
    } else {
        // The directory knows how to reach its peers; address and password are the book's.
        addr = hostOfAddress(a.get_qstring("addr", QString()));
        password = text_either(a, "pw", "password");
    }
}

PeerMeta::PeerMeta(const PeerMeta& other)
    : stored(other.stored),
      active(other.active),
      chan_state(other.chan_state),
      can_connect(other.can_connect),
      id(other.id),
      profile(other.profile),
      addr(other.addr),
      name(other.name),
      password(other.password),
      backup_id(other.backup_id),
      unit(other.unit),
      retry_primary(other.retry_primary),
      bdlink(other.bdlink),
      channel(other.channel ? std::make_unique<PeerChannelInfo>(*other.channel) : nullptr),
      directory(other.directory ? std::make_unique<PeerDirectoryInfo>(*other.directory) : nullptr) {}

PeerMeta& PeerMeta::operator=(const PeerMeta& other) {
    if (this != &other) {
        PeerMeta copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PeerMeta::~PeerMeta() = default;

void PeerMeta::setDirectoryInfo(const QString& product, const QString& state, bool online) {
    if (!directory) directory = std::make_unique<PeerDirectoryInfo>();
    directory->product = product;
    directory->state = state;
    directory->online = online;
}

QString PeerMeta::hostOfAddress(const QString& addr) {
    if (addr.startsWith(QLatin1Char('['))) {
        const int close = addr.indexOf(QLatin1Char(']'));
        return close < 0 ? addr.mid(1) : addr.mid(1, close - 1);
    }
    const int colon = addr.indexOf(QLatin1Char(':'));
    if (colon < 0 || addr.indexOf(QLatin1Char(':'), colon + 1) >= 0) return addr;
    return addr.left(colon);
}
