#include "link/exchange/MainThreadCalls.h"

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

void MainThread::postExchangeInfo(ExchangeEvents& events, const ExchangeBytes& bytes,
                                  const std::stop_token& stop) {
    // Formatted on the main side, where the receiver says whether it takes the record at all.
    run(
        [&] {
            if (events.takesExchangeInfo()) {
                TStrMsg record = makeExchangeRecord(bytes);
                readClock();
                stamp(record.Head);
                events.onExchangeInfo(record);
            }
        },
        stop);
}

namespace {

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

std::int64_t dayModulo(std::int64_t ms) {
    return (ms % kDayMs + kDayMs) % kDayMs;
}

}  // namespace

void MainThread::readClock() {
    if (clock_ == nullptr || tick_ == nullptr) {
        return;
    }
    const platform::LocalDateTime now = clock_->now();
    const std::uint32_t tick = tick_->nowMs();
    const std::int64_t dayMs =
        ((now.hour * 60LL + now.minute) * 60 + now.second) * 1000 + now.millisecond;
    const std::int64_t fresh = dayModulo(dayMs - tick);
    if (dayMsAtTickZero_ == kNoTime) {
        dayMsAtTickZero_ = fresh;
        return;
    }
    // How far the clock moved against the tick, the shorter way round the day.
    const std::int64_t moved = dayModulo(fresh - dayMsAtTickZero_ + kDayMs / 2) - kDayMs / 2;
    // Ahead never dates a record before an earlier one; behind only when the clock was set.
    if (moved > 0 || moved < -kClockSetBackMs) {
        dayMsAtTickZero_ = fresh;
    }
}

void MainThread::stamp(RecordHead& head) const {
    head.timeMs = dayMsAtTickZero_ == kNoTime
                      ? kNoTime
                      : static_cast<std::int32_t>(dayModulo(dayMsAtTickZero_ + head.tick));
}

void MainThread::postRingState(ExchangeEvents& events, bool empty, const std::stop_token& stop) {
    run([&] { events.onRingState(empty); }, stop);
}

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
    // The stop is looked at now and then rather than through a stop callback: removing a
    // callback that the stopping thread is running waits on a semaphore, and that wait has
    // hung for good in the Windows build, leaving a thread that can never be joined.
    while (entry.state == Entry::State::Pending && !stop.stop_requested()) {
        changed_.wait_for(lock, kStopLookInterval);
    }
    if (entry.state == Entry::State::Pending) {
        // Told to stop before the main side took it: withdraw it.
        std::erase(queue_, &entry);
        return CallOutcome::Withdrawn;
    }
    // A routine under way is always waited for: it uses the worker's data.
    changed_.wait(lock, [&] { return entry.state == Entry::State::Done; });
    return entry.threw ? CallOutcome::Threw : CallOutcome::Done;
}

void MainThreadCalls::postExchangeInfo(ExchangeEvents& events, const ExchangeBytes& bytes,
                                       const std::stop_token& /*stop*/) {
    std::lock_guard lock(mutex_);
    posted_.events = &events;
    posted_.bytes.insert(posted_.bytes.end(), bytes.bytes.begin(), bytes.bytes.end());
    posted_.meanings.append(bytes.meaning);
    posted_.records.push_back({.head = bytes.head,
                               .length = static_cast<std::uint32_t>(bytes.bytes.size()),
                               .meaningLength = static_cast<std::uint32_t>(bytes.meaning.size())});
    posted_.bound();
}

void MainThreadCalls::Posted::bound() {
    while (records.size() - firstRecord > kMaxPostedRecords ||
           (bytes.size() - firstByte > kMaxPostedBytes && records.size() - firstRecord > 1)) {
        firstByte += records[firstRecord].length;
        firstMeaning += records[firstRecord].meaningLength;
        ++firstRecord;
        ++dropped;
    }
    if (firstRecord > kMaxPostedRecords / 2) {
        records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(firstRecord));
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(firstByte));
        meanings.erase(0, firstMeaning);
        firstRecord = firstByte = firstMeaning = 0;
    }
}

void MainThreadCalls::postRingState(ExchangeEvents& events, bool empty,
                                    const std::stop_token& /*stop*/) {
    std::lock_guard lock(mutex_);
    posted_.events = &events;
    posted_.ringState = empty ? 1 : 0;
}

void MainThreadCalls::endBatch() {
    std::function<void()>* wake = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (batchEnded_ || posted_.empty()) {
            return;
        }
        batchEnded_ = true;
        wake = wake_ ? &wake_ : nullptr;
    }
    changed_.notify_all();
    if (wake != nullptr) {
        (*wake)();
    }
}

void MainThreadCalls::deliverPosted(std::unique_lock<std::mutex>& lock) {
    if (posted_.empty()) {
        return;
    }
    Posted batch = std::move(spare_);
    batch.clear();
    std::swap(batch, posted_);
    batchEnded_ = false;
    lock.unlock();

    ExchangeEvents& events = *batch.events;
    if (batch.dropped > 0) {
        // Older than every record delivered now.
        runGuarded([&] { events.onExchangeInfoDropped(batch.dropped); });
    }
    if (batch.firstRecord < batch.records.size()) {
        readClock();
    }
    std::size_t at = batch.firstByte;
    std::size_t meaningAt = batch.firstMeaning;
    for (std::size_t i = batch.firstRecord; i < batch.records.size(); ++i) {
        const PostedRecord& posted = batch.records[i];
        const auto bytes = std::span<const std::uint8_t>(batch.bytes).subspan(at, posted.length);
        const auto meaning =
            std::string_view(batch.meanings).substr(meaningAt, posted.meaningLength);
        at += posted.length;
        meaningAt += posted.meaningLength;
        if (events.takesExchangeInfo()) {
            fillExchangeRecord({.head = posted.head, .bytes = bytes, .meaning = meaning}, record_);
            stamp(record_.Head);
            runGuarded([&] { events.onExchangeInfo(record_); });
        }
    }
    if (batch.ringState >= 0) {
        runGuarded([&] { events.onRingState(batch.ringState == 1); });
    }
    runGuarded([&] { events.onExchangeBatchEnd(); });

    lock.lock();
    spare_ = std::move(batch);
}

std::size_t MainThreadCalls::drain() {
    std::size_t ran = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        // What the worker posted before queuing a call comes before the call.
        deliverPosted(lock);
        if (queue_.empty()) {
            break;
        }
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
    return pendingLocked();
}

bool MainThreadCalls::callPending() const {
    std::lock_guard lock(mutex_);
    return !queue_.empty();
}

bool MainThreadCalls::waitPending(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return pendingLocked(); });
}

}  // namespace horalux::link
