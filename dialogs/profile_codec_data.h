#pragma once

#include <QList>
#include <QString>

#include "dialogs/setting_option.h"
#include "ipc/message/message.h"

// One channel of a codec's channel list, as the profile editor offers it.
struct ProfileChannel {
    QString id;
    QString descr;                 // cut for display
    bool advanced = false;         // offered with " (advanced feature)"
    bool hasRemoteOptions = true;  // profiles on it carry remote settings too
};

// What the profile editor knows of one codec besides the profile: its channels, the profile
// options of its channels (profile_opt) and its encoders, read once from the codec's
// "channelList", "channelOpts" and "codecList" replies. A missing reply is an empty message and
// gives no entries. A plain copyable value.
class ProfileCodecData {
public:
    ProfileCodecData() = default;
    ProfileCodecData(const Message& channelList, const Message& channelOpts, const Message& codecList);

    // In the codec's order.
    const QList<ProfileChannel>& channels() const { return channels_; }
    const QList<SettingOption>& options() const { return options_; }
    const Message& codecList() const { return codecList_; }

    // The last channel with this id; null when there is none.
    const ProfileChannel* channel(const QString& id) const;
    // The last profile option of that channel with this name; null when there is none.
    const SettingOption* option(const QString& channelId, const QString& name) const;

    // A value as the tree and the value labels show it: an encoder's "code: mode name" ("!follow":
    // "Follow local encoder"), a choice's text, a bool's own labels when the option has both
    // (else "Enabled" and "Not Enabled"), or the value itself. Empty for an encoder or choice that
    // is not there.
    QString shownValue(const SettingOption& option, const QString& value) const;
    QString codecText(const QString& id) const;
    // The choice text of `value` that the editor shows: the last such choice in the codec's order.
    static QString choiceText(const SettingOption& option, const QString& value);

    // Empty when the codec can take `value` for the setting on `side` ("settings", "local" or
    // "remote"), else what the operator must change, naming the setting and its limits. The
    // global settings are "name" (not blank) and "channel" (one of the channels); an option is
    // checked as SettingOption::check does, "!follow" being an encoder on the remote side.
    QString check(const QString& side, const SettingOption& option, const QString& value) const;
    // The group that shows the settings of `side`: "Local Settings" or "Remote Settings"; empty for
    // the global settings.
    static QString sideText(const QString& side);
    // The global settings as options, so that they are checked and named like the others.
    SettingOption globalSetting(const QString& name) const;

private:
    QList<ProfileChannel> channels_;
    QList<SettingOption> options_;
    Message codecList_;
};
