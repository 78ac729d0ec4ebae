#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

namespace test_support {

// Lowers RLIMIT_FSIZE (the soft limit, which holds root too) to `bytes` while it lives, with SIGXFSZ
// ignored, so that a write past it fails with EFBIG as on a full disk instead of ending the process.
// Both are put back afterwards: every file the process writes meanwhile is held to the limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        EXPECT_EQ(sigaction(SIGXFSZ, &ignore, &previous_action_), 0);
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &previous_limit_), 0);
        rlimit lowered = previous_limit_;
        lowered.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    ~FileSizeLimit() {
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &previous_limit_), 0);
        EXPECT_EQ(sigaction(SIGXFSZ, &previous_action_, nullptr), 0);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_limit_{};
    struct sigaction previous_action_ {};
};

}  // namespace test_support
