// main() for suites that need a Qt application object: queued slot calls and deferred deletion
// need a QCoreApplication on the thread that runs the tests.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
