#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <type_traits>
#include <vector>

#include "link/exchange/ExchangeEvents.h"
#include "link/exchange/ExchangeRecord.h"
#include "platform/SystemClock.h"
#include "platform/Tick.h"

namespace horalux::link {

// A borrowed callable: no allocation, valid while the callable it refers to lives.
class RoutineRef {
  public:
    // A temporary routine lives until the end of the full expression that made it, which
    // outlasts the call it is passed to.
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, RoutineRef>)
        RoutineRef(F&& routine)  // NOLINT(google-explicit-constructor): built at every call site
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(routine)))),
          invoke_([](void* object) { (*static_cast<std::remove_reference_t<F>*>(object))(); }) {}

    void operator()() const { invoke_(object_); }

  private:
    void* object_;
    void (*invoke_)(void*);
};

enum class CallOutcome {
    Done,       // the routine ran to its end
    Threw,      // the routine raised an error; it was caught and dropped
    Withdrawn,  // the worker was told to stop before the routine started; it never runs
};

// Runs a routine on the main thread and returns when it has finished. The worker's only way to
// reach the main side; the Qt windows, the command-line companion and the tests each supply one.
class MainThread {
  public:
    virtual ~MainThread() = default;
    // Waits until the routine has run. When `stop` is requested before the routine started, the
    // call is withdrawn; a routine already running is always waited for.
    virtual CallOutcome run(RoutineRef routine, const std::stop_token& stop) = 0;

    // What the main side only needs to learn about, handed over without waiting: exchange-log
    // records (all of them, in order) and ring states (only the latest one counts). The
    // defaults deliver at once through run().
    virtual void postExchangeInfo(ExchangeEvents& events, const ExchangeBytes& bytes,
                                  const std::stop_token& stop);
    virtual void postRingState(ExchangeEvents& events, bool empty, const std::stop_token& stop);
    // Ends a batch of posts: the main side is woken once if anything is waiting for it.
    virtual void endBatch() {}

    // The PC clock and the tick the records' local times are read from; without them records
    // carry kNoTime. Set before the worker starts.
    void setLocalTime(platform::SystemClock* clock, platform::Tick* tick) {
        clock_ = clock;
        tick_ = tick;
    }

    // A PC clock found this much behind where the tick puts it has been set back; less is the
    // two clocks' disagreement in reading (each to the whole millisecond, one after the other).
    static constexpr std::int64_t kClockSetBackMs = 1000;

  protected:
    // Main side, once per delivery: reads the clock and, only when it was set, takes the local
    // time anew. Records are timed by the tick the worker took as it made them, from that one
    // reading, so a log's times follow the order of its records: a fresh reading a millisecond
    // behind the last would otherwise date later bytes before earlier ones.
    void readClock();
    // The local time of day of the head's tick.
    void stamp(RecordHead& head) const;

  private:
    platform::SystemClock* clock_ = nullptr;
    platform::Tick* tick_ = nullptr;
    // The local time of day at tick 0, in milliseconds, or kNoTime before the clock was read.
    std::int64_t dayMsAtTickZero_ = kNoTime;
};

// Runs every routine at once on the calling thread: for single-threaded tests and tools.
class InlineMainThread final : public MainThread {
  public:
    CallOutcome run(RoutineRef routine, const std::stop_token& stop) override;
};

// Posted records a main side that does not drain (its output blocked) can fall behind by; past
// either bound the oldest records are dropped. Far more than a 10,000-line log shows.
inline constexpr std::size_t kMaxPostedRecords = 20000;
inline constexpr std::size_t kMaxPostedBytes = 4 * 1024 * 1024;

// Pending main-thread calls: the worker queues one and waits; the main side runs them from its
// own loop with drain(). Posted records and ring states wait in a queue of their own that the
// worker never waits on; it is bounded (see kMaxPostedRecords), while calls are never dropped. The
// wake hook (set before the worker starts) is called on the worker thread each time a call is
// queued and once per ended batch of posts, so the main side can post itself an event and drain.
class MainThreadCalls final : public MainThread {
  public:
    // How soon a worker waiting in a call notices that it was told to stop.
    static constexpr std::chrono::milliseconds kStopLookInterval{10};

    MainThreadCalls();
    CallOutcome run(RoutineRef routine, const std::stop_token& stop) override;
    void postExchangeInfo(ExchangeEvents& events, const ExchangeBytes& bytes,
                          const std::stop_token& stop) override;
    void postRingState(ExchangeEvents& events, bool empty, const std::stop_token& stop) override;
    void endBatch() override;

    void setWakeHook(std::function<void()> hook);
    // Main thread: delivers what was posted and runs the calls queued so far, in the order the
    // worker made them (the posts before a call are delivered before it runs): each record,
    // then the latest ring state, then onExchangeBatchEnd. Returns how many calls ran. Event
    // handlers that run a nested event loop would see later records before earlier ones end.
    std::size_t drain();
    // Calls queued or posts of an ended batch waiting.
    bool pending() const;
    // A worker waits in a call that has not been run yet.
    bool callPending() const;
    // Main thread: waits up to `limit` for something to drain; true when something is pending.
    bool waitPending(std::chrono::milliseconds limit) const;

  private:
    struct Entry {
        RoutineRef routine;
        enum class State { Pending, Running, Done } state = State::Pending;
        bool threw = false;
    };
    struct PostedRecord {
        RecordHead head;
        std::uint32_t length = 0;
        std::uint32_t meaningLength = 0;
    };
    // Posted records as one byte run and one meaning run plus what each record holds of them,
    // so posting allocates nothing once the buffers have grown. Dropped records are skipped by
    // the first* marks and cut off the front now and then, so a drop costs no move of the rest.
    struct Posted {
        ExchangeEvents* events = nullptr;
        std::vector<std::uint8_t> bytes;
        std::string meanings;
        std::vector<PostedRecord> records;
        std::size_t firstRecord = 0;
        std::size_t firstByte = 0;
        std::size_t firstMeaning = 0;
        std::size_t dropped = 0;  // records dropped since the main side last took the batch
        int ringState = -1;       // -1: none posted, else 0 or 1
        bool empty() const {
            return firstRecord == records.size() && ringState < 0 && dropped == 0;
        }
        void clear() {
            bytes.clear();
            meanings.clear();
            records.clear();
            firstRecord = firstByte = firstMeaning = dropped = 0;
            ringState = -1;
        }
        // Drops the oldest records until the queue is within its bounds again.
        void bound();
    };

    bool pendingLocked() const { return !queue_.empty() || (batchEnded_ && !posted_.empty()); }
    // Takes the posted batch, delivers it with the lock released, and locks again.
    void deliverPosted(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Entry*> queue_;
    std::function<void()> wake_;
    Posted posted_;
    Posted spare_;             // the buffers of the batch delivered last, kept for their room
    bool batchEnded_ = false;  // the main side was woken for what is posted
    TStrMsg record_;           // main side: the record being delivered, reused
};

}  // namespace horalux::link
