#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <optional>

#include "scheduler/alert_sound_player.h"
#include "scheduler/device_event_handler.h"
#include "sessions/ipc_object.h"
#include "tests/scheduler/wav_file.h"
#include "tests/support/unplaced_session.h"

namespace {

// Keeps what would have been heard: only files that exist play.
class RecordingPlayer : public AlertPlayer {
public:
    bool play(const QString& file) override {
        if (!QFileInfo(file).isFile()) return false;
        played << file;
        return true;
    }
    QStringList played;
};

// Runs a test in a working directory of its own, given back afterwards.
class InFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QTemporaryDir folder;
    QString previous;
};

using DeviceEventHandlerTest = InFolder;

// What one event plays, by the switches and the codec's own sound for the kind. Files that exist
// in the working directory: the three defaults, "own.wav", "Mute" and "mute".
struct EventCase {
    const char* what;
    std::optional<DeviceEventHandler::SoundSwitches> switches;  // none: no main window
    KT_EVENT kind;
    const char* own_sound;
    const char* played;  // relative to the working directory; "" for silence
};

const DeviceEventHandler::SoundSwitches kDefaultsAllowed{true, true};
const DeviceEventHandler::SoundSwitches kOwnOnly{true, false};
const DeviceEventHandler::SoundSwitches kSoundsOff{false, true};

const EventCase kEvents[] = {
    {"own sound", kDefaultsAllowed, AUDIO_START, "own.wav", "own.wav"},
    {"own sound without defaults", kOwnOnly, AUDIO_END, "own.wav", "own.wav"},
    {"sounds off", kSoundsOff, AUDIO_START, "own.wav", ""},
    {"sounds off, default", kSoundsOff, AUDIO_START, "", ""},
    {"no main window", std::nullopt, AUDIO_START, "own.wav", ""},
    {"default start", kDefaultsAllowed, AUDIO_START, "", "wav/d_conn.wav"},
    {"default end", kDefaultsAllowed, AUDIO_END, "", "wav/d_disc.wav"},
    {"default offline", kDefaultsAllowed, DEVICE_OFFLINE, "", "wav/cnn_lost.wav"},
    {"defaults not allowed", kOwnOnly, AUDIO_START, "", ""},
    {"online has no default", kDefaultsAllowed, DEVICE_ONLINE, "", ""},
    {"mute", kDefaultsAllowed, AUDIO_START, "mute", ""},
    {"Mute is a file name", kDefaultsAllowed, AUDIO_START, "Mute", "Mute"},
    {"missing own file, no fallback", kDefaultsAllowed, AUDIO_START, "gone.wav", ""},
};

TEST_F(DeviceEventHandlerTest, PlaysTheCodecsSoundOrTheDefault) {
    QDir().mkdir("wav");
    for (const char* name : {"wav/d_conn.wav", "wav/d_disc.wav", "wav/cnn_lost.wav", "own.wav", "Mute", "mute"}) {
        ASSERT_TRUE(wav_file::write(name, wav_file::pcm_tone(50))) << name;
    }
    for (const auto& c : kEvents) {
        RecordingPlayer player;
        DeviceEventHandler handler(player, [&] { return c.switches; });
        const QUuid uuid = QUuid::createUuid();
        test_support::UnplacedSession session(uuid.toString(), uuid);
        session.setAlertSound(c.kind, c.own_sound);
        QObject::connect(&session, &IPCObject::deviceEvent, &handler, &DeviceEventHandler::handleEvent);

        emit session.deviceEvent(&session, c.kind);
        const QString played = QString::fromUtf8(c.played);
        const QStringList expected = played.isEmpty()            ? QStringList()
                                     : played.startsWith("wav/") ? QStringList{QDir::current().absoluteFilePath(played)}
                                                                 : QStringList{played};
        EXPECT_EQ(player.played, expected) << c.what;
    }
}

// Started from a folder without sounds (a desktop launcher starts in $HOME), the defaults made at
// build time are found beside the program, and they are files the player takes.
TEST_F(DeviceEventHandlerTest, DefaultSoundsBesideTheProgramArePcmWav) {
    const QDir program_folder(QCoreApplication::applicationDirPath());
    for (KT_EVENT kind : {AUDIO_START, AUDIO_END, DEVICE_OFFLINE}) {
        const QString found = DeviceEventHandler::findDefaultSound(kind);
        EXPECT_TRUE(found.startsWith(program_folder.absoluteFilePath("wav/"))) << found.toStdString();
        EXPECT_TRUE(AlertSoundPlayer::isPlayableWav(found)) << found.toStdString();
    }
    EXPECT_EQ(DeviceEventHandler::findDefaultSound(DEVICE_ONLINE), QString());
}

TEST(DeviceEventHandler, ConfigurationKeysRoundTripCaseSensitively) {
    const char* keys[] = {"snd-audio-start", "snd-audio-end", "snd-device-online", "snd-device-offline"};
    const QList<KT_EVENT> kinds = DeviceEventHandler::allEvents();
    ASSERT_EQ(kinds, (QList<KT_EVENT>{AUDIO_START, AUDIO_END, DEVICE_ONLINE, DEVICE_OFFLINE}));
    for (int i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(DeviceEventHandler::eventKey(kinds[i]), keys[i]);
        EXPECT_EQ(DeviceEventHandler::eventFromKey(keys[i]), kinds[i]);
    }
    EXPECT_EQ(DeviceEventHandler::eventKey(NO_EVENT), "");
    EXPECT_EQ(DeviceEventHandler::eventKey(-1), "");
    EXPECT_EQ(DeviceEventHandler::eventFromKey("SND-audio-start"), NO_EVENT);
    EXPECT_EQ(DeviceEventHandler::eventFromKey(""), NO_EVENT);
}

}  // namespace
