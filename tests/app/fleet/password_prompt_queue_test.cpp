// The login-password prompt on both roads (a refused login, "Input Password..."), against codecs
// simulated on loopback: one prompt at a time, each refused codec asked once and in turn, a removed
// codec skipped, the typed password logging the codec in and never reaching the log.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidgetItem>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/fleet/instance_widget.h"
#include "app/fleet/password_prompt_queue.h"
#include "app/fleet/zorva_stat_row.h"
#include "app/fleet/zorva_summary.h"
#include "dialogs/unit_password.h"
#include "tests/app/app_fixture.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/qt_wait.h"
#include "tools/codec-sim/codec_sim.h"

namespace {

using test_support::CapturedQtMessages;
using test_support::wait_processing_events;

class PasswordPromptTest : public app_test::AppFixture {
protected:
    // `count` codecs, each configured with `password`, in a window whose workers run.
    void startFleet(const CodecSimOptions& options, const QString& password) {
        codecs = std::make_unique<CodecSim>(options);
        openWindow();
        pool->start_managers();
        for (const uint16_t port : codecs->ports()) {
            IPCObject* session = findInstance(window->createInstance());
            session->setConnection(QStringLiteral("127.0.0.1"), port, password);
            keys.push_back(window->summary()->addInstance(session));
            sessions.push_back(session);
        }
        window->summary()->layoutTiles();
    }

    PasswordPromptQueue& prompts() { return window->summary()->passwordPrompts(); }

    // Visible prompts, to prove they never stack.
    static int openPrompts() {
        int open = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            open += qobject_cast<UnitPassword*>(widget) && widget->isVisible();
        }
        return open;
    }

    // Waits for each prompt in turn and answers it with `answer`, until none comes for a second.
    // Returns the sessions asked, in order.
    std::vector<QUuid> answerEveryPrompt(const std::function<void(UnitPassword&)>& answer) {
        std::vector<QUuid> asked;
        while (wait_processing_events([&] { return prompts().openPrompt() != nullptr; }, std::chrono::seconds(1))) {
            EXPECT_EQ(openPrompts(), 1);
            asked.push_back(prompts().openPromptSession());
            answer(*prompts().openPrompt());
            EXPECT_EQ(openPrompts(), 0);
        }
        return asked;
    }

    static void type(UnitPassword& prompt, const QString& password) {
        QTest::keyClicks(prompt.findChild<QLineEdit*>("linePassword"), password);
        QTest::mouseClick(prompt.findChild<QPushButton*>("buttonOK"), Qt::LeftButton);
    }

    std::unique_ptr<CodecSim> codecs;
    std::vector<QUuid> keys;  // tile keys
    std::vector<IPCObject*> sessions;
};

TEST_F(PasswordPromptTest, RefusedCodecsAreAskedOneAtATimeAndARemovedOneIsSkipped) {
    CodecSimOptions options;
    options.count = 4;
    options.mode = CodecSimMode::kRefuse;
    startFleet(options, QStringLiteral("tarnel"));
    ASSERT_TRUE(wait_processing_events([&] {
        for (IPCObject* session : sessions) {
            if (session->state() != IQEndpointClient::AUTH_FAILED) return false;
        }
        return true;
    }));
    ASSERT_TRUE(wait_processing_events([&] { return prompts().openPrompt() != nullptr; }));
    // The last to be asked leaves the fleet while it waits for its turn.
    const QUuid waiting = prompts().openPromptSession();
    IPCObject* removed = nullptr;
    for (size_t i = 0; i < sessions.size() && !removed; ++i) {
        if (sessions[i]->uuid != waiting) {
            removed = sessions[i];
            window->summary()->tileSelected(keys[i]);
            window->removeInstance();
        }
    }
    const QUuid removed_uuid = removed->uuid;

    QStringList titles;
    const std::vector<QUuid> asked = answerEveryPrompt([&titles](UnitPassword& prompt) {
        titles << prompt.windowTitle();
        QTest::keyClick(&prompt, Qt::Key_Escape);
    });
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(std::set<QUuid>(asked.begin(), asked.end()).size(), 3u);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), removed_uuid), 0);
    // Closing a prompt changes nothing: the codecs wait, refused, with their old password.
    for (const QUuid& uuid : asked) EXPECT_EQ(findInstance(uuid)->state(), IQEndpointClient::AUTH_FAILED);
    // Behind one address, codecs that never logged in are told apart by their ports.
    for (size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(titles.value(int(i)),
                  QStringLiteral("Device Login Failed (127.0.0.1:%1)").arg(findInstance(asked[i])->port));
    }
    for (const QUuid& key : keys) {
        const InstanceWidget* tile = window->summary()->tile(key);
        if (!tile) continue;
        const QString name = QStringLiteral("127.0.0.1:%1").arg(tile->session()->port);
        EXPECT_EQ(tile->findChild<QLabel*>("nameLabel")->text(), name);
        EXPECT_EQ(window->summary()->summaryRow(key)->item()->text(ZorvaStatRow::kNameColumn), name);
    }
}

// The prompt's label and title, then the password that logs in; a closed prompt changes nothing,
// and the typed password is never written anywhere but into the session.
TEST_F(PasswordPromptTest, RightPasswordLogsInAndIsNeverLogged) {
    CapturedQtMessages log;
    CodecSimOptions options;
    startFleet(options, QStringLiteral("not-the-one"));
    IPCObject* session = sessions.front();
    ASSERT_TRUE(wait_processing_events([&] { return prompts().openPrompt() != nullptr; }));
    UnitPassword& first = *prompts().openPrompt();
    EXPECT_EQ(first.findChild<QLabel*>("label")->text(), "Enter connection password:");
    EXPECT_EQ(first.windowTitle(), QStringLiteral("Device Login Failed (127.0.0.1:%1)").arg(session->port));
    first.close();
    ASSERT_TRUE(wait_processing_events([&] { return prompts().openPrompt() == nullptr; }));
    EXPECT_FALSE(wait_processing_events([&] { return session->state() != IQEndpointClient::AUTH_FAILED; },
                                        std::chrono::milliseconds(300)));

    window->summary()->tileSelected(keys.front());
    window->findChild<QAction*>("actionInputPassword")->trigger();
    const std::vector<QUuid> asked = answerEveryPrompt([](UnitPassword& prompt) { type(prompt, "tarnel"); });
    EXPECT_EQ(asked, std::vector<QUuid>{session->uuid});
    EXPECT_TRUE(wait_processing_events([&] { return session->state() == IQEndpointClient::READY; }));
    for (const std::string& record : log.records()) EXPECT_EQ(record.find("tarnel"), std::string::npos) << record;
}

TEST_F(PasswordPromptTest, SixteenRefusedCodecsAreEachAskedOnce) {
    CodecSimOptions options;
    options.count = 16;
    options.password = "Gr33n-Room";
    startFleet(options, QStringLiteral("tarnel"));
    const std::vector<QUuid> asked = answerEveryPrompt([](UnitPassword& prompt) { type(prompt, "Gr33n-Room"); });
    EXPECT_EQ(asked.size(), 16u);
    EXPECT_EQ(std::set<QUuid>(asked.begin(), asked.end()).size(), 16u);
    EXPECT_TRUE(wait_processing_events([&] {
        for (IPCObject* session : sessions) {
            if (session->state() != IQEndpointClient::READY) return false;
        }
        return true;
    }));
}

}  // namespace
