// The application object's last net: a slot that throws ends neither the event nor the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_criticals;

void recordCriticals(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg) g_criticals.push_back(text.toStdString());
}

TEST(MyQApplication, SlotThrowingThroughAQueuedCallIsLoggedAndTheLoopRunsOn) {
    g_criticals.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&recordCriticals);
    QMetaObject::invokeMethod(
        qApp, [] { throw std::runtime_error("parse failed: no profile 7"); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        qApp, [] { throw 42; }, Qt::QueuedConnection);
    bool ran_after = false;
    QMetaObject::invokeMethod(
        qApp, [&ran_after] { ran_after = true; }, Qt::QueuedConnection);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    qInstallMessageHandler(previous);

    EXPECT_EQ(g_criticals, (std::vector<std::string>{"parse failed: no profile 7", "An exception was raised."}));
    EXPECT_TRUE(ran_after);
}

}  // namespace
