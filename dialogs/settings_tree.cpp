#include "dialogs/settings_tree.h"

#include <QBrush>
#include <QFont>
#include <QMap>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtDebug>

#include "dialogs/row_tone.h"
#include "dialogs/settings_working_copies.h"

namespace {

QTreeWidgetItem* newGroupRow(QTreeWidget* tree, const QString& label) {
    auto* group = new QTreeWidgetItem(tree);
    group->setText(0, label);
    setRowTone(group, RowTone::Grey);
    group->setForeground(0, QBrush(QColor(0, 0, 0), Qt::SolidPattern));  // the label black, the rest grey
    group->setExpanded(true);
    return group;
}

void fillOptionRow(QTreeWidgetItem* row, const SettingOption& option, const QString& value,
                   const SettingsWorkingCopies& copies) {
    const QString tag = SettingsWorkingCopies::tagOf(option);
    const bool is_channel = tag == SettingsWorkingCopies::kChannelTag;
    row->setText(0, option.displayName);
    row->setData(0, SettingsTree::kTypeRole, option.type);
    row->setData(0, SettingsTree::kNameRole, option.name);
    row->setData(0, SettingsTree::kKeyRole, is_channel ? makeOptionKey(option.subgroup, option.name) : option.name);
    row->setData(0, SettingsTree::kTagRole, tag);
    if (is_channel) row->setData(0, SettingsTree::kChannelRole, option.subgroup);
    row->setData(0, SettingsTree::kAdvancedRole, option.advanced);
    if (value != option.defaultValue || copies.isEdited(SettingsWorkingCopies::keyOf(option))) {
        SettingsTree::setColumnBold(1, row, true);
    }
    row->setText(1, option.shownValue(value, copies.codecList));
}

}  // namespace

void SettingsTree::populate(const SettingsWorkingCopies& copies) {
    tree_->clear();
    if (copies.options.isEmpty() || copies.channels.isEmpty()) {
        qWarning("populate_system settings edit method failed");
        return;
    }
    QMap<QString, QTreeWidgetItem*> groups;
    QStringList left_out;
    for (const SettingOption& option : qAsConst(copies.options)) {
        const std::optional<QString> value = copies.currentValue(option);
        if (!value) {
            left_out << SettingsWorkingCopies::keyOf(option);
            continue;
        }
        QTreeWidgetItem*& group = groups[option.groupName];
        if (!group) group = newGroupRow(tree_, option.groupName);
        fillOptionRow(new QTreeWidgetItem(group), option, *value, copies);
    }
    if (!left_out.isEmpty()) {
        qWarning().noquote() << "settings: the codec's replies hold no value for" << left_out.join(QStringLiteral(", "))
                             << "- not shown";
    }
}

void SettingsTree::applyAdvancedFilter(bool showAdvanced) {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if ((*it)->data(0, kAdvancedRole).toBool()) (*it)->setHidden(!showAdvanced);
    }
    for (int row = 0; row < tree_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* group = tree_->topLevelItem(row);
        bool has_shown_row = false;
        for (int child = 0; child < group->childCount() && !has_shown_row; ++child) {
            has_shown_row = !group->child(child)->isHidden();
        }
        group->setHidden(!has_shown_row);
    }
}

void SettingsTree::setColumnBold(int column, QTreeWidgetItem* item, bool bold) {
    QFont font = item->font(column);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    item->setFont(column, font);
}
