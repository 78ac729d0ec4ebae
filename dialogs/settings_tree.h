#pragma once

#include <qnamespace.h>

class QTreeWidget;
class QTreeWidgetItem;
class SettingsWorkingCopies;

// The left half of the settings page: every option of the working copies under a row for its
// group, its label in column 0 and its value as text in column 1, bold where it differs from the
// default. Group rows carry no data; option rows carry the roles below on column 0.
//
// Threads: GUI thread only.
class SettingsTree {
public:
    static constexpr int kTypeRole = Qt::UserRole + 12;      // the option's type
    static constexpr int kNameRole = Qt::UserRole + 13;      // its name
    static constexpr int kKeyRole = Qt::UserRole + 14;       // "channel:name" for channel rows, else the name
    static constexpr int kTagRole = Qt::UserRole + 15;       // "sys", "ds", "chan" or "bdlink"
    static constexpr int kChannelRole = Qt::UserRole + 16;   // channel rows: the channel id
    static constexpr int kAdvancedRole = Qt::UserRole + 17;  // bool

    explicit SettingsTree(QTreeWidget* tree) : tree_(tree) {}

    // Rebuilds the rows from the copies, edited rows bold. Without options or channels the tree
    // stays empty (with a warning); an option whose value has no element is left out (one warning
    // names them all).
    void populate(const SettingsWorkingCopies& copies);
    // Hides advanced rows unless `showAdvanced`, and every group row left without a shown row.
    void applyAdvancedFilter(bool showAdvanced);

    static void setColumnBold(int column, QTreeWidgetItem* item, bool bold);

private:
    QTreeWidget* tree_;  // the page's; not owned
};
