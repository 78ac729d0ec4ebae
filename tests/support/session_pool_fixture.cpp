#include "tests/support/session_pool_fixture.h"

#include "tests/support/qt_wait.h"

namespace test_support {

void SessionPoolFixture::SetUp() {
    pool_ = std::make_unique<IQCommonPooledApp>(4);
    IPCObject::setSessionPool(pool_.get());
    pool_->start_managers();
}

void SessionPoolFixture::TearDown() {
    end_sessions();
    pool_.reset();
    IPCObject::setSessionPool(nullptr);
    fleet_.reset();
}

void SessionPoolFixture::start_fleet(const CodecSimOptions& options) {
    fleet_ = std::make_unique<CodecSim>(options);
}

void SessionPoolFixture::connect_to_fleet(IPCObject& session, int index) {
    session.setConnection(QStringLiteral("127.0.0.1"), fleet_->ports().at(static_cast<size_t>(index)),
                          QString::fromLatin1(IPCObject::kDefaultPassword));
}

void SessionPoolFixture::end_sessions() {
    for (const QPointer<IPCObject>& session : sessions_) {
        if (session) session->markForDeletion();
    }
    EXPECT_TRUE(wait_processing_events([this] {
        for (const QPointer<IPCObject>& session : sessions_) {
            if (session) return false;
        }
        return true;
    }));
}

void SessionPoolFixture::place(IPCObject* session) {
    sessions_.push_back(session);
    EXPECT_TRUE(pool_->add_client(session->uuid.toString(), session));
}

}  // namespace test_support
