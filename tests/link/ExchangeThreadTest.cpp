#include "link/exchange/ExchangeThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ExchangeDoubles.h"
#include "link/exchange/Messages.h"
#include "link/wire/Commands.h"
#include "platform/PosixSerialPort.h"
#include "support/BoardProcess.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

using namespace std::chrono_literals;

// The exchange thread for real, over the stand-in board's pseudo-terminal. The test's thread is
// the main side: it queues requests and drains the thread's calls.
class ExchangeThreadTest : public ::testing::Test {
  protected:
    void connect(const std::vector<std::string>& boardArgs) {
        boardProcess = std::make_unique<test::BoardProcess>(boardArgs);
        port = platform::PosixSerialPort::open(boardProcess->devicePath(), 9600);
        ASSERT_NE(port, nullptr);
        thread = std::make_unique<TNewThread>(
            ExchangeContext{*port, tick, prompts, events, calls, board, 20});
        thread->Start();
    }
    void TearDown() override {
        if (thread) {
            thread->StopWorker();
            thread->join();
        }
    }
    bool queueRead(std::uint8_t reg, std::int32_t tries = 3, std::uint32_t interval = 1000) {
        return QueueRequest(thread->ring(), tick, prompts, 1, interval, tries, cmd::ReadRegister,
                            reg, 0);
    }
    // Serves the thread's calls until `done` holds; false when it did not within the limit
    // (a limit far beyond what any step takes, so it only ends a test that would hang).
    template <class Done>
    bool serveUntil(Done done, std::chrono::seconds limit = 30s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            calls.waitPending(10ms);
            calls.drain();
        }
        return true;
    }

    std::unique_ptr<test::BoardProcess> boardProcess;
    std::unique_ptr<platform::SerialPort> port;
    platform::MonotonicTick tick;
    test::RecordingPrompts prompts;
    test::RecordingEvents events;
    MainThreadCalls calls;
    BoardState board;
    std::unique_ptr<TNewThread> thread;
};

TEST_F(ExchangeThreadTest, ABatchOfReadsFillsTheBoardCopy) {
    connect({});
    for (std::uint8_t reg = 216; reg <= 223; ++reg) {
        ASSERT_TRUE(queueRead(reg));
    }
    ASSERT_TRUE(queueRead(77));
    ASSERT_TRUE(serveUntil([&] { return thread->ring().empty(); }));
    EXPECT_EQ(events.failures, 0);
    EXPECT_NE(board.snapshot().BoardCopy.displayFormats[0], 0) << "the board shows a view";
    ASSERT_TRUE(serveUntil([&] { return !events.ringStates.empty() && events.ringStates.back(); }));
    EXPECT_EQ(events.modes.size(), 1U) << "the mode register was reported";
}

TEST_F(ExchangeThreadTest, AnIgnoredRequestIsSentAgainAndThenCompletes) {
    connect({"--drop-first", "1"});
    ASSERT_TRUE(queueRead(55, 3, 300));
    ASSERT_TRUE(serveUntil([&] { return thread->ring().empty(); }));
    EXPECT_EQ(events.failures, 0);
    EXPECT_EQ(events.framesSent, 2);
}

TEST_F(ExchangeThreadTest, AnUnansweredRequestIsReportedOnceAndDroppedOnRequest) {
    connect({"--mute", "1"});
    events.answerFailure = [this](std::unique_ptr<BoardRequest> copy) {
        dropFailedRequest(*thread, std::move(copy));
    };
    ASSERT_TRUE(queueRead(55, 2, 200));
    ASSERT_TRUE(serveUntil([&] { return events.failures == 1 && thread->ring().empty(); }));
    EXPECT_EQ(events.lastFailed.param1, 55);
    EXPECT_EQ(events.failures, 1);
    EXPECT_EQ(events.framesSent, 2);
}

TEST_F(ExchangeThreadTest, StatusFramesOfAMasterAreDecodedAndShown) {
    connect({"--master"});
    ASSERT_TRUE(serveUntil([&] { return events.boardRefreshes > 0; }));
    EXPECT_EQ(events.modes.front(), kBoardModeMaster);
    EXPECT_TRUE(board.StatusFrameSeen.load());
}

TEST_F(ExchangeThreadTest, StopsWhileHuntingInEndlessNoise) {
    connect({"--noise", "1"});
    ASSERT_TRUE(serveUntil([&] { return events.records > 200; }));
    thread->StopWorker();
    ASSERT_TRUE(serveUntil([&] { return thread->finished(); }));
    thread->join();
}

TEST_F(ExchangeThreadTest, RequestsGetThroughALineThatNeverGoesQuiet) {
    // A few stray bytes every 50 ms: no poll ever comes back empty, so a hunt never ends by
    // itself and must give way to the requests.
    connect({"--noise", "50"});
    ASSERT_TRUE(serveUntil([&] { return events.records > 20; }));
    for (std::uint8_t reg = 216; reg <= 219; ++reg) {
        ASSERT_TRUE(queueRead(reg));
    }
    ASSERT_TRUE(serveUntil([&] { return thread->ring().empty(); }));
    EXPECT_EQ(events.failures, 0);
    EXPECT_GE(events.framesSent, 4);
}

TEST_F(ExchangeThreadTest, StopsWhileWaitingForAMainSideThatNoLongerServesIt) {
    connect({"--master"});  // the first status frame makes the thread call the main side
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!calls.callPending() && std::chrono::steady_clock::now() < deadline) {
        calls.waitPending(10ms);
    }
    ASSERT_TRUE(calls.callPending());
    thread->StopWorker();
    thread->join();  // the pending call is withdrawn, not waited for
    EXPECT_TRUE(thread->finished());
    EXPECT_FALSE(calls.callPending());
}

TEST_F(ExchangeThreadTest, AHangUpGivesOneReportAndALinkDown) {
    connect({"--hangup-after", "1"});
    ASSERT_TRUE(queueRead(55));
    ASSERT_TRUE(serveUntil([&] { return thread->finished(); }));
    EXPECT_TRUE(thread->linkDown());
    EXPECT_EQ(events.linkDowns, 1);
    EXPECT_EQ(prompts.said(), std::vector<std::string>{"error: Error reading port"});
}

}  // namespace
}  // namespace horalux::link
