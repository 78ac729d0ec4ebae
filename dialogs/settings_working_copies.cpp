#include "dialogs/settings_working_copies.h"

#include <QtDebug>

#include "sessions/session_requests.h"
#include "text/codec_text.h"
#include "text/message_lookup.h"

const QString SettingsWorkingCopies::kSystemTag = QStringLiteral("sys");
const QString SettingsWorkingCopies::kDirectoryServerTag = QStringLiteral("ds");
const QString SettingsWorkingCopies::kChannelTag = QStringLiteral("chan");
const QString SettingsWorkingCopies::kTunnelTag = QStringLiteral("bdlink");

namespace {

const QString kChannelGroup = QStringLiteral("channelList");
const QString kTunnelGroup = QStringLiteral("netmgr.tunnel");
const QString kDirectoryServerGroup = QStringLiteral("directoryServer");
// A value in a line under the tree: enough to recognise it, short enough for a line.
constexpr int kMaxLineValueLength = 60;

const Message* childNamed(const Message& parent, const std::string& element, const QString& name) {
    for (int row = 0; row < parent.size(); ++row) {
        const Message& child = parent.get_child(row);
        if (child.name() == element && child.attributes().get_qstring("name", QString()) == name) return &child;
    }
    return nullptr;
}

// Where the value of the option sits in its element.
std::string valueAttribute(const SettingOption& option) {
    return option.group == kTunnelGroup ? std::string("value") : option.name.toStdString();
}

// A peer's or an encoder's id: what it names is for the codec's lists to say, and they may change
// while the edit waits.
bool isPickedFromList(const SettingOption& option) {
    return option.peer || option.type == QLatin1String("codec");
}

}  // namespace

void SettingsWorkingCopies::clear() {
    *this = SettingsWorkingCopies();
}

void SettingsWorkingCopies::parseSystemOpts(const Message& systemOpts, const QList<PeerMetaPtr>& peers) {
    for (int row = 0; row < systemOpts.size(); ++row) {
        if (systemOpts.get_child(row).name() != "option") continue;
        SettingOption option(systemOpts.get_child(row));
        if (option.peer) option.setPeerChoices(peers);
        options.insert(keyOf(option), option);
    }
}

void SettingsWorkingCopies::parseChannelOpts(const Message& channelOpts) {
    for (int row = 0; row < channelOpts.size(); ++row) {
        const Message& descriptor = channelOpts.get_child(row);
        if (descriptor.name() != "option" || !descriptor.attributes().get_bool("channel_opt", false)) continue;
        SettingOption option;
        SettingOption::parseChannelOptionDesc(descriptor, option);
        const Message channel = channels.value(option.subgroup);
        option.channelDescr = channel.attributes().get_qstring("descr", QString());
        option.groupName = shownCodecText(option.channelDescr);
        options.insert(keyOf(option), option);
    }
}

void SettingsWorkingCopies::parseBraidlinkSettings(const Message& node) {
    const Message* group = firstChild(node, "group");
    if (!group) {
        qWarning() << "settings: the tunnel settings have no \"group\"; no tunnel option is shown";
        return;
    }
    for (int row = 0; row < group->size(); ++row) {
        if (group->get_child(row).name() != "option") continue;
        SettingOption option;
        SettingOption::parseBraidlinkOptionDesc(group->get_child(row), option);
        options.insert(keyOf(option), option);
    }
}

void SettingsWorkingCopies::refillPeerChoices(const QList<PeerMetaPtr>& peers) {
    for (SettingOption& option : options) {
        if (option.peer) option.setPeerChoices(peers);
    }
}

void SettingsWorkingCopies::loadChannels(const Message& channelList) {
    channels.clear();
    for (int row = 0; row < channelList.size(); ++row) {
        const Message& channel = channelList.get_child(row);
        if (channel.name() == "channel") channels.insert(channel.attributes().get_qstring("id", QString()), channel);
    }
}

QString SettingsWorkingCopies::keyOf(const SettingOption& option) {
    return keyFor(tagOf(option), option.name, option.subgroup);
}

QString SettingsWorkingCopies::keyFor(const QString& tag, const QString& name, const QString& channel) {
    if (tag == kChannelTag) return makeOptionKey(channel, name);
    if (tag == kTunnelTag) return kTunnelTag + QLatin1Char(':') + name;
    return name;
}

QString SettingsWorkingCopies::tagOf(const SettingOption& option) {
    if (option.group == kChannelGroup) return kChannelTag;
    if (option.group == kTunnelGroup) return kTunnelTag;
    if (option.subgroup.isEmpty() && option.group == kDirectoryServerGroup) return kDirectoryServerTag;
    return kSystemTag;
}

const Message* SettingsWorkingCopies::valueElement(const SettingOption& option) const {
    if (option.group == kChannelGroup) {
        const auto channel = channels.constFind(option.subgroup);
        return channel == channels.constEnd() ? nullptr : &channel.value();
    }
    if (option.group == kTunnelGroup) {
        const Message* group = tunnelGroup();
        return group ? childNamed(*group, "option", option.name) : nullptr;
    }
    if (!option.subgroup.isEmpty()) return firstChild(pendingSysOptions, option.subgroup.toStdString());
    return option.group == kDirectoryServerGroup ? &pendingDirectoryServer : &pendingSysOptions;
}

Message* SettingsWorkingCopies::valueElement(const SettingOption& option) {
    // The channel map may share its elements with a copy of these copies: a write goes to this map's
    // own elements only.
    if (option.group == kChannelGroup) {
        const auto channel = channels.find(option.subgroup);
        return channel == channels.end() ? nullptr : &channel.value();
    }
    return const_cast<Message*>(static_cast<const SettingsWorkingCopies&>(*this).valueElement(option));
}

const Message* SettingsWorkingCopies::tunnelGroup() const {
    return firstChild(braidlinkNode, "group");
}

std::optional<QString> SettingsWorkingCopies::currentValue(const SettingOption& option) const {
    const Message* element = valueElement(option);
    if (!element) return std::nullopt;
    const std::string attribute = valueAttribute(option);
    if (option.group == kChannelGroup && !element->attributes().has(attribute)) return option.defaultValue;
    return element->attributes().get_qstring(attribute, QString());
}

bool SettingsWorkingCopies::showsOption(const QString& key) const {
    const auto option = options.constFind(key);
    return option != options.constEnd() && valueElement(*option);
}

bool SettingsWorkingCopies::setPendingValue(const QString& name, const QString& value, const QString& tag,
                                            const QString& channel, const QString& shown) {
    const QString key = keyFor(tag, name, channel);
    const auto option = options.constFind(key);
    if (option == options.constEnd()) return false;
    Message* element = valueElement(option.value());
    if (!element) {
        qWarning().noquote() << "settings: no element holds" << key << "any more; the edit is not kept";
        return false;
    }
    element->attributes().set(valueAttribute(option.value()), value);
    edits_.insert(key, value);
    if (isPickedFromList(option.value())) {
        picks_.insert(key, shown.isEmpty() ? option->shownValue(value, codecList) : shown);
    }
    const QString family = tagOf(option.value());
    if (family == kChannelTag) {
        dirtyChannels_.insert(channel);
    } else if (family == kTunnelTag) {
        braidlinkDirty_ = true;
    } else if (family == kDirectoryServerTag) {
        directoryServerDirty_ = true;
    } else {
        sysOptionsDirty_ = true;
    }
    return true;
}

void SettingsWorkingCopies::clearMarks() {
    sysOptionsDirty_ = false;
    directoryServerDirty_ = false;
    braidlinkDirty_ = false;
    dirtyChannels_.clear();
    edits_.clear();
    picks_.clear();
}

QMap<QString, QString> SettingsWorkingCopies::restoreEdits(const SettingsWorkingCopies& edited,
                                                           const SettingsWorkingCopies& reportedBefore) {
    QMap<QString, QString> lines;
    for (auto edit = edited.edits_.constBegin(); edit != edited.edits_.constEnd(); ++edit) {
        const SettingOption was = edited.options.value(edit.key());
        const QString& value = edit.value();
        const QString dropped =
            QStringLiteral("%1: %2 dropped, ").arg(labelOf(was), edited.editText(edit.key(), was, value));
        const auto option = options.constFind(edit.key());
        if (option == options.constEnd() || !valueElement(*option)) {
            lines.insert(edit.key(), dropped + QStringLiteral("it is no longer on the codec."));
            continue;
        }
        const QString other = otherThanChosen(edited, edit.key(), was, *option, value);
        const QString taken = option->takenInstead(value, codecList);
        if (!other.isEmpty() || !taken.isEmpty()) {
            const QString why = other.isEmpty() ? QStringLiteral("the codec now takes ") + taken : other;
            lines.insert(edit.key(), dropped + why + QLatin1Char('.'));
            continue;
        }
        const QString now = currentValue(*option).value_or(QString());
        if (now == value) continue;  // saved, or set so by someone else: nothing is left to save
        setPendingValue(option->name, value, tagOf(*option), option->subgroup, edited.picks_.value(edit.key()));
        if (now != reportedBefore.currentValue(was).value_or(now)) {
            lines.insert(edit.key(),
                         QStringLiteral("%1: the codec changed it to %2; your unsaved %3 is kept.")
                             .arg(labelOf(was), valueText(*option, now), edited.editText(edit.key(), was, value)));
        }
    }
    return lines;
}

bool SettingsWorkingCopies::hasEditNamingAnotherPeer(const QList<PeerMetaPtr>& peers) const {
    for (auto pick = picks_.constBegin(); pick != picks_.constEnd(); ++pick) {
        SettingOption now = options.value(pick.key());
        if (!now.peer) continue;
        now.setPeerChoices(peers);
        if (now.shownValue(edits_.value(pick.key()), codecList) != pick.value()) return true;
    }
    return false;
}

QString SettingsWorkingCopies::labelOf(const SettingOption& option) {
    if (tagOf(option) != kChannelTag) return option.displayName;
    return QStringLiteral("%1 (%2)").arg(option.displayName, option.groupName);
}

QString SettingsWorkingCopies::valueText(const SettingOption& option, const QString& value) const {
    const QString shown = option.shownValue(value, codecList);
    const QString text = shownCodecText(shown.isEmpty() ? value : shown, kMaxLineValueLength);
    return option.type == QLatin1String("int") ? text : QStringLiteral("\"%1\"").arg(text);
}

QString SettingsWorkingCopies::editText(const QString& key, const SettingOption& option, const QString& value) const {
    const auto picked = picks_.constFind(key);
    if (picked == picks_.constEnd() || picked->isEmpty()) return valueText(option, value);
    return QStringLiteral("\"%1\"").arg(shownCodecText(*picked, kMaxLineValueLength));
}

QString SettingsWorkingCopies::otherThanChosen(const SettingsWorkingCopies& edited, const QString& key,
                                               const SettingOption& was, const SettingOption& now,
                                               const QString& value) const {
    const auto cut = [](const QString& text) { return shownCodecText(text, kMaxLineValueLength); };
    const auto picked = edited.picks_.constFind(key);
    if (picked != edited.picks_.constEnd()) {
        const QString named = now.shownValue(value, codecList);
        if (named == *picked) return {};
        if (!was.peer) {
            // An encoder the codec no longer lists is left to the check of what the codec takes.
            return named.isEmpty() ? QString() : QStringLiteral("encoder %1 is now \"%2\"").arg(cut(value), cut(named));
        }
        if (named.isEmpty()) return QStringLiteral("peer %1 is no longer on the codec").arg(cut(value));
        return QStringLiteral("peer %1 is now \"%2\"").arg(cut(value), cut(named));
    }
    // The group name is cut: two long descriptions may share it.
    if (tagOf(was) != kChannelTag || now.channelDescr == was.channelDescr) return {};
    return QStringLiteral("channel %1 is now \"%2\"").arg(cut(was.subgroup), cut(now.channelDescr));
}

QString SettingsWorkingCopies::checkEdits() const {
    for (auto edit = edits_.constBegin(); edit != edits_.constEnd(); ++edit) {
        const QString problem = options.value(edit.key()).check(edit.value(), codecList);
        if (!problem.isEmpty()) return problem;
    }
    return {};
}

std::vector<session_requests::AskedRequest> SettingsWorkingCopies::changedRequests(bool takesSubscriptions) const {
    namespace wire = session_requests;
    std::vector<wire::AskedRequest> requests;
    if (directoryServerDirty_) {
        requests.emplace_back(pendingDirectoryServer, wire::kSetDirectoryServer);
    }
    if (sysOptionsDirty_) requests.emplace_back(pendingSysOptions, wire::kSetSysOptions);
    if (braidlinkDirty_ && takesSubscriptions) {
        if (const Message* group = tunnelGroup()) {
            wire::AskedRequest request(*group, wire::kSetBraidlinkOptions);
            request.attributes().set("path", wire::kTunnelPath);
            requests.push_back(request);
        }
    }
    for (auto channel = channels.constBegin(); channel != channels.constEnd(); ++channel) {
        if (!dirtyChannels_.contains(channel.key())) continue;
        wire::AskedRequest request(wire::kSetChannelSettings);
        request.attributes().set("id", channel.value().attributes().get_qstring("id", QString()));
        request.add_child_copy(channel.value());
        requests.push_back(request);
    }
    return requests;
}
