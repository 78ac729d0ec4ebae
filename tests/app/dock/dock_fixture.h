#pragma once

#include <QFile>
#include <QListWidget>
#include <QString>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "app/dock/codec_dock.h"
#include "app/fleet/zorva_summary.h"
#include "ipc/message/message.h"
#include "tests/app/app_fixture.h"
#include "tests/support/qt_wait.h"
#include "tools/codec-sim/codec_sim.h"

namespace app_test {

// One frame a simulated codec received, as its recorder wrote it.
struct RecordedFrame {
    int line = 0;  // in the record, from 0
    int port = 0;
    std::string xml;  // as received
    Message message;
};

// The main window with its workers running, and codecs of codec-sim that record every frame they
// receive. Codecs are made active as the summary view does, through activeInstanceSelected.
class DockFixture : public AppFixture {
protected:
    DockFixture() {
        openWindow();
        pool->start_managers();
    }

    ~DockFixture() override { closeWindow(); }

    // Starts `count` codecs of `mode`, recording into the fleet's own file.
    CodecSim& startFleet(int count, CodecSimMode mode = CodecSimMode::kNormal) {
        CodecSimOptions options;
        options.count = count;
        options.mode = mode;
        return startFleet(options);
    }

    CodecSim& startFleet(CodecSimOptions options) {
        options.record_path = recordPath(fleets.size()).toStdString();
        fleets.push_back(std::make_unique<CodecSim>(options));
        return *fleets.back();
    }

    QString recordPath(size_t fleet) const { return folder.root() + QStringLiteral("/frames-%1.log").arg(fleet); }

    // A session on the codec at `port`, added to the summary view, not selected.
    IPCObject* addCodec(uint16_t port) {
        IPCObject* session = findInstance(window->createInstance());
        session->setConnection(QStringLiteral("127.0.0.1"), port, QStringLiteral("tarnel"));
        window->summary()->addInstance(session);
        return session;
    }

    IPCObject* selectReadyCodec(uint16_t port) {
        IPCObject* session = addCodec(port);
        EXPECT_TRUE(
            test_support::wait_processing_events([session] { return session->state() == IQEndpointClient::READY; }));
        window->activeInstanceSelected(session);
        return session;
    }

    CodecDock& dock() { return *window->dock(); }

    // The window's child of this name, the details dock's first: the tiles have labels of the same
    // names.
    template <typename T>
    T* child(const char* name) {
        const QString object_name = QString::fromLatin1(name);
        auto* details = window->findChild<QWidget*>(QStringLiteral("dockWidgetDetails"));
        T* found = details ? details->template findChild<T*>(object_name) : nullptr;
        return found ? found : window->findChild<T*>(object_name);
    }

    QTreeWidget* peerTree() { return child<QTreeWidget>("peerList"); }
    QListWidget* profileList() { return child<QListWidget>("profileList"); }
    QTreeWidget* statsTable() { return child<QTreeWidget>("statsTable"); }

    // Every frame named `name` that fleet `fleet` has recorded so far, in order.
    std::vector<RecordedFrame> recorded(const char* name, size_t fleet = 0) const {
        std::vector<RecordedFrame> frames;
        QFile file(recordPath(fleet));
        if (!file.open(QIODevice::ReadOnly)) return frames;
        for (int number = 0; !file.atEnd(); ++number) {
            // "<time> <port> <frame>"
            const QByteArray line = file.readLine().trimmed();
            if (!line.contains(QByteArray("<") + name)) continue;  // parse only the likely frames
            const int afterTime = line.indexOf(' ');
            const int afterPort = line.indexOf(' ', afterTime + 1);
            if (afterTime < 0 || afterPort < 0) continue;
            RecordedFrame frame;
            frame.line = number;
            frame.port = line.mid(afterTime + 1, afterPort - afterTime - 1).toInt();
            frame.xml = line.mid(afterPort + 1).toStdString();
            try {
                frame.message.parse(frame.xml);
            } catch (const std::exception&) {
                continue;
            }
            if (frame.message.name() == name) frames.push_back(std::move(frame));
        }
        return frames;
    }

    // Waits until fleet `fleet` has recorded `count` frames named `name`, and returns them all.
    std::vector<RecordedFrame> waitForFrames(const char* name, size_t count, size_t fleet = 0) {
        std::vector<RecordedFrame> frames;
        EXPECT_TRUE(test_support::wait_processing_events([&] {
            frames = recorded(name, fleet);
            return frames.size() >= count;
        })) << name;
        return frames;
    }

    // Returns once the codec has recorded everything sent to it before.
    void syncWith(IPCObject& session, size_t fleet = 0) {
        const size_t before = recorded("getCodecList", fleet).size();
        session.cmd_get_codec_list();
        waitForFrames("getCodecList", before + 1, fleet);
    }

    std::vector<std::unique_ptr<CodecSim>> fleets;
};

}  // namespace app_test
