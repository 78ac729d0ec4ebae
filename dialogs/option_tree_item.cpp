#include "dialogs/option_tree_item.h"

#include <QFont>
#include <QTreeWidget>

#include "dialogs/row_tone.h"
#include "ipc/message/message.h"
#include "text/message_lookup.h"

namespace {

QTreeWidgetItem* topLevelNamed(const QTreeWidget* tree, const QString& name, int* index = nullptr) {
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        if (tree->topLevelItem(row)->data(0, OptionTreeItem::kNameRole).toString() != name) continue;
        if (index) *index = row;
        return tree->topLevelItem(row);
    }
    return nullptr;
}

}  // namespace

int OptionTreeItem::addOptionRows(const Message& node, QTreeWidget* tree, QTreeWidgetItem* parent,
                                  const QString& path) const {
    if (!tree && !parent) return 0;
    int made = 0;
    for (int index = 0; index < node.size(); ++index) {
        const Message& option = node.get_child(index);
        if (option.name() != "option") continue;
        const Message::Attributes& a = option.attributes();
        auto* row = tree ? new QTreeWidgetItem(tree) : new QTreeWidgetItem(parent);
        row->setText(0, shownAttributeText(option, "display_name"));
        row->setText(1, shownAttributeText(option, "display_value"));
        row->setData(0, kNameRole, attributeText(option, "name"));
        row->setData(0, kAdvancedRole, a.get_bool("advanced", false));
        row->setData(0, kReadOnlyRole, a.get_bool("readonly", false));
        row->setData(0, kWriteOnlyRole, a.get_bool("writeonly", false));
        row->setData(0, kUnitsRole, shownAttributeText(option, "units"));
        QFont font = row->font(0);
        font.setWeight(a.get_bool("defaulted", false) ? QFont::Normal : QFont::Bold);
        row->setFont(0, font);
        row->setFont(1, font);
        row->setHidden(a.get_bool("advanced", false) && !showAdvanced);
        if (parent) {
            row->setData(0, kPathRole, path);
            setEnabledBrush(row);
        }
        ++made;
    }
    return made;
}

QTreeWidgetItem* OptionTreeItem::addNodeRow(QTreeWidget* tree, const Message& node) {
    auto* row = new QTreeWidgetItem(tree);
    row->setText(0, shownAttributeText(node, "display_name"));
    row->setData(0, kNameRole, attributeText(node, "name"));
    row->setData(0, kDeletableRole, contains(commandNames(node), QStringLiteral("_del")));
    row->setFirstColumnSpanned(true);
    setRowTone(row, RowTone::Grey);
    return row;
}

void OptionTreeItem::setEnabledBrush(QTreeWidgetItem* item) {
    setRowTone(item, item->parent() ? RowTone::Black : RowTone::Grey);
}

QStringList OptionTreeItem::commandNames(const Message& node) {
    QStringList names;
    for (int index = 0; index < node.size(); ++index) {
        if (node.get_child(index).name() == "command") names << attributeText(node.get_child(index), "name");
    }
    return names;
}

bool OptionTreeItem::contains(const QStringList& names, const QString& name) {
    return names.contains(name);
}

QString OptionTreeItem::selectedPath(const QTreeWidget* tree) {
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    if (selected.isEmpty()) return {};
    QStringList names;
    for (const QTreeWidgetItem* row = selected.first(); row; row = row->parent()) {
        names.prepend(row->data(0, kNameRole).toString());
    }
    return names.join(QLatin1Char('.'));
}

bool OptionTreeItem::selectPath(QTreeWidget* tree, const QString& path) {
    const QStringList parts = path.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    QTreeWidgetItem* row = parts.isEmpty() ? nullptr : topLevelNamed(tree, parts.first());
    if (!row) return false;
    if (parts.size() > 1) collapseOthers(tree, row);
    for (int part = 1; part < parts.size() && row; ++part) row = findChild(row, parts.at(part));
    if (!row) return false;
    tree->setCurrentItem(row);
    return true;
}

QTreeWidgetItem* OptionTreeItem::findChild(const QTreeWidgetItem* item, const QString& name) {
    for (int index = 0; index < item->childCount(); ++index) {
        if (item->child(index)->data(0, kNameRole).toString() == name) return item->child(index);
    }
    return nullptr;
}

void OptionTreeItem::collapseOthers(QTreeWidget* tree, const QTreeWidgetItem* item) {
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        if (tree->topLevelItem(row) != item) tree->topLevelItem(row)->setExpanded(false);
    }
}

bool OptionTreeItem::removeTopLevel(QTreeWidget* tree, const QString& name) {
    int index = -1;
    if (!topLevelNamed(tree, name, &index)) return false;
    delete tree->takeTopLevelItem(index);
    return true;
}
