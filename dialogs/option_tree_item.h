#pragma once

#include <QString>
#include <QStringList>
#include <qnamespace.h>

class Message;
class QTreeWidget;
class QTreeWidgetItem;

// Shows a codec's self-describing configuration in a tree: a top-level row per configuration node
// ("display_name", "name", "command" children) and a row per option ("display_name",
// "display_value", "defaulted", "readonly", "writeonly", "advanced", "units"), and finds rows by
// the dotted path of their names. No window builds such a tree yet.
//
// Row data: Qt::UserRole holds the row's "name". Option rows add + 1 "advanced", + 2 "readonly",
// + 3 "writeonly" (bools), + 4 "units" and, under a parent row, + 5 the path the caller gave; node
// rows add + 6, whether the node offers the command "_del". Options the codec has not defaulted
// show bold.
//
// Threads: GUI thread only.
class OptionTreeItem {
public:
    static constexpr int kNameRole = Qt::UserRole;
    static constexpr int kAdvancedRole = Qt::UserRole + 1;
    static constexpr int kReadOnlyRole = Qt::UserRole + 2;
    static constexpr int kWriteOnlyRole = Qt::UserRole + 3;
    static constexpr int kUnitsRole = Qt::UserRole + 4;
    static constexpr int kPathRole = Qt::UserRole + 5;
    static constexpr int kDeletableRole = Qt::UserRole + 6;

    // A row per "option" child of `node`, at the top of `tree` when one is given, else under
    // `parent`; with neither nothing is made. Advanced rows are hidden unless `showAdvanced`.
    // Returns the number of rows made.
    int addOptionRows(const Message& node, QTreeWidget* tree, QTreeWidgetItem* parent, const QString& path) const;
    // A grey top-level row for the node, spanning both columns.
    static QTreeWidgetItem* addNodeRow(QTreeWidget* tree, const Message& node);
    // Black text for a row under another row, grey for a top-level row.
    static void setEnabledBrush(QTreeWidgetItem* item);

    static QStringList commandNames(const Message& node);
    static bool contains(const QStringList& names, const QString& name);
    // The names from the top-level row down to the first selected row, joined by "."; empty when
    // nothing is selected.
    static QString selectedPath(const QTreeWidget* tree);
    // Makes the row at the dotted `path` current (empty parts are skipped); false when a part
    // matches no row. Other top-level rows collapse when the path goes below the top level.
    static bool selectPath(QTreeWidget* tree, const QString& path);
    // The first child of `item` named `name`; null when none is.
    static QTreeWidgetItem* findChild(const QTreeWidgetItem* item, const QString& name);
    static void collapseOthers(QTreeWidget* tree, const QTreeWidgetItem* item);
    // Deletes the first top-level row named `name`; false when there is none.
    static bool removeTopLevel(QTreeWidget* tree, const QString& name);

    bool showAdvanced = false;
};
