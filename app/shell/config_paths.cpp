#include "app/shell/config_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString appDataPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString configDirPath() {
    return appDataPath() + QStringLiteral("/Quelda");
}

QString configFilePath() {
    return configDirPath() + QStringLiteral("/kt-config.xml");
}

QString scheduleFilePath() {
    return configDirPath() + QStringLiteral("/schedule.xml");
}

bool makeConfigDir() {
    const QString path = configDirPath();
    if (QFileInfo(path).isDir()) return true;
    if (!QDir().mkpath(path)) return false;
    // The folder holds the codecs' passwords in plain text.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return QFileInfo(path).isDir();
}
