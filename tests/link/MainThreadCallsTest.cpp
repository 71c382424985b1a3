#include "link/exchange/MainThreadCalls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ExchangeDoubles.h"
#include "support/FakeSystemClock.h"
#include "support/FakeTick.h"

namespace horalux::link {
namespace {

using namespace std::chrono_literals;

ExchangeBytes read(std::span<const std::uint8_t> bytes) {
    return {.head = {.direction = LogDirection::Read}, .bytes = bytes, .meaning = {}};
}

TEST(ExchangeRecord, PrintsEachByteAsTwoUpperCaseHexDigitsAndASpace) {
    const std::uint8_t bytes[] = {0x55, 0xE0, 0x0a};
    const TStrMsg record = makeExchangeRecord(bytes);
    EXPECT_EQ(record.Text, "55 E0 0A ");
    EXPECT_EQ(record.Count, 3);
    const TStrMsg empty = makeExchangeRecord(std::span<const std::uint8_t>{});
    EXPECT_EQ(empty.Text, "");
    EXPECT_EQ(empty.Count, 0);
}

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

// Counts the records it is given and checks that each follows the one before.
struct SequenceEvents final : ExchangeEvents {
    void onExchangeInfo(const TStrMsg& record) override {
        char expected[8];
        std::snprintf(expected, sizeof expected, "%02X %02X ", (records >> 8) & 0xFF,
                      records & 0xFF);
        inOrder = inOrder && record.Text == expected;
        ++records;
    }
    void onRingState(bool empty) override {
        ++ringStatesInBatch;
        lastRingState = empty;
    }
    void onExchangeBatchEnd() override {
        mostRingStatesInABatch = std::max(mostRingStatesInABatch, ringStatesInBatch);
        ringStatesInBatch = 0;
        ++batches;
    }

    int records = 0;
    bool inOrder = true;
    int ringStatesInBatch = 0;
    int mostRingStatesInABatch = 0;
    bool lastRingState = true;
    int batches = 0;
};

// A worker posts while the test's thread drains whenever it is woken.
TEST(MainThreadCalls, PostedRecordsArriveAllInOrderAndOnlyTheLatestRingStatePerBatch) {
    MainThreadCalls calls;
    std::atomic<int> wakes{0};
    calls.setWakeHook([&] { ++wakes; });
    SequenceEvents events;
    constexpr int kRecords = 20000;
    std::stop_source stop;
    std::thread worker([&] {
        for (int i = 0; i < kRecords; ++i) {
            const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(i >> 8),
                                           static_cast<std::uint8_t>(i)};
            calls.postExchangeInfo(events, read(bytes), stop.get_token());
            calls.postRingState(events, i % 2 == 0, stop.get_token());
            if (i % 100 == 99) {
                calls.endBatch();
            }
        }
        calls.endBatch();
    });
    while (events.records < kRecords) {
        calls.waitPending(10ms);
        calls.drain();
    }
    worker.join();
    EXPECT_EQ(events.records, kRecords);
    EXPECT_TRUE(events.inOrder);
    EXPECT_EQ(events.mostRingStatesInABatch, 1);
    EXPECT_FALSE(events.lastRingState) << "the latest one, posted with the last record";
    EXPECT_LE(wakes.load(), kRecords / 100) << "woken per batch, not per record";
}

TEST(MainThreadCalls, WhatWasPostedBeforeACallIsDeliveredBeforeItRuns) {
    MainThreadCalls calls;
    test::RecordingEvents events;
    std::stop_source stop;
    int recordsSeenByCall = -1;
    const std::uint8_t byte = 0x41;
    std::future<CallOutcome> outcome = std::async(std::launch::async, [&] {
        calls.postExchangeInfo(events, read({&byte, 1}), stop.get_token());
        calls.postRingState(events, true, stop.get_token());
        return calls.run([&] { recordsSeenByCall = events.records; }, stop.get_token());
    });
    waitUntilPending(calls);
    EXPECT_EQ(calls.drain(), 1U);
    EXPECT_EQ(outcome.get(), CallOutcome::Done);
    EXPECT_EQ(recordsSeenByCall, 1);
    EXPECT_EQ(events.lastRecord.Text, "41 ");
    EXPECT_EQ(events.ringStates, std::vector<bool>{true});
}

TEST(MainThreadCalls, PostsWakeTheMainSideOnlyWhenTheirBatchEnds) {
    MainThreadCalls calls;
    int wakes = 0;
    calls.setWakeHook([&] { ++wakes; });
    test::RecordingEvents events;
    calls.postRingState(events, true, {});
    EXPECT_FALSE(calls.pending());
    calls.endBatch();
    calls.postRingState(events, false, {});
    calls.endBatch();  // the main side has not drained yet: no second wake
    EXPECT_TRUE(calls.pending());
    EXPECT_EQ(wakes, 1);
    calls.drain();
    EXPECT_EQ(events.ringStates, std::vector<bool>{false});
    calls.endBatch();  // nothing posted since
    EXPECT_EQ(wakes, 1);
}

TEST(MainThreadCalls, RecordsReachOnlyAReceiverThatTakesThemAndTheRingStateAlwaysDoes) {
    const std::uint8_t byte = 0x5A;
    const auto bytes = std::span<const std::uint8_t>(&byte, 1);
    for (const bool takes : {false, true}) {
        SCOPED_TRACE(takes);
        test::RecordingEvents events;
        events.takesRecords = takes;
        MainThreadCalls posted;
        posted.postExchangeInfo(events, read(bytes), {});
        posted.postRingState(events, true, {});
        posted.endBatch();
        posted.drain();
        InlineMainThread inline_;
        inline_.postExchangeInfo(events, read(bytes), {});
        EXPECT_EQ(events.records, takes ? 2 : 0);
        EXPECT_EQ(events.ringStates, std::vector<bool>{true});
    }
}

// Keeps what it is given, and when it heard of dropped records.
struct KeepingEvents final : ExchangeEvents {
    void onExchangeInfo(const TStrMsg& record) override { texts.push_back(record.Text); }
    void onExchangeInfoDropped(std::size_t count) override {
        drops.push_back({count, texts.size()});
    }

    std::vector<std::string> texts;
    std::vector<std::pair<std::size_t, std::size_t>> drops;  // count, records delivered before
};

// A main side blocked in its output (a paused pager) while a line floods: the queue stays
// bounded, the newest records come through in order and the drop is told once, before them.
TEST(MainThreadCalls, AMainSideThatFallsBehindGetsTheNewestRecordsAndHearsOnceOfTheRest) {
    const auto counter = [](std::size_t i) {
        char text[8];
        std::snprintf(text, sizeof text, "%02zX %02zX ", (i >> 8) & 0xFF, i & 0xFF);
        return std::string(text);
    };
    MainThreadCalls calls;
    KeepingEvents events;
    constexpr std::size_t kOver = 1500;
    constexpr std::size_t kPosted = kMaxPostedRecords + kOver;
    for (std::size_t i = 0; i < kPosted; ++i) {
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(i >> 8),
                                       static_cast<std::uint8_t>(i)};
        calls.postExchangeInfo(events, read(bytes), {});
    }
    calls.endBatch();
    calls.drain();
    ASSERT_EQ(events.texts.size(), kMaxPostedRecords);
    EXPECT_EQ(events.drops, (std::vector<std::pair<std::size_t, std::size_t>>{{kOver, 0}}));
    bool inOrder = true;
    for (std::size_t i = 0; i < events.texts.size(); ++i) {
        inOrder = inOrder && events.texts[i] == counter(kOver + i);
    }
    EXPECT_TRUE(inOrder) << "the oldest were dropped, the rest kept in order";

    const std::uint8_t byte = 0x41;
    calls.postExchangeInfo(events, read({&byte, 1}), {});
    calls.endBatch();
    calls.drain();
    EXPECT_EQ(events.texts.back(), "41 ");
    EXPECT_EQ(events.drops.size(), 1U) << "told once, not again for a queue within bounds";

    // Few but large records are bounded by their bytes.
    KeepingEvents large;
    const std::vector<std::uint8_t> block(kMaxPostedBytes / 3, 0x55);
    for (int i = 0; i < 5; ++i) {
        calls.postExchangeInfo(large, read(block), {});
    }
    calls.endBatch();
    calls.drain();
    EXPECT_EQ(large.texts.size(), 3U);
    EXPECT_EQ(large.drops, (std::vector<std::pair<std::size_t, std::size_t>>{{2, 0}}));
}

TEST(MainThreadLocalTime, ALogsTimesFollowItsRecordsAndGoBackOnlyWhenThePcClockIsSetBack) {
    test::FakeTick tick(5000);
    test::FakeSystemClock clock;
    InlineMainThread main;
    main.setLocalTime(&clock, &tick);
    test::RecordingEvents events;
    std::stop_source stop;
    struct Step {
        const char* what;
        std::uint32_t recordTick;  // when the worker made the record
        int clockMs;               // the PC clock's time of day when the main side took it
        const char* logged;
    };
    const Step steps[] = {
        {"a frame's header", 5000, 38206640, "10:36:46.640"},
        // Made after the header; the PC clock, read a moment later, reads a millisecond less.
        {"its data block", 5000, 38206639, "10:36:46.640"},
        {"a reading a little behind again", 5001, 38206639, "10:36:46.641"},
        {"a reading ahead is taken", 5002, 38206650, "10:36:46.650"},
        {"the PC clock set back an hour", 5003, 38206651 - 3600000, "09:36:46.651"},
        {"the PC clock set ahead", 5010, 38206658 - 3600000 + 60000, "09:37:46.658"},
    };
    const std::uint8_t byte = 0x41;
    for (const Step& s : steps) {
        tick.set(s.recordTick);
        const ExchangeBytes bytes{.head = {.direction = LogDirection::Read, .tick = s.recordTick},
                                  .bytes = {&byte, 1},
                                  .meaning = {}};
        clock.time = {2026,
                      12,
                      7,
                      s.clockMs / 3600000,
                      s.clockMs / 60000 % 60,
                      s.clockMs / 1000 % 60,
                      s.clockMs % 1000};
        main.postExchangeInfo(events, bytes, stop.get_token());
        EXPECT_EQ(formatLogLine(events.lastRecord, {.time = true}),
                  std::string(s.logged) + " 1 41 ")
            << s.what;
    }
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
