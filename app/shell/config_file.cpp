#include "app/shell/config_file.h"

#include <QDateTime>
#include <QFile>
#include <QHeaderView>

#include "app/shell/main_window.h"
#include "ipc/base/exception.h"
#include "scheduler/device_event_handler.h"
#include "sessions/ipc_object.h"

namespace {

// Copies made within the same second get a counter; beyond this many something else is wrong.
constexpr int kMaxCopiesPerSecond = 100;
constexpr qint64 kCopyChunkBytes = 1024 * 1024;

std::string sectionKey(int section) {
    return "section_width_" + std::to_string(section);
}

QString base64(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toBase64());
}

[[noreturn]] void throwShortCopy(qint64 copied, qint64 size, const QString& reason) {
    throw Exception("%s: Only %lld of %lld bytes could be copied: %s", "keepCopy", static_cast<long long>(copied),
                    static_cast<long long>(size), reason.toUtf8().constData());
}

// Copies `original` into the new, empty `copy` a chunk at a time: readAll() of a file over 2 GiB,
// more than a QByteArray holds, gives an empty array.
void copyContents(QFile& original, QFile& copy) {
    // Owner-only before the first byte: the file holds passwords.
    if (!copy.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        throw Exception("%s: %s", "keepCopy", copy.errorString().toUtf8().constData());
    }
    const qint64 size = original.size();
    qint64 copied = 0;
    QByteArray chunk;
    do {
        chunk = original.read(kCopyChunkBytes);
        if (original.error() != QFileDevice::NoError) throwShortCopy(copied, size, original.errorString());
        // A short write sets no error; the write after it fails with the system's reason.
        for (qint64 done = 0; done < chunk.size();) {
            const qint64 written = copy.write(chunk.constData() + done, chunk.size() - done);
            if (written <= 0) throwShortCopy(copied, size, copy.errorString());
            done += written;
            copied += written;
        }
    } while (!chunk.isEmpty());
    if (copied != size) throwShortCopy(copied, size, QStringLiteral("the file changed while it was copied"));
}

QByteArray fromBase64(const Message::Attributes& attributes, const char* key) {
    return QByteArray::fromBase64(attributes.get_string(key, "").c_str());
}

}  // namespace

Message ConfigFile::build(const MainWindow& window, const QHeaderView& header, const QList<IPCObject*>& sessions) {
    Message config;
    config.set_name("config");
    config.attributes().set("version", "1.0");
    config.attributes().set("company", "Quelda Corporation");
    config.attributes().set("product", "Kestrane");

    Message::Attributes& application = config.add_child("application").attributes();
    application.set("geometry", base64(window.saveGeometry()));
    application.set("state", base64(window.saveState(0)));
    application.set("audio", window.soundEnabled());
    application.set("default-sounds", window.defaultAlertsAllowed());
    for (int section = 0; section < header.count(); ++section) {
        application.set(sectionKey(section), header.sectionSize(section));
    }
    application.set("detail_dock_floating", window.detailDockFloating());
    application.set("detail_dock_geometry", QString::fromLatin1(window.detailDockGeometry()));

    Message& remotes = config.add_child("remotes");
    for (IPCObject* session : sessions) {
        Message::Attributes& remote = remotes.add_child("remote").attributes();
        remote.set("address", session->host);
        remote.set("port", session->port);
        remote.set("password", session->getPassword());
        remote.set("metering", session->meteringOn.load());
        remote.set("logReading", session->eventLogPolling.load());
        for (const KT_EVENT kind : DeviceEventHandler::allEvents()) {
            remote.set(DeviceEventHandler::eventKey(kind).toStdString(), session->alertSound(kind));
        }
    }
    return config;
}

void ConfigFile::applyApplication(const Message& application, MainWindow& window, QHeaderView& header) {
    const Message::Attributes& attributes = application.attributes();
    window.restoreLayout(fromBase64(attributes, "geometry"), fromBase64(attributes, "state"));
    window.setSoundEnabled(attributes.get_bool("audio", false));
    window.setDefaultAlertsAllowed(attributes.get_bool("default-sounds", false));
    for (int section = 0; section < header.count(); ++section) {
        const std::string key = sectionKey(section);
        if (!attributes.has(key)) continue;
        const int width = attributes.get_int(key, 0);
        if (width >= 0 && width <= kMaxSectionWidth) header.resizeSection(section, width);
    }
    window.setDetailDockFloating(attributes.get_bool("detail_dock_floating", false));
    window.restoreDetailDockGeometry(QByteArray::fromStdString(attributes.get_string("detail_dock_geometry", "")));
}

void ConfigFile::applyRemote(const Message& remote, IPCObject& session) {
    const Message::Attributes& attributes = remote.attributes();
    session.setMeteringFlag(attributes.get_bool("metering", true));
    session.setEventLogPolling(attributes.get_bool("logReading", false));
    for (const KT_EVENT kind : DeviceEventHandler::allEvents()) {
        session.setAlertSound(kind,
                              attributes.get_qstring(DeviceEventHandler::eventKey(kind).toStdString(), QString()));
    }
    session.setConnection(attributes.get_qstring("address", QString()), attributes.get_int("port", 0),
                          attributes.get_qstring("password", QString()));
}

Message ConfigFile::read(const QString& path) {
    Message config;
    config.read_from_file(path.toStdString());
    if (config.name().empty() && config.size() == 0) {
        throw Exception("%s: The file holds no configuration", "loadConfig");
    }
    if (config.name() != "config") {
        throw Exception("%s: The root element is \"%s\", not \"config\"", "loadConfig", config.name().c_str());
    }
    if (config.child_count("remotes") > 1) {
        throw Exception("%s: The file holds %u \"remotes\" elements; only one is allowed", "loadConfig",
                        config.child_count("remotes"));
    }
    return config;
}

void ConfigFile::write(const Message& tree, const QString& path) {
    tree.write_to_file(Message::XML, path.toStdString());
}

QString ConfigFile::keepCopy(const QString& path) {
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly)) {
        throw Exception("%s: %s", "keepCopy", original.errorString().toUtf8().constData());
    }
    const QString stem =
        path + QStringLiteral(".bad-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (int attempt = 0; attempt < kMaxCopiesPerSecond; ++attempt) {
        const QString name = attempt == 0 ? stem : stem + QLatin1Char('-') + QString::number(attempt);
        QFile copy(name);
        // NewOnly refuses an existing file, so an earlier copy is never overwritten. Unbuffered, a
        // failed write leaves no buffered bytes whose failing flush on closing would keep remove()
        // from taking the cut copy away.
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (copy.exists()) continue;
            throw Exception("%s: %s", "keepCopy", copy.errorString().toUtf8().constData());
        }
        try {
            copyContents(original, copy);
        } catch (...) {
            copy.remove();
            throw;
        }
        return name;
    }
    throw Exception("%s: Too many copies of %s", "keepCopy", path.toUtf8().constData());
}
