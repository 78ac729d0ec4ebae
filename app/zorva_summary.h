#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QUuid>
#include <QWidget>

class IPCObject;
class MainWindow;
class QTreeWidgetItem;

namespace Ui {
class ZorvaSummaryClass;
}

// The fleet at a glance, the main window's central widget: every managed codec as a row of the
// summary tree (page 1), in the order the codecs were added. Each codec is added under a tile key
// of its own, distinct from its session's instance key; the selection and removal go by tile key,
// and the selected codec becomes the main window's active instance through selectionChanged. The
// view also reads and writes kt-config.xml, whose records follow its order.
//
// Threads: GUI thread only.
class ZorvaSummary : public QWidget {
    Q_OBJECT

public:
    explicit ZorvaSummary(QWidget* parent = nullptr);
    ~ZorvaSummary() override;

    // Adds a row for the session and returns its new tile key. The session stays the caller's.
    QUuid addInstance(IPCObject* session);
    // Removes the codec under the tile key: its session leaves the instance map and is marked for
    // deletion, and the selection is emptied. An unknown key changes nothing.
    void removeInstance(const QUuid& tileKey);
    // Removes the selected codec and its row.
    void removeSelectedInstance();

    // The sessions in the order they were added: the order of the rows and of the file's records.
    QList<IPCObject*> sessionsInTileOrder() const;
    bool hasInstances() const { return !tileList.isEmpty(); }
    QUuid selectedKey() const { return selectedUuid; }
    // 0 tiles, 1 the summary tree.
    int currentPage() const;

    // Writes kt-config.xml from the window, the tree's columns and the codecs; failures are shown.
    void saveConfig();
    // Reads kt-config.xml once at start-up and brings every codec in it live. False when there was
    // no file or it could not be loaded; failures are shown (after the configuration lock is
    // released) and the file is kept as a copy first.
    bool loadConfig();

signals:
    // The session of the newly selected codec; null after a removal.
    void selectionChanged(IPCObject* session);

public slots:
    void tileSelected(QUuid key);
    void showStatsOverview();
    void showGeneralOverview();
    void updateCount();
    void summaryTreeItemActivated(QTreeWidgetItem* item, int column);

private:
    // What loading found, for the boxes shown once the lock is released.
    struct LoadOutcome {
        bool hasFile = false;
        QString error;        // why the file could not be loaded; empty when it was
        int droppedCodecs = 0;
        QString keptCopy;     // where the original was copied; empty when no copy was needed or made
    };

    void addSummaryRow(IPCObject* session, const QUuid& key);
    void removeSummaryRow(const QUuid& key);
    // Reads and applies the file; runs under the configuration lock.
    void readConfig(LoadOutcome& outcome);
    // Keeps a copy of the file the load could not take whole; without one, refuses later writes.
    void keepOriginal(LoadOutcome& outcome);
    // The window this view is the centre of; null while the view stands alone.
    MainWindow* mainWindow() const;

    Ui::ZorvaSummaryClass* ui;  // owned
    QList<QUuid> tileList;                         // tile keys, in the order of addition
    QMap<QUuid, IPCObject*> tileMap;               // tile key -> session (not owned)
    QMap<QUuid, QTreeWidgetItem*> rowMap;          // tile key -> its row, owned by the tree
    QMap<QTreeWidgetItem*, QUuid> itemRowMap;      // row -> tile key
    QUuid selectedUuid;                            // null until the first selection
    // Why this run must not overwrite kt-config.xml (it could not be loaded, nor copied); empty
    // when it may.
    QString configWriteRefusal;
};
