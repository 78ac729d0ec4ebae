#pragma once

#include <QString>
#include <Qt>

#include <optional>

class Message;
class ProfileCodecData;
class QTreeWidget;
class QTreeWidgetItem;

// The left half of the profile editor: "Global Settings" (the profile's name and channel), then
// "Local Settings" and, when the profile's channel carries them, "Remote Settings", each with one
// row per profile option of the profile's channel. Column 0 is the label, column 1 the value as
// shown; the rows under a group carry what they edit in the roles below, on column 0.
//
// Also where a setting's value lives in the profile: attribute `name` of its first child named
// by the side ("settings", "local" or "remote").
//
// Threads: GUI thread only.
class ProfileTree {
public:
    static constexpr int kNameRole = Qt::UserRole;         // the option's name; "name" or "channel"
    static constexpr int kChannelRole = Qt::UserRole + 1;  // option rows: the profile's channel id
    static constexpr int kTypeRole = Qt::UserRole + 2;     // the option's type; "name" or "channel"
    static constexpr int kSideRole = Qt::UserRole + 3;     // "settings", "local" or "remote"

    // Rebuilds `tree` from the profile, showing advanced options only when asked, every group
    // open. Returns the last option row whose key is `selectedKey`; null when there is none.
    static QTreeWidgetItem* populate(QTreeWidget& tree, const Message& profile, const ProfileCodecData& data,
                                     bool showAdvanced, const QString& selectedKey);
    // What a row stands for: its name followed by its side; empty for a group row.
    static QString rowKey(const QTreeWidgetItem& row);

    // The value the profile holds for the setting; none when it holds none.
    static std::optional<QString> storedValue(const Message& profile, const QString& side, const QString& name);
    // Writes the value, adding the side's child when the profile has none.
    static void storeValue(Message& profile, const QString& side, const QString& name, const QString& value);
};
