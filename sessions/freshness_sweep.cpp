#include "sessions/freshness_sweep.h"

#include <algorithm>

#include "sessions/ipc_object.h"

std::shared_ptr<FreshnessSweep> FreshnessSweep::shared() {
    static std::weak_ptr<FreshnessSweep> current;  // GUI thread
    std::shared_ptr<FreshnessSweep> sweep = current.lock();
    if (!sweep) {
        sweep.reset(new FreshnessSweep);
        current = sweep;
    }
    return sweep;
}

FreshnessSweep::FreshnessSweep() {
    timer_.setSingleShot(true);
    // A coarse timer may fire early, finding nothing due, and wake again for the rest.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &FreshnessSweep::sweep);
}

void FreshnessSweep::join(IPCObject& session) {
    sessions_.push_back(&session);
}

void FreshnessSweep::leave(IPCObject& session) {
    const auto found = std::find(sessions_.begin(), sessions_.end(), &session);
    if (found == sessions_.end()) return;
    if (isSweeping_) {
        *found = nullptr;
    } else {
        sessions_.erase(found);
    }
}

void FreshnessSweep::due(Clock::time_point at) {
    const Clock::duration past_grain = at.time_since_epoch() % kGrain;
    if (past_grain.count() > 0) at += kGrain - past_grain;
    if (wakeAt_ && *wakeAt_ <= at) return;
    wakeAt_ = at;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now());
    timer_.start(std::max<int>(0, static_cast<int>(wait.count())));
}

void FreshnessSweep::sweep() {
    // A slot that deletes the last session would otherwise delete the sweep under its own loop.
    const std::shared_ptr<FreshnessSweep> keep = shared_from_this();
    wakeAt_.reset();
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> next;
    isSweeping_ = true;
    // By index: a session's slots may add sessions, or remove them (see leave).
    for (size_t i = 0; i < sessions_.size(); ++i) {
        IPCObject* session = sessions_[i];
        if (!session) continue;
        const std::optional<Clock::time_point> at = session->checkFreshness(now);
        if (at && (!next || *at < *next)) next = at;
    }
    isSweeping_ = false;
    sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), nullptr), sessions_.end());
    if (next) due(*next);
}
