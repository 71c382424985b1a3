#include "link/MainThreadCalls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace horalux::link {
namespace {

using namespace std::chrono_literals;

// Runs one call from a worker thread; the test's thread is the main side.
struct Worker {
    Worker(MainThreadCalls& calls, std::function<void()> routine)
        : routine_(std::move(routine)), outcome(std::async(std::launch::async, [this, &calls] {
              return calls.run([this] { routine_(); }, stop.get_token());
          })) {}

    std::stop_source stop;
    std::function<void()> routine_;
    std::future<CallOutcome> outcome;
};

void waitUntilPending(MainThreadCalls& calls) {
    while (!calls.waitPending(10ms)) {
    }
}

TEST(MainThreadCalls, RunsTheWorkersRoutineOnTheDrainingThreadAndLetsTheWorkerGoOn) {
    MainThreadCalls calls;
    std::atomic<int> wakes{0};
    calls.setWakeHook([&] { ++wakes; });
    std::thread::id ranOn;
    Worker worker(calls, [&] { ranOn = std::this_thread::get_id(); });
    waitUntilPending(calls);
    EXPECT_TRUE(calls.pending());
    EXPECT_EQ(calls.drain(), 1U);
    EXPECT_EQ(worker.outcome.get(), CallOutcome::Done);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(wakes.load(), 1);
    EXPECT_FALSE(calls.pending());
}

TEST(MainThreadCalls, AStopWithdrawsACallNotYetStarted) {
    MainThreadCalls calls;
    bool ran = false;
    Worker worker(calls, [&] { ran = true; });
    waitUntilPending(calls);
    worker.stop.request_stop();
    EXPECT_EQ(worker.outcome.get(), CallOutcome::Withdrawn);
    EXPECT_FALSE(calls.pending());
    EXPECT_EQ(calls.drain(), 0U);
    EXPECT_FALSE(ran);
}

TEST(MainThreadCalls, ACallAfterTheStopIsWithdrawnAtOnce) {
    MainThreadCalls calls;
    std::stop_source stop;
    stop.request_stop();
    bool ran = false;
    EXPECT_EQ(calls.run([&] { ran = true; }, stop.get_token()), CallOutcome::Withdrawn);
    EXPECT_FALSE(calls.pending());
    EXPECT_FALSE(ran);
}

TEST(MainThreadCalls, ARoutineUnderWayWhenTheStopComesIsWaitedForToItsEnd) {
    MainThreadCalls calls;
    Worker* self = nullptr;
    bool finished = false;
    Worker worker(calls, [&] {
        self->stop.request_stop();  // the main side stops the worker from inside the call
        finished = true;
    });
    self = &worker;
    waitUntilPending(calls);
    calls.drain();
    EXPECT_EQ(worker.outcome.get(), CallOutcome::Done);
    EXPECT_TRUE(finished);
}

TEST(MainThreadCalls, AnErrorInTheRoutineIsCaughtAndReported) {
    MainThreadCalls calls;
    Worker worker(calls, [] { throw std::runtime_error("refresh failed"); });
    waitUntilPending(calls);
    EXPECT_EQ(calls.drain(), 1U);
    EXPECT_EQ(worker.outcome.get(), CallOutcome::Threw);
}

TEST(InlineMainThread, RunsAtOnceUnlessStopped) {
    InlineMainThread main;
    int runs = 0;
    std::stop_source stop;
    EXPECT_EQ(main.run([&] { ++runs; }, stop.get_token()), CallOutcome::Done);
    EXPECT_EQ(main.run([] { throw std::runtime_error("x"); }, stop.get_token()),
              CallOutcome::Threw);
    stop.request_stop();
    EXPECT_EQ(main.run([&] { ++runs; }, stop.get_token()), CallOutcome::Withdrawn);
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace horalux::link
