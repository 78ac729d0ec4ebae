// The real program, as the operator starts it: eight configured codecs (simulated, on loopback) all
// reach READY, and SIGTERM ends it the ordinary way, saving the fleet once, also while a start-up
// notice is open.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <signal.h>

#include <chrono>

#include "ipc/message/message.h"
#include "tests/support/temporary_data_folder.h"
#include "tests/support/wait_until.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

constexpr int kCodecs = 8;

// The sessions the program's log reports READY, by the address it prints for each.
int readySessions(const QByteArray& log) {
    static const QRegularExpression kReady(QStringLiteral("set_state \\((\\S+).*\\): \\w+ to READY"));
    QSet<QString> sessions;
    for (auto match = kReady.globalMatch(QString::fromUtf8(log)); match.hasNext();)
        sessions << match.next().captured(1);
    return sessions.size();
}

// Starts the program on the offscreen platform with its data folder in `folder`.
bool startKestrane(QProcess& kestrane, const test_support::TemporaryDataFolder& folder) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.root());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Read only by a sanitized build: the offscreen platform's own leak is not the program's.
    environment.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" KESTRANE_LSAN_SUPPRESSIONS));
    kestrane.setProcessEnvironment(environment);
    kestrane.setProcessChannelMode(QProcess::MergedChannels);
    kestrane.start(QStringLiteral(KESTRANE_BINARY), QStringList());
    return kestrane.waitForStarted();
}

TEST(KestraneBinary, ConfiguredCodecsComeUpAndSigtermSavesThemOnce) {
    CodecSimOptions options;
    options.count = kCodecs;
    CodecSim fleet(options);
    test_support::TemporaryDataFolder folder;
    QByteArray config = "<config><remotes>";
    for (const uint16_t port : fleet.ports()) {
        config += "<remote address=\"127.0.0.1\" port=\"" + QByteArray::number(port) + "\" password=\"tarnel\"/>";
    }
    folder.writeConfig(config + "</remotes></config>");

    QProcess kestrane;
    ASSERT_TRUE(startKestrane(kestrane, folder));
    QByteArray log;
    const bool are_all_ready = test_support::wait_until(
        [&] {
            kestrane.waitForReadyRead(20);
            log += kestrane.readAll();
            return readySessions(log) == kCodecs;
        },
        test_support::give_up_after(std::chrono::seconds(30)));
    ASSERT_TRUE(are_all_ready) << log.toStdString();

    ASSERT_EQ(::kill(static_cast<pid_t>(kestrane.processId()), SIGTERM), 0);
    ASSERT_TRUE(kestrane.waitForFinished(test_support::give_up_after_ms(std::chrono::seconds(10))))
        << "still running after SIGTERM";
    log += kestrane.readAll();
    EXPECT_EQ(kestrane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kestrane.exitCode(), 0) << log.toStdString();
    EXPECT_EQ(log.count("configuration saved: 8 codecs"), 1);
    EXPECT_EQ(log.count("configuration saved:"), 1);
    EXPECT_FALSE(log.contains("QThread: Destroyed")) << log.toStdString();

    Message saved;
    saved.read_from_file(folder.configFile().toStdString());
    ASSERT_EQ(saved.child_count("remotes"), 1u);
    EXPECT_EQ(saved.get_child("remotes", 0).child_count("remote"), static_cast<unsigned>(kCodecs));
}

// A start-up notice waits for the operator: a SIGTERM while it is open ends the program the
// ordinary way.
TEST(KestraneBinary, SigtermDuringAStartUpBoxEndsTheProgram) {
    test_support::TemporaryDataFolder folder;
    folder.writeConfig("<config><remotes>");  // cut short: "Load Configuration" says so in a box
    QProcess kestrane;
    ASSERT_TRUE(startKestrane(kestrane, folder));
    QByteArray log;
    const bool is_box_due = test_support::wait_until(
        [&] {
            kestrane.waitForReadyRead(20);
            log += kestrane.readAll();
            return log.contains("could not be loaded");
        },
        test_support::give_up_after(std::chrono::seconds(30)));
    ASSERT_TRUE(is_box_due) << log.toStdString();

    ASSERT_EQ(::kill(static_cast<pid_t>(kestrane.processId()), SIGTERM), 0);
    ASSERT_TRUE(kestrane.waitForFinished(test_support::give_up_after_ms(std::chrono::seconds(10))))
        << "still running after SIGTERM";
    EXPECT_EQ(kestrane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kestrane.exitCode(), 0) << (log + kestrane.readAll()).toStdString();
}

}  // namespace
