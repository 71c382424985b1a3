#include "board/Board.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "timesync/BoardTime.h"

namespace horalux::board {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kStartTick = 5000;

platform::LocalDateTime dateTime(int y, int mo, int d, int h, int mi, int s) {
    platform::LocalDateTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    return t;
}

link::Request plain(std::uint8_t address, std::uint8_t command, std::uint8_t p1 = 0,
                    std::uint8_t p2 = 0) {
    return {address, command, p1, p2, false, {}};
}

link::Request block(std::uint8_t address, std::uint8_t command, const Bytes& data) {
    return {address,
            command,
            static_cast<std::uint8_t>(data.size() / 256),
            static_cast<std::uint8_t>(data.size() % 256),
            true,
            data};
}

Bytes header(std::uint8_t address, std::uint8_t code, std::uint8_t p1, std::uint8_t p2) {
    const auto h = link::makeReplyHeader({address, 0, code, p1, p2});
    return {h.begin(), h.end()};
}

// The data block of a reply frame after checking its header and block checksum.
Bytes blockOf(const Bytes& frame) {
    EXPECT_GE(frame.size(), 9U);
    EXPECT_TRUE(link::isReplyHeader(std::span<const std::uint8_t, 8>(frame.data(), 8)));
    const std::size_t n = frame[5];
    EXPECT_EQ(frame.size(), 8 + n + 1);
    const Bytes data(frame.begin() + 8, frame.begin() + 8 + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(link::shortSum(data), frame.back());
    return data;
}

class BoardTest : public ::testing::Test {
  protected:
    Board board{1, dateTime(2024, 5, 17, 12, 0, 0), kStartTick};

    Bytes reply(const link::Request& r, std::uint32_t at = kStartTick) {
        Answer a = board.handle(r, at);
        EXPECT_TRUE(a.refusal.empty()) << a.refusal;
        return a.reply.value_or(Bytes{});
    }
    void write(std::uint8_t reg, std::uint8_t value) {
        EXPECT_EQ(reply(plain(board.address(), link::cmd::WriteRegister, reg, value)),
                  header(board.address(), link::cmd::WriteRegister, reg, value));
    }
};

TEST_F(BoardTest, AnswersRegisterReadsWithTheValueAndAcknowledgesWrites) {
    EXPECT_EQ(reply(plain(1, link::cmd::ReadRegister, 76)),
              header(1, link::cmd::ReadRegister, 76, 1));
    EXPECT_EQ(reply(plain(1, link::cmd::ReadRegister, 224)),
              header(1, link::cmd::ReadRegister, 224, 4));
    write(66, 0x5A);
    EXPECT_EQ(reply(plain(1, link::cmd::ReadRegister, 66)),
              header(1, link::cmd::ReadRegister, 66, 0x5A));
}

TEST_F(BoardTest, RegisterSeventySixMovesTheBoardAfterAnsweringFromItsOldAddress) {
    write(76, 9);
    EXPECT_EQ(board.address(), 9);
    EXPECT_FALSE(board.handle(plain(1, link::cmd::ReadRegister, 76), kStartTick).reply);
    EXPECT_EQ(reply(plain(9, link::cmd::ReadRegister, 76)),
              header(9, link::cmd::ReadRegister, 76, 9));
}

TEST_F(BoardTest, BitSevenOfRegisterSeventySevenMakesTheBoardMaster) {
    EXPECT_FALSE(board.isMaster());
    write(77, 0x81);
    EXPECT_TRUE(board.isMaster());
    write(77, 0x01);
    EXPECT_FALSE(board.isMaster());
}

TEST_F(BoardTest, RequestsToAllBoardsStoreWhatTheyWriteButAreNeverAnswered) {
    const Bytes fields{0x3F, 0x3F, 0x3F, 0x3F};
    const std::vector<link::Request> requests = {
        plain(255, link::cmd::WriteRegister, 67, 9),
        plain(255, link::cmd::ReadRegister, 67),
        plain(255, link::cmd::ReadClock, 0, 7),
        plain(255, link::cmd::ReadUserFields, 0, 14),
        block(255, link::cmd::WriteUserFields, fields),
        block(255, link::cmd::WriteClock, {0x00, 0x00, 0x08, 2, 0x01, 0x01, 0x24}),
    };
    for (const link::Request& r : requests) {
        const Answer a = board.handle(r, kStartTick);
        EXPECT_FALSE(a.reply) << "command " << int{r.command};
        EXPECT_TRUE(a.refusal.empty()) << a.refusal;
    }
    EXPECT_EQ(board.reg(67), 9);
    EXPECT_EQ(board.fieldBytes(4), fields);
    EXPECT_EQ(board.clock(kStartTick), dateTime(2024, 1, 1, 8, 0, 0));
}

TEST_F(BoardTest, RequestsForAnotherAddressChangeNothing) {
    const Answer a = board.handle(plain(2, link::cmd::WriteRegister, 67, 9), kStartTick);
    EXPECT_FALSE(a.reply);
    EXPECT_EQ(board.reg(67), 5);
}

TEST_F(BoardTest, ClockWriteSetsAClockThatKeepsRunning) {
    // 9:05:07 on Sunday 1 March 2009.
    const Bytes payload{0x07, 0x05, 0x09, 8, 0x01, 0x03, 0x09};
    EXPECT_EQ(reply(block(1, link::cmd::WriteClock, payload)),
              header(1, link::cmd::WriteClock, 0, 7));
    const Bytes later = reply(plain(1, link::cmd::ReadClock, 0, 7), kStartTick + 61500);
    EXPECT_EQ(Bytes(later.begin(), later.begin() + 8), header(1, link::cmd::ReadClock, 0, 7));
    EXPECT_EQ(blockOf(later), (Bytes{0x08, 0x06, 0x09, 8, 0x01, 0x03, 0x09}));
    // Midnight passes into a new day and a new month.
    reply(block(1, link::cmd::WriteClock, {0x59, 0x59, 0x23, 4, 0x29, 0x02, 0x24}));
    EXPECT_EQ(board.clock(kStartTick + 2000), dateTime(2024, 3, 1, 0, 0, 1));
}

TEST_F(BoardTest, ClockPayloadThatIsNoDateAndTimeIsRefusedAndNotAcknowledged) {
    const std::vector<link::Request> requests = {
        block(1, link::cmd::WriteClock, {0x5A, 0x00, 0x12, 2, 0x01, 0x01, 0x24}),  // not BCD
        block(1, link::cmd::WriteClock, {0x00, 0x60, 0x12, 2, 0x01, 0x01, 0x24}),  // minute 60
        block(1, link::cmd::WriteClock, {0x00, 0x00, 0x24, 2, 0x01, 0x01, 0x24}),  // hour 24
        block(1, link::cmd::WriteClock, {0x00, 0x00, 0x12, 2, 0x30, 0x02, 0x24}),  // 30 February
        block(1, link::cmd::WriteClock, {0x00, 0x00, 0x12, 2, 0x29, 0x02, 0x23}),  // not leap
        block(1, link::cmd::WriteClock, {0x00, 0x00, 0x12, 2, 0x01, 0x13, 0x24}),  // month 13
        block(1, link::cmd::WriteClock, {0x00, 0x00, 0x12, 2, 0x01, 0x01}),        // short
        plain(1, link::cmd::WriteClock, 0, 7),                                     // no block
    };
    for (const link::Request& r : requests) {
        const Answer a = board.handle(r, kStartTick);
        EXPECT_FALSE(a.reply);
        EXPECT_FALSE(a.refusal.empty());
    }
    EXPECT_EQ(board.clock(kStartTick), dateTime(2024, 5, 17, 12, 0, 0));
}

TEST_F(BoardTest, UserFieldsAreStoredByTheirLengthsAndReadBackAsAsked) {
    // Fields of 4, 4 and 6 digits.
    const Bytes written{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    EXPECT_EQ(reply(block(1, link::cmd::WriteUserFields, written)),
              header(1, link::cmd::WriteUserFields, 0, 14));
    struct Case {
        std::uint8_t asked;
        Bytes expected;
    };
    const Case cases[] = {
        {14, written},
        {5, {1, 2, 3, 4, 5}},
        {16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 0}},
        {0, {}},
    };
    for (const Case& c : cases) {
        const Bytes frame = reply(plain(1, link::cmd::ReadUserFields, 0, c.asked));
        EXPECT_EQ(frame[3], link::cmd::ReadUserFields);
        EXPECT_EQ(blockOf(frame), c.expected) << "asked " << int{c.asked};
    }
    // A shorter write changes only the digits it covers; bytes beyond the fields are ignored.
    reply(block(1, link::cmd::WriteUserFields, {0x40, 0x40}));
    EXPECT_EQ(board.fieldBytes(4), (Bytes{0x40, 0x40, 3, 4}));
    write(225, 0);
    reply(block(1, link::cmd::WriteUserFields, {9, 9, 9, 9, 9, 9}));
    EXPECT_EQ(board.fieldBytes(6), (Bytes{9, 9, 9, 9, 0, 0}));
}

TEST_F(BoardTest, DigitsBeyondWhatTheBoardKeepsReadAsBlanks) {
    write(224, 18);
    Bytes twenty(20, 0x3F);
    reply(block(1, link::cmd::WriteUserFields, twenty));
    Bytes expected(20, 0x3F);
    expected[16] = 0;
    expected[17] = 0;
    EXPECT_EQ(board.fieldBytes(20), expected);
}

TEST_F(BoardTest, UnknownCommandsAreRefused) {
    const Answer a = board.handle(plain(1, 0x41, 1, 2), kStartTick);
    EXPECT_FALSE(a.reply);
    EXPECT_FALSE(a.refusal.empty());
}

TEST_F(BoardTest, MainFieldItemsTakeTurnsByTheirDisplayTimes) {
    // Time 2 s, date 1 s, temperature 1 for 3 s (format 4), everything else off.
    for (std::size_t i = 0; i < 9; ++i) {
        write(displayTimeRegister(i), 0);
    }
    write(displayTimeRegister(0), 2);
    write(displayTimeRegister(1), 1);
    write(displayTimeRegister(3), 43);
    struct Case {
        std::uint32_t afterMs;
        std::uint8_t item;
    };
    const Case cases[] = {{0, 0},    {1999, 0}, {2000, 1}, {2999, 1},
                          {3000, 3}, {5999, 3}, {6000, 0}, {8500, 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(board.currentMainItem(kStartTick + c.afterMs), c.item) << c.afterMs << " ms";
    }
    for (std::size_t i = 0; i < 9; ++i) {
        write(displayTimeRegister(i), 0);
    }
    EXPECT_EQ(board.currentMainItem(kStartTick + 12345), 0);
}

TEST_F(BoardTest, StatusFrameCarriesItemTimesReadingsClockAndSignals) {
    const Bytes frame = board.statusFrame(kStartTick + 7000);
    EXPECT_EQ(frame[1], 1);
    EXPECT_EQ(frame[3], link::cmd::StatusFrame);
    const Bytes b = blockOf(frame);
    ASSERT_EQ(b.size(), kStatusBlockLength);
    EXPECT_EQ(b[0], board.currentMainItem(kStartTick + 7000));
    // Display times; the temperatures' bytes have the display time in the tens.
    EXPECT_EQ((Bytes{b[9], b[11], b[13], b[15], b[17], b[19], b[21], b[23], b[25]}),
              (Bytes{10, 3, 2, 33, 22, 0, 3, 3, 2}));
    EXPECT_EQ(static_cast<std::int8_t>(b[43]), -3);
    EXPECT_EQ((Bytes{b[42], b[44], b[45], b[46], b[47], b[48], b[49], b[50], b[51], b[52]}),
              (Bytes{21, 5, 45, 56, 0, 1, 3, 50, 25, 7}));
    // 12:00:07 on 17 May 2024.
    EXPECT_EQ((Bytes{b[41], b[54], b[55], b[56], b[57], b[58]}),
              (Bytes{0x07, 0x00, 0x12, 0x17, 0x05, 0x24}));
    EXPECT_EQ(b[62], 0xA0);
}

TEST_F(BoardTest, TemperatureFormatsOfTheStatusFrameSwapDigits) {
    write(displayTimeRegister(3), 27);  // shown 7 s in format 2
    const Bytes b = blockOf(board.statusFrame(kStartTick));
    EXPECT_EQ(b[15], 72);
}

TEST_F(BoardTest, LayoutFrameListsFormatsLengthsAndSegments) {
    const Bytes b = blockOf(board.layoutFrame());
    Bytes expected{3, 5, 4, 3, 0, 4, 4, 4, 3, 4, 4, 6};
    const Bytes segments = board.fieldBytes(14);
    expected.insert(expected.end(), segments.begin(), segments.end());
    EXPECT_EQ(b, expected);
}

TEST_F(BoardTest, LayoutFrameKeepsToOneDataBlockWhenFieldsAreMany) {
    for (std::uint8_t k = 0; k < 32; ++k) {
        write(static_cast<std::uint8_t>(224 + k), 16);
    }
    const Bytes b = blockOf(board.layoutFrame());
    const std::size_t n = b[0];
    EXPECT_EQ(b.size(), 9 + n + 16 * n);
    EXPECT_LE(b.size(), 255U);
    EXPECT_EQ(n, 14U);
}

TEST_F(BoardTest, LoadedSettingsKeepTheBoardsAddressAndRole) {
    board.setMaster(true);
    std::array<std::uint8_t, 256> registers{};
    registers.fill(7);
    board.loadSettings(registers);
    EXPECT_EQ(board.address(), 1);
    EXPECT_TRUE(board.isMaster());
    EXPECT_EQ(board.reg(67), 7);
}

}  // namespace
}  // namespace horalux::board
