#include "link/scan/BoardScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stop_token>
#include <vector>

#include "board/Board.h"
#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "link/wire/RequestParser.h"
#include "support/FakeTick.h"
#include "support/ForwardingPort.h"
#include "support/MemoryLine.h"
#include "timesync/CivilTime.h"

namespace horalux::link {
namespace {

using test::FakeTick;
using test::MemoryLine;

const platform::LocalDateTime kPcTime{2026, 12, 7, 10, 30, 15, 400};

// The PC clock, running with the fake tick as the boards' clocks do.
class TickClock final : public platform::SystemClock {
  public:
    explicit TickClock(platform::Tick& tick) : tick_(tick), start_(tick.nowMs()) {}
    platform::LocalDateTime now() override {
        return timesync::dateTimeOfEpochMs(timesync::epochMsOf(kPcTime) +
                                           platform::elapsedMs(start_, tick_.nowMs()));
    }
    std::optional<int> biasMinutes() override { return 0; }
    bool setUtc(std::int64_t) override { return false; }

  private:
    platform::Tick& tick_;
    std::uint32_t start_;
};

// An in-memory line on which replies can be held for a time: they arrive when the fake tick
// reaches it, and a wait on the empty line ends then.
class TimedLine final : public test::ForwardingPort {
  public:
    TimedLine(MemoryLine& line, FakeTick& tick) : ForwardingPort(line), line_(line), tick_(tick) {}

    void holdUntil(std::uint32_t dueMs, std::vector<std::uint8_t> reply) {
        held_.emplace_back(dueMs, std::move(reply));
    }

    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        release();
        return ForwardingPort::read(buffer, length);
    }
    platform::IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override {
        release();
        return ForwardingPort::readSome(buffer, capacity);
    }
    platform::IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                      std::uint32_t waitMs) override {
        release();
        if (line_.pending() == 0 && !held_.empty()) {
            const std::uint32_t until = held_.front().first - tick_.nowMs();
            if (until <= waitMs) {
                tick_.advance(until);
                release();
                return ForwardingPort::readSome(buffer, capacity);
            }
        }
        return ForwardingPort::readSomeWithin(buffer, capacity, waitMs);
    }

  private:
    void release() {
        while (!held_.empty() &&
               static_cast<std::int32_t>(held_.front().first - tick_.nowMs()) <= 0) {
            line_.feed(held_.front().second);
            held_.pop_front();
        }
    }

    MemoryLine& line_;
    FakeTick& tick_;
    std::deque<std::pair<std::uint32_t, std::vector<std::uint8_t>>> held_;
};

// Stand-in boards on an in-memory line, answering with the stand-in board's own logic, and only
// to frames sent at their speed. `lateBy` holds a probe's reply back until that many more frames
// were written, `lateByMs` for that long, as a slow board would answer.
class BoardsOnLine {
  public:
    BoardsOnLine(std::uint32_t speed, std::vector<std::uint8_t> addresses, int clockAheadS = 0)
        : clock(tick), speed_(speed), line_(&tick), timed_(line_, tick) {
        const platform::LocalDateTime boardTime =
            timesync::dateTimeOfEpochMs(timesync::epochMsOf(kPcTime) + clockAheadS * 1000LL);
        for (const std::uint8_t a : addresses) {
            boards_.emplace_back(a, boardTime, tick.nowMs());
        }
        line_.onWrite([this](const std::vector<std::uint8_t>& frame) { onFrame(frame); });
    }

    void makeMaster(std::size_t board) { boards_[board].setMaster(true); }
    void setLateBy(int frames) { lateBy_ = frames; }
    void setLateByMs(std::uint32_t ms) { lateByMs_ = ms; }
    // When `probed` is probed, register-76 replies "from" each of `from` come too, as an echo
    // or a misbehaving board sends them.
    void echoOnProbe(std::uint8_t probed, std::vector<std::uint8_t> from) {
        echoAt_ = probed;
        echoFrom_ = std::move(from);
    }
    platform::SerialPort& line() { return timed_; }
    std::size_t framesWritten() const { return line_.writes().size(); }

    FakeTick tick;
    TickClock clock;

  private:
    void onFrame(const std::vector<std::uint8_t>& frame) {
        // Replies held back go out with a later frame.
        while (!held_.empty() && held_.front().first <= 0) {
            line_.feed(held_.front().second);
            held_.pop_front();
        }
        for (auto& h : held_) {
            --h.first;
        }
        if (line_.speed() != speed_) {
            return;  // sampled at another rate: no request in it
        }
        for (const std::uint8_t b : frame) {
            if (auto request = parser_.push(b)) {
                if (request->address == echoAt_ && request->param1 == 76) {
                    for (const std::uint8_t from : echoFrom_) {
                        const auto echo = makeReplyHeader({from, 0, cmd::ReadRegister, 76, from});
                        line_.feed(std::vector<std::uint8_t>(echo.begin(), echo.end()));
                    }
                }
                for (board::Board& board : boards_) {
                    const board::Answer answer = board.handle(*request, tick.nowMs());
                    if (!answer.reply) {
                        continue;
                    }
                    if (lateBy_ > 0 && request->param1 == 76) {
                        held_.emplace_back(lateBy_ - 1, *answer.reply);
                    } else if (lateByMs_ > 0 && request->param1 == 76) {
                        timed_.holdUntil(tick.nowMs() + lateByMs_, *answer.reply);
                    } else {
                        line_.feed(*answer.reply);
                    }
                }
            }
        }
    }

    std::uint32_t speed_;
    MemoryLine line_;
    TimedLine timed_;
    RequestParser parser_;
    std::vector<board::Board> boards_;
    int lateBy_ = 0;
    std::uint32_t lateByMs_ = 0;
    std::optional<std::uint8_t> echoAt_;
    std::vector<std::uint8_t> echoFrom_;
    std::deque<std::pair<int, std::vector<std::uint8_t>>> held_;
};

std::vector<std::uint8_t> addressesOf(const ScanResult& result) {
    std::vector<std::uint8_t> out;
    for (const FoundBoard& b : result.boards) {
        out.push_back(b.address);
    }
    return out;
}

TEST(BoardScan, FindsExactlyTheBoardsAtTheirOwnSpeedWithModeAndClockDifference) {
    BoardsOnLine line(115200, {77, 3, 200}, 5);
    line.makeMaster(0);
    BoardScan scan(line.line(), line.tick, line.clock, ScanOptions{});
    std::vector<FoundBoard> reported;
    const ScanResult result =
        scan.run({}, {.found = [&](const FoundBoard& b) { reported.push_back(b); }});

    EXPECT_TRUE(result.failure.empty());
    EXPECT_FALSE(result.stopped);
    ASSERT_EQ(addressesOf(result), (std::vector<std::uint8_t>{3, 77, 200}));
    for (const FoundBoard& b : result.boards) {
        EXPECT_EQ(b.speed, 115200U);
        EXPECT_EQ(b.master(), b.address == 77) << int(b.address);
        EXPECT_EQ(b.clockDifferenceS, 5) << int(b.address);
    }
    EXPECT_EQ(reported, result.boards);
}

TEST(BoardScan, AReplyThatComesDuringALaterProbeStillFindsItsBoard) {
    BoardsOnLine line(9600, {10, 11});
    line.setLateBy(2);
    ScanOptions options;
    options.speeds = {9600};
    options.firstAddress = 5;
    options.lastAddress = 20;
    BoardScan scan(line.line(), line.tick, line.clock, options);
    const ScanResult result = scan.run({});
    EXPECT_EQ(addressesOf(result), (std::vector<std::uint8_t>{10, 11}));
}

TEST(BoardScan, ABoardAtTheEndOfTheRangeAnsweringWithinTheReplyTimeOutIsFound) {
    for (const std::uint32_t lateMs : {400U, kScanReplyTimeoutMs - 50}) {
        BoardsOnLine line(9600, {254});
        line.setLateByMs(lateMs);
        BoardScan scan(line.line(), line.tick, line.clock,
                       ScanOptions{.speeds = {9600, 115200}, .firstAddress = 250});
        const ScanResult result = scan.run({});
        ASSERT_EQ(addressesOf(result), std::vector<std::uint8_t>{254}) << lateMs;
        EXPECT_EQ(result.boards[0].speed, 9600U);
        EXPECT_TRUE(result.boards[0].modeFlags.has_value());
    }
}

TEST(BoardScan, RepliesFromAddressesThatConfirmNothingListNoBoard) {
    BoardsOnLine line(9600, {15});
    line.echoOnProbe(20, {9, 12});
    BoardScan scan(line.line(), line.tick, line.clock,
                   ScanOptions{.speeds = {9600}, .firstAddress = 1, .lastAddress = 30});
    std::vector<FoundBoard> reported;
    const ScanResult result =
        scan.run({}, {.found = [&](const FoundBoard& b) { reported.push_back(b); }});
    EXPECT_EQ(addressesOf(result), std::vector<std::uint8_t>{15});
    EXPECT_EQ(reported, result.boards);
}

TEST(BoardScan, AStopEndsItWithinOneRequestKeepingTheBoardsFoundSoFar) {
    BoardsOnLine line(115200, {3, 77, 200});
    BoardScan scan(line.line(), line.tick, line.clock, ScanOptions{.speeds = {115200}});
    std::stop_source stop;
    std::size_t framesAtStop = 0;
    const ScanResult result = scan.run(stop.get_token(), {.progress = [&](const ScanProgress& p) {
                                           if (p.address == 100 && !stop.stop_requested()) {
                                               stop.request_stop();
                                               framesAtStop = line.framesWritten();
                                           }
                                       }});
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(addressesOf(result), (std::vector<std::uint8_t>{3, 77}));
    EXPECT_EQ(line.framesWritten(), framesAtStop) << "not one more frame after the stop";
}

// The probes' pace is the protocol's: an empty address costs the frame's wire time, the pause
// and the reply wait, and no byte time-out on top.
TEST(BoardScan, AWholeSweepTakesTheProtocolsTimeAndReportsEachProbe) {
    struct Case {
        std::uint32_t speed;
        std::uint32_t delayMs;
    };
    for (const Case c : {Case{9600, 100}, Case{115200, 100}, Case{115200, 0}}) {
        BoardsOnLine line(c.speed, {3, 77, 200});
        BoardScan scan(line.line(), line.tick, line.clock,
                       ScanOptions{.speeds = {c.speed}, .delayTimeMs = c.delayMs});
        std::vector<ScanProgress> progress;
        const std::uint32_t t0 = line.tick.nowMs();
        const ScanResult result =
            scan.run({}, {.progress = [&](const ScanProgress& p) { progress.push_back(p); }});
        const double took = platform::elapsedMs(t0, line.tick.nowMs());
        const double bound = 254 * probeBoundMs(c.speed, c.delayMs);
        ASSERT_EQ(result.boards.size(), 3U);
        // The three boards' mode and clock reads come on top of the probes, and the last probe
        // waits out the reply time-out.
        const double followUps = 3 * 2 * probeBoundMs(c.speed, c.delayMs);
        EXPECT_LE(took, 1.1 * bound + followUps + kScanReplyTimeoutMs)
            << c.speed << " " << c.delayMs;
        ASSERT_EQ(progress.size(), 254U);
        EXPECT_EQ(progress.front().probesTotal, 254U);
        EXPECT_NEAR(progress.front().msLeft, bound, 1.0);
        EXPECT_EQ(progress.back().address, 254);
        EXPECT_EQ(progress.back().found, 3U);
    }
}

TEST(BoardScan, AddressesAreWrittenAsInTheAddressList) {
    EXPECT_EQ(boardAddressText(10), "$0A/10");
    EXPECT_EQ(boardAddressText(77), "$4D/77");
    EXPECT_EQ(boardAddressText(0), "$00/0");
}

}  // namespace
}  // namespace horalux::link
