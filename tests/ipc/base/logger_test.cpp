#include <gtest/gtest.h>

#include <QString>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ipc/base/logger.h"
#include "tests/support/captured_qt_messages.h"

namespace {

struct EmissionCase {
    int category;
    int level;
    bool is_written;
};

// Default levels are 4; categories outside 0..31 read category 0, whose level the test sets to 4.
const EmissionCase kEmission[] = {
    {0, 4, true},  {0, 1, true},   {0, 5, false}, {0, 0, false},  {0, -1, false},
    {40, 4, true}, {40, 5, false}, {-3, 4, true}, {31, 6, false},
};

TEST(Logger, EmissionRule) {
    Logger logger;
    for (const auto& c : kEmission) {
        test_support::CapturedQtMessages output;
        logger.log_cat(c.category, c.level, "record %d", 7);
        EXPECT_EQ(output.records().size(), c.is_written ? 1u : 0u) << "category " << c.category << " level " << c.level;
        if (c.is_written) {
            EXPECT_EQ(output.records()[0], "record 7");
        }
    }
}

TEST(Logger, OutOfRangeCategoriesMeanCategoryZero) {
    Logger logger;
    logger.set_level(32, 6);
    EXPECT_EQ(logger.level(0), 6);
    logger.set_level(-1, 2);
    EXPECT_EQ(logger.level(0), 2);
    logger.set_category_name(99, "library");
    EXPECT_EQ(logger.category_name(0), "library");
}

TEST(Logger, RaisedCategoryLetsDebugThrough) {
    Logger logger;
    logger.set_level(3, 6);
    test_support::CapturedQtMessages output;
    logger.log_cat(3, 6, "debug");
    logger.log_cat(4, 6, "dropped");
    ASSERT_EQ(output.records().size(), 1u);
    EXPECT_EQ(output.records()[0], "debug");
}

TEST(Logger, ErrorRecordAppendsTheErrorText) {
    Logger logger;
    test_support::CapturedQtMessages output;
    logger.log_error(ENOENT, "open %s", "x");
    ASSERT_EQ(output.records().size(), 1u);
    EXPECT_EQ(output.records()[0], std::string("open x (") + strerror(ENOENT) + ")");
}

TEST(Logger, ErrorRecordIsLevelTwo) {
    Logger logger;
    logger.set_level(0, 1);
    test_support::CapturedQtMessages output;
    logger.log_error(ENOENT, "quiet");
    EXPECT_TRUE(output.records().empty());
}

TEST(Logger, PercentInCallerTextArgumentIsNotAFormat) {
    Logger logger;
    test_support::CapturedQtMessages output;
    logger.log_cat_error(0, EINVAL, "%s", "100%s done");
    ASSERT_EQ(output.records().size(), 1u);
    EXPECT_EQ(output.records()[0].rfind("100%s done (", 0), 0u);
}

TEST(Logger, LongRecordsAreCut) {
    Logger logger;
    test_support::CapturedQtMessages output;
    const std::string long_text(20000, 'y');
    logger.log(1, "%s", long_text.c_str());
    ASSERT_EQ(output.records().size(), 1u);
    EXPECT_EQ(output.records()[0].size(), 16383u);
}

struct LevelTextCase {
    const char* text;
    int level;
};

const LevelTextCase kLevelFromString[] = {
    {"none", 0},  {"event", 1}, {"error", 2}, {"warning", 3}, {"info", 4},    {"detail", 5},
    {"debug", 6}, {"7", 7},     {"loud", 0},  {"", 0},        {"Warning", 0},
};

TEST(Logger, LevelFromString) {
    for (const auto& c : kLevelFromString) EXPECT_EQ(Logger::level_from_string(c.text), c.level) << c.text;
}

TEST(Logger, LevelToString) {
    EXPECT_EQ(Logger::level_to_string(3), "warning");
    EXPECT_EQ(Logger::level_to_string(9), "unknown");
    EXPECT_EQ(Logger::level_to_string(-1), "unknown");
}

TEST(Logger, FindCategory) {
    Logger logger;
    EXPECT_EQ(logger.find_category(""), 0);
    EXPECT_EQ(logger.find_category("nobody"), 0);
    logger.set_category_name(0, "ipc");
    logger.set_category_name(5, "gui");
    EXPECT_EQ(logger.find_category("gui"), 5);
    EXPECT_EQ(logger.find_category(""), 1);
}

TEST(Logger, CallbacksRunAroundEachRecord) {
    static int before_calls;
    static int after_calls;
    before_calls = after_calls = 0;
    Logger logger;
    logger.set_output_callbacks([] { ++before_calls; }, [] { ++after_calls; });
    test_support::CapturedQtMessages output;
    logger.log(3, "one");
    logger.log(6, "dropped");
    EXPECT_EQ(before_calls, 1);
    EXPECT_EQ(after_calls, 1);
}

TEST(Logger, GlobalInstanceIsSharedAndLoggableFromManyThreads) {
    EXPECT_EQ(&ipc_logger(), &ipc_logger());
    test_support::CapturedQtMessages output;
    ipc_logger().set_level(9, 0);  // category 9 silent: this checks data races, not Qt's handler
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 1000; ++i) {
                ipc_logger().log_cat(9, 3, "thread %d record %d", t, i);
                ipc_logger().set_level(10 + t, i % 7);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(output.records().empty());
}

}  // namespace
