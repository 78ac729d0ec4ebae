#include "scheduler/alert_sound_player.h"

#include <QAudioDeviceInfo>
#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QThreadPool>
#include <QUrl>
#include <QtEndian>

#include <algorithm>
#include <functional>

#include "sessions/thread_handoff.h"

namespace {

struct ChunkHeader {
    QByteArray id;
    quint32 size = 0;
};

bool readChunkHeader(QFile& file, ChunkHeader& header) {
    const QByteArray bytes = file.read(8);
    if (bytes.size() != 8) return false;
    header.id = bytes.left(4);
    header.size = qFromLittleEndian<quint32>(bytes.constData() + 4);
    return true;
}

// Chunks looked at before giving up on finding the samples: real files have a handful.
constexpr int kMaxChunks = 64;

// Names the hand-off of the output look-up to the pool for ThreadSanitizer. Static, so that the job
// can take it before it reads anything the GUI thread wrote.
char look_up_handoff;

}  // namespace

AlertSoundPlayer::AlertSoundPlayer(QObject* parent)
    : QObject(parent), output(std::make_shared<std::atomic<Output>>(Output::kLookingFor)) {
    std::function<void()> look_up = [outcome = output] {
        thread_handoff::acquire(&look_up_handoff);
        const bool is_found = !QAudioDeviceInfo::defaultOutputDevice().isNull();
        if (!is_found) qWarning("alert sounds: no sound output device, so alerts stay silent");
        outcome->store(is_found ? Output::kFound : Output::kAbsent);
    };
    // The job is handed over whole, once made; the pool's queue orders nothing ThreadSanitizer sees.
    thread_handoff::release(&look_up_handoff);
    // The global pool, rather than a thread of our own: the application waits for it when it ends.
    QThreadPool::globalInstance()->start(std::move(look_up));
}

AlertSoundPlayer::~AlertSoundPlayer() = default;

bool AlertSoundPlayer::play(const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile() || output->load() != Output::kFound) return false;
    QSoundEffect* effect = effectFor(info.absoluteFilePath(), info.lastModified(), info.size());
    if (!effect) return false;
    effect->play();
    return true;
}

QSoundEffect* AlertSoundPlayer::effectFor(const QString& path, const QDateTime& modified, qint64 size) {
    const auto found =
        std::find_if(loaded.begin(), loaded.end(), [&](const LoadedEffect& entry) { return entry.path == path; });
    if (found != loaded.end()) {
        LoadedEffect entry = *found;
        loaded.erase(found);
        if (entry.modified == modified && entry.size == size) {
            loaded.push_back(entry);
            return entry.effect->status() == QSoundEffect::Error ? nullptr : entry.effect;
        }
        delete entry.effect;  // the file was replaced: load it afresh
    }

    if (!isPlayableWav(path)) {
        if (!refusedFiles.contains(path)) {
            refusedFiles.insert(path);
            qWarning("alert sounds: %s is not a complete PCM WAV file and is not played", qUtf8Printable(path));
        }
        return nullptr;
    }
    refusedFiles.remove(path);
    if (static_cast<int>(loaded.size()) >= kMaxLoadedEffects) dropLeastRecentlyUsed();
    auto* effect = new QSoundEffect(this);
    effect->setSource(QUrl::fromLocalFile(path));
    loaded.push_back({path, modified, size, effect});
    return effect;
}

void AlertSoundPlayer::dropLeastRecentlyUsed() {
    // An effect still loading is left alone: deleting it waits for Qt's loader thread.
    const auto victim = std::find_if(loaded.begin(), loaded.end(), [](const LoadedEffect& entry) {
        return entry.effect->status() != QSoundEffect::Loading;
    });
    if (victim == loaded.end()) return;
    delete victim->effect;
    loaded.erase(victim);
}

bool AlertSoundPlayer::isPlayableWav(const QString& path) {
    QFile file(path);
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) return false;
    const QByteArray riff = file.read(12);
    if (riff.size() != 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") return false;

    bool has_pcm_format = false;
    ChunkHeader chunk;
    for (int i = 0; i < kMaxChunks && readChunkHeader(file, chunk); ++i) {
        const qint64 body_start = file.pos();
        if (chunk.id == "fmt ") {
            const QByteArray format = file.read(16);
            if (chunk.size < 16 || format.size() != 16) return false;
            const quint16 encoding = qFromLittleEndian<quint16>(format.constData());
            const quint16 channels = qFromLittleEndian<quint16>(format.constData() + 2);
            const quint32 rate = qFromLittleEndian<quint32>(format.constData() + 4);
            const quint16 bits = qFromLittleEndian<quint16>(format.constData() + 14);
            has_pcm_format =
                encoding == 1 && channels > 0 && rate > 0 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
            if (!has_pcm_format) return false;
        } else if (chunk.id == "data") {
            // Qt reads the format first and then waits for every byte the data chunk announces.
            return has_pcm_format && chunk.size > 0 && body_start + chunk.size <= file.size();
        }
        // RIFF pads a chunk to an even length, but Qt Multimedia 5 skips no pad byte: after an odd
        // chunk it reads the next header one byte early and never finds the samples.
        if (chunk.size & 1 || !file.seek(body_start + chunk.size)) return false;
    }
    return false;
}
