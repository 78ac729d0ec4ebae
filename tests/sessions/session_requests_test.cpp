#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include "sessions/ipc_object.h"
#include "sessions/session_requests.h"

namespace {

namespace wire = session_requests;

// A reply or report reaches its handler by the slot's name alone: a handler renamed, or a name
// mistyped, would compile and drop what the codec sends. These fail instead.
::testing::AssertionResult hasSlot(const QString& slotName, bool hasArgument) {
    const QByteArray signature = IQEndpointClient::slot_signature(slotName, hasArgument);
    if (IPCObject::staticMetaObject.indexOfMethod(signature.constData()) >= 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "IPCObject has no slot " << signature.constData();
}

TEST(SessionRequests, EveryHandledReplyHasItsSlot) {
    for (const wire::WireRequest& request : wire::kHandledReplies) {
        EXPECT_TRUE(hasSlot(IQEndpointClient::reply_slot_name(QLatin1String(request.seq)), false)) << request.name;
    }
    // A peer list, reply or report, is rebuilt from the list it came in.
    EXPECT_TRUE(hasSlot(IQEndpointClient::report_slot_name(QLatin1String(wire::kGetPeerList.seq)), true));
}

TEST(SessionRequests, EverySubscribedReportHasItsSlot) {
    int checked = 0;
    for (const IPCObject::Subscription& subscription : IPCObject::subscriptions()) {
        if (!subscription.report_id) continue;
        const QString key = IQEndpointClient::report_key(subscription.report_id);
        EXPECT_TRUE(hasSlot(IQEndpointClient::report_slot_name(key), true)) << "subscription " << subscription.name;
        ++checked;
    }
    EXPECT_GE(checked, 8);
    for (const char* report : wire::kMonitorReports) {
        EXPECT_TRUE(hasSlot(IQEndpointClient::report_slot_name(QLatin1String(report)), true)) << "\"monitor\" report";
    }
}

TEST(SessionRequests, EverySlotTheSessionQueuesForItselfIsThere) {
    for (int i = 0; i < IPCObject::kOwnSlotCount; ++i) {
        const char* signature = IPCObject::own_slot_signature(static_cast<IPCObject::OwnSlot>(i));
        EXPECT_GE(IPCObject::staticMetaObject.indexOfMethod(signature), 0) << signature;
    }
}

}  // namespace
