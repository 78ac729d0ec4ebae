#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPointer>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <climits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/tunnel/braidlink_stats.h"
#include "app/tunnel/delay_slider.h"
#include "app/tunnel/ifc_button.h"
#include "ipc/message/message.h"
#include "sessions/ipc_object.h"
#include "sessions/session_meta_types.h"
#include "sessions/session_requests.h"
#include "tests/support/captured_qt_messages.h"
#include "tests/support/qt_wait.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/session_pool_fixture.h"

namespace {

using Attributes = std::map<std::string, std::string>;
using test_support::ScriptedPeer;
using test_support::wait_processing_events;

std::string with_nul(const std::string& xml) {
    return xml + '\0';
}

// A tunnel statistics report for session `sid`: transmit delay figures (d*, automatic mode off),
// receive figures (rd*, automatic mode on) and one connection.
std::string tunStats(const std::string& sid, int allowedTx = 120, bool autoTx = false, int allowedRx = 150,
                     bool autoRx = true) {
    const auto flag = [](bool on) { return on ? "true" : "false"; };
    return "<unso id=\"tun_stats\"><stats><sess sid=\"" + sid + "\" d=\"45\" dm=\"" + std::to_string(allowedTx) +
           "\" dma=\"" + flag(autoTx) + "\" d1=\"20\" d2=\"40\" d3=\"60\" d4=\"80\" d5=\"200\" rd=\"60\" rdm=\"" +
           std::to_string(allowedRx) + "\" rdma=\"" + flag(autoRx) +
           "\" rd1=\"30\" rd2=\"60\" rd3=\"90\" rd4=\"120\" rd5=\"300\">"
           "<conn li=\"3\" ri=\"5\"/></sess></stats></unso>";
}

// The tunnel page on a live codec session: a scripted codec on loopback that logs the session in,
// answers every request and records what it receives.
class BraidlinkStatsTest : public test_support::SessionPoolFixture {
protected:
    void SetUp() override {
        register_session_meta_types();
        SessionPoolFixture::SetUp();
        codec_ = std::make_unique<ScriptedPeer>();
        codec_->set_responder([this](const std::string& frame) {
            Message request;
            request.parse(frame);
            const std::string seq = request.attributes().get_string("seq", "");
            if (seq == session_requests::kPing.seq && holdsPingAnswers_) return std::string();
            return seq.empty() ? std::string() : with_nul("<resp seq=\"" + seq + "\"/>");
        });
        session_ = place_session();
        session_->setConnection("127.0.0.1", codec_->port(), "tarnel");
        ASSERT_TRUE(wait_processing_events([this] { return session_->state() >= IQEndpointClient::AUTHENTICATED; }));
        page_ = std::make_unique<BraidlinkStats>();
    }

    void TearDown() override {
        page_.reset();
        end_sessions();
        codec_.reset();
        SessionPoolFixture::TearDown();
    }

    // Sends a report and waits until the tunnel model holds session `sid` with the report's
    // delays.
    void deliver(const std::string& report, int sid, int allowedTx, int allowedRx = 150) {
        codec_->send(with_nul(report));
        ASSERT_TRUE(wait_processing_events([&] {
            TunnelSession* tunnel = session_->tunnelInfo.session();
            return tunnel && tunnel->sid() == sid && tunnel->txStats.max_allowed_delay == allowedTx &&
                   tunnel->rxStats.max_allowed_delay == allowedRx;
        }));
    }

    size_t receivedMaxDelayCount() {
        const std::vector<std::string> frames = codec_->frames();
        return std::count_if(frames.begin(), frames.end(),
                             [](const std::string& frame) { return frame.rfind("<setMaxDelay ", 0) == 0; });
    }

    // The attributes of every "setMaxDelay" the codec has received so far. A marker sent after
    // everything else (a request the page never sends) shows when all of it has arrived.
    std::vector<Attributes> sentMaxDelays() {
        const session_requests::AskedRequest marker(session_requests::kClearEventLog);
        session_->send(marker);
        ++markers_;
        std::vector<Attributes> sent;
        EXPECT_TRUE(wait_processing_events([&] {
            sent.clear();
            int markers = 0;
            for (const std::string& frame : codec_->frames()) {
                Message request;
                request.parse(frame);
                markers += request.name() == marker.message().name();
                if (request.name() != "setMaxDelay") continue;
                Attributes attributes;
                for (const auto& [name, value] : request.attributes()) attributes[name] = value.to_string();
                sent.push_back(attributes);
            }
            return markers == markers_;
        }));
        return sent;
    }

    DelaySlider* slider(const char* name) { return page_->findChild<DelaySlider*>(QLatin1String(name)); }
    QCheckBox* check(const char* name) { return page_->findChild<QCheckBox*>(QLatin1String(name)); }
    int buttonCount() { return page_->findChildren<IFCButton*>().size(); }

    std::unique_ptr<ScriptedPeer> codec_;
    QPointer<IPCObject> session_;
    std::unique_ptr<BraidlinkStats> page_;
    int markers_ = 0;
    std::atomic<bool> holdsPingAnswers_{false};  // the codec has not read what came before them
};

// Attaching shows the figures the codec last reported; the operator's slider and checks send
// "setMaxDelay" (never a delay below 10); the codec's own reports only show, they send nothing.
TEST_F(BraidlinkStatsTest, ShowsTheCodecsFiguresAndSendsOnlyTheOperatorsChanges) {
    deliver(tunStats("7"), 7, 120);
    page_->setTunnelInfo(session_);
    const auto expectShown = [this](int txDelay, bool txAuto, int rxDelay, bool rxAuto) {
        EXPECT_EQ(slider("txSlider")->value(), txDelay);
        EXPECT_EQ(slider("txSlider")->isEnabled(), !txAuto);
        EXPECT_EQ(check("txAutoCheck")->isChecked(), txAuto);
        EXPECT_EQ(slider("rxSlider")->value(), rxDelay);
        EXPECT_EQ(slider("rxSlider")->isEnabled(), !rxAuto);
        EXPECT_EQ(check("rxAutoCheck")->isChecked(), rxAuto);
    };
    expectShown(120, false, 150, true);
    EXPECT_EQ(slider("txSlider")->maximum(), 200);

    const struct {
        const char* what;
        std::function<void()> act;
        Attributes sent;
    } steps[] = {
        {"transmit slider released at 5",
         [this] {
             slider("txSlider")->setValue(5);
             emit slider("txSlider")->sliderReleased();
         },
         {{"auto", "false"}, {"delay", "10"}, {"remote", "false"}, {"sid", "7"}}},
        {"transmit slider stepped by a key",
         [this] { slider("txSlider")->triggerAction(QAbstractSlider::SliderSingleStepAdd); },
         {{"auto", "false"}, {"delay", "11"}, {"remote", "false"}, {"sid", "7"}}},
        {"transmit delay held at Right for 15 steps, reports sent before the codec read them arriving",
         [this] {
             deliver(tunStats("7", 143), 7, 143);
             const size_t before = receivedMaxDelayCount();
             holdsPingAnswers_ = true;
             for (int step = 1; step <= 15; ++step) {  // the first press, then its auto-repeats
                 QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), step > 1);
                 QApplication::sendEvent(slider("txSlider"), &press);
                 if (step == 5) deliver(tunStats("7", 143, false, 151), 7, 143, 151);
             }
             QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
             QApplication::sendEvent(slider("txSlider"), &release);
             ASSERT_TRUE(wait_processing_events([&] { return receivedMaxDelayCount() > before; }));
             deliver(tunStats("7", 143, false, 152), 7, 143, 152);
             EXPECT_EQ(slider("txSlider")->value(), 158);
             holdsPingAnswers_ = false;
             codec_->send(with_nul("<resp seq=\"ping\"/>"));
             deliver(tunStats("7", 157), 7, 157);  // the codec's word once it has read the command
             EXPECT_EQ(slider("txSlider")->value(), 157);
         },
         {{"auto", "false"}, {"delay", "158"}, {"remote", "false"}, {"sid", "7"}}},
        {"receive automatic mode off",
         [this] { check("rxAutoCheck")->click(); },
         {{"auto", "false"}, {"delay", "150"}, {"remote", "true"}, {"sid", "7"}}},
        {"receive automatic mode on",
         [this] { check("rxAutoCheck")->click(); },
         {{"auto", "true"}, {"remote", "true"}, {"sid", "7"}}},
    };
    size_t count = 0;
    for (const auto& step : steps) {
        step.act();
        ASSERT_TRUE(wait_processing_events([&] { return receivedMaxDelayCount() > count; })) << step.what;
        const std::vector<Attributes> sent = sentMaxDelays();
        ASSERT_EQ(sent.size(), ++count) << step.what;
        EXPECT_EQ(sent.back(), step.sent) << step.what;
    }

    // A wheel turned over the slider to scroll the page moves no delay.
    const QPoint centre = slider("txSlider")->rect().center();
    QWheelEvent wheel(centre, slider("txSlider")->mapToGlobal(centre), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider("txSlider"), &wheel);
    EXPECT_EQ(slider("txSlider")->value(), 157);
    // Nor does a click on the handle that moves nothing.
    emit slider("txSlider")->sliderReleased();

    // The codec turns automatic mode on for transmit and off for receive.
    deliver(tunStats("7", 90, true, 100, false), 7, 90, 100);
    expectShown(90, true, 100, false);
    EXPECT_EQ(sentMaxDelays().size(), count);
}

// A session id the codec did not write as a decimal number reads as some other number; a request
// for it would reach the wrong session, so none is sent.
TEST_F(BraidlinkStatsTest, SendsNothingForASessionIdThatIsNotADecimalNumber) {
    page_->setTunnelInfo(session_);
    const struct {
        const char* sid;
        int readAs;
    } ids[] = {{"abc", 0}, {"7x", 7}, {"99999999999", INT_MAX}, {"", 0}};
    test_support::CapturedQtMessages messages;
    int allowed = 100;
    for (const auto& id : ids) {
        deliver(tunStats(id.sid, allowed), id.readAs, allowed);
        slider("txSlider")->setValue(0);  // a drag to the lowest delay
        emit slider("txSlider")->sliderReleased();
        ++allowed;
    }
    EXPECT_EQ(messages.count_warnings("setMaxDelay not sent"), 4);
    deliver(tunStats("-8", allowed), -8, allowed);
    slider("txSlider")->setValue(0);
    emit slider("txSlider")->sliderReleased();
    const std::vector<Attributes> sent = sentMaxDelays();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent.front().at("sid"), "-8");
}

TEST_F(BraidlinkStatsTest, DetachingLeavesTheCodecsTunnelAndEmptiesThePage) {
    deliver(tunStats("7"), 7, 120);
    page_->setTunnelInfo(session_);
    deliver(tunStats("7", 121), 7, 121);
    page_->setTunnelInfo(session_);  // the same codec again changes nothing
    EXPECT_EQ(buttonCount(), 2);     // one per direction for the one connection
    EXPECT_EQ(slider("txSlider")->value(), 121);

    page_->setTunnelInfo(nullptr);
    TunnelSession* tunnel = session_->tunnelInfo.session();
    EXPECT_EQ(tunnel->ifcWidget(), nullptr);
    EXPECT_FALSE(tunnel->txStats.utilGrapher);
    EXPECT_FALSE(tunnel->rxStats.lossGrapher);
    EXPECT_EQ(buttonCount(), 0);
    EXPECT_EQ(slider("txSlider")->value(), 0);
    EXPECT_FALSE(check("rxAutoCheck")->isChecked());

    // The codec's later reports no longer reach the page.
    deliver(tunStats("7", 122), 7, 122);
    EXPECT_EQ(slider("txSlider")->value(), 0);
    EXPECT_EQ(buttonCount(), 0);
    EXPECT_TRUE(sentMaxDelays().empty());
}

}  // namespace
