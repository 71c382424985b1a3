#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <type_traits>
#include <vector>

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
};

// Runs every routine at once on the calling thread: for single-threaded tests and tools.
class InlineMainThread final : public MainThread {
  public:
    CallOutcome run(RoutineRef routine, const std::stop_token& stop) override;
};

// Pending main-thread calls: the worker queues one and waits; the main side runs them from its
// own loop with drain(). The wake hook (set before the worker starts) is called on the worker
// thread each time a call is queued, so the main side can post itself an event and drain.
class MainThreadCalls final : public MainThread {
  public:
    MainThreadCalls();
    CallOutcome run(RoutineRef routine, const std::stop_token& stop) override;

    void setWakeHook(std::function<void()> hook);
    // Main thread: runs the calls queued so far, in order; returns how many ran.
    std::size_t drain();
    bool pending() const;
    // Main thread: waits up to `limit` for a call to be queued; true when one is pending.
    bool waitPending(std::chrono::milliseconds limit) const;

  private:
    struct Entry {
        RoutineRef routine;
        enum class State { Pending, Running, Done } state = State::Pending;
        bool threw = false;
    };

    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    std::vector<Entry*> queue_;
    std::function<void()> wake_;
};

}  // namespace horalux::link
