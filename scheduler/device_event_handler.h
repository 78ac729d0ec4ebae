#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "sessions/kt_event.h"

class AlertPlayer;
class IPCObject;

// Decides what a codec's device event sounds like: the codec's own file for the kind ("mute" is
// silence), or, when it has none, the default file if the operator allows default sounds; nothing
// at all while sounds are switched off. Every session's deviceEvent is connected to the one
// handler. It also names the configuration keys under which the codecs' sounds are stored.
//
// The default files ("wav/d_conn.wav", ...) are looked for in the working directory first, then
// beside the program, because a desktop launcher starts the program in the home folder.
//
// Threads: GUI thread only.
class DeviceEventHandler : public QObject {
    Q_OBJECT

public:
    // The main window's two sound switches.
    struct SoundSwitches {
        bool soundEnabled = false;
        bool defaultAlertsAllowed = false;
    };
    // Read at every event. No answer (or no reader) means there is no main window, at start-up or
    // shutdown, and then nothing plays.
    using SwitchReader = std::function<std::optional<SoundSwitches>()>;

    // `player` must outlive the handler.
    DeviceEventHandler(AlertPlayer& player, SwitchReader switches, QObject* parent = nullptr);

    // Replaces the reader; an empty one silences the handler (the main window going away).
    void setSwitchReader(SwitchReader switches);

    // Plays the kind's default file, when there is one and it can be found.
    void playDefaultSound(KT_EVENT kind);

    // The four kinds, in the order the configuration stores them.
    static QList<KT_EVENT> allEvents();
    // "snd-audio-start", "snd-audio-end", "snd-device-online", "snd-device-offline"; empty for any
    // other value.
    static QString eventKey(int kind);
    // The reverse, case-sensitive; NO_EVENT for any other text.
    static KT_EVENT eventFromKey(const QString& key);
    // The kind's default file as found (working directory, then the program's folder); empty when
    // the kind has none or neither place holds it.
    static QString findDefaultSound(KT_EVENT kind);

public slots:
    void handleEvent(IPCObject* session, KT_EVENT kind);

private:
    AlertPlayer& player;
    SwitchReader readSwitches;
};
