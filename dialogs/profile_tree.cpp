#include "dialogs/profile_tree.h"

#include <QTreeWidget>

#include <utility>
#include <vector>

#include "dialogs/profile_codec_data.h"
#include "dialogs/row_tone.h"
#include "ipc/message/message.h"
#include "text/codec_text.h"
#include "text/message_lookup.h"

namespace {

QTreeWidgetItem* addGroup(QTreeWidget& tree, const QString& label, const QString& toolTip) {
    auto* group = new QTreeWidgetItem(&tree, {label});
    group->setToolTip(0, toolTip);
    setRowTone(group, RowTone::Grey);
    return group;
}

// What a row edits, as ProfileTree's roles hold it.
struct RowData {
    QString name;
    QString channel;
    QString type;
    QString side;
};

// Filled before it joins the tree, so that the view hears of it once, not once per role: every
// keystroke rebuilds the tree.
QTreeWidgetItem* addRow(QTreeWidgetItem* group, const QString& label, const QString& value, const RowData& data) {
    auto* row = new QTreeWidgetItem({label, value});
    row->setData(0, ProfileTree::kNameRole, data.name);
    row->setData(0, ProfileTree::kChannelRole, data.channel);
    row->setData(0, ProfileTree::kTypeRole, data.type);
    row->setData(0, ProfileTree::kSideRole, data.side);
    setRowTone(row, RowTone::Black);
    group->addChild(row);
    return row;
}

}  // namespace

QTreeWidgetItem* ProfileTree::populate(QTreeWidget& tree, const Message& profile, const ProfileCodecData& data,
                                       bool showAdvanced, const QString& selectedKey) {
    tree.clear();
    const QString channelId =
        storedValue(profile, QStringLiteral("settings"), QStringLiteral("channel")).value_or(QString());
    const QString name = storedValue(profile, QStringLiteral("settings"), QStringLiteral("name")).value_or(QString());
    const ProfileChannel* channel = data.channel(channelId);

    QTreeWidgetItem* global =
        addGroup(tree, QStringLiteral("Global Settings"), QStringLiteral("General profile settings."));
    addRow(global, QStringLiteral("Profile Name"), shownCodecText(name), {"name", {}, "name", "settings"});
    addRow(global, QStringLiteral("Channel"), channel ? channel->descr : QString(),
           {"channel", {}, "channel", "settings"});
    std::vector<std::pair<QTreeWidgetItem*, QString>> sides = {
        {addGroup(tree, QStringLiteral("Local Settings"),
                  QStringLiteral("Settings that take effect on the local codec when connecting.")),
         QStringLiteral("local")}};
    if (channel && channel->hasRemoteOptions) {
        sides.emplace_back(addGroup(tree, QStringLiteral("Remote Settings"),
                                    QStringLiteral(
                                        "Settings that take effect on the address book codecs when connecting.")),
                           QStringLiteral("remote"));
    }

    QTreeWidgetItem* remembered = nullptr;
    for (const SettingOption& option : data.options()) {
        if ((option.advanced && !showAdvanced) || option.subgroup != channelId) continue;
        for (const auto& [group, side] : sides) {
            const QString value = storedValue(profile, side, option.name).value_or(option.defaultValue);
            QTreeWidgetItem* row = addRow(group, option.displayName, data.shownValue(option, value),
                                          {option.name, channelId, option.type, side});
            if (rowKey(*row) == selectedKey) remembered = row;
        }
    }
    tree.expandAll();
    return remembered;
}

QString ProfileTree::rowKey(const QTreeWidgetItem& row) {
    return row.data(0, kNameRole).toString() + row.data(0, kSideRole).toString();
}

std::optional<QString> ProfileTree::storedValue(const Message& profile, const QString& side, const QString& name) {
    const Message* values = firstChild(profile, side.toStdString());
    const std::string key = name.toStdString();
    if (!values || !values->attributes().has(key)) return std::nullopt;
    return values->attributes().get_qstring(key, QString());
}

void ProfileTree::storeValue(Message& profile, const QString& side, const QString& name, const QString& value) {
    const std::string key = side.toStdString();
    Message& values = profile.child_count(key) ? profile.get_child(key, 0) : profile.add_child(key);
    values.attributes().set(name.toStdString(), value);
}
