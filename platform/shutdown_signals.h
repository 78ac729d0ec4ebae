#pragma once

#include <initializer_list>

namespace platform {

// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP), taken out of asynchronous
// delivery and read from a descriptor instead, so that the program can end through its ordinary
// shutdown rather than inside a signal handler.
//
// Construct it first thing in main, before any thread starts: the signals are blocked in the
// calling thread and every thread made afterwards inherits the mask, so none of them is ever
// interrupted by one. The descriptor (a signalfd, non-blocking, close-on-exec) becomes readable
// while one is pending. Destruction closes it and unblocks the signals again.
class ShutdownSignals {
public:
    ShutdownSignals();  // throws std::system_error when the signals cannot be blocked or read
    ~ShutdownSignals();
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

    int fd() const { return fd_; }
    // The number of the next pending signal, taken off the descriptor; 0 when none is pending.
    int take();

    static std::initializer_list<int> handled();

private:
    int fd_;
};

// "SIGTERM", "SIGINT" or "SIGHUP"; "another signal" for any other number.
const char* signal_name(int signal_number);

}  // namespace platform
