#include "scheduler/held_calls.h"

#include <QDebug>
#include <QString>
#include <QUuid>

#include <algorithm>
#include <utility>

#include "scheduler/element_text.h"
#include "scheduler/schedule_zone.h"

HeldCalls::Map::iterator HeldCalls::hold(const PeerKey& key, const HeldCall& call) {
    dropKeptElements(key);
    return calls_.insert(key, call);
}

void HeldCalls::noteConnectsLost(const QUuid& codec) {
    for (auto call = calls_.begin(); call != calls_.end(); ++call) {
        if (call.key().codec == codec && !call->is_seen_up) call->is_connect_lost = true;
    }
}

bool HeldCalls::forget(const PeerKey& key) {
    if (calls_.remove(key) == 0) return false;
    dropKeptElements(key);
    return true;
}

void HeldCalls::dropKeptElements(const PeerKey& key) {
    QString host;
    int port = 0;
    if (kept_elements_.empty() || !sessions_->address(key.codec, host, port)) return;
    const auto is_of_key = [&](const Message& element) {
        const Message::Attributes& a = element.attributes();
        return a.get_qstring("ip", QString()) == host && a.get_int("port", 0) == port &&
               Job::normalPeerId(a.get_qstring("peer", QString())) == key.peer;
    };
    dropElementsWhere(is_of_key);
}

bool HeldCalls::dropOutdatedElements() {
    if (kept_elements_.empty()) return false;
    QHash<QString, QUuid> codecs;  // by "host port", looked up once a pass
    const auto is_outdated = [&](const Message& element) {
        const Message::Attributes& a = element.attributes();
        const QString host = a.get_qstring("ip", QString());
        const int port = a.get_int("port", 0);
        const QString address = host + QLatin1Char(' ') + QString::number(port);
        auto codec = codecs.find(address);
        if (codec == codecs.end()) codec = codecs.insert(address, sessions_->findByAddress(host, port));
        // Its codec is in the fleet again, and shows the peer out of any call: the call went.
        return !codec->isNull() && sessions_->isReady(*codec) &&
               !sessions_->isPeerActive(*codec, Job::normalPeerId(a.get_qstring("peer", QString())));
    };
    return dropElementsWhere(is_outdated);
}

bool HeldCalls::dropElementsWhere(const std::function<bool(const Message&)>& is_dropped) {
    const auto kept_end = std::remove_if(kept_elements_.begin(), kept_elements_.end(), is_dropped);
    if (kept_end == kept_elements_.end()) return false;
    kept_elements_.erase(kept_end, kept_elements_.end());
    return true;
}

void HeldCalls::load(const Message& calls, const QTimeZone& written_in, int max_calls) {
    const unsigned count = calls.child_count("call");
    for (unsigned i = 0; i < count; ++i) {
        if (calls_.size() + static_cast<int>(kept_elements_.size()) >= max_calls) {
            qWarning() << "schedule: the file holds" << count - i << "more calls than the" << max_calls
                       << "a schedule keeps; they are dropped";
            return;
        }
        const Message& element = calls.get_child("call", i);
        const Message::Attributes& a = element.attributes();
        const QUuid codec = sessions_->findByAddress(a.get_qstring("ip", QString()), a.get_int("port", 0));
        HeldCall call;
        QString peer;
        if (codec.isNull() || !call.fromMessage(element, peer, written_in)) {
            kept_elements_.push_back(element);
            if (written_in.isValid()) retimeElement(kept_elements_.back(), written_in);
            continue;
        }
        if (calls_.contains({codec, peer})) continue;
        calls_.insert({codec, peer}, call);
        sessions_->watch(codec);
    }
}

void HeldCalls::holdNoted(const std::vector<std::shared_ptr<Job>>& jobs) {
    for (const std::shared_ptr<Job>& job : jobs) {
        if (job->state == Job::Done || !job->connected_at.isValid()) continue;
        const PeerKey key{job->uuid, job->peer};
        if (calls_.contains(key)) continue;
        HeldCall noted;
        noted.peer_name = job->peer_name;
        noted.peer_address = job->peer_address;
        noted.since = job->connected_at;
        noted.is_seen_up = true;
        calls_.insert(key, noted);
    }
}

void HeldCalls::appendText(std::string& out) const {
    // Always written, even empty: a file without it was written before the schedule kept its calls.
    std::vector<std::pair<PeerKey, const HeldCall*>> held;
    for (auto call = calls_.cbegin(); call != calls_.cend(); ++call) held.emplace_back(call.key(), &*call);
    // In a fixed order, so that the same schedule gives the same file.
    std::sort(held.begin(), held.end(), [](const auto& a, const auto& b) {
        return a.first.codec != b.first.codec ? a.first.codec < b.first.codec
                                              : a.first.peer.toInt() < b.first.peer.toInt();
    });
    std::string calls;
    QUuid codec;
    QString host;
    int port = 0;
    bool is_registered = false;
    for (const auto& [key, call] : held) {
        if (key.codec != codec) {
            codec = key.codec;
            is_registered = sessions_->address(codec, host, port);
        }
        if (!is_registered) continue;  // its codec left the fleet
        ElementText element(calls, "call", 3);
        call->visitAttributes(host, port, key.peer, element.attributes());
    }
    for (const Message& element : kept_elements_) element.append_xml(calls, 3);
    if (calls.empty()) {
        out += "\n    <calls/>";
    } else {
        out += "\n    <calls>";
        out += calls;
        out += "\n    </calls>";
    }
}
