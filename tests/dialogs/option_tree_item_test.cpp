// A codec's self-describing configuration as tree rows, and finding rows by their dotted path.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "dialogs/option_tree_item.h"
#include "ipc/message/message.h"

namespace {

Message parsed(const std::string& xml) {
    Message message;
    message.parse(xml);
    return message;
}

// Two nodes: "net" (deletable) with options "ip" (defaulted) and "mtu" (advanced), and "audio",
// opened, with "gain".
class OptionTree : public ::testing::Test {
protected:
    OptionTree() {
        const Message net = parsed(R"(<node name="net" display_name="Network"><command name="_del"/>)"
                                   R"(<option name="ip" display_name="IP" display_value="10.0.0.1" defaulted="true"/>)"
                                   R"(<option name="mtu" display_name="MTU" advanced="true" units="B"/></node>)");
        netRow = OptionTreeItem::addNodeRow(&tree, net);
        rowsMade = OptionTreeItem().addOptionRows(net, nullptr, netRow, "net");
        const Message audio = parsed(R"(<node name="audio" display_name="Audio"><option name="gain"/></node>)");
        OptionTreeItem().addOptionRows(audio, nullptr, OptionTreeItem::addNodeRow(&tree, audio), "audio");
        tree.topLevelItem(1)->setExpanded(true);
    }

    QTreeWidget tree;
    QTreeWidgetItem* netRow = nullptr;
    int rowsMade = 0;
};

TEST_F(OptionTree, EdgeCases) {
    QTreeWidgetItem* ip = netRow->child(0);
    QTreeWidgetItem* mtu = netRow->child(1);
    const struct {
        const char* what;
        bool holds;
    } cases[] = {
        {"one row per option", rowsMade == 2 && netRow->childCount() == 2},
        {"no tree and no parent: nothing", OptionTreeItem().addOptionRows(Message(), nullptr, nullptr, "") == 0},
        {"node offers _del", netRow->data(0, OptionTreeItem::kDeletableRole).toBool()},
        {"node spans, grey", netRow->isFirstColumnSpanned() && netRow->foreground(0).color() == QColor(128, 128, 128)},
        {"option rows black", ip->foreground(1).color() == QColor(0, 0, 0)},
        {"defaulted: normal weight", ip->font(0).weight() == QFont::Normal && ip->font(1).weight() == QFont::Normal},
        {"not defaulted: bold", mtu->font(0).weight() == QFont::Bold && mtu->font(1).weight() == QFont::Bold},
        {"advanced rows exist but hidden", mtu->isHidden() && !ip->isHidden()},
        {"row data", ip->text(1) == "10.0.0.1" && mtu->data(0, OptionTreeItem::kUnitsRole) == "B" &&
                         ip->data(0, OptionTreeItem::kPathRole) == "net"},
        {"nothing selected: empty path", OptionTreeItem::selectedPath(&tree).isEmpty()},
        {"path of a row two levels down",
         OptionTreeItem::selectPath(&tree, "net..ip") && OptionTreeItem::selectedPath(&tree) == "net.ip"},
        {"path through others collapses them", !tree.topLevelItem(1)->isExpanded()},
        {"unknown part: false", !OptionTreeItem::selectPath(&tree, "net.gateway") &&
                                    !OptionTreeItem::selectPath(&tree, "video") &&
                                    !OptionTreeItem::selectPath(&tree, "")},
        {"remove a top-level row", OptionTreeItem::removeTopLevel(&tree, "audio") && tree.topLevelItemCount() == 1 &&
                                       !OptionTreeItem::removeTopLevel(&tree, "audio")},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.holds) << c.what;
}

}  // namespace
