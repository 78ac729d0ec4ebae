// main() for session suites whose signals carry the sessions' own types through queued connections:
// a QCoreApplication, and those types registered before the first test runs.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "sessions/session_meta_types.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    register_session_meta_types();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
