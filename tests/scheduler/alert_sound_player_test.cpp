#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "scheduler/alert_sound_player.h"
#include "tests/scheduler/wav_file.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/qt_wait.h"

namespace {

using test_support::CapturedQtMessages;
using test_support::wait_processing_events;
using namespace wav_file;

// Files that Qt Multimedia decodes, and those it would wait for forever (garbage, a cut data
// chunk, samples before the format) or refuse (a compressed format, or samples after an odd-sized
// chunk, whose pad byte Qt 5 does not skip).
struct WavCase {
    const char* what;
    QByteArray bytes;
    bool is_playable;
};

TEST(AlertSoundPlayer, TakesOnlyCompletePcmWav) {
    const QByteArray pcm8 = format(1, 2, 8000, 8);
    const QByteArray samples = tone(20, 8000, 1000);
    const WavCase cases[] = {
        {"16-bit mono", pcm_tone(20), true},
        {"8-bit stereo after a list chunk", riff({chunk("LIST", "even"), chunk("fmt ", pcm8), chunk("data", samples)}),
         true},
        {"after an odd-sized chunk", riff({chunk("LIST", "odd"), chunk("fmt ", pcm8), chunk("data", samples)}), false},
        {"empty", QByteArray(), false},
        {"garbage", "garbage\n", false},
        {"cut data", pcm_tone(20).left(200), false},
        {"no samples", riff({chunk("fmt ", format(1, 1, 44100, 16)), chunk("data", QByteArray())}), false},
        {"data before format", riff({chunk("data", samples), chunk("fmt ", format(1, 1, 8000, 16))}), false},
        {"MPEG layer 3", riff({chunk("fmt ", format(0x55, 1, 44100, 16)), chunk("data", samples)}), false},
        {"12-bit", riff({chunk("fmt ", format(1, 1, 44100, 12)), chunk("data", samples)}), false},
    };
    QTemporaryDir folder;
    for (const auto& c : cases) {
        const QString path = folder.filePath("sound.wav");
        ASSERT_TRUE(write(path, c.bytes));
        EXPECT_EQ(AlertSoundPlayer::isPlayableWav(path), c.is_playable) << c.what;
    }
    EXPECT_FALSE(AlertSoundPlayer::isPlayableWav(folder.path()));
}

// Qt Multimedia connects to the sound server once per process and never again, so each of these
// needs a process of its own; ctest runs every test alone.
class AlertSoundOutput : public ::testing::Test {
protected:
    void SetUp() override {
        static bool is_audio_used = false;
        if (is_audio_used) GTEST_SKIP() << "needs a process of its own (ctest runs each test alone)";
        is_audio_used = true;
        ASSERT_TRUE(folder.isValid());
        tone_file = folder.filePath("tone.wav");
        ASSERT_TRUE(write(tone_file, pcm_tone(400)));
    }

    QTemporaryDir folder;
    QString tone_file;
};

void useSoundServerAt(const QString& runtime_folder, const QString& socket) {
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_folder));
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + socket));
}

TEST_F(AlertSoundOutput, WithoutAServerAlertsAreCleanlyAbsent) {
    useSoundServerAt(folder.path(), folder.filePath("no-server"));  // where none listens
    CapturedQtMessages log;
    AlertSoundPlayer player;

    ASSERT_TRUE(wait_processing_events([&] { return log.count_warnings("no sound output device") == 1; }));
    log.clear();
    for (int i = 0; i < 100; ++i) EXPECT_FALSE(player.play(tone_file));
    EXPECT_TRUE(log.records().empty());
    EXPECT_TRUE(player.findChildren<QSoundEffect*>().isEmpty());
}

// Players made in turn look up on the pool's thread that is already there, idle, and the pool hands
// each its job without an order ThreadSanitizer sees. Nothing else orders the two threads here (no
// log is captured): in its build an unannounced hand-off ends the program with a race on the job.
TEST_F(AlertSoundOutput, PlayersMadeInTurnLookUpOnTheSamePoolThread) {
    useSoundServerAt(folder.path(), folder.filePath("no-server"));
    const auto is_pool_idle = [] { return QThreadPool::globalInstance()->activeThreadCount() == 0; };
    for (int i = 0; i < 2; ++i) {
        AlertSoundPlayer player;
        ASSERT_TRUE(wait_processing_events(is_pool_idle));
        EXPECT_FALSE(player.play(tone_file));
    }
}

// A sound server that takes connections and never answers them: libpulse waits 30 s for it.
class HungSoundServer {
public:
    explicit HungSoundServer(const QString& path) : fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        is_listening =
            fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0;
    }
    ~HungSoundServer() { close(); }

    // Drops the connections waiting to be taken, and stops listening.
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    bool is_listening = false;

private:
    int fd;
};

TEST_F(AlertSoundOutput, AHungServerHoldsOnlyTheLookUp) {
    HungSoundServer hung(folder.filePath("hung-server"));
    ASSERT_TRUE(hung.is_listening);
    useSoundServerAt(folder.path(), folder.filePath("hung-server"));
    CapturedQtMessages log;
    AlertSoundPlayer player;

    EXPECT_FALSE(player.play(tone_file));
    EXPECT_EQ(log.count_warnings("no sound output device"), 0) << "play waited for the sound server";
    hung.close();  // the look-up ends
    EXPECT_TRUE(wait_processing_events([&] { return log.count_warnings("no sound output device") == 1; }));
}

// The loudest sample of 16-bit little-endian audio.
int peakOf(const QByteArray& samples) {
    int peak = 0;
    for (int i = 0; i + 1 < samples.size(); i += 2) {
        peak = std::max(peak, std::abs(static_cast<int>(qFromLittleEndian<qint16>(samples.constData() + i))));
    }
    return peak;
}

// A private PulseAudio with one null sink: what is played into it is recorded from its monitor.
class PrivateSoundServer {
public:
    static bool isInstalled() {
        return !QStandardPaths::findExecutable("pulseaudio").isEmpty() &&
               !QStandardPaths::findExecutable("parec").isEmpty();
    }

    explicit PrivateSoundServer(const QString& folder) : runtime(folder + "/runtime") {
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(folder + "/home");
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("HOME", folder + "/home");
        environment.remove("PULSE_SERVER");
        server.setProcessEnvironment(environment);
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start("pulseaudio",
                     {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
                      "--log-level=error", "-L", "module-null-sink sink_name=kestrane_alerts", "-L",
                      "module-native-protocol-unix auth-anonymous=1"});
    }

    ~PrivateSoundServer() {
        for (QProcess* process : {&recorder, &server}) {
            process->terminate();
            if (!process->waitForFinished(5000)) process->kill();
            process->waitForFinished(5000);
        }
    }

    bool waitUntilListening() {
        return wait_processing_events([&] { return QFile::exists(runtime + "/pulse/native"); });
    }

    // Starts recording the sink's monitor and waits until samples flow.
    bool startRecording() {
        recorder.setProcessEnvironment(environment);
        recorder.start("parec", {"-d", "kestrane_alerts.monitor", "--raw", "--format=s16le", "--channels=1",
                                 "--rate=44100", "--latency-msec=20"});
        return wait_processing_events([&] { return recorded().size() >= 4410; });
    }

    // Everything recorded so far.
    const QByteArray& recorded() {
        captured += recorder.readAllStandardOutput();
        return captured;
    }

    const QString runtime;

private:
    QProcessEnvironment environment;
    QProcess server;
    QProcess recorder;
    QByteArray captured;
};

TEST_F(AlertSoundOutput, PlaysThroughTheSoundServer) {
    if (!PrivateSoundServer::isInstalled()) GTEST_SKIP() << "pulseaudio and parec are not installed";
    PrivateSoundServer server(folder.path());
    ASSERT_TRUE(server.waitUntilListening());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(server.runtime));
    qunsetenv("PULSE_SERVER");
    qputenv("PULSE_COOKIE", QFile::encodeName(folder.filePath("cookie")));
    ASSERT_TRUE(server.startRecording());
    const int before = server.recorded().size();
    EXPECT_EQ(peakOf(server.recorded()), 0);

    AlertSoundPlayer player;
    ASSERT_TRUE(wait_processing_events([&] { return player.play(tone_file); })) << "the device is found";
    EXPECT_TRUE(wait_processing_events([&] { return peakOf(server.recorded().mid(before)) > 8000; }))
        << "loudest sample " << peakOf(server.recorded().mid(before));
}

}  // namespace
