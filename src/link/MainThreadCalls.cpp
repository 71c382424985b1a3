#include "link/MainThreadCalls.h"

#include <algorithm>
#include <exception>

namespace horalux::link {
namespace {

CallOutcome runGuarded(RoutineRef routine) {
    try {
        routine();
        return CallOutcome::Done;
    } catch (...) {
        return CallOutcome::Threw;
    }
}

}  // namespace

CallOutcome InlineMainThread::run(RoutineRef routine, const std::stop_token& stop) {
    if (stop.stop_requested()) {
        return CallOutcome::Withdrawn;
    }
    return runGuarded(routine);
}

MainThreadCalls::MainThreadCalls() {
    // One worker queues one call at a time; the room keeps queueing free of allocation.
    queue_.reserve(4);
}

void MainThreadCalls::setWakeHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(hook);
}

CallOutcome MainThreadCalls::run(RoutineRef routine, const std::stop_token& stop) {
    Entry entry{routine};
    std::function<void()>* wake = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (stop.stop_requested()) {
            return CallOutcome::Withdrawn;
        }
        queue_.push_back(&entry);
        wake = wake_ ? &wake_ : nullptr;
    }
    changed_.notify_all();
    if (wake != nullptr) {
        (*wake)();
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, stop, [&] { return entry.state == Entry::State::Done; });
    if (entry.state == Entry::State::Pending) {
        // Told to stop before the main side took it: withdraw it.
        std::erase(queue_, &entry);
        return CallOutcome::Withdrawn;
    }
    // A routine under way is always waited for: it uses the worker's data.
    changed_.wait(lock, [&] { return entry.state == Entry::State::Done; });
    return entry.threw ? CallOutcome::Threw : CallOutcome::Done;
}

std::size_t MainThreadCalls::drain() {
    std::size_t ran = 0;
    std::unique_lock lock(mutex_);
    while (!queue_.empty()) {
        Entry* entry = queue_.front();
        queue_.erase(queue_.begin());
        entry->state = Entry::State::Running;
        lock.unlock();
        const bool threw = runGuarded(entry->routine) == CallOutcome::Threw;
        lock.lock();
        entry->threw = threw;
        entry->state = Entry::State::Done;
        ++ran;
        changed_.notify_all();
    }
    return ran;
}

bool MainThreadCalls::pending() const {
    std::lock_guard lock(mutex_);
    return !queue_.empty();
}

bool MainThreadCalls::waitPending(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return !queue_.empty(); });
}

}  // namespace horalux::link
