#include "app/zorva_summary.h"

#include <QDebug>
#include <QFileInfo>
#include <QHeaderView>
#include <QMutexLocker>
#include <QTreeWidgetItem>

#include <exception>

#include "app/config_file.h"
#include "app/config_paths.h"
#include "app/instance_registry.h"
#include "app/main_window.h"
#include "dialogs/message_box.h"
#include "ipc/exception.h"
#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "ui_zorva_summary.h"

namespace {

enum Column { kNameColumn = 0, kAddressColumn = 1 };

}  // namespace

ZorvaSummary::ZorvaSummary(QWidget* parent) : QWidget(parent), ui(new Ui::ZorvaSummaryClass) {
    ui->setupUi(this);
    QTreeWidget* tree = ui->summaryTree;
    connect(tree, &QTreeWidget::itemPressed, this, &ZorvaSummary::summaryTreeItemActivated);
    tree->setAlternatingRowColors(true);
    tree->setSortingEnabled(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setDragEnabled(false);
}

// The main window has saved the configuration just before; by now its layout can no longer be read,
// so the view does not save again.
ZorvaSummary::~ZorvaSummary() {
    delete ui;
}

MainWindow* ZorvaSummary::mainWindow() const {
    return qobject_cast<MainWindow*>(window());
}

// ------------------------------------------------------------------------------------------------
// Codecs

QUuid ZorvaSummary::addInstance(IPCObject* session) {
    const QUuid key = QUuid::createUuid();
    tileMap.insert(key, session);
    tileList.append(key);
    addSummaryRow(session, key);
    return key;
}

void ZorvaSummary::addSummaryRow(IPCObject* session, const QUuid& key) {
    auto* row = new QTreeWidgetItem;
    row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    row->setText(kNameColumn, session->unitName());
    row->setText(kAddressColumn, session->host);
    ui->summaryTree->addTopLevelItem(row);
    rowMap.insert(key, row);
    itemRowMap.insert(row, key);
    updateCount();
}

void ZorvaSummary::removeInstance(const QUuid& tileKey) {
    IPCObject* session = tileMap.take(tileKey);
    if (!session) return;
    tileList.removeAll(tileKey);
    instanceMap.remove(session->uuid);
    session->markForDeletion();
    emit selectionChanged(nullptr);
}

void ZorvaSummary::removeSummaryRow(const QUuid& key) {
    QTreeWidgetItem* row = rowMap.take(key);
    if (!row) return;
    itemRowMap.remove(row);
    delete ui->summaryTree->takeTopLevelItem(ui->summaryTree->indexOfTopLevelItem(row));
    updateCount();
}

void ZorvaSummary::removeSelectedInstance() {
    const QUuid key = selectedUuid;
    if (!tileMap.contains(key)) return;
    removeInstance(key);
    removeSummaryRow(key);
}

QList<IPCObject*> ZorvaSummary::sessionsInTileOrder() const {
    QList<IPCObject*> sessions;
    for (const QUuid& key : tileList) sessions.append(tileMap.value(key));
    return sessions;
}

// ------------------------------------------------------------------------------------------------
// Selection, pages and the count

void ZorvaSummary::tileSelected(QUuid key) {
    selectedUuid = key;
    if (QTreeWidgetItem* row = rowMap.value(key)) ui->summaryTree->setCurrentItem(row);
    emit selectionChanged(tileMap.value(key));
}

void ZorvaSummary::summaryTreeItemActivated(QTreeWidgetItem* item, int) {
    const auto found = itemRowMap.constFind(item);
    if (found != itemRowMap.constEnd()) tileSelected(found.value());
}

int ZorvaSummary::currentPage() const {
    return ui->stackedWidget->currentIndex();
}

void ZorvaSummary::showStatsOverview() {
    ui->stackedWidget->setCurrentIndex(1);
    if (MainWindow* window = mainWindow()) window->handleAllEnables();
}

void ZorvaSummary::showGeneralOverview() {
    ui->stackedWidget->setCurrentIndex(0);
    if (MainWindow* window = mainWindow()) window->handleAllEnables();
}

void ZorvaSummary::updateCount() {
    const IQCommonPooledApp* pool = IPCObject::sessionPool();
    const int current = pool ? pool->client_count() : 0;
    const int maximum = pool ? current + pool->available_spots() : 0;
    const int remaining = maximum - current;
    QString text;
    if (remaining <= 0) {
        text = tr("%1 instances (no more can be added).").arg(current);
    } else if (remaining < maximum / 4) {
        text = tr("%1 instances (%2 more can be added).").arg(current).arg(remaining);
    } else {
        text = tr("%1 instances.").arg(current);
    }
    ui->labelCodecCount->setText(text);
}

// ------------------------------------------------------------------------------------------------
// The configuration file

void ZorvaSummary::saveConfig() {
    MainWindow* window = mainWindow();
    if (!window) return;
    const QString path = configFilePath();
    const QList<IPCObject*> sessions = sessionsInTileOrder();
    try {
        if (!configWriteRefusal.isEmpty()) throw Exception("%s: %s", "saveConfig", configWriteRefusal.toUtf8().constData());
        const Message tree = ConfigFile::build(*window, *ui->summaryTree->header(), sessions);
        QMutexLocker lock(&configMutex);
        ConfigFile::write(tree, path);
    } catch (const std::exception& error) {
        MessageBox::warning(this, tr("Save Configuration"),
                            tr("Error saving configuration: ") + QString::fromUtf8(error.what()));
        return;
    }
    qInfo().noquote() << "configuration saved:" << sessions.size() << "codecs in" << path;
}

bool ZorvaSummary::loadConfig() {
    LoadOutcome outcome;
    {
        QMutexLocker lock(&configMutex);
        readConfig(outcome);
    }
    if (!outcome.error.isEmpty()) {
        QString text = tr("Error loading configuration: ") + outcome.error;
        if (!outcome.keptCopy.isEmpty()) text += tr("\n\nThe file was kept as %1.").arg(outcome.keptCopy);
        MessageBox::warning(this, tr("Load Configuration"), text);
        return false;
    }
    if (outcome.droppedCodecs > 0) {
        MessageBox::warning(mainWindow(), tr("Too many codecs"),
                            tr("Too many codecs defined in config file.  Some codecs were not loaded and have "
                               "been removed from your config file."));
    }
    return outcome.hasFile;
}

void ZorvaSummary::readConfig(LoadOutcome& outcome) {
    const QString path = configFilePath();
    if (!QFileInfo::exists(path)) return;
    outcome.hasFile = true;
    MainWindow* window = mainWindow();
    try {
        const Message config = ConfigFile::read(path);
        if (config.child_count("application") > 0 && window) {
            ConfigFile::applyApplication(config.get_child("application", 0), *window, *ui->summaryTree->header());
        }
        if (config.child_count("remotes") > 0) {
            const Message& remotes = config.get_child("remotes", 0);
            const unsigned count = remotes.child_count("remote");
            for (unsigned index = 0; index < count; ++index) {
                IPCObject* session = window ? findInstance(window->createInstance()) : nullptr;
                if (!session) {
                    ++outcome.droppedCodecs;  // every worker is full
                    continue;
                }
                ConfigFile::applyRemote(remotes.get_child("remote", index), *session);
                addInstance(session);
            }
        }
    } catch (const std::exception& error) {
        outcome.error = QString::fromUtf8(error.what());
    }
    if (!outcome.error.isEmpty() || outcome.droppedCodecs > 0) keepOriginal(outcome);
}

void ZorvaSummary::keepOriginal(LoadOutcome& outcome) {
    const QString path = configFilePath();
    try {
        outcome.keptCopy = ConfigFile::keepCopy(path);
    } catch (const std::exception& error) {
        // Without a copy the file on disk is the only record of the fleet: leave it alone.
        configWriteRefusal = tr("%1 could not be loaded and no copy of it could be made (%2), so it is "
                                "not overwritten while Kestrane runs.")
                                 .arg(path, QString::fromUtf8(error.what()));
        qWarning().noquote() << configWriteRefusal;
        return;
    }
    if (outcome.droppedCodecs > 0) {
        qWarning().noquote() << path << "named" << outcome.droppedCodecs
                             << "codecs more than fit; the original was kept as" << outcome.keptCopy;
    } else {
        qWarning().noquote() << path << "could not be loaded; the original was kept as" << outcome.keptCopy;
    }
}
