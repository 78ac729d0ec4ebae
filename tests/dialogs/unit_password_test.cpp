#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUuid>

#include <string>

#include "dialogs/unit_password.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "sessions/session_meta_types.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/qt_wait.h"
#include "tests/support/session_pool_fixture.h"
#include "tests/support/unplaced_session.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using test_support::CapturedQtMessages;
using test_support::wait_processing_events;

QString labelOf(const UnitPassword& prompt) {
    return prompt.findChild<QLabel*>("label")->text();
}

struct DescribeCase {
    const char* host;
    bool has_sys_options;
    const char* unit_name;  // null: the options carry none
    const char* label;
    const char* title;
};

// The title names the codec by its unitLabel: codecs behind one address differ by their ports.
const DescribeCase kDescribe[] = {
    {"10.1.2.3", true, "Studio 3", "Enter connection password for Studio 3:", "Device Login Failed (Studio 3)"},
    // Right after a refused login the reply cache is empty.
    {"10.1.2.3", false, nullptr, "Enter connection password:", "Device Login Failed (10.1.2.3:5004)"},
    {"fe80::1", false, nullptr, "Enter connection password:", "Device Login Failed ([fe80::1]:5004)"},
    {"fe80::1", true, nullptr, "Enter connection password for unknown:", "Device Login Failed (unknown)"},
    {"", true, "<b>Studio</b>", "Enter connection password for <b>Studio</b>:", "Device Login Failed (<b>Studio</b>)"},
    {"", true, "Studio-with-a-name-longer-than-any-label-could-ever-need-0123456789",
     "Enter connection password for Studio-with-a-name-longer-than-any-label-could-ever-need-012345\u2026:",
     "Device Login Failed (Studio-with-a-name-longer-than-any-label-could-ever-need-012345\u2026)"},
};

TEST(UnitPassword, NamesTheCodecWhereKnown) {
    for (const auto& c : kDescribe) {
        const QUuid uuid = QUuid::createUuid();
        test_support::UnplacedSession session(uuid.toString(), uuid);
        session.setAddress(c.host, 5004);
        if (c.has_sys_options) {
            Message options;
            options.set_name("sysOptions");
            if (c.unit_name) options.attributes().set("unit_name", std::string(c.unit_name));
            session.cache_message(options, "sysOptions");
        }
        UnitPassword prompt;
        prompt.describe(session);
        EXPECT_EQ(labelOf(prompt), QString::fromUtf8(c.label)) << c.host;
        EXPECT_EQ(prompt.findChild<QLabel*>("label")->textFormat(), Qt::PlainText);
        EXPECT_EQ(prompt.windowTitle(), QString::fromUtf8(c.title)) << c.host;
    }
}

using UnitPasswordOnACodec = test_support::SessionPoolFixture;

// A codec whose password is not the default: its login is refused until the prompt's password
// reaches the session, and the password is never written to the log.
TEST_F(UnitPasswordOnACodec, TypedPasswordLogsInAndIsNeverLogged) {
    register_session_meta_types();
    const std::string secret = "Gr33n-Room!";
    CodecSimOptions options;
    options.password = secret;
    start_fleet(options);
    CapturedQtMessages log;

    QPointer<IPCObject> session = place_session();
    connect_to_fleet(*session);
    ASSERT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::AUTH_FAILED; }));

    UnitPassword prompt;
    prompt.describe(*session);
    EXPECT_EQ(prompt.windowTitle(), QStringLiteral("Device Login Failed (127.0.0.1:%1)").arg(session->port));
    prompt.show();
    prompt.findChild<QLineEdit*>("linePassword")->setText(QString::fromStdString(secret));
    prompt.findChild<QPushButton*>("buttonOK")->click();
    ASSERT_EQ(prompt.result(), QDialog::Accepted);
    prompt.applyTo(*session);
    EXPECT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::READY; }));

    for (const std::string& record : log.records()) {
        EXPECT_EQ(record.find(secret), std::string::npos) << record;
    }
}

}  // namespace
