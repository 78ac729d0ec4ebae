#pragma once

#include <QMetaType>

// Device event kinds. The same numbers index a session's alert sounds and name the configuration
// keys "snd-audio-start", "snd-audio-end", "snd-device-online" and "snd-device-offline".
enum KT_EVENT {
    AUDIO_START = 0,     // an audio connection started
    AUDIO_END = 1,       // an audio connection ended
    DEVICE_ONLINE = 2,   // the codec connected to this program
    DEVICE_OFFLINE = 3,  // the codec disconnected from this program
    NO_EVENT = 4,
};

Q_DECLARE_METATYPE(KT_EVENT)
