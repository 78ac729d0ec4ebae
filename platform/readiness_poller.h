#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

// What one wait reported for one descriptor.
struct Readiness {
    bool is_readable = false;
    bool is_writable = false;
    bool is_peer_closed = false;  // the peer shut down its side, or the socket hung up
    bool has_error = false;       // an error is pending on the socket (read it with SO_ERROR)
};

// A lasting readiness wait over many descriptors and one wake descriptor: a descriptor is added
// once with the readiness it wants, modified only when that changes, and removed before it is
// closed. Level-triggered: input a handler leaves unread is reported again by the next wait. Peer
// close and errors are always watched, also for a descriptor that asks for neither reading nor
// writing. Linux epoll by default; the poll() backend stays for side-by-side figures.
//
// Each registration has a key that holds its slot and the slot's generation. A wait reports keys,
// and owner() answers for a key only while that registration lasts: once removed, events that an
// earlier wait reported for it lead nowhere, even when the kernel has since given the same
// descriptor number to another socket.
//
// Threads: add(), modify(), remove(), owner() and the event queries are serialised by the caller
// (the loop's lock); wait() runs on the loop's thread while other threads may add, modify or
// remove, so a change takes effect in the wait under way (epoll) or in the next one (poll).
class ReadinessPoller {
public:
    enum class Backend { kEpoll, kPoll };
    // The build's choice: poll() when configured with KESTRANE_WAIT_WITH_POLL, else epoll.
    static Backend default_backend();

    // Throws std::system_error when no epoll instance can be made.
    explicit ReadinessPoller(int wake_fd, Backend backend = default_backend());
    ~ReadinessPoller();
    ReadinessPoller(const ReadinessPoller&) = delete;
    ReadinessPoller& operator=(const ReadinessPoller&) = delete;

    Backend backend() const { return backend_; }
    // Registers the descriptor for `owner` (not null). Returns its key, or 0 with errno set when
    // the system refused it.
    uint64_t add(int fd, void* owner, bool wants_read, bool wants_write);
    // Returns 0, or the errno of a refused change; makes no system call when nothing changes.
    int modify(uint64_t key, bool wants_read, bool wants_write);
    // Ends the registration; call it before the descriptor is closed. An unknown key does nothing.
    void remove(uint64_t key);
    // The owner of a live registration, else null.
    void* owner(uint64_t key) const;

    // Waits at most timeout_ms (negative = no limit). Returns 0, or the errno of a failed wait.
    // An interrupted wait (EINTR) counts as an empty wait and returns 0.
    int wait(int timeout_ms);
    // The registrations the last wait found ready (the wake descriptor is not among them).
    size_t event_count() const { return events_.size(); }
    uint64_t event_key(size_t index) const { return events_[index].key; }
    Readiness event_readiness(size_t index) const;
    bool was_woken() const { return was_woken_; }

private:
    struct Slot {
        void* owner = nullptr;  // null while free
        uint32_t generation = 0;
        int fd = -1;
        uint32_t interest = 0;  // poll() event bits asked for
    };
    struct Event {
        uint64_t key;
        uint32_t revents;  // poll() event bits; epoll's have the same values
    };

    uint32_t take_free_slot();
    int apply(int operation, uint32_t slot, uint32_t interest);
    int wait_with_epoll(int timeout_ms);
    int wait_with_poll(int timeout_ms);
    static uint64_t key_of(uint32_t slot, uint32_t generation) { return uint64_t{generation} << 32 | slot; }
    const Slot* live_slot(uint64_t key) const;

    Backend backend_;
    int epoll_fd_ = -1;
    std::vector<Slot> slots_;  // slot 0 is never used, so that no key is 0
    std::vector<uint32_t> free_slots_;
    std::vector<Event> events_;  // what the last wait reported (loop thread)
    bool was_woken_ = false;     // loop thread

    // poll() backend: the descriptors to wait on, one per slot (-1 when free) with its key, and
    // slot 0 the wake descriptor. Changes go here under the mutex; each wait copies them first, so
    // a change made during a wait never meets the kernel's write-back of that wait.
    std::mutex poll_list_mutex_;
    std::vector<pollfd> poll_list_;
    std::vector<uint64_t> poll_keys_;
    std::vector<pollfd> waiting_list_;    // loop thread
    std::vector<uint64_t> waiting_keys_;  // loop thread
};

}  // namespace platform
