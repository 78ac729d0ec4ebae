#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>

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
// loaded. Without a sound output device (no sound server) sounds are cleanly absent: play answers
// false at once, makes no effect and logs one warning per run; the device is looked for again at
// most once a minute. A file that is not a complete PCM WAV is never handed to Qt Multimedia
// (which would wait for the rest of it forever, and hang when the effect is deleted): it is
// refused with one warning per file.
//
// Threads: GUI thread only; the effects are its children.
class AlertSoundPlayer : public QObject, public AlertPlayer {
    Q_OBJECT

public:
    static constexpr int kMaxLoadedEffects = 4;
    static constexpr qint64 kOutputRecheckMs = 60 * 1000;
    // Alert sounds are a few seconds long; a larger file is refused rather than loaded whole.
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;

    explicit AlertSoundPlayer(QObject* parent = nullptr);
    ~AlertSoundPlayer() override;

    bool play(const QString& file) override;

    // True for a RIFF WAVE file of PCM samples (8 to 32 bits) whose format chunk comes before a
    // non-empty data chunk that the file holds in full, no larger than kMaxFileBytes.
    static bool isPlayableWav(const QString& path);

private:
    struct LoadedEffect {
        QString path;  // absolute
        QDateTime modified;
        qint64 size = 0;
        QSoundEffect* effect = nullptr;  // a child of this player
    };

    bool hasOutputDevice();
    // The loaded effect for the file, made when needed; null for a file that can't be played.
    QSoundEffect* effectFor(const QString& path, const QDateTime& modified, qint64 size);
    void dropLeastRecentlyUsed();

    std::vector<LoadedEffect> loaded;  // least recently used first
    QElapsedTimer outputCheck;         // since the output device was last looked for
    bool hasOutput = false;
    bool isNoOutputWarned = false;
    QSet<QString> refusedFiles;  // absolute paths warned about
};
