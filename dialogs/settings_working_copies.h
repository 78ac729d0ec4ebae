#pragma once

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "dialogs/setting_option.h"
#include "ipc/message/message.h"
#include "sessions/peer_meta.h"
#include "sessions/session_requests.h"

// The settings page's copies of one codec's settings: the option records read from the codec's
// descriptors and working copies of the replies that hold the values, which edits change in place
// until they are saved as requests. Knows nothing of sessions or widgets: the page reads the
// session's reply cache and hands the replies in.
//
// Where an option's value lives, by its family:
//   channel ("channelList")     attribute `name` of the channel's element in `channels`
//   tunnel ("netmgr.tunnel")    "value" of the "option" named `name` in the first "group" of
//                               `braidlinkNode`
//   system with a `subgroup`    attribute `name` of the first child of `pendingSysOptions` so named
//   directory server            attribute `name` of `pendingDirectoryServer`
//   other system options        attribute `name` of `pendingSysOptions`
// An element that is not there makes the option absent: it is not shown and cannot be edited.
//
// Threads: GUI thread only.
class SettingsWorkingCopies {
public:
    // Row families, as the tree tags its rows.
    static const QString kSystemTag;           // "sys"
    static const QString kDirectoryServerTag;  // "ds"
    static const QString kChannelTag;          // "chan"
    static const QString kTunnelTag;           // "bdlink"

    // Empties everything: the copies belong to one codec.
    void clear();

    // Descriptors. Each adds one family's records to `options` (a later one with the same key
    // replaces an earlier one). Peer options get `peers` as their choices.
    void parseSystemOpts(const Message& systemOpts, const QList<PeerMetaPtr>& peers);
    // Only the "option" children with "channel_opt" true; each is shown under its channel's "descr".
    void parseChannelOpts(const Message& channelOpts);
    // The options of the first "group" of the tunnel settings' "node" (a warning when it has none).
    void parseBraidlinkSettings(const Message& node);
    void refillPeerChoices(const QList<PeerMetaPtr>& peers);

    // Replaces `channels` with a copy of each "channel" child of the reply, under its "id".
    void loadChannels(const Message& channelList);

    // The key of an option in `options`: its name, "channel:name" or "bdlink:name".
    static QString keyOf(const SettingOption& option);
    // The same key from an option's row tag, name and (channel rows) channel id.
    static QString keyFor(const QString& tag, const QString& name, const QString& channel);
    static QString tagOf(const SettingOption& option);
    // The option's value as the copies hold it; none when its element is missing. A channel that
    // does not carry the option has its default.
    std::optional<QString> currentValue(const SettingOption& option) const;
    // Whether the option of `key` is there with an element to hold its value, as the tree shows it.
    bool showsOption(const QString& key) const;

    // Records an edit of the option of that name, row tag and channel; false (with a warning when
    // the option exists) when there is no element to hold it. A peer or encoder is held as it was
    // picked, `shown` (its entry as the operator read it; empty: as these copies name it now), so
    // that an id taken by another meanwhile is told from the one picked.
    bool setPendingValue(const QString& name, const QString& value, const QString& tag, const QString& channel,
                         const QString& shown = QString());
    // Forgets which parts hold edits (the copies keep their values).
    void clearMarks();
    bool hasEdits() const { return !edits_.isEmpty(); }
    bool isEdited(const QString& key) const { return edits_.contains(key); }
    // Records the edits of `edited` again on these copies, refilled from the codec since
    // `reportedBefore` (what the codec had reported under those edits). An edit is dropped when its
    // option is gone, when its id names something else by now (a peer option's peer, by name and
    // address, and an encoder option's encoder, as they were picked; a channel option's channel, by
    // description), or when the option no longer takes its value; one the codec now holds is no
    // edit any more. An edit whose option the codec changed meanwhile is kept. The lines, by option
    // key, name each drop with the value lost and each kept edit whose option changed.
    QMap<QString, QString> restoreEdits(const SettingsWorkingCopies& edited,
                                        const SettingsWorkingCopies& reportedBefore);
    // Whether an edited peer option's id names, among `peers`, another peer than the one picked,
    // or none.
    bool hasEditNamingAnotherPeer(const QList<PeerMetaPtr>& peers) const;

    // Empty when every edited value suits its option, else the operator's text naming the first
    // that does not and what it must be.
    QString checkEdits() const;
    // The requests that write the edited parts back, in the order they go out: "setDirectoryServer",
    // "setSysOptions", "cfgSetOption" (only when `takesSubscriptions`), then one
    // "setChannelSettings" per edited channel in text order of the id.
    std::vector<session_requests::AskedRequest> changedRequests(bool takesSubscriptions) const;

    QMap<QString, SettingOption> options;  // by keyOf
    QMap<QString, Message> channels;       // channel id -> working copy of its "channel" element
    Message pendingSysOptions;             // working copy of "sysOptions"
    Message pendingDirectoryServer;        // working copy of "directoryServer"
    Message codecList;                     // copy of "codecList"
    Message braidlinkNode;                 // working copy of the tunnel settings' "node"

private:
    // The option as the lines name it: channel options with their channel.
    static QString labelOf(const SettingOption& option);
    // `value` as the lines show it: a choice's or codec's text, quoted unless a number; cut short.
    QString valueText(const SettingOption& option, const QString& value) const;
    // The edit of `key` as the lines show it: a peer or encoder as it was picked, else valueText.
    QString editText(const QString& key, const SettingOption& option, const QString& value) const;
    // For the edit of `key`, `value` made under `was` (as `edited` holds it): what its id names by
    // now under `now`, when that is not what was picked ("peer 4 is now \"Rome (10.0.0.9)\""); empty
    // while it is.
    QString otherThanChosen(const SettingsWorkingCopies& edited, const QString& key, const SettingOption& was,
                            const SettingOption& now, const QString& value) const;

    const Message* valueElement(const SettingOption& option) const;
    Message* valueElement(const SettingOption& option);
    const Message* tunnelGroup() const;

    bool sysOptionsDirty_ = false;
    bool directoryServerDirty_ = false;
    bool braidlinkDirty_ = false;
    QSet<QString> dirtyChannels_;   // ids of the channels with edits
    QMap<QString, QString> edits_;  // option key -> edited value, for the checks
    QMap<QString, QString> picks_;  // peer and encoder option key -> the entry picked, as it read
};
