// The one registry of codec sessions: what enters it, what leaves it, and what a lookup finds.
#include <gtest/gtest.h>

#include <QPointer>

#include "app/fleet/zorva_summary.h"
#include "tests/app/app_fixture.h"

namespace {

using InstanceRegistryTest = app_test::AppFixture;

TEST_F(InstanceRegistryTest, AFullPoolRefusesAndKeepsTheRegistryAsItWas) {
    MainWindow& opened = openWindow();
    for (int index = 0; index < 256; ++index) ASSERT_FALSE(opened.createInstance().isNull()) << index;
    EXPECT_TRUE(opened.createInstance().isNull());
    EXPECT_EQ(instanceMap.size(), 256);
    EXPECT_EQ(pool->client_count(), 256);
    for (auto entry = instanceMap.cbegin(); entry != instanceMap.cend(); ++entry) {
        EXPECT_EQ(entry.value()->uuid, entry.key());
    }
}

TEST_F(InstanceRegistryTest, OneAddressTwiceGivesTwoKeysAndLookupTakesTheSmaller) {
    MainWindow& opened = openWindow();
    const QUuid first = opened.createInstance();
    const QUuid second = opened.createInstance();
    ASSERT_NE(first, second);
    for (const QUuid& key : {first, second}) findInstance(key)->setAddress(QStringLiteral("127.0.0.1"), 9);
    EXPECT_EQ(findInstanceByAddress(QStringLiteral("127.0.0.1"), 9), findInstance(qMin(first, second)));
    EXPECT_EQ(findInstanceByAddress(QStringLiteral("127.0.0.1"), 10), nullptr);
    EXPECT_EQ(findInstanceByAddress(QStringLiteral("127.0.0.01"), 9), nullptr);  // as typed, not as meant
    EXPECT_EQ(findInstance(QUuid::createUuid()), nullptr);
}

TEST_F(InstanceRegistryTest, RemovalGoesByTileKeyAndEndsTheSessionLater) {
    MainWindow& opened = openWindow();
    ZorvaSummary& summary = *opened.summary();
    const QUuid instance_key = opened.createInstance();
    QPointer<IPCObject> session = findInstance(instance_key);
    const QUuid tile_key = summary.addInstance(session);
    ASSERT_NE(tile_key, instance_key);

    summary.removeInstance(QUuid::createUuid());
    summary.removeInstance(instance_key);  // an instance key is not a tile key
    EXPECT_EQ(instanceMap.size(), 1);
    EXPECT_TRUE(summary.hasInstances());

    IPCObject* announced = session;
    QObject::connect(&summary, &ZorvaSummary::selectionChanged, [&announced](IPCObject* next) { announced = next; });
    summary.removeInstance(tile_key);
    EXPECT_TRUE(instanceMap.isEmpty());
    EXPECT_FALSE(summary.hasInstances());
    EXPECT_EQ(announced, nullptr);
    EXPECT_FALSE(session.isNull());  // deleted on the event loop, not under its callers
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(session.isNull());
    EXPECT_EQ(pool->client_count(), 0);
}

}  // namespace
