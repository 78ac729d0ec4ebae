#include "platform/shutdown_signals.h"

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform {

namespace {

sigset_t handled_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int each : ShutdownSignals::handled()) sigaddset(&set, each);
    return set;
}

}  // namespace

std::initializer_list<int> ShutdownSignals::handled() {
    static const std::initializer_list<int> kSignals = {SIGTERM, SIGINT, SIGHUP};
    return kSignals;
}

ShutdownSignals::ShutdownSignals() {
    const sigset_t set = handled_set();
    const int blocked = pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (blocked != 0) throw std::system_error(blocked, std::generic_category(), "pthread_sigmask");
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        throw std::system_error(error, std::generic_category(), "signalfd");
    }
}

ShutdownSignals::~ShutdownSignals() {
    close(fd_);
    const sigset_t set = handled_set();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int ShutdownSignals::take() {
    signalfd_siginfo info{};
    ssize_t got;
    do {
        got = read(fd_, &info, sizeof info);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
}

const char* signal_name(int signal_number) {
    switch (signal_number) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "another signal";
    }
}

}  // namespace platform
