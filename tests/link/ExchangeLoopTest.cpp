#include "link/exchange/ExchangeThread.h"

#include <gtest/gtest.h>

#include <vector>

#include "ExchangeDoubles.h"
#include "link/exchange/Messages.h"
#include "link/wire/Commands.h"
#include "support/FakeTick.h"
#include "support/MemoryLine.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The loop driven turn by turn on the test's thread: an in-memory line, a fake tick that the
// line's time-outs and the post-write waits advance, and a main side that runs inline.
class ExchangeLoopTest : public ::testing::Test {
  protected:
    explicit ExchangeLoopTest(std::uint32_t start = 1000) : tick(start) {
        line.onWrite([this](const std::vector<std::uint8_t>& frame) {
            sendTicks.push_back(tick.nowMs());
            if (reply) {
                reply(frame, sendTicks.size());
            }
        });
    }

    bool queue(std::uint8_t address, std::int32_t tries, std::uint8_t param1 = 77,
               std::uint32_t interval = 1000) {
        return QueueRequest(thread.ring(), tick, prompts, address, interval, tries,
                            cmd::ReadRegister, param1, 0);
    }
    // Runs turns until `done` holds (checked after each turn) or `limit` turns have run.
    template <class Done>
    int runUntil(Done done, int limit = 1000) {
        for (int turn = 1; turn <= limit; ++turn) {
            if (!thread.runOnce()) {
                return turn;
            }
            if (done()) {
                return turn;
            }
        }
        return limit;
    }
    void runTurns(int turns) {
        runUntil([] { return false; }, turns);
    }
    // Answers each frame with a register reply carrying the register number as the value.
    void answerEveryFrame() {
        reply = [this](const std::vector<std::uint8_t>& frame, std::size_t) {
            const test::SentFrame f = test::sentFrame(frame);
            line.feed(test::replyHeader(f.address, f.command, f.param1, f.param1));
        };
    }

    test::FakeTick tick;
    test::MemoryLine line{&tick};
    test::RecordingEvents events;
    test::RecordingPrompts prompts;
    InlineMainThread mainThread;
    BoardState board;
    TNewThread thread{{line, tick, prompts, events, mainThread, board, 100}};
    std::vector<std::uint32_t> sendTicks;
    std::function<void(const std::vector<std::uint8_t>&, std::size_t)> reply;
};

TEST_F(ExchangeLoopTest, RequestsToAllBoardsOrWithNoTriesAreSentOnceWithoutReport) {
    ASSERT_TRUE(queue(255, 3));
    ASSERT_TRUE(queue(5, 0));
    runTurns(100);
    ASSERT_EQ(line.writes().size(), 2U);
    EXPECT_EQ(test::sentFrame(line.writes()[0]).address, 255);
    EXPECT_EQ(test::sentFrame(line.writes()[1]).address, 5);
    EXPECT_EQ(events.failures, 0);
    EXPECT_TRUE(thread.ring().empty());
}

TEST_F(ExchangeLoopTest, AReplyAfterTheSecondSendCompletesTheRequest) {
    reply = [this](const std::vector<std::uint8_t>&, std::size_t sends) {
        if (sends == 2) {
            line.feed(test::replyHeader(1, cmd::ReadRegister, 77, 5));
        }
    };
    ASSERT_TRUE(queue(1, 3));
    runTurns(200);
    EXPECT_EQ(line.writes().size(), 2U);
    EXPECT_TRUE(thread.ring().empty());
    EXPECT_EQ(events.failures, 0);
    EXPECT_EQ(board.snapshot().BoardCopy.modeFlags, 5);
    EXPECT_EQ(events.modes, Bytes{5});
}

TEST_F(ExchangeLoopTest, AReplyWithAnotherCodeIsDecodedButCompletesNothing) {
    reply = [this](const std::vector<std::uint8_t>&, std::size_t sends) {
        if (sends == 1) {
            line.feed(
                test::replyFrame(1, cmd::LayoutFrame, Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x06}));
        }
    };
    ASSERT_TRUE(queue(1, 2));
    runUntil([this] { return board.snapshot().UserFieldCount == 1; });
    EXPECT_EQ(board.snapshot().UserFieldTexts[0], "1");
    EXPECT_FALSE(thread.ring().empty());
    runUntil([this] { return events.failures > 0; });
    EXPECT_EQ(line.writes().size(), 2U) << "the request went on to its last try";
}

TEST_F(ExchangeLoopTest, ThreeTriesGiveThreeFramesOneIntervalApartAndOneReportInTheNextTurn) {
    ASSERT_TRUE(queue(1, 3));
    int thirdSendTurn = 0;
    int reportTurn = 0;
    for (int turn = 1; turn <= 200 && reportTurn == 0; ++turn) {
        ASSERT_TRUE(thread.runOnce());
        if (thirdSendTurn == 0 && line.writes().size() == 3) {
            thirdSendTurn = turn;
        }
        if (events.failures > 0) {
            reportTurn = turn;
        }
    }
    ASSERT_NE(thirdSendTurn, 0);
    EXPECT_EQ(reportTurn, thirdSendTurn + 1);
    ASSERT_EQ(sendTicks.size(), 3U);
    for (std::size_t i = 1; i < sendTicks.size(); ++i) {
        const std::uint32_t gap = platform::elapsedMs(sendTicks[i - 1], sendTicks[i]);
        EXPECT_GE(gap, 1000U);
        EXPECT_LT(gap, 1000U + 300U) << "sent at the first turn once due";
    }
    EXPECT_EQ(events.lastFailed.triesLeft, 0);
    EXPECT_TRUE(events.lastFailed.failed);

    runTurns(100);
    EXPECT_EQ(events.failures, 1) << "reported once; the ring waits for the main side";
    EXPECT_EQ(line.writes().size(), 3U);
    EXPECT_FALSE(thread.ring().empty());
}

TEST_F(ExchangeLoopTest, TheRetryAnswerGivesFiveMoreSendsTheFirstOneIntervalLater) {
    std::uint32_t revivedAt = 0;
    events.answerFailure = [this, &revivedAt](std::unique_ptr<BoardRequest>) {
        revivedAt = tick.nowMs();
        EXPECT_TRUE(reviveFailedRequest(thread.ring(), revivedAt));
    };
    ASSERT_TRUE(queue(1, 3));
    runUntil([this] { return events.failures == 2; });
    EXPECT_EQ(events.failures, 2);
    ASSERT_EQ(sendTicks.size(), 8U) << "three sends, then five after the retry answer";
    EXPECT_GE(platform::elapsedMs(revivedAt, sendTicks[3]), 1000U);
}

TEST_F(ExchangeLoopTest,
       TheDropAnswerAnErrorInTheFailureHandlerAndNoDecisionAllMoveOnToTheNextRequest) {
    const struct {
        std::function<void(std::unique_ptr<BoardRequest>)> answer;
        bool decides;
    } answers[] = {
        {[this](std::unique_ptr<BoardRequest> copy) { dropFailedRequest(thread, std::move(copy)); },
         true},
        // An error leaves no decision: waiting for one would stall the ring for good.
        {[](std::unique_ptr<BoardRequest>) { throw std::runtime_error("the handler failed"); },
         true},
        // An owner that does not handle failures lets the copy go undecided.
        {[](std::unique_ptr<BoardRequest>) {}, false},
    };
    std::uint8_t reg = 10;
    for (const auto& [answer, decides] : answers) {
        events.answerFailure = answer;
        events.decidesFailures = decides;
        const std::size_t sentBefore = line.writes().size();
        ASSERT_TRUE(queue(1, 1, reg));
        ASSERT_TRUE(queue(255, 1, static_cast<std::uint8_t>(reg + 1)));
        runTurns(50);
        ASSERT_EQ(line.writes().size(), sentBefore + 2);
        EXPECT_EQ(test::sentFrame(line.writes().back()).param1, reg + 1);
        EXPECT_TRUE(thread.ring().empty());
        reg = static_cast<std::uint8_t>(reg + 2);
    }
    EXPECT_EQ(events.failures, 3);
}

TEST_F(ExchangeLoopTest, ADropForARequestNoLongerFailedChangesNothing) {
    ASSERT_TRUE(queue(1, 3, 10));
    auto stale = std::make_unique<BoardRequest>(*thread.ring().current());
    stale->failed = true;
    thread.PostToWorker(WM_DROP_REQUEST, std::move(stale));
    runTurns(1);
    ASSERT_FALSE(thread.ring().empty());
    EXPECT_EQ(thread.ring().current()->param1, 10);
}

TEST_F(ExchangeLoopTest, AllOf150QueuedRequestsAreSentInOrder) {
    answerEveryFrame();
    for (int i = 0; i < 150; ++i) {
        ASSERT_TRUE(queue(1, 3, static_cast<std::uint8_t>(i)));
    }
    EXPECT_FALSE(queue(1, 3, 200));
    runUntil([this] { return thread.ring().empty(); }, 2000);
    const auto writes = line.writes();
    ASSERT_EQ(writes.size(), 150U);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(test::sentFrame(writes[i]).param1, i);
    }
    EXPECT_EQ(events.failures, 0);
    EXPECT_EQ(prompts.said(),
              std::vector<std::string>{"error: Очередь запросов переполнена, запрос не поставлен"});
}

TEST_F(ExchangeLoopTest, RingStateIsReportedOnEveryTurn) {
    runTurns(3);
    answerEveryFrame();
    ASSERT_TRUE(queue(1, 3));
    runTurns(3);
    EXPECT_EQ(events.ringStates, (std::vector<bool>{true, true, true, false, true, true}));
    // Six turn polls, the frame sent, and the seven further bytes of the reply's header.
    EXPECT_EQ(events.records, 6 + 1 + 7) << "every poll is logged, the frame sent too";
}

TEST_F(ExchangeLoopTest, LogsFramesAndPollsAsExchangeRecords) {
    ASSERT_TRUE(queue(255, 0));
    runTurns(1);
    ASSERT_EQ(line.writes().size(), 1U);
    const TStrMsg frame = makeExchangeRecord(line.writes()[0]);
    EXPECT_EQ(events.lastRecord.Text, frame.Text);
    EXPECT_EQ(events.lastRecord.Count, 109);
    line.feed({0xE0});
    runTurns(1);
    EXPECT_EQ(events.lastRecord.Text, "") << "the quiet polls of the hunt that followed";
    EXPECT_EQ(events.lastRecord.Count, 0);
}

// A PC clock that runs with the fake tick from 14:03:27.000.
class TickClock final : public platform::SystemClock {
  public:
    explicit TickClock(platform::Tick& tick) : tick_(tick) {}
    platform::LocalDateTime now() override {
        const std::uint32_t ms = 50607000 + tick_.nowMs();
        return {2026,
                12,
                7,
                static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60),
                static_cast<int>(ms / 1000 % 60),
                static_cast<int>(ms % 1000)};
    }
    std::optional<int> biasMinutes() override { return 0; }
    bool setUtc(std::int64_t) override { return false; }

  private:
    platform::Tick& tick_;
};

TEST_F(ExchangeLoopTest, ARegisterReadIsLoggedAsItsRequestThenItsReplyBothNamingTheRegister) {
    TickClock clock(tick);
    mainThread.setLocalTime(&clock, &tick);
    events.keepRecords = true;
    reply = [this](const std::vector<std::uint8_t>& frame, std::size_t) {
        const test::SentFrame f = test::sentFrame(frame);
        line.feed(test::replyHeader(f.address, f.command, f.param1, 1));
    };
    ASSERT_TRUE(queue(1, 3, 76));
    runUntil([&] { return thread.ring().empty(); });
    runTurns(2);

    std::vector<std::string> meant;
    std::int32_t last = 0;
    for (const TStrMsg& record : events.kept) {
        EXPECT_GE(record.Head.timeMs, last) << "times do not go back";
        last = record.Head.timeMs;
        if (!record.Meaning.empty()) {
            meant.push_back(
                formatLogLine(record, {.time = true, .direction = true, .meaning = true}));
        }
    }
    ASSERT_EQ(meant.size(), 2U);
    EXPECT_TRUE(meant[0].starts_with("14:03:")) << meant[0];
    EXPECT_NE(meant[0].find(" > 109 55 55 "), std::string::npos) << meant[0];
    EXPECT_TRUE(meant[0].ends_with("A2 A1 | чтение регистра 76")) << meant[0];
    EXPECT_NE(meant[1].find(" < 1 "), std::string::npos) << "the header's last byte";
    EXPECT_TRUE(meant[1].ends_with("| регистр 76 = 1")) << meant[1];
}

TEST_F(ExchangeLoopTest, The101stIdlePollWithAMasterSeenReportsASlave) {
    board.StatusFrameSeen = true;
    runTurns(100);
    EXPECT_TRUE(events.modes.empty());
    runTurns(1);
    EXPECT_EQ(events.modes, Bytes{kBoardModeSlave});
    EXPECT_FALSE(board.StatusFrameSeen.load());
    runTurns(300);
    EXPECT_EQ(events.modes.size(), 1U) << "polls with the flag clear do not count";
}

TEST_F(ExchangeLoopTest, IdlePollsCountOnlyWhileTheFlagIsSet) {
    board.StatusFrameSeen = true;
    runTurns(60);
    board.StatusFrameSeen = false;
    runTurns(60);
    board.StatusFrameSeen = true;
    runTurns(40);
    EXPECT_TRUE(events.modes.empty());
    runTurns(1);
    EXPECT_EQ(events.modes, Bytes{kBoardModeSlave}) << "the count is not reset by a clear flag";
}

TEST_F(ExchangeLoopTest, AStatusFrameStartsTheIdleCountAfresh) {
    board.StatusFrameSeen = true;
    runTurns(60);
    line.feed(test::replyFrame(1, cmd::StatusFrame, Bytes(64, 0)));
    runUntil([this] { return !events.modes.empty(); });
    ASSERT_EQ(events.modes, Bytes{kBoardModeMaster});
    runTurns(100);
    EXPECT_EQ(events.modes, Bytes{kBoardModeMaster}) << "a hundred idle polls since the frame";
    runTurns(1);
    EXPECT_EQ(events.modes, (Bytes{kBoardModeMaster, kBoardModeSlave}));
}

class ExchangeLoopWrapTest : public ExchangeLoopTest {
  protected:
    ExchangeLoopWrapTest() : ExchangeLoopTest(0xFFFFFFFFU - 500U) {}
};

TEST_F(ExchangeLoopWrapTest, RetryIntervalsHoldAcrossTheWrapOfTheTick) {
    ASSERT_TRUE(queue(1, 3));
    runUntil([this] { return events.failures > 0; });
    ASSERT_EQ(sendTicks.size(), 3U);
    EXPECT_GT(sendTicks[0], 0x80000000U) << "first send before the wrap";
    EXPECT_LT(sendTicks[1], 0x80000000U) << "second send after it";
    for (std::size_t i = 1; i < sendTicks.size(); ++i) {
        const std::uint32_t gap = platform::elapsedMs(sendTicks[i - 1], sendTicks[i]);
        EXPECT_GE(gap, 1000U);
        EXPECT_LT(gap, 1300U);
    }
}

TEST_F(ExchangeLoopTest, AVanishedDeviceGivesOneReportAndEndsTheLoop) {
    answerEveryFrame();
    ASSERT_TRUE(queue(1, 3));
    runTurns(5);
    line.setGone();
    EXPECT_FALSE(thread.runOnce());
    EXPECT_FALSE(thread.runOnce());
    EXPECT_TRUE(thread.linkDown());
    EXPECT_EQ(events.linkDowns, 1);
    EXPECT_EQ(prompts.said(), std::vector<std::string>{"error: Error reading port"});
}

TEST_F(ExchangeLoopTest, FailingPollsAreReportedOnceAndThenMeanTheLinkIsDown) {
    test::FaultyPort faulty(line);
    TNewThread failing({faulty, tick, prompts, events, mainThread, board, 100});
    faulty.failEveryRead = true;
    int turns = 0;
    while (failing.runOnce()) {
        ASSERT_LT(++turns, 100);
    }
    EXPECT_EQ(turns, kFailedPollsMeaningGone - 1);
    EXPECT_EQ(events.linkDowns, 1);
    EXPECT_EQ(prompts.said(),
              (std::vector<std::string>{"error: Error reading port", "error: Error reading port"}))
        << "one for the failing polls, one for the lost link";
}

TEST_F(ExchangeLoopTest, AFailedBlockReadIsReportedAndTellsTheMainSideTheLinkIsDown) {
    test::FaultyPort faulty(line);
    TNewThread failing({faulty, tick, prompts, events, mainThread, board, 100});
    faulty.failBlockReads = true;
    line.feed(test::replyFrame(1, cmd::ReadClock, Bytes(7, 0)));
    EXPECT_FALSE(failing.runOnce());
    EXPECT_EQ(events.linkDowns, 1);
    EXPECT_EQ(prompts.said(), std::vector<std::string>{"error: Error reading port"});
}

TEST_F(ExchangeLoopTest, AStoppedLoopTurnsNoMore) {
    answerEveryFrame();
    ASSERT_TRUE(queue(1, 3));
    thread.StopWorker();
    EXPECT_FALSE(thread.runOnce());
    EXPECT_TRUE(line.writes().empty());
    EXPECT_TRUE(events.ringStates.empty());
}

}  // namespace
}  // namespace horalux::link
