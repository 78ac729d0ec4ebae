#pragma once

#include <QCoreApplication>
#include <QString>

class MainWindow;

// When kt-config.xml is read and written, and what the operator is told when that fails. The
// file's records follow the fleet view's tiles; ConfigFile builds, applies, reads and writes the
// tree. A file that cannot be loaded whole is kept as a copy first; when not even a copy can be
// made, this run refuses to overwrite it.
//
// Threads: GUI thread only; the file itself is read and written under configMutex.
class ConfigStore {
    Q_DECLARE_TR_FUNCTIONS(ConfigStore)

public:
    // `window` outlives the store; it parents the boxes and gives the fleet and its layout.
    explicit ConfigStore(MainWindow& window);

    // Writes the file from the window, the tree's columns and the codecs; failures are shown.
    void save();
    // Reads the file once at start-up and brings every codec in it live. False when there was no
    // file or it could not be loaded; failures are shown after the configuration lock is released.
    bool load();

private:
    // What loading found, for the boxes shown once the lock is released.
    struct LoadOutcome {
        bool hasFile = false;
        QString error;  // why the file could not be loaded; empty when it was
        int droppedCodecs = 0;
        QString keptCopy;  // where the original was copied; empty when no copy was needed or made
    };

    // Reads and applies the file; runs under the configuration lock.
    void read(LoadOutcome& outcome);
    // Keeps a copy of the file the load could not take whole; without one, refuses later writes.
    void keepOriginal(LoadOutcome& outcome);
    // The box of a save that did not happen.
    void showSaveError(const QString& reason);

    MainWindow& window;
    // Why this run must not overwrite the file (it could not be loaded, nor copied); empty when
    // it may.
    QString writeRefusal;
};
