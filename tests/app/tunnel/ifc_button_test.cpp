#include <gtest/gtest.h>

#include <QImage>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

#include "app/tunnel/ifc_button.h"
#include "app/tunnel/loss_late_recovery_grapher.h"
#include "app/tunnel/utilization_grapher.h"
#include "ipc/message/message.h"
#include "sessions/tunnel_session.h"
#include "tests/app/widget_image.h"

namespace {

using app_test::pixel;
using app_test::render;
using app_test::rgb;

// Construction texts (the interface button's edge cases).
struct LabelCase {
    int index;
    const char *uid, *first, *second, *text;
};

// clang-format off
const LabelCase kLabels[] = {
    {2, "3:5", "eth0", "wan1", "(2) eth0>wan1"},
    {0, "3:5", "", "", "Connection 3:5"},
    {1, "3:5", "eth0", "", "Connection 3:5"},
    {0, "1:1", "%2", "%1", "(0) %2>%1"},
    {3, "R&D", "eth&0", "lte&", "(3) eth&&0>lte&&"},  // shown as typed, never a shortcut
    {0, "R&D", "", "", "Connection R&&D"},
};
// clang-format on

TEST(IFCButton, LabelNamesBothInterfacesOnceKnown) {
    for (const auto& c : kLabels) {
        QWidget container;
        IFCButton button(&container, c.index, c.uid, c.first, c.second);
        EXPECT_EQ(button.text().toStdString(), c.text);
        EXPECT_TRUE(button.isFlat());
        EXPECT_FALSE(button.isEnabled());
    }
    // The number is the index of the last relabelling; the same descriptions relabel only by force.
    QWidget container;
    IFCButton button(&container, 1, "3:5", "", "");
    button.setColor(4);
    button.setLabels("eth0", "wan1", false);
    button.setColor(2);
    button.setLabels("eth0", "wan1", false);
    EXPECT_EQ(button.text(), "(4) eth0>wan1");
    button.setLabels("eth0", "wan1", true);
    EXPECT_EQ(button.text(), "(2) eth0>wan1");
}

// The six connection colours, then black.
const QColor kColours[] = {QColor(204, 0, 204), QColor(0, 0, 255), QColor(0, 255, 0), QColor(204, 204, 0),
                           QColor(204, 119, 0), QColor(221, 0, 0), QColor(0, 0, 0),   QColor(0, 0, 0)};

TEST(IFCButton, ButtonsStackUpFromTheBottomInTheirConnectionColour) {
    for (int index = 0; index < 8; ++index) {
        QWidget container;
        container.resize(200, 300);
        IFCButton button(&container, 0, "3:5", "eth0", "wan1");
        button.resize(150, 20);
        button.setColor(index);
        // Index i sits at 300 - (i + 1) × (20 + 4); its text pixels, and only those, carry its
        // colour, although the button is disabled.
        const int top = 300 - (index + 1) * 24;
        EXPECT_EQ(button.y(), top);
        const QImage image = render(container);
        int inside = 0;
        int outside = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (pixel(image, x, y) == kColours[index]) ++(y >= top && y < top + 20 ? inside : outside);
        EXPECT_GT(inside, 10) << index;
        EXPECT_EQ(outside, 0) << index;
    }
}

// The tunnel session driving the real page widgets through the factory and its guarded links.
TEST(IFCButton, TunnelSessionDrivesThePageWidgets) {
    TunnelSession session(7, "10.0.0.1");
    auto page = std::make_unique<QWidget>();
    auto* container = new QWidget(page.get());
    auto* layout = new QVBoxLayout(container);
    auto* utilization = new UtilizationGrapher(page.get());
    auto* loss = new LossLateRecoveryGrapher(page.get());
    session.setIfcWidget(container, &IFCButton::create);
    session.txStats.utilGrapher.set(utilization);
    session.txStats.lossGrapher.set(loss);
    Message report;
    report.parse(R"(<sess pl="300"><conn li="3" ri="5" tp="64000"/></sess>)");
    Message status;
    status.parse(R"(<sess sid="7"><conn li="3" ri="5" ldesc="eth0" rdesc="wan1"/></sess>)");

    EXPECT_TRUE(session.updateRxCodecStats(report));
    const QList<IFCButton*> buttons = container->findChildren<IFCButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "Connection 3:5");
    EXPECT_EQ(layout->count(), 1);  // only the transmit button
    session.updateSessionStatus(status);
    session.updateRxCodecStats(report);
    EXPECT_EQ(buttons[0]->text(), "(0) eth0>wan1");
    EXPECT_EQ(buttons[1]->text(), "(0) wan1>eth0");

    utilization->resize(640, 100);
    loss->resize(640, 100);
    EXPECT_EQ(rgb(pixel(render(*utilization), 595, 50)), rgb(QColor(204, 0, 204)));
    EXPECT_EQ(rgb(pixel(render(*loss), 595, 90)), rgb(QColor(119, 0, 0)));

    QPointer<IFCButton> survivor = buttons[0];
    page.reset();
    EXPECT_TRUE(survivor.isNull());
    session.updateRxCodecStats(report);
    session.showTxWidgets();
    QObject notAWidget;
    EXPECT_EQ(IFCButton::create(&notAWidget, 0, "3:5", "a", "b", true), nullptr);
}

}  // namespace
