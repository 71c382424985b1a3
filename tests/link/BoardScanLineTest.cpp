// The scan against the stand-in board on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdlib>

#include "link/scan/BoardScan.h"
#include "platform/PosixSerialPort.h"
#include "platform/PosixSystemClock.h"
#include "support/BoardProcess.h"

namespace horalux::link {
namespace {

std::vector<std::uint8_t> addressesOf(const ScanResult& result) {
    std::vector<std::uint8_t> out;
    for (const FoundBoard& b : result.boards) {
        out.push_back(b.address);
    }
    return out;
}

TEST(BoardScanOnAPty, BoardsThatUnderstandOnlyTheirSpeedAreFoundThereWithTheirMaster) {
    // 77 first: --master makes the first board time master.
    test::BoardProcess board({"--address", "77", "--address", "3", "--address", "200", "--master",
                              "--speed", "115200", "--strict-speed"});
    auto port = platform::PosixSerialPort::open(board.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    platform::MonotonicTick tick;
    platform::PosixSystemClock clock;

    // Both speeds over a few addresses: 9600 brings nothing.
    const ScanResult both =
        BoardScan(
            *port, tick, clock,
            {.speeds = {9600, 115200}, .firstAddress = 76, .lastAddress = 78, .delayTimeMs = 0})
            .run({});
    ASSERT_EQ(addressesOf(both), (std::vector<std::uint8_t>{77}));
    EXPECT_EQ(both.boards[0].speed, 115200U);

    // Every address at the boards' speed: exactly the three, 77 the master, clocks in step.
    const ScanResult all =
        BoardScan(*port, tick, clock, {.speeds = {115200}, .delayTimeMs = 0}).run({});
    EXPECT_TRUE(all.failure.empty()) << all.failure;
    ASSERT_EQ(addressesOf(all), (std::vector<std::uint8_t>{3, 77, 200}));
    for (const FoundBoard& b : all.boards) {
        EXPECT_EQ(b.speed, 115200U);
        EXPECT_EQ(b.master(), b.address == 77) << int(b.address);
        ASSERT_TRUE(b.clockDifferenceS.has_value()) << int(b.address);
        // The board's clock started from the PC's; a second boundary may fall in between.
        EXPECT_LE(std::abs(*b.clockDifferenceS), 1) << int(b.address);
    }
}

}  // namespace
}  // namespace horalux::link
