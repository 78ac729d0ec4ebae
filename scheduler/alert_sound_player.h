#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class QSoundEffect;

// Where alert sounds go: the alert handler plays through this, and tests put a recorder in its
// place.
class AlertPlayer {
public:
    virtual ~AlertPlayer() = default;
    // Starts playing `file` (a relative path is taken from the working directory) and returns at
    // once. False, and nothing plays, when there is no such file or it can't be played.
    virtual bool play(const QString& file) = 0;
};

// Plays alert sounds through Qt Multimedia, one QSoundEffect per file, the few last used kept
// loaded. The sound output device is looked for once, when the player is made at start-up, on a
// thread of Qt's global pool: finding it connects to the sound server, and a server that hangs
// holds that thread until libpulse gives up (30 s), never the GUI thread. Qt Multimedia connects
// to the sound server once per run, so a server started later is heard only after a restart.
// Until the device is found, and for the whole run when there is none, sounds are cleanly absent:
// play answers false at once and makes no effect; a missing device is logged once. A file that Qt
// Multimedia would not play is never handed to it (one that is not a complete PCM WAV it would
// wait for forever, and hang when the effect is deleted): it is refused with one warning per file.
//
// Threads: GUI thread only; the effects are its children. The look-up shares only its outcome
// with the player, and may outlive it.
class AlertSoundPlayer : public QObject, public AlertPlayer {
    Q_OBJECT

public:
    static constexpr int kMaxLoadedEffects = 4;
    // Alert sounds are a few seconds long; a larger file is refused rather than loaded whole.
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;

    explicit AlertSoundPlayer(QObject* parent = nullptr);
    ~AlertSoundPlayer() override;

    bool play(const QString& file) override;

    // True for a RIFF WAVE file of PCM samples (8 to 32 bits) whose format chunk comes before a
    // non-empty data chunk that the file holds in full, every chunk before the data of even length,
    // no larger than kMaxFileBytes.
    static bool isPlayableWav(const QString& path);

private:
    struct LoadedEffect {
        QString path;  // absolute
        QDateTime modified;
        qint64 size = 0;
        QSoundEffect* effect = nullptr;  // a child of this player
    };

    enum class Output { kLookingFor, kFound, kAbsent };

    // The loaded effect for the file, made when needed; null for a file that can't be played.
    QSoundEffect* effectFor(const QString& path, const QDateTime& modified, qint64 size);
    void dropLeastRecentlyUsed();

    std::shared_ptr<std::atomic<Output>> output;  // written once by the look-up
    std::vector<LoadedEffect> loaded;             // least recently used first
    QSet<QString> refusedFiles;                   // absolute paths warned about
};
