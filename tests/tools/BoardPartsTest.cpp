#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/BoardClock.h"
#include "board/BoardOptions.h"
#include "board/Faults.h"
#include "board/Wire.h"

namespace horalux::board {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::variant<BoardOptions, std::string> parse(std::vector<std::string_view> args) {
    return parseBoardOptions(args);
}

TEST(BoardOptions, DefaultsToOneBoardAtAddressOne) {
    const auto parsed = parse({});
    ASSERT_TRUE(std::holds_alternative<BoardOptions>(parsed));
    const auto& o = std::get<BoardOptions>(parsed);
    EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(o.speed, 9600U);
    EXPECT_FALSE(o.master || o.lineTiming || o.verbose || o.deafClock);
}

TEST(BoardOptions, TakesEveryOptionInBothSpellings) {
    const auto parsed =
        parse({"--address",       "3",        "--address=7",    "--link",
               "/tmp/b",          "--master", "--speed=115200", "--line-timing",
               "--mute",          "7",        "--drop-first",   "2",
               "--corrupt-every", "3",        "--noise",        "50",
               "--hangup-after",  "9",        "--verbose",      "--registers=set.cs",
               "--seed",          "42",       "--clock-rate",   "1.5",
               "--deaf-clock"});
    ASSERT_TRUE(std::holds_alternative<BoardOptions>(parsed)) << std::get<std::string>(parsed);
    const auto& o = std::get<BoardOptions>(parsed);
    EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{3, 7}));
    EXPECT_EQ(o.linkPath, "/tmp/b");
    EXPECT_EQ(o.registersPaths, (std::vector<std::string>{"set.cs"}));
    EXPECT_TRUE(o.master && o.lineTiming && o.verbose && o.deafClock);
    EXPECT_EQ(o.speed, 115200U);
    EXPECT_EQ(o.muted, (std::vector<std::uint8_t>{7}));
    EXPECT_EQ(o.dropFirst, 2U);
    EXPECT_EQ(o.corruptEvery, 3U);
    EXPECT_EQ(o.noiseMs, 50U);
    EXPECT_EQ(o.hangupAfter, 9U);
    EXPECT_EQ(o.seed, 42U);
    EXPECT_EQ(o.clockRate, 1.5);
}

TEST(BoardOptions, RefusesBadArguments) {
    const std::vector<std::vector<std::string_view>> cases = {
        {"--address"},
        {"--address", "255"},
        {"--address", "-1"},
        {"--address", "1x"},
        {"--address", "2", "--address", "2"},
        {"--mute", "5"},  // no board there
        {"--speed", "0"},
        {"--corrupt-every", "0"},
        {"--noise", ""},
        {"--hangup-after", "0"},
        {"--clock-rate", "0"},
        {"--clock-rate", "1e3"},
        {"--clock-rate", "1001"},
        {"--clock-rate", "fast"},
        {"--link"},
        {"--master=yes"},
        {"--frobnicate"},
        {"1"},
    };
    for (const auto& args : cases) {
        const auto parsed = parse(args);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << args.front();
        EXPECT_FALSE(std::get<std::string>(parsed).empty());
    }
}

TEST(BoardClock, AClockRunningFastGainsFromEverySettingOn) {
    const platform::LocalDateTime noon{2026, 12, 7, 12, 0, 0, 0};
    const std::uint32_t start = 4'294'960'000U;  // the tick wraps on the way
    BoardClock fast(noon, start, 1.5);
    EXPECT_EQ(fast.at(start + 60'000U), (platform::LocalDateTime{2026, 12, 7, 12, 1, 30, 0}));
    fast.set(noon, start + 60'000U);
    EXPECT_EQ(fast.at(start + 120'000U), (platform::LocalDateTime{2026, 12, 7, 12, 1, 30, 0}));
    BoardClock slow(noon, start, 0.5);
    EXPECT_EQ(slow.at(start + 60'000U), (platform::LocalDateTime{2026, 12, 7, 12, 0, 30, 0}));
}

link::Request read(std::uint8_t address, std::uint8_t reg) {
    return {address, 0x74, reg, 0, false, {}};
}

TEST(Faults, EachDistinctRequestIsLostItsCountOfTimesThenGetsThrough) {
    Faults faults(2, 0, 0);
    std::vector<bool> lost;
    for (const link::Request& r :
         {read(1, 5), read(1, 6), read(1, 5), read(1, 5), read(1, 6), read(1, 6), read(1, 5)}) {
        lost.push_back(faults.dropsRequest(r));
    }
    EXPECT_EQ(lost, (std::vector<bool>{true, true, true, false, true, false, true}));
    const link::Request toAll = read(255, 5);
    EXPECT_FALSE(faults.dropsRequest(toAll));
    const link::Request withData{1, 0x00, 0, 2, true, {1, 2}};
    const link::Request otherData{1, 0x00, 0, 2, true, {1, 3}};
    EXPECT_TRUE(faults.dropsRequest(withData));
    EXPECT_TRUE(faults.dropsRequest(otherData));
}

TEST(Faults, EveryKthReplyIsCorruptedAndTheLineClosesAfterTheKthRequest) {
    Faults faults(0, 3, 2);
    std::vector<bool> corrupt;
    for (int i = 0; i < 6; ++i) {
        corrupt.push_back(faults.corruptsReply());
    }
    EXPECT_EQ(corrupt, (std::vector<bool>{false, false, true, false, false, true}));
    EXPECT_FALSE(faults.hangsUpAfter());
    EXPECT_TRUE(faults.hangsUpAfter());
    EXPECT_FALSE(faults.hangsUpAfter());

    Faults none(0, 0, 0);
    EXPECT_FALSE(none.corruptsReply());
    EXPECT_FALSE(none.dropsRequest(read(1, 1)));
    EXPECT_FALSE(none.hangsUpAfter());
}

TEST(Wire, UntimedPassesEverythingAtOnce) {
    Wire wire(9600, false);
    EXPECT_EQ(wire.received(123), 123);
    wire.send({1, 2, 3}, 1'000'000'000);
    wire.send({4}, 0);
    EXPECT_EQ(wire.takeDue(0), (Bytes{1, 2, 3, 4}));
    EXPECT_TRUE(wire.idle());
    EXPECT_FALSE(wire.nextDueNs());
}

TEST(Wire, TimedRepliesWaitForTheRequestAndLeaveAtTheLineRate) {
    Wire wire(9600, true);
    const std::int64_t byte = wire.byteNs();
    EXPECT_EQ(byte, 1'041'666);
    // A 109-byte request read all at once at time 0 has arrived after 109 byte times.
    std::int64_t arrived = 0;
    for (int i = 0; i < 109; ++i) {
        arrived = wire.received(0);
    }
    EXPECT_EQ(arrived, 109 * byte);
    wire.send({1, 2, 3, 4, 5, 6, 7, 8}, arrived);
    wire.send({9}, 0);  // queued behind the reply
    EXPECT_EQ(wire.nextDueNs(), arrived + byte);
    EXPECT_TRUE(wire.takeDue(arrived + byte - 1).empty());
    EXPECT_EQ(wire.takeDue(arrived + byte), (Bytes{1}));
    EXPECT_EQ(wire.takeDue(arrived + 3 * byte), (Bytes{2, 3}));
    EXPECT_EQ(wire.takeDue(arrived + 9 * byte), (Bytes{4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(wire.idle());
    // A byte read later than the line could deliver the last one starts afresh.
    EXPECT_EQ(wire.received(200 * byte), 201 * byte);
}

TEST(Wire, TimedBytesWaitingOnTheLineArriveOneByteTimeApart) {
    Wire wire(9600, true);
    const std::int64_t byte = wire.byteNs();
    // Bytes seen waiting at time 0: none has arrived before one byte time.
    EXPECT_EQ(wire.arrivedBy(0, byte - 1), 0U);
    EXPECT_EQ(wire.arrivedBy(0, 3 * byte), 3U);
    EXPECT_EQ(wire.nextArrivalNs(0), byte);
    EXPECT_EQ(wire.received(0), byte);
    EXPECT_EQ(wire.received(0), 2 * byte);
    // Taken two, the third arrives after them, however late the board looks again.
    EXPECT_EQ(wire.arrivedBy(0, 3 * byte), 1U);
    EXPECT_EQ(wire.nextArrivalNs(0), 3 * byte);
    // Bytes that start waiting after the line went quiet count from then.
    EXPECT_EQ(wire.arrivedBy(100 * byte, 102 * byte), 2U);
}

}  // namespace
}  // namespace horalux::board
