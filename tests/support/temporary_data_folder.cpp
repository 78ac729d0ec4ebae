#include "tests/support/temporary_data_folder.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace test_support {

TemporaryDataFolder::TemporaryDataFolder()
    : previous_(qgetenv("XDG_CONFIG_HOME")), had_previous_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    if (!root_.isValid()) throw std::runtime_error("TemporaryDataFolder: no temporary folder");
    qputenv("XDG_CONFIG_HOME", root_.path().toUtf8());
}

TemporaryDataFolder::~TemporaryDataFolder() {
    if (had_previous_) {
        qputenv("XDG_CONFIG_HOME", previous_);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
    // A test may have left the folders unwritable; the temporary folder must still go.
    QFile::setPermissions(dataFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString TemporaryDataFolder::dataFolder() const {
    return root() + QStringLiteral("/Quelda");
}

QString TemporaryDataFolder::configFile() const {
    return dataFolder() + QStringLiteral("/kt-config.xml");
}

void TemporaryDataFolder::writeConfig(const QByteArray& bytes) const {
    QDir().mkpath(dataFolder());
    QFile file(configFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error("TemporaryDataFolder: cannot write the configuration file");
    }
}

QByteArray TemporaryDataFolder::readConfig() const {
    QFile file(configFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList TemporaryDataFolder::keptCopies() const {
    return QDir(dataFolder()).entryList({QStringLiteral("kt-config.xml.bad-*")}, QDir::Files, QDir::Name);
}

}  // namespace test_support
