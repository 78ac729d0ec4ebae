#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <iterator>

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

struct RefusedCase {
    const char* refused_as;
    const wire::OperatorRequest* expected;  // null: the program's own request
};
const RefusedCase kRefused[] = {
    {"setBraidlinkOptions", &wire::kSetBraidlinkOptions},  // by its seq, not its name
    {"cfgSetOption", nullptr},
    {"removePeer", &wire::kRemovePeer},  // by its name: it goes without seq
    {"deleteProfile", &wire::kDeleteProfile},
    {"disconnect", &wire::kDisconnect},
    {"peerList", nullptr},
    {"", nullptr},
};

TEST(SessionRequests, ARefusalFindsTheOperatorsRequestItNames) {
    for (const auto& c : kRefused) {
        EXPECT_EQ(wire::operator_request(QLatin1String(c.refused_as)), c.expected) << c.refused_as;
    }
    for (const wire::OperatorRequest* request : wire::kOperatorRequests) {
        EXPECT_EQ(wire::operator_request(QLatin1String(request->refused_as())), request) << request->wire.name;
        EXPECT_TRUE(request->asked && *request->asked) << request->wire.name;
    }
}

// The lookup a refusal notice uses lists the operator's requests by hand, beside their definitions:
// one defined and not listed would compile, and its refusals would go untold.
TEST(SessionRequests, EveryOperatorsRequestDefinedIsListed) {
    QFile header(QStringLiteral(KESTRANE_SESSION_REQUESTS_HEADER));
    ASSERT_TRUE(header.open(QIODevice::ReadOnly)) << KESTRANE_SESSION_REQUESTS_HEADER;
    const QString text = QString::fromUtf8(header.readAll());
    const QRegularExpression definition(QStringLiteral("inline constexpr OperatorRequest (k\\w+)\\{"));
    QStringList defined;
    for (auto match = definition.globalMatch(text); match.hasNext();) defined << match.next().captured(1);
    EXPECT_EQ(defined.size(), static_cast<int>(std::size(wire::kOperatorRequests))) << defined.join(u' ').toStdString();
}

}  // namespace
