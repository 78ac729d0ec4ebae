// kt-config.xml as the operator's machine holds it: the bytes written, what the reader assumes,
// and what happens to a file that cannot be taken whole.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>

#include <unistd.h>

#include <clocale>
#include <string>

#include "app/fleet/zorva_summary.h"
#include "app/shell/application_main.h"
#include "app/shell/config_file.h"
#include "app/shell/config_paths.h"
#include "app/shell/my_q_application.h"
#include "ipc/message/message.h"
#include "tests/app/app_fixture.h"
#include "tests/support/exception_text.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/message_box_recorder.h"

namespace {

using app_test::AppFixture;

QByteArray remoteLine(int index) {
    return QStringLiteral("  <remote address=\"127.0.0.1\" port=\"%1\"/>\n").arg(20000 + index).toUtf8();
}

QByteArray configWithRemotes(int count) {
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n <remotes>\n";
    for (int index = 0; index < count; ++index) bytes += remoteLine(index);
    return bytes + " </remotes>\n</config>\n";
}

int remoteCount(const QString& path) {
    Message config;
    config.read_from_file(path.toStdString());
    return config.child_count("remotes") ? static_cast<int>(config.get_child("remotes", 0).child_count("remote")) : -1;
}

QHeaderView& summaryHeader(MainWindow& window) {
    return *window.findChild<QTreeWidget*>(QStringLiteral("summaryTree"))->header();
}

using ConfigFileTest = AppFixture;

// The window's layout is Qt's own opaque data; everything else of the document is pinned.
QByteArray withoutLayout(QByteArray bytes) {
    static const QRegularExpression kLayout(QStringLiteral("(geometry|state)=\"[^\"]*\""));
    return QString::fromUtf8(bytes).replace(kLayout, QStringLiteral("\\1=\"-\"")).toUtf8();
}

TEST_F(ConfigFileTest, SavesTheSameBytesAgainAndUnderAGermanLocale) {
    const QString password = QStringLiteral("\"<&'Grüße✓");
    const QByteArray expected = withoutLayout(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<config company=\"Quelda Corporation\" product=\"Kestrane\" version=\"1.0\">\n"
        "    <application audio=\"true\" default-sounds=\"false\" detail_dock_floating=\"false\" "
        "detail_dock_geometry=\"\" geometry=\"\" section_width_0=\"140\" section_width_1=\"110\" "
        "section_width_2=\"110\" section_width_3=\"110\" section_width_4=\"110\" section_width_5=\"110\" "
        "section_width_6=\"110\" section_width_7=\"110\" section_width_8=\"110\" state=\"\"/>\n"
        "    <remotes>\n"
        "        <remote address=\"127.0.0.1\" logReading=\"true\" metering=\"false\" "
        "password=\"&quot;&lt;&amp;'Grüße✓\" port=\"9\" snd-audio-end=\"\" snd-audio-start=\"/tmp/start.wav\" "
        "snd-device-offline=\"\" snd-device-online=\"\"/>\n"
        "        <remote address=\"::1\" logReading=\"false\" metering=\"true\" password=\"\" port=\"9\" "
        "snd-audio-end=\"\" snd-audio-start=\"\" snd-device-offline=\"\" snd-device-online=\"\"/>\n"
        "    </remotes>\n"
        "</config>\n");

    folder.writeConfig(
        QStringLiteral("<config><application audio=\"true\" section_width_0=\"140\" section_width_2=\"110\" "
                       "section_width_3=\"110\"/><remotes>"
                       "<remote address=\"127.0.0.1\" port=\"9\" password=\"&quot;&lt;&amp;&apos;Grüße✓\" "
                       "metering=\"false\" logReading=\"true\" snd-audio-start=\"/tmp/start.wav\"/>"
                       "<remote address=\"::1\" port=\"9\"/></remotes></config>")
            .toUtf8());
    openWindow().saveConfig();
    const QByteArray first = folder.readConfig();
    EXPECT_EQ(withoutLayout(first).toStdString(), expected.toStdString());
    EXPECT_EQ(instanceMap.first()->getPassword().size() + instanceMap.last()->getPassword().size(),
              password.toUtf8().size());

    window->saveConfig();
    EXPECT_EQ(folder.readConfig(), first);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "scripts/setup generates de_DE.UTF-8";
    window->saveConfig();
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(folder.readConfig(), first);

    // A fresh window on that file writes it back unchanged. (Its layout is Qt's to restore, which
    // moves a window larger than the offscreen screen.)
    closeWindow();
    const QByteArray at_exit = folder.readConfig();
    releaseAllInstances();
    openWindow();
    closeWindow();
    EXPECT_EQ(withoutLayout(folder.readConfig()).toStdString(), withoutLayout(at_exit).toStdString());
}

TEST_F(ConfigFileTest, ReaderDefaultsLeaveUnnamedSettingsAsTheyAre) {
    const QHeaderView& fresh = summaryHeader(openWindow());
    const int untouched[] = {fresh.sectionSize(2), fresh.sectionSize(3)};
    closeWindow();
    releaseAllInstances();
    // No metering or logReading on the codec; widths only for three sections, two of them damaged.
    folder.writeConfig("<config><application section_width_1=\"222\" section_width_3=\"-5\" section_width_4=\"10001\"/>"
                       "<remotes><remote address=\"127.0.0.1\" port=\"9\"/></remotes></config>");
    MainWindow& opened = openWindow();
    ASSERT_EQ(instanceMap.size(), 1);
    IPCObject* session = instanceMap.first();
    EXPECT_TRUE(session->meteringOn);
    EXPECT_FALSE(session->eventLogPolling);
    EXPECT_EQ(session->getPassword(), "");
    EXPECT_EQ(session->alertSound(AUDIO_START), "");
    EXPECT_FALSE(opened.soundEnabled());
    EXPECT_FALSE(opened.defaultAlertsAllowed());
    QHeaderView& header = summaryHeader(opened);
    EXPECT_EQ(header.sectionSize(1), 222);
    EXPECT_EQ(header.sectionSize(2), untouched[0]);
    EXPECT_EQ(header.sectionSize(3), untouched[1]);
    EXPECT_EQ(header.sectionSize(4), header.defaultSectionSize());
}

TEST_F(ConfigFileTest, KeepsTheFirst256CodecsAndTheWholeFile) {
    const QByteArray original = configWithRemotes(260);
    folder.writeConfig(original);
    MessageBoxRecorder boxes;
    openWindow();
    EXPECT_EQ(boxes.count("Too many codecs"), 1);
    EXPECT_EQ(boxes.boxes().size(), 1u);
    ASSERT_EQ(instanceMap.size(), 256);
    const QList<IPCObject*> sessions = window->summary()->sessionsInTileOrder();
    EXPECT_EQ(sessions.first()->port, 20000);
    EXPECT_EQ(sessions.last()->port, 20255);

    const QStringList copies = folder.keptCopies();
    ASSERT_EQ(copies.size(), 1);
    QFile copy(folder.dataFolder() + "/" + copies.first());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original);
    EXPECT_EQ(copy.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);

    closeWindow();
    EXPECT_EQ(remoteCount(folder.configFile()), 256);
}

// Files the reader cannot take whole. Each is kept byte for byte before anything else happens, so
// the fleet it names is still on disk after the program has saved and ended.
struct BadFileCase {
    const char* name;
    QByteArray bytes;
    bool isFolder = false;
    bool isUnreadable = false;
};

const BadFileCase kBadFiles[] = {
    {"truncated", configWithRemotes(3).left(90)},
    {"empty", QByteArray()},
    {"binary", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
    {"root settings", "<settings><remotes><remote address=\"127.0.0.1\" port=\"9\"/></remotes></settings>"},
    {"two remotes", "<config><remotes><remote address=\"127.0.0.1\" port=\"9\"/></remotes><remotes/></config>"},
    {"unreadable", configWithRemotes(2), false, true},
    {"a folder", QByteArray(), true},
};

TEST_F(ConfigFileTest, KeepsAFileItCannotLoad) {
    for (const BadFileCase& bad : kBadFiles) {
        SCOPED_TRACE(bad.name);
        if (bad.isUnreadable && geteuid() == 0) continue;  // root reads it anyway
        test_support::TemporaryDataFolder case_folder;
        if (bad.isFolder) {
            ASSERT_TRUE(QDir().mkpath(case_folder.configFile()));
        } else {
            case_folder.writeConfig(bad.bytes);
        }
        if (bad.isUnreadable) QFile::setPermissions(case_folder.configFile(), QFileDevice::Permissions());
        MessageBoxRecorder boxes;
        openWindow();
        EXPECT_EQ(boxes.count("Load Configuration"), 1);
        // The reason as the operator reads it, without the operations' names before it.
        const QString load_text = boxes.lastText("Load Configuration");
        EXPECT_TRUE(load_text.startsWith("Error loading configuration: ") && load_text.at(29).isUpper())
            << load_text.toStdString();
        EXPECT_TRUE(instanceMap.isEmpty());

        const QStringList copies = case_folder.keptCopies();
        const bool can_copy = !bad.isFolder && !bad.isUnreadable;
        ASSERT_EQ(copies.size(), can_copy ? 1 : 0);
        if (can_copy) {
            const QString copy_path = case_folder.dataFolder() + "/" + copies.first();
            EXPECT_TRUE(load_text.endsWith("\n\nThe file was kept as " + copy_path +
                                           ". This run starts with no codecs; the copy holds the fleet as it was."));
            closeWindow();
            QFile copy(copy_path);
            ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
            EXPECT_EQ(copy.readAll(), bad.bytes);
        } else {
            // Nothing else holds the fleet: this run leaves the file alone, and says so.
            closeWindow();
            EXPECT_TRUE(load_text.endsWith("\n\nThis run starts with no codecs and leaves the file as it is."));
            EXPECT_EQ(boxes.count("Save Configuration"), 1);
            EXPECT_TRUE(boxes.lastText("Save Configuration")
                            .startsWith("Error saving configuration: " + case_folder.configFile() + " could not be"));
            EXPECT_EQ(QFileInfo(case_folder.configFile()).isDir(), bad.isFolder);
        }
        if (bad.isUnreadable) {
            QFile::setPermissions(case_folder.configFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            EXPECT_EQ(case_folder.readConfig(), bad.bytes);
        }
    }
}

TEST_F(ConfigFileTest, ReadOnlyFolderRefusesTheSaveVisibly) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
    const QByteArray original = configWithRemotes(2);
    folder.writeConfig(original);
    openWindow();
    QFile::setPermissions(folder.dataFolder(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    MessageBoxRecorder boxes;
    closeWindow();
    EXPECT_EQ(boxes.count("Save Configuration"), 1);
    EXPECT_EQ(QDir(folder.dataFolder()).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(folder.readConfig(), original);
}

// A disk that fills up while a copy is kept, under and over the write buffer (16 KB), and for a
// file over 2 GiB (sparse), which once came out as an empty copy said to be kept.
TEST(ConfigFileCopy, ACopyCutShortThrowsAndLeavesNone) {
    const struct {
        qint64 size;
        rlim_t limit;
    } kCases[] = {{1000, 500}, {40000, 20000}, {(qint64(1) << 31) + 1, 1 << 20}};
    for (const auto& c : kCases) {
        test_support::TemporaryDataFolder folder;
        folder.writeConfig("<");
        ASSERT_TRUE(QFile::resize(folder.configFile(), c.size));
        std::string error;
        {
            test_support::FileSizeLimit limit(c.limit);
            error = test_support::error_of([&] { ConfigFile::keepCopy(folder.configFile()); });
        }
        EXPECT_EQ(error, "keepCopy: Only " + std::to_string(c.limit) + " of " + std::to_string(c.size) +
                             " bytes could be copied: File too large");
        EXPECT_TRUE(folder.keptCopies().isEmpty()) << c.size;
    }
}

// The start-up of the program itself, without a folder to keep its files in.
TEST(Startup, DataFolderThatCannotBeMadeGivesOneBoxThenAnEmptyWindow) {
    test_support::TemporaryDataFolder folder;
    QFile blocker(folder.root() + "/not-a-folder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", blocker.fileName().toUtf8());

    MessageBoxRecorder boxes;
    bool was_shown_empty = false;
    StartupObserver observer;
    observer.windowInitialized = [&was_shown_empty](MainWindow& window) {
        was_shown_empty = !window.summary()->hasInstances();
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    };
    EXPECT_EQ(runApplication(*myApplication(), observer), 0);
    EXPECT_TRUE(was_shown_empty);
    EXPECT_EQ(boxes.count("Can't create file directory"), 1);
    EXPECT_TRUE(boxes.lastText("Can't create file directory").contains(configDirPath()));
    EXPECT_EQ(boxes.boxes().front().icon, QMessageBox::Critical);
    // Nor can the file be written at exit; that is said, not swallowed.
    EXPECT_EQ(boxes.count("Save Configuration"), 1);
    EXPECT_EQ(boxes.boxes().size(), 2u);
}

}  // namespace
