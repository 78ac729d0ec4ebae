#pragma once

#include <gtest/gtest.h>

#include <QPointer>
#include <QUuid>

#include <memory>
#include <vector>

#include "sessions/ipc_object.h"
#include "sessions/iq_common_pooled_app.h"
#include "tools/codec-sim/codec_sim.h"

namespace test_support {

// Live codec sessions for one test: a pool of four started workers, set as the sessions' pool, and,
// once asked for, a fleet of codec-sim on loopback to connect them to. Ends them as a window must:
// every session placed here through markForDeletion, waiting until each is deleted, before the
// pool goes.
class SessionPoolFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new session of type `Session` (IPCObject or a subclass of it) placed in the pool and not
    // connected yet. It ends in end_sessions(), unless the test marks it for deletion first.
    template <class Session = IPCObject>
    Session* place_session() {
        const QUuid uuid = QUuid::createUuid();
        auto* session = new Session(uuid.toString(), uuid);
        place(session);
        return session;
    }

    // Starts the fleet that connect_to_fleet() connects to; one a test.
    void start_fleet(const CodecSimOptions& options);
    // Connects `session` to codec `index` of the fleet with the password a new codec has.
    void connect_to_fleet(IPCObject& session, int index = 0);

    // Marks every session placed here that still lives, and waits until each is deleted.
    void end_sessions();

    std::unique_ptr<IQCommonPooledApp> pool_;
    std::vector<QPointer<IPCObject>> sessions_;  // every session placed here, in order

private:
    void place(IPCObject* session);

    std::unique_ptr<CodecSim> fleet_;
};

}  // namespace test_support
