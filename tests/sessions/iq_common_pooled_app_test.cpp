#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "sessions/iq_common_pooled_app.h"
#include "sessions/iq_endpoint_client.h"
#include "sessions/iq_manager.h"

namespace {

class SessionPool : public ::testing::Test {
protected:
    QString add(IQCommonPooledApp& pool, bool expect_placed = true) {
        const QString name = QStringLiteral("session-%1").arg(sessions.size());
        sessions.push_back(std::make_unique<IQEndpointClient>(name, nullptr));
        EXPECT_EQ(pool.add_client(name, sessions.back().get()), expect_placed) << name.toStdString();
        return name;
    }

    // Declared before the pools of each test, so sessions outlive the managers that hold them.
    std::vector<std::unique_ptr<IQEndpointClient>> sessions;
};

TEST_F(SessionPool, FourWorkersHold256AndRefuseThe257th) {
    IQCommonPooledApp pool(4);
    EXPECT_EQ(pool.available_spots(), 256);
    for (int i = 0; i < 256; ++i) add(pool);
    EXPECT_EQ(pool.client_count(), 256);
    EXPECT_EQ(pool.available_spots(), 0);
    add(pool, false);
    EXPECT_EQ(pool.client_count(), 256);
}

TEST_F(SessionPool, PlacesSessionsRoundRobin) {
    IQCommonPooledApp pool(4);
    std::vector<IQManager*> managers;
    for (int i = 0; i < 5; ++i) managers.push_back(pool.manager_for(add(pool)));
    EXPECT_EQ(std::set<IQManager*>(managers.begin(), managers.begin() + 4).size(), 4u);
    EXPECT_EQ(managers[4], managers[0]);
    EXPECT_EQ(pool.available_spots(), 251);
    EXPECT_EQ(sessions[1]->session_manager(), managers[1]);
}

TEST_F(SessionPool, SkipsAFullWorker) {
    IQCommonPooledApp pool(4);
    // Fill worker 1 (every fourth session from the second on), keeping the others nearly empty.
    std::vector<QString> on_other_workers;
    for (int i = 0; i < 4 * 64; ++i) {
        const QString name = add(pool);
        if (i % 4 != 1) on_other_workers.push_back(name);
    }
    for (const QString& name : on_other_workers) pool.remove_client(name);
    // The cursor is back at worker 0: the next four land on 0, 2, 3, 0 — never on the full worker 1.
    IQManager* full = pool.manager_for(QStringLiteral("session-1"));
    for (int i = 0; i < 4; ++i) EXPECT_NE(pool.manager_for(add(pool)), full);
}

TEST_F(SessionPool, EmptyPoolPlacesNothing) {
    IQCommonPooledApp pool(0);
    add(pool, false);
    EXPECT_EQ(pool.client_count(), 0);
    EXPECT_EQ(pool.available_spots(), 0);
}

TEST_F(SessionPool, RemovingForgetsTheSessionOnce) {
    IQCommonPooledApp pool(4);
    const QString name = add(pool);
    EXPECT_FALSE(pool.remove_client(QStringLiteral("nobody")));
    EXPECT_TRUE(pool.remove_client(name));
    EXPECT_FALSE(pool.remove_client(name));
    EXPECT_EQ(pool.manager_for(name), nullptr);
    EXPECT_EQ(sessions[0]->session_manager(), nullptr);
    EXPECT_EQ(pool.available_spots(), 256);
}

TEST_F(SessionPool, PlacesANameAndASessionOnceOnly) {
    IQCommonPooledApp pool(4);
    const QString name = add(pool);
    IQManager* manager = pool.manager_for(name);
    sessions.push_back(std::make_unique<IQEndpointClient>(name, nullptr));
    EXPECT_FALSE(pool.add_client(name, sessions[1].get())) << "another session under a placed name";
    EXPECT_FALSE(pool.add_client(QStringLiteral("again"), sessions[0].get())) << "a placed session again";
    EXPECT_EQ(pool.client_count(), 1);
    EXPECT_EQ(pool.manager_for(name), manager);
    EXPECT_EQ(sessions[0]->session_manager(), manager);
    EXPECT_EQ(sessions[1]->session_manager(), nullptr);
    EXPECT_TRUE(pool.remove_client(name));
    EXPECT_EQ(pool.client_count(), 0);
}

TEST_F(SessionPool, StartsAndStopsTwiceHarmlessly) {
    IQCommonPooledApp pool(4);
    add(pool);
    pool.start_managers();
    pool.stop_managers();
    pool.stop_managers();
    EXPECT_EQ(pool.client_count(), 1);
}

TEST(WorkerManager, FreshManagerIsEmptyWithRoomFor64) {
    IQManager manager;
    EXPECT_EQ(manager.client_count(), 0u);
    EXPECT_EQ(manager.max_clients(), 64u);
}

TEST(WorkerManager, PostsFromOtherThreadsWhileTheLoopRuns) {
    // Races the loop's taking of the queues; the thread sanitizer run is what tells.
    IQManager manager;
    std::thread loop([&] { manager.event_loop(); });
    Message request;
    request.set_name("ping");
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i) {
        posters.emplace_back([&] {
            for (int n = 0; n < 200; ++n) manager.post_request(request, "nobody");
        });
    }
    for (std::thread& poster : posters) poster.join();
    manager.stop();
    loop.join();
    SUCCEED();
}

TEST(WorkerManager, LockIsReentrantForItsHolder) {
    IQManager manager;
    manager.mutex()->lock();
    manager.mutex()->lock();  // would deadlock with a plain mutex
    manager.mutex()->unlock();
    manager.mutex()->unlock();
    SUCCEED();
}

}  // namespace
