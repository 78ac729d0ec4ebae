#include "sessions/sent_renames.h"

#include <iterator>

void SentRenames::note(const QStringList& was, const QStringList& now) {
    if (was.isEmpty() || was == now || now.value(0) != was.first()) return;
    renames_.insert(was.first(), {was, now});
}

void SentRenames::noteRemoval(const QStringList& was) {
    if (!was.isEmpty()) renames_.insert(was.first(), {was, {}});
}

bool SentRenames::isSent(const QStringList& was, const QStringList& now) const {
    const auto rename = renames_.constFind(was.value(0));
    return rename != renames_.constEnd() && rename->first == was && rename->second == now;
}

bool SentRenames::isRemoved(const QStringList& was) const {
    return isSent(was, {});
}

void SentRenames::settle(const QList<QStringList>& listed) {
    if (renames_.isEmpty()) return;
    QHash<QString, QStringList> byId;
    for (const QStringList& identity : listed) {
        if (!byId.contains(identity.value(0))) byId.insert(identity.value(0), identity);
    }
    for (auto rename = renames_.begin(); rename != renames_.end();) {
        const auto shown = byId.constFind(rename.key());
        const bool isAwaited = shown != byId.constEnd() && *shown == rename->first;
        rename = isAwaited ? std::next(rename) : renames_.erase(rename);
    }
}
