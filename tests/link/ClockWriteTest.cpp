#include <gtest/gtest.h>

#include <vector>

#include "ExchangeDoubles.h"
#include "link/exchange/ExchangeThread.h"
#include "link/wire/Commands.h"
#include "link/wire/PortAccess.h"
#include "support/FakeTick.h"
#include "support/MemoryLine.h"
#include "support/RecordingPrompts.h"
#include "timesync/BoardTime.h"
#include "timesync/CivilTime.h"

namespace horalux::link {
namespace {

constexpr std::size_t kClockFrameLength = kBlockFrameOverhead + kClockBlockLength;
constexpr std::size_t kPayloadAt = kPreambleLength + 10;

std::int64_t localMs(int hour, int minute, int second, int millisecond) {
    return timesync::epochMsOf({2026, 12, 8, hour, minute, second, millisecond});
}

// The loop on the test's thread with a fake tick; the PC time a clock write was queued with
// is carried on by that tick, so when the frame is written is exact.
class ClockWriteTest : public ::testing::Test {
  protected:
    ClockWriteTest() {
        line.onWrite([this](const std::vector<std::uint8_t>& frame) {
            sendTicks.push_back(tick.nowMs());
            if (answer && test::sentFrame(frame).address != kAllBoards) {
                line.feed(test::replyHeader(1, cmd::WriteClock, 0, kClockBlockLength));
            }
        });
    }
    void runTurns(int turns) {
        for (int i = 0; i < turns && thread.runOnce(); ++i) {
        }
    }
    // The PC's local time, in epoch ms, at which the n-th frame's last byte left the port.
    double lastByteAt(std::size_t n, std::int64_t queuedMs, std::uint32_t queuedTick) const {
        return static_cast<double>(queuedMs + (sendTicks.at(n) - queuedTick)) +
               frameWireMs(kClockFrameLength, line.speed());
    }
    // The time the n-th frame's payload carries, in epoch ms.
    std::int64_t carried(std::size_t n) const {
        const std::vector<std::uint8_t> frame = line.writes().at(n);
        EXPECT_EQ(frame.size(), kClockFrameLength);
        const auto time = timesync::decodeBoardTimePayload(
            std::span(frame).subspan(kPayloadAt, kClockBlockLength));
        EXPECT_TRUE(time.has_value());
        return time ? timesync::epochMsOf(*time) : 0;
    }

    test::FakeTick tick{5000};
    test::MemoryLine line{&tick};
    test::RecordingEvents events;
    test::RecordingPrompts prompts;
    InlineMainThread mainThread;
    BoardState board;
    TNewThread thread{{line, tick, prompts, events, mainThread, board, 100}};
    std::vector<std::uint32_t> sendTicks;
    bool answer = true;
};

TEST_F(ClockWriteTest, TheFramesLastByteEndsOnTheWholeSecondItCarries) {
    struct Case {
        const char* name;
        std::uint32_t speed;
        std::int64_t queued;  // the send follows a poll of the line: 80 ms later
        std::int64_t second;  // the one carried
    };
    const Case cases[] = {
        {"half a second before the next", 9600, localMs(9, 35, 58, 500), localMs(9, 35, 59, 0)},
        {"too close to the next to make it", 9600, localMs(9, 35, 58, 900), localMs(9, 36, 0, 0)},
        {"on a whole second", 9600, localMs(9, 35, 59, 0), localMs(9, 36, 0, 0)},
        {"across midnight", 9600, localMs(23, 59, 59, 300),
         timesync::epochMsOf({2026, 12, 9, 0, 0, 0, 0})},
        {"a shorter frame at the higher speed", 115200, localMs(9, 35, 58, 900),
         localMs(9, 35, 59, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line.setSpeed(c.speed);
        sendTicks.clear();
        const std::size_t before = line.writes().size();
        const std::uint32_t queuedTick = tick.nowMs();
        ASSERT_TRUE(QueueClockWrite(thread.ring(), tick, prompts, 1, 1000, 3, c.queued));
        runTurns(20);
        ASSERT_EQ(line.writes().size(), before + 1);
        EXPECT_TRUE(thread.ring().empty());
        EXPECT_EQ(carried(before), c.second);
        // Within the tick's millisecond of the whole second.
        EXPECT_NEAR(lastByteAt(0, c.queued, queuedTick), static_cast<double>(c.second), 1.0);
    }
}

TEST_F(ClockWriteTest, ARetryCarriesTheTimeOfItsOwnSendNotOfTheFirstTry) {
    answer = false;
    const std::int64_t queued = localMs(9, 35, 58, 500);
    const std::uint32_t queuedTick = tick.nowMs();
    ASSERT_TRUE(QueueClockWrite(thread.ring(), tick, prompts, 1, 1000, 2, queued));
    runTurns(60);
    ASSERT_EQ(line.writes().size(), 2U);
    EXPECT_EQ(carried(0), localMs(9, 35, 59, 0));
    EXPECT_GT(carried(1), carried(0));
    EXPECT_NEAR(lastByteAt(1, queued, queuedTick), static_cast<double>(carried(1)), 1.0);
}

TEST_F(ClockWriteTest, AWriteToAllBoardsIsTimedTheSameAndSentOnce) {
    const std::int64_t queued = localMs(12, 0, 0, 250);
    const std::uint32_t queuedTick = tick.nowMs();
    ASSERT_TRUE(QueueClockWrite(thread.ring(), tick, prompts, kAllBoards, 1000, 3, queued));
    runTurns(20);
    ASSERT_EQ(line.writes().size(), 1U);
    EXPECT_EQ(carried(0), localMs(12, 0, 1, 0));
    EXPECT_NEAR(lastByteAt(0, queued, queuedTick), static_cast<double>(localMs(12, 0, 1, 0)), 1.0);
}

}  // namespace
}  // namespace horalux::link
