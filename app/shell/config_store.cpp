#include "app/shell/config_store.h"

#include <QDebug>
#include <QFileInfo>

#include <exception>
#include <mutex>

#include "app/fleet/zorva_summary.h"
#include "app/shell/config_file.h"
#include "app/shell/config_paths.h"
#include "app/shell/instance_registry.h"
#include "app/shell/main_window.h"
#include "dialogs/message_box.h"
#include "sessions/ipc_object.h"
#include "text/error_reason.h"

ConfigStore::ConfigStore(MainWindow& window_) : window(window_) {}

void ConfigStore::save() {
    if (!writeRefusal.isEmpty()) {
        showSaveError(writeRefusal);
        return;
    }
    const QString path = configFilePath();
    const QList<IPCObject*> sessions = window.summary()->sessionsInTileOrder();
    try {
        const Message tree = ConfigFile::build(window, window.summary()->treeHeader(), sessions);
        std::lock_guard<std::mutex> lock(configMutex);
        ConfigFile::write(tree, path);
    } catch (const std::exception& error) {
        showSaveError(errorReason(error.what()));
        return;
    }
    qInfo().noquote() << "configuration saved:" << sessions.size() << "codecs in" << path;
}

void ConfigStore::showSaveError(const QString& reason) {
    MessageBox::warning(&window, tr("Save Configuration"), tr("Error saving configuration: ") + reason);
}

bool ConfigStore::load() {
    LoadOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(configMutex);
        read(outcome);
    }
    if (!outcome.error.isEmpty()) {
        // Nothing of the file was applied: the run starts without codecs.
        QString text = tr("Error loading configuration: ") + outcome.error;
        if (outcome.keptCopy.isEmpty()) {
            text += tr("\n\nThis run starts with no codecs and leaves the file as it is.");
        } else {
            text += tr("\n\nThe file was kept as %1. This run starts with no codecs; the copy holds the fleet as it "
                       "was.")
                        .arg(outcome.keptCopy);
        }
        MessageBox::warning(&window, tr("Load Configuration"), text);
        return false;
    }
    if (outcome.droppedCodecs > 0) {
        MessageBox::warning(&window, tr("Too many codecs"),
                            tr("Too many codecs defined in config file.  Some codecs were not loaded and have "
                               "been removed from your config file."));
    }
    return outcome.hasFile;
}

void ConfigStore::read(LoadOutcome& outcome) {
    const QString path = configFilePath();
    if (!QFileInfo::exists(path)) return;
    outcome.hasFile = true;
    ZorvaSummary& summary = *window.summary();
    try {
        const Message config = ConfigFile::read(path);
        if (config.child_count("application") > 0) {
            ConfigFile::applyApplication(config.get_child("application", 0), window, summary.treeHeader());
        }
        if (config.child_count("remotes") > 0) {
            const Message& remotes = config.get_child("remotes", 0);
            const unsigned count = remotes.child_count("remote");
            for (unsigned index = 0; index < count; ++index) {
                IPCObject* session = findInstance(window.createInstance());
                if (!session) {
                    ++outcome.droppedCodecs;  // every worker is full
                    continue;
                }
                ConfigFile::applyRemote(remotes.get_child("remote", index), *session);
                summary.addInstance(session);
            }
        }
    } catch (const std::exception& error) {
        outcome.error = errorReason(error.what());
    }
    if (!outcome.error.isEmpty() || outcome.droppedCodecs > 0) keepOriginal(outcome);
}

void ConfigStore::keepOriginal(LoadOutcome& outcome) {
    const QString path = configFilePath();
    try {
        outcome.keptCopy = ConfigFile::keepCopy(path);
    } catch (const std::exception& error) {
        // Without a copy the file on disk is the only record of the fleet: leave it alone.
        writeRefusal = tr("%1 could not be loaded and no copy of it could be made (%2), so it is "
                          "not overwritten while Kestrane runs.")
                           .arg(path, errorReason(error.what()));
        qWarning().noquote() << writeRefusal;
        return;
    }
    if (outcome.droppedCodecs > 0) {
        qWarning().noquote() << path << "named" << outcome.droppedCodecs
                             << "codecs more than fit; the original was kept as" << outcome.keptCopy;
    } else {
        qWarning().noquote() << path << "could not be loaded; the original was kept as" << outcome.keptCopy;
    }
}
