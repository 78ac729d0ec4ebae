#include "platform/readiness_poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform {

namespace {

// Events fetched by one epoll_wait; more ready descriptors come with the next wait.
constexpr int kMaxEventsPerWait = 256;

static_assert(EPOLLIN == POLLIN && EPOLLOUT == POLLOUT && EPOLLRDHUP == POLLRDHUP && EPOLLERR == POLLERR &&
                  EPOLLHUP == POLLHUP,
              "epoll and poll() share their event bits");

uint32_t interest_of(bool wants_read, bool wants_write) {
    return POLLRDHUP | (wants_read ? POLLIN : 0u) | (wants_write ? POLLOUT : 0u);
}

}  // namespace

ReadinessPoller::Backend ReadinessPoller::default_backend() {
#ifdef KESTRANE_WAIT_WITH_POLL
    return Backend::kPoll;
#else
    return Backend::kEpoll;
#endif
}

ReadinessPoller::ReadinessPoller(int wake_fd, Backend backend) : backend_(backend), slots_(1) {
    poll_list_.push_back(pollfd{wake_fd, POLLIN, 0});
    poll_keys_.push_back(0);
    if (backend_ == Backend::kPoll) return;
    epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_fd_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;  // the wake descriptor's key: no registration has it
    if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd, &event) != 0) {
        const int error = errno;
        close(epoll_fd_);
        throw std::system_error(error, std::generic_category(), "epoll_ctl");
    }
}

ReadinessPoller::~ReadinessPoller() {
    if (epoll_fd_ >= 0) close(epoll_fd_);
}

uint32_t ReadinessPoller::take_free_slot() {
    if (free_slots_.empty()) {
        slots_.emplace_back();
        std::lock_guard<std::mutex> lock(poll_list_mutex_);
        poll_list_.push_back(pollfd{-1, 0, 0});
        poll_keys_.push_back(0);
        return static_cast<uint32_t>(slots_.size() - 1);
    }
    const uint32_t slot = free_slots_.back();
    free_slots_.pop_back();
    return slot;
}

int ReadinessPoller::apply(int operation, uint32_t slot, uint32_t interest) {
    const Slot& entry = slots_[slot];
    if (backend_ == Backend::kPoll) {
        std::lock_guard<std::mutex> lock(poll_list_mutex_);
        poll_list_[slot] = pollfd{operation == EPOLL_CTL_DEL ? -1 : entry.fd, static_cast<short>(interest), 0};
        poll_keys_[slot] = key_of(slot, entry.generation);
        return 0;
    }
    epoll_event event{};
    event.events = interest;
    event.data.u64 = key_of(slot, entry.generation);
    return epoll_ctl(epoll_fd_, operation, entry.fd, &event) == 0 ? 0 : errno;
}

uint64_t ReadinessPoller::add(int fd, void* owner, bool wants_read, bool wants_write) {
    const uint32_t slot = take_free_slot();
    Slot& entry = slots_[slot];
    entry.fd = fd;
    entry.interest = interest_of(wants_read, wants_write);
    const int error = apply(EPOLL_CTL_ADD, slot, entry.interest);
    if (error != 0) {
        entry.fd = -1;
        free_slots_.push_back(slot);
        errno = error;
        return 0;
    }
    entry.owner = owner;
    return key_of(slot, entry.generation);
}

const ReadinessPoller::Slot* ReadinessPoller::live_slot(uint64_t key) const {
    const auto slot = static_cast<uint32_t>(key);
    if (slot == 0 || slot >= slots_.size()) return nullptr;
    const Slot& entry = slots_[slot];
    return entry.owner && entry.generation == static_cast<uint32_t>(key >> 32) ? &entry : nullptr;
}

int ReadinessPoller::modify(uint64_t key, bool wants_read, bool wants_write) {
    const Slot* entry = live_slot(key);
    const uint32_t interest = interest_of(wants_read, wants_write);
    if (!entry || entry->interest == interest) return 0;
    const auto slot = static_cast<uint32_t>(key);
    slots_[slot].interest = interest;
    return apply(EPOLL_CTL_MOD, slot, interest);
}

void ReadinessPoller::remove(uint64_t key) {
    if (!live_slot(key)) return;
    const auto slot = static_cast<uint32_t>(key);
    apply(EPOLL_CTL_DEL, slot, 0);
    Slot& entry = slots_[slot];
    entry.owner = nullptr;
    entry.fd = -1;
    ++entry.generation;
    free_slots_.push_back(slot);
}

void* ReadinessPoller::owner(uint64_t key) const {
    const Slot* entry = live_slot(key);
    return entry ? entry->owner : nullptr;
}

int ReadinessPoller::wait(int timeout_ms) {
    events_.clear();
    was_woken_ = false;
    const int error = backend_ == Backend::kPoll ? wait_with_poll(timeout_ms) : wait_with_epoll(timeout_ms);
    if (error == 0) return 0;
    events_.clear();
    return error == EINTR ? 0 : error;
}

int ReadinessPoller::wait_with_epoll(int timeout_ms) {
    epoll_event ready[kMaxEventsPerWait];
    const int count = epoll_wait(epoll_fd_, ready, kMaxEventsPerWait, timeout_ms < 0 ? -1 : timeout_ms);
    if (count < 0) return errno;
    for (int i = 0; i < count; ++i) {
        if (ready[i].data.u64 == 0) {
            was_woken_ = true;
        } else {
            events_.push_back(Event{ready[i].data.u64, ready[i].events});
        }
    }
    return 0;
}

int ReadinessPoller::wait_with_poll(int timeout_ms) {
    {
        std::lock_guard<std::mutex> lock(poll_list_mutex_);
        waiting_list_ = poll_list_;
        waiting_keys_ = poll_keys_;
    }
    if (poll(waiting_list_.data(), waiting_list_.size(), timeout_ms < 0 ? -1 : timeout_ms) < 0) return errno;
    was_woken_ = (waiting_list_[0].revents & POLLIN) != 0;
    for (size_t slot = 1; slot < waiting_list_.size(); ++slot) {
        const short revents = waiting_list_[slot].revents;
        if (revents != 0) events_.push_back(Event{waiting_keys_[slot], static_cast<uint16_t>(revents)});
    }
    return 0;
}

Readiness ReadinessPoller::event_readiness(size_t index) const {
    const uint32_t revents = events_[index].revents;
    Readiness readiness;
    readiness.is_readable = (revents & POLLIN) != 0;
    readiness.is_writable = (revents & POLLOUT) != 0;
    readiness.is_peer_closed = (revents & (POLLRDHUP | POLLHUP)) != 0;
    readiness.has_error = (revents & (POLLERR | POLLNVAL)) != 0;
    return readiness;
}

}  // namespace platform
