#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMap>
#include <QMetaObject>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ipc/message/message.h"
#include "scheduler/scheduler.h"
#include "scheduler/session_adaptor.h"
#include "sessions/ipc_object.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/modal_dialog.h"
#include "tests/support/unplaced_session.h"

// Real sessions that are never connected, holding a unit name and a peer list as if their codecs
// had reported them, registered with a scheduler through the real SessionAdaptor.
class WidgetFixture : public ::testing::Test {
protected:
    WidgetFixture() {
        scheduler_.stopTimer();
        scheduler_.setFilePath(folder_.filePath("schedule.xml"));
        scheduler_.setSessions(
            std::make_shared<SessionAdaptor>([this](const QUuid& uuid) { return registry_.value(uuid); },
                                             [this] { return registry_.values(); }));
    }

    // `peers` are "peer" elements of a peer list.
    IPCObject& addSession(const std::string& unit_name, const std::string& peers) {
        const QUuid uuid = QUuid::createUuid();
        sessions_.push_back(std::make_unique<test_support::UnplacedSession>(uuid.toString(), uuid));
        IPCObject& session = *sessions_.back();
        session.setAddress("192.0.2.1", 5000 + static_cast<int>(sessions_.size()));
        session.cache_message(Message("<resp seq=\"sysOptions\" unit_name=\"" + unit_name + "\"/>"), "sysOptions");
        setPeers(session, peers);
        registry_.insert(uuid, &session);
        return session;
    }

    static void setPeers(IPCObject& session, const std::string& peers) {
        session.cache_message(Message("<resp seq=\"peerList\">" + peers + "</resp>"), "peerList");
        ASSERT_TRUE(QMetaObject::invokeMethod(&session, "cb_resp_peerList", Qt::DirectConnection));
    }

    static std::string peer(const char* id, const char* name, bool is_directory = false) {
        return std::string("<peer id=\"") + id + "\" name=\"" + name + "\"" +
               (is_directory ? "><directory product=\"Pocket Codec\" online=\"true\"/></peer>" : "/>");
    }

    // Runs `act` on the next modal dialog once it shows, from inside its exec().
    static void onNextModal(std::function<void(QDialog*)> act) { test_support::on_next_modal(std::move(act)); }

    QTemporaryDir folder_;
    std::vector<std::unique_ptr<test_support::UnplacedSession>> sessions_;
    QMap<QUuid, IPCObject*> registry_;
    Scheduler scheduler_;
    test_support::CapturedQtMessages messages_;
};
