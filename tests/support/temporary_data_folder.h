#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace test_support {

// Points the program's data folder at a fresh temporary folder while it lives: XDG_CONFIG_HOME is
// set to an empty folder of its own (so the data folder, ".../Quelda", does not exist yet) and put
// back afterwards. One at a time.
class TemporaryDataFolder {
public:
    TemporaryDataFolder();
    ~TemporaryDataFolder();
    TemporaryDataFolder(const TemporaryDataFolder&) = delete;
    TemporaryDataFolder& operator=(const TemporaryDataFolder&) = delete;

    // The folder that stands for the user's configuration folder.
    QString root() const { return root_.path(); }
    // root() + "/Quelda", and the configuration file in it.
    QString dataFolder() const;
    QString configFile() const;
    // Makes the data folder and writes `bytes` as the configuration file.
    void writeConfig(const QByteArray& bytes) const;
    // The configuration file's bytes; empty when it cannot be read.
    QByteArray readConfig() const;
    // The kept copies of the configuration file ("kt-config.xml.bad-..."), oldest name first.
    QStringList keptCopies() const;

private:
    QTemporaryDir root_;
    QByteArray previous_;
    bool had_previous_;
};

}  // namespace test_support
