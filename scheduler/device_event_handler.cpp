#include "scheduler/device_event_handler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <utility>

#include "scheduler/alert_sound_player.h"
#include "sessions/ipc_object.h"

namespace {

// The stored text that silences a kind for one codec.
const QString kMute = QStringLiteral("mute");

struct EventNames {
    KT_EVENT kind;
    const char* key;
    const char* default_sound;  // relative to the working directory; null for none
};

const EventNames kEventNames[] = {
    {AUDIO_START, "snd-audio-start", "wav/d_conn.wav"},
    {AUDIO_END, "snd-audio-end", "wav/d_disc.wav"},
    {DEVICE_ONLINE, "snd-device-online", nullptr},
    {DEVICE_OFFLINE, "snd-device-offline", "wav/cnn_lost.wav"},
};

const EventNames* namesOf(int kind) {
    for (const EventNames& names : kEventNames) {
        if (names.kind == kind) return &names;
    }
    return nullptr;
}

}  // namespace

DeviceEventHandler::DeviceEventHandler(AlertPlayer& alert_player, SwitchReader switches, QObject* parent)
    : QObject(parent), player(alert_player), readSwitches(std::move(switches)) {}

void DeviceEventHandler::setSwitchReader(SwitchReader switches) {
    readSwitches = std::move(switches);
}

void DeviceEventHandler::handleEvent(IPCObject* session, KT_EVENT kind) {
    if (!session || !readSwitches) return;
    const std::optional<SoundSwitches> switches = readSwitches();
    if (!switches || !switches->soundEnabled) return;

    const QString own_sound = session->alertSound(kind);
    if (own_sound == kMute) return;
    if (!own_sound.isEmpty()) {
        // A codec's own file that has gone stays silent: the default is for codecs without one.
        player.play(own_sound);
    } else if (switches->defaultAlertsAllowed) {
        playDefaultSound(kind);
    }
}

void DeviceEventHandler::playDefaultSound(KT_EVENT kind) {
    const QString file = findDefaultSound(kind);
    if (!file.isEmpty()) player.play(file);
}

QList<KT_EVENT> DeviceEventHandler::allEvents() {
    QList<KT_EVENT> kinds;
    for (const EventNames& names : kEventNames) kinds << names.kind;
    return kinds;
}

QString DeviceEventHandler::eventKey(int kind) {
    const EventNames* names = namesOf(kind);
    return names ? QString::fromLatin1(names->key) : QString();
}

KT_EVENT DeviceEventHandler::eventFromKey(const QString& key) {
    for (const EventNames& names : kEventNames) {
        if (key == QLatin1String(names.key)) return names.kind;
    }
    return NO_EVENT;
}

QString DeviceEventHandler::findDefaultSound(KT_EVENT kind) {
    const EventNames* names = namesOf(kind);
    if (!names || !names->default_sound) return {};
    const QString relative = QString::fromLatin1(names->default_sound);
    for (const QDir& folder : {QDir::current(), QDir(QCoreApplication::applicationDirPath())}) {
        const QString candidate = folder.absoluteFilePath(relative);
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return {};
}
