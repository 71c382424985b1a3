#include "link/exchange/ReplyDecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <stop_token>
#include <string>
#include <vector>

#include "ExchangeDoubles.h"
#include "link/exchange/Messages.h"
#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "support/FakeTick.h"
#include "support/MemoryLine.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The parts of a status frame's data block the tests set.
struct Status {
    std::array<std::uint8_t, 63> block{};
    Status() {
        block[55] = 0x12;  // 12:45 on 07.03.25
        block[54] = 0x45;
        block[56] = 0x07;
        block[57] = 0x03;
        block[58] = 0x25;
    }
    Status& temperature(int n, std::uint8_t value, std::uint8_t hundredths, std::uint8_t style) {
        block[static_cast<std::size_t>(41 + n)] = value;
        block[static_cast<std::size_t>(49 + n)] = hundredths;
        block[static_cast<std::size_t>(13 + 2 * n)] = static_cast<std::uint8_t>(30 + style);
        return *this;
    }
};

class ReplyDecoderTest : public ::testing::Test {
  protected:
    // The test frames come from board 1, the board the requests go to.
    ReplyDecoderTest() { board.setCurrent(1); }
    // Hands the first byte to the decoder as the poll would and leaves the rest on the line.
    DecodeOutcome deliver(const Bytes& bytes) {
        line.feed(Bytes(bytes.begin() + 1, bytes.end()));
        return decoder.decodeIncoming(bytes.front());
    }
    DecodeOutcome deliverStatus(const Status& status) {
        return deliver(test::replyFrame(1, cmd::StatusFrame, status.block));
    }
    void setFormats(std::array<std::uint8_t, 8> formats) {
        board.lock()->BoardCopy.displayFormats = formats;
    }
    BoardData state() { return board.snapshot(); }

    test::FakeTick tick;
    test::MemoryLine line{&tick};
    Line io{line, tick, 100};
    RequestRing ring;
    BoardState board;
    test::RecordingEvents events;
    test::RecordingPrompts prompts;
    InlineMainThread mainThread;
    std::stop_source stop;
    WorkerSide main{mainThread, events, prompts, stop.get_token()};
    ReplyDecoder decoder{io, ring, board, main};
};

TEST_F(ReplyDecoderTest, StatusFrameFillsDisplayTimesSignalFlagsAndReportsAMaster) {
    Status status;
    status.block[0] = 6;
    status.block[9] = 4;
    status.block[11] = 5;
    status.block[13] = 6;
    status.block[15] = 73;  // display time 7, style 3
    status.block[17] = 10;
    status.block[19] = 0;
    status.block[21] = 8;
    status.block[25] = 9;
    status.block[62] = 0xC1;
    ASSERT_EQ(deliverStatus(status), DecodeOutcome::Decoded);

    const BoardData s = state();
    EXPECT_EQ(s.CurrentMainItem, 6);
    // A temperature's register holds the style in the tens: the frame's digits swapped.
    EXPECT_EQ(s.BoardCopy.displayTimes, (std::array<std::uint8_t, 9>{4, 5, 6, 37, 1, 0, 8, 0, 9}));
    EXPECT_EQ(s.EditCopy.signalFlags, 0xC1);
    EXPECT_EQ(s.BoardCopy.signalFlags, 0) << "the board's copy is not the one the frame sets";
    EXPECT_TRUE(board.StatusFrameSeen.load());
    EXPECT_EQ(events.modes, Bytes{kBoardModeMaster});
    EXPECT_EQ(events.boardRefreshes, 1);
}

TEST_F(ReplyDecoderTest, TemperatureStylesShapeTheMainFieldTexts) {
    const struct {
        std::uint8_t value, hundredths, style, view;
        std::string text;
    } cases[] = {
        {23, 45, 4, 2, "23.45°"},   // the six-character cut drops the C
        {0xFB, 7, 4, 2, "-05.07"},  // and here the degree sign too
        {23, 45, 3, 2, " 23.45°"}, {0xF6, 0, 1, 2, "-10°"}, {5, 0, 2, 2, " 05°"},
        {0x80, 0, 5, 2, "00°"},    {23, 0, 0, 3, " 23°"},  // style 0 follows the view
        {23, 0, 0, 7, " 23°C"},
    };
    for (const auto& c : cases) {
        setFormats({c.view, 0, 0, 0, 0, 0, 0, 0});
        Status status;
        status.temperature(2, c.value, c.hundredths, c.style);
        ASSERT_EQ(deliverStatus(status), DecodeOutcome::Decoded);
        EXPECT_EQ(state().MainFieldTexts[4], c.text) << int{c.value} << " style " << int{c.style};
    }
}

TEST_F(ReplyDecoderTest, StylesOutsideTheTableAndStyleZeroInAViewWithoutTextsLeaveTheText) {
    board.lock()->MainFieldTexts[3] = "old";
    board.lock()->MainFieldTexts[5] = "old";
    setFormats({0, 0, 0, 0, 0, 0, 0, 0});
    Status status;
    status.temperature(1, 20, 0, 0).temperature(3, 20, 0, 7);
    deliverStatus(status);
    EXPECT_EQ(state().MainFieldTexts[3], "old");
    EXPECT_EQ(state().MainFieldTexts[5], "old");
}

TEST_F(ReplyDecoderTest, ViewsTwoAndFiveLayOutTimeDatePressureHumidityAndRadiation) {
    Status status;
    status.block[45] = 45;
    status.block[46] = 7;
    status.block[47] = 0;
    status.block[48] = 1;
    status.block[49] = 3;
    const struct {
        std::uint8_t view;
        std::array<std::string, 6> texts;  // entries 0, 1, 2, 6, 7, 8
    } cases[] = {
        {2, {"12.45", "0703", "2025", "P745", "07%", "0.013"}},
        {5, {"12-45", "07 03", " 2025", "P 745", " 07%", " 0.013"}},
        {8, {" 12.45.", "07 03 ", " 2025", "P 745", " 07%", " 0.013"}},
    };
    for (const auto& c : cases) {
        setFormats({c.view, 0, 0, 0, 0, 0, 0, 0});
        deliverStatus(status);
        const BoardData s = state();
        const std::array<std::string, 6> got{s.MainFieldTexts[0], s.MainFieldTexts[1],
                                             s.MainFieldTexts[2], s.MainFieldTexts[6],
                                             s.MainFieldTexts[7], s.MainFieldTexts[8]};
        EXPECT_EQ(got, c.texts) << "view " << int{c.view};
    }
}

TEST_F(ReplyDecoderTest, ViewZeroKeepsTheMainTextsButStillUpdatesTemperaturesAndSensors) {
    for (std::string& text : board.lock()->MainFieldTexts) {
        text = "kept";
    }
    setFormats({0, 3, 0, 0, 4, 5, 4, 3});
    Status status;
    status.block[0] = 2;
    status.block[45] = 62;
    status.block[46] = 99;
    status.block[49] = 7;
    status.temperature(1, 0xF6, 0, 1);
    deliverStatus(status);

    const BoardData s = state();
    for (const std::size_t entry : {0U, 1U, 2U, 6U, 7U, 8U}) {
        EXPECT_EQ(s.MainFieldTexts[entry], "kept") << entry;
    }
    EXPECT_EQ(s.MainFieldTexts[3], "-10°");
    EXPECT_EQ(s.CurrentMainItem, 2);
    EXPECT_EQ(s.SensorFieldTexts[1], "-10");
    EXPECT_EQ(s.SensorFieldTexts[4], "P762");
    EXPECT_EQ(s.SensorFieldTexts[5], " 99%");
    EXPECT_EQ(s.SensorFieldTexts[6], "0.007");
    EXPECT_EQ(s.SensorFieldTexts[7], "07.03 ");
}

TEST_F(ReplyDecoderTest, ASensorsNoReadingShowsAsZeroButIsMarkedAsNoMeasurement) {
    setFormats({5, 3, 3, 0, 4, 4, 4, 3});
    Status status;
    status.temperature(1, 0x00, 0, 1);  // a real 0 °C
    status.temperature(2, 0x80, 0, 1);
    deliverStatus(status);
    BoardData s = state();
    EXPECT_EQ(s.SensorFieldTexts[1], s.SensorFieldTexts[2]);  // the board shows both as 0
    EXPECT_EQ(s.TemperatureNoReading, (std::array<bool, 3>{false, true, false}));

    // The next frame with a reading clears the mark.
    status.temperature(2, 0x05, 0, 1);
    deliverStatus(status);
    EXPECT_EQ(state().TemperatureNoReading, (std::array<bool, 3>{}));
}

TEST_F(ReplyDecoderTest, SensorFormatsFollowTheirTables) {
    const struct {
        std::size_t entry;  // sensor text
        std::size_t format;
        std::uint8_t code;
        std::string text;
    } cases[] = {
        {1, 1, 2, "10"},     {1, 1, 3, "-10"},   {1, 1, 4, "-10°"},   {1, 1, 5, "-10°C"},
        {4, 4, 3, "745"},    {4, 4, 5, "P 745"}, {5, 5, 2, "07"},     {5, 5, 4, "07%"},
        {6, 6, 5, " 0.123"}, {7, 7, 4, "0703 "}, {7, 7, 5, "07 03 "},
    };
    Status status;
    status.temperature(1, 0xF6, 0, 1);
    status.block[45] = 45;
    status.block[46] = 7;
    status.block[47] = 1;
    status.block[48] = 2;
    status.block[49] = 3;
    for (const auto& c : cases) {
        std::array<std::uint8_t, 8> formats{};
        formats[c.format] = c.code;
        setFormats(formats);
        board.lock()->SensorFieldTexts[c.entry] = "old";
        deliverStatus(status);
        EXPECT_EQ(state().SensorFieldTexts[c.entry], c.text) << c.entry << " code " << int{c.code};
    }
    // A code without a layout leaves the text.
    setFormats({0, 0, 0, 0, 2, 3, 3, 2});
    deliverStatus(status);
    const BoardData s = state();
    EXPECT_EQ(s.SensorFieldTexts[4], "P 745");
    EXPECT_EQ(s.SensorFieldTexts[5], "07%");
    EXPECT_EQ(s.SensorFieldTexts[6], " 0.123");
    EXPECT_EQ(s.SensorFieldTexts[7], "07 03 ");
}

TEST_F(ReplyDecoderTest, ClockReplyShiftsByTheTimeZoneAcrossMidnightAndYear) {
    const struct {
        std::uint8_t zone;
        Bytes clock;  // seconds, minutes, hours, weekday, day, month, year (BCD)
        std::array<std::string, 4> texts;  // time, date, year, date sensor
    } cases[] = {
        {0x43, {0x00, 0x30, 0x00, 0x03, 0x01, 0x01, 0x25}, {"21.30", "3112", "2024", "31.12 "}},
        {0x85, {0x00, 0x30, 0x00, 0x03, 0x01, 0x01, 0x25}, {"06.00", "0101", "2025", "01.01 "}},
        {0x00, {0x59, 0x59, 0x23, 0x03, 0x28, 0x02, 0x24}, {"23.59", "2802", "2024", "28.02 "}},
        {0x01, {0x00, 0x30, 0x23, 0x03, 0x28, 0x02, 0x24}, {"00.30", "2902", "2024", "29.02 "}},
    };
    for (const auto& c : cases) {
        board.lock()->BoardCopy.timeZone = c.zone;
        setFormats({2, 0, 0, 0, 0, 0, 0, 3});
        ASSERT_EQ(deliver(test::replyFrame(1, cmd::ReadClock, c.clock)), DecodeOutcome::Decoded);
        const BoardData s = state();
        const std::array<std::string, 4> got{s.MainFieldTexts[0], s.MainFieldTexts[1],
                                             s.MainFieldTexts[2], s.SensorFieldTexts[7]};
        EXPECT_EQ(got, c.texts) << "zone " << int{c.zone};
        ASSERT_TRUE(s.BoardClock);  // with its seconds, which no text shows
        EXPECT_EQ(s.BoardClock->second, (c.clock[0] >> 4) * 10 + (c.clock[0] & 0x0F));
    }
    EXPECT_EQ(events.boardRefreshes, 4);
}

TEST_F(ReplyDecoderTest, ClockReplyThatIsNoValidDateLeavesTheStateAsItWas) {
    setFormats({2, 0, 0, 0, 0, 0, 0, 3});
    const Bytes bad[] = {
        {0x00, 0x30, 0x1A, 0, 0x01, 0x01, 0x25},  // not BCD
        {0x00, 0x30, 0x24, 0, 0x01, 0x01, 0x25},  // hour 24
        {0x00, 0x60, 0x10, 0, 0x01, 0x01, 0x25},  // minute 60
        {0x00, 0x30, 0x10, 0, 0x30, 0x02, 0x25},  // 30 February
        {0x00, 0x30, 0x10, 0, 0x01, 0x13, 0x25},  // month 13
        {0x00, 0x30, 0x10, 0, 0x00, 0x01, 0x25},  // day 0
    };
    board.lock()->MainFieldTexts[0] = "before";
    for (const Bytes& clock : bad) {
        deliver(test::replyFrame(1, cmd::ReadClock, clock));
        EXPECT_EQ(state().MainFieldTexts[0], "before");
        EXPECT_EQ(state().SensorFieldTexts[7], "");
    }
    EXPECT_EQ(events.boardRefreshes, 0);
}

TEST_F(ReplyDecoderTest, LayoutFrameThenValuesFillTheUserFields) {
    const Bytes layout{2, 2, 0, 0, 0, 0, 0, 0, 4, 3, 2, 0x06, 0x5B, 0xCF, 0x40, 0x3F};
    deliver(test::replyFrame(1, cmd::LayoutFrame, layout));
    BoardData s = state();
    EXPECT_EQ(s.UserFieldCount, 2);
    EXPECT_EQ(s.BoardCopy.userScreens[0], 3);
    EXPECT_EQ(s.BoardCopy.userScreens[1], 2);
    EXPECT_EQ(s.BoardCopy.displayFormats, (std::array<std::uint8_t, 8>{2, 0, 0, 0, 0, 0, 0, 4}));
    EXPECT_EQ(s.UserFieldTexts[0], "123.");
    EXPECT_EQ(s.UserFieldTexts[1], "-0");
    EXPECT_EQ(events.userRefreshes, 0) << "the layout frame asks for no refresh";

    deliver(test::replyFrame(1, cmd::ReadUserFields, Bytes{0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F}));
    s = state();
    EXPECT_EQ(s.UserFieldTexts[0], "456");
    EXPECT_EQ(s.UserFieldTexts[1], "78") << "bytes beyond the fields are ignored";
    EXPECT_EQ(events.userRefreshes, 1);

    deliver(test::replyFrame(1, cmd::ReadUserFields, Bytes{0x06, 0x5B, 0x4F, 0x66}));
    s = state();
    EXPECT_EQ(s.UserFieldTexts[0], "123");
    EXPECT_EQ(s.UserFieldTexts[1], "4 ") << "a missing byte reads as a blank digit";
}

TEST_F(ReplyDecoderTest, ValuesCountFieldsUpToTheFirstZeroLength) {
    board.lock()->BoardCopy.userScreens = {1, 1, 0, 1};
    deliver(test::replyFrame(1, cmd::ReadUserFields, Bytes{0x06, 0x5B, 0x4F}));
    const BoardData s = state();
    EXPECT_EQ(s.UserFieldCount, 2);
    EXPECT_EQ(s.UserFieldTexts[1], "2");
    EXPECT_EQ(s.UserFieldTexts[2], "");
}

// A user-field reply with the given header bytes 4 and 5 and data block.
Bytes userFieldReply(std::uint8_t byte4, std::uint8_t byte5, const Bytes& data) {
    const auto head = makeReplyHeader({1, 0, cmd::ReadUserFields, byte4, byte5});
    Bytes frame(head.begin(), head.end());
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(shortSum(data));
    return frame;
}

TEST_F(ReplyDecoderTest, AUserFieldReplyTakesItsLengthFromByte5UnlessWeAskedForOver255) {
    // Asked for 3 positions: whatever the board puts in byte 4, the block is byte 5 long, and the
    // register reply right behind it is the next frame.
    board.lock()->BoardCopy.userScreens = {2, 1};
    ASSERT_TRUE(QueueRequest(ring, tick, prompts, 1, 1000, 3, cmd::ReadUserFields, 0, 3));
    Bytes frames = userFieldReply(0x07, 3, Bytes{0x06, 0x5B, 0x4F});
    const Bytes next = test::replyHeader(1, cmd::ReadRegister, 55, 4);
    frames.insert(frames.end(), next.begin(), next.end());
    const std::uint32_t t0 = tick.nowMs();
    ASSERT_EQ(deliver(frames), DecodeOutcome::Decoded);
    EXPECT_LT(tick.nowMs() - t0, 100U) << "no wait for bytes that are not coming";
    BoardData s = state();
    EXPECT_EQ(s.UserFieldTexts[0], "12");
    EXPECT_EQ(s.UserFieldTexts[1], "3");
    EXPECT_TRUE(ring.empty());
    const auto poll = io.pollByte();
    ASSERT_EQ(poll.status, Line::PollStatus::Byte);
    ASSERT_EQ(decoder.decodeIncoming(poll.byte), DecodeOutcome::Decoded);
    EXPECT_EQ(state().BoardCopy.timeZone, 4);

    // Asked for 300 positions (1 * 256 + 44): bytes 4 and 5 together give the length.
    board.lock()->BoardCopy.userScreens = {255, 45};
    ASSERT_TRUE(QueueRequest(ring, tick, prompts, 1, 1000, 3, cmd::ReadUserFields, 1, 44));
    Bytes wide(300, 0x3F);
    wide.back() = 0x06;
    ASSERT_EQ(deliver(userFieldReply(1, 44, wide)), DecodeOutcome::Decoded);
    s = state();
    EXPECT_EQ(s.UserFieldTexts[0], std::string(255, '0'));
    EXPECT_EQ(s.UserFieldTexts[1], std::string(44, '0') + "1");
    EXPECT_TRUE(ring.empty());
}

TEST_F(ReplyDecoderTest, LayoutAnnouncingMoreThan32FieldsIsTakenForTheFirst32) {
    Bytes layout(9, 0);
    layout[0] = 40;
    for (int k = 0; k < 40; ++k) {
        layout.push_back(2);
    }
    for (int k = 0; k < 80; ++k) {
        layout.push_back(0x06);
    }
    deliver(test::replyFrame(1, cmd::LayoutFrame, layout));
    const BoardData s = state();
    EXPECT_EQ(s.UserFieldCount, 32);
    EXPECT_EQ(s.UserFieldTexts[31], "11");
    EXPECT_EQ(s.UserFieldTexts[32], "");
}

TEST_F(ReplyDecoderTest, LayoutWithLongFieldsReadsNothingPastTheBlock) {
    const Bytes layout{2, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0x3F};
    deliver(test::replyFrame(1, cmd::LayoutFrame, layout));
    const BoardData s = state();
    EXPECT_EQ(s.UserFieldTexts[0].substr(0, 2), "0 ");
    EXPECT_EQ(s.UserFieldTexts[0].size(), 255U);
    EXPECT_EQ(s.UserFieldTexts[1], std::string(255, ' '));
}

TEST_F(ReplyDecoderTest, RegisterRepliesSetOneByteOfTheirEntry) {
    board.lock()->BoardCopy.dimStart = 0x2230;
    deliver(test::replyHeader(1, cmd::ReadRegister, 58, 0x2A));
    EXPECT_EQ(state().BoardCopy.dimStart, 0x222A);
    deliver(test::replyHeader(1, cmd::ReadRegister, 57, 0x07));
    EXPECT_EQ(state().BoardCopy.dimStart, 0x072A);
    deliver(test::replyHeader(1, cmd::ReadRegister, 40, 9));
    deliver(test::replyHeader(1, cmd::ReadRegister, 219, 5));
    deliver(test::replyHeader(1, cmd::ReadRegister, 255, 6));
    deliver(test::replyHeader(1, cmd::ReadRegister, 39, 99));  // no field: ignored
    const BoardData s = state();
    EXPECT_EQ(s.BoardCopy.displayTimes[1], 9);
    EXPECT_EQ(s.BoardCopy.displayFormats[3], 5);
    EXPECT_EQ(s.BoardCopy.userScreens[31], 6);
    EXPECT_TRUE(events.modes.empty());
}

TEST_F(ReplyDecoderTest, ModeRegisterReplyIsReportedWithItsValue) {
    deliver(test::replyHeader(1, cmd::ReadRegister, 77, 1));
    deliver(test::replyHeader(1, cmd::ReadRegister, 77, 0x82));
    EXPECT_EQ(events.modes, (Bytes{1, 0x82}));
    EXPECT_EQ(state().BoardCopy.modeFlags, 0x82);
}

TEST_F(ReplyDecoderTest, OnlyTheReplyOfTheSameBoardCodeAndRegisterCompletesARegisterRead) {
    ASSERT_TRUE(QueueRequest(ring, tick, prompts, 1, 1000, 3, cmd::ReadRegister, 77, 0));
    deliver(test::replyHeader(2, cmd::ReadRegister, 77, 1));
    EXPECT_FALSE(ring.empty()) << "another board";
    deliver(test::replyHeader(1, cmd::WriteRegister, 77, 1));
    EXPECT_FALSE(ring.empty()) << "another code";
    deliver(test::replyHeader(1, cmd::ReadRegister, 55, 3));
    EXPECT_FALSE(ring.empty()) << "a late reply for another register";
    EXPECT_EQ(state().BoardCopy.timeZone, 3) << "decoded by the register it names";
    deliver(test::replyHeader(1, cmd::ReadRegister, 77, 4));
    EXPECT_TRUE(ring.empty());
}

TEST_F(ReplyDecoderTest, RepliesOfOtherCodesCompleteWhateverTheirParameters) {
    ASSERT_TRUE(QueueRequest(ring, tick, prompts, 1, 1000, 3, cmd::WriteRegister, 77, 9));
    deliver(test::replyHeader(1, cmd::WriteRegister, 0, 0));
    EXPECT_TRUE(ring.empty());
}

TEST_F(ReplyDecoderTest, A0x81BlockIsReadAndDroppedUndecoded) {
    // The block holds what would pass for a register reply if it were hunted through.
    Bytes frame = test::replyFrame(1, 0x81, test::replyHeader(1, cmd::ReadRegister, 77, 0x55));
    const Bytes after = test::replyHeader(1, cmd::ReadRegister, 77, 7);
    frame.insert(frame.end(), after.begin(), after.end());
    ASSERT_EQ(deliver(frame), DecodeOutcome::Decoded);
    EXPECT_TRUE(events.modes.empty());
    const auto poll = io.pollByte();
    ASSERT_EQ(poll.status, Line::PollStatus::Byte);
    ASSERT_EQ(decoder.decodeIncoming(poll.byte), DecodeOutcome::Decoded);
    EXPECT_EQ(events.modes, Bytes{7});
    EXPECT_EQ(state().BoardCopy.modeFlags, 7);
}

TEST_F(ReplyDecoderTest, ThePortErrorCheckFollowsEveryAcceptedHeaderAndNothingElse) {
    line.setErrors({false, 0});
    deliver(Bytes{0x55, 0xE0, 0x01, 0x02});  // no header: the hunt goes quiet
    EXPECT_TRUE(prompts.said().empty());
    deliver(test::replyHeader(1, 0x28, 0, 0));
    EXPECT_EQ(prompts.said(), std::vector<std::string>{"error: Ошибка соединения"});
}

TEST_F(ReplyDecoderTest, TwoHeadersBackToBackAreDecodedOnePerCall) {
    Bytes both = test::replyHeader(1, cmd::ReadRegister, 55, 4);
    const Bytes second = test::replyHeader(1, cmd::ReadRegister, 67, 2);
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_EQ(deliver(both), DecodeOutcome::Decoded);
    EXPECT_EQ(state().BoardCopy.timeZone, 4);
    EXPECT_EQ(state().BoardCopy.volume, 0);
    const auto poll = io.pollByte();
    ASSERT_EQ(poll.status, Line::PollStatus::Byte);
    ASSERT_EQ(decoder.decodeIncoming(poll.byte), DecodeOutcome::Decoded);
    EXPECT_EQ(state().BoardCopy.volume, 2);
}

TEST_F(ReplyDecoderTest, BlockWithABadChecksumIsDecodedAsZeros) {
    Bytes frame = test::replyFrame(1, cmd::LayoutFrame, Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x06});
    frame.back() ^= 0xFF;
    board.lock()->BoardCopy.displayFormats[0] = 9;
    deliver(frame);
    const BoardData s = state();
    EXPECT_EQ(s.BoardCopy.displayFormats[0], 0);
    EXPECT_EQ(s.UserFieldCount, 0);
}

TEST_F(ReplyDecoderTest, QuietLineEndsTheHuntWithoutDecoding) {
    EXPECT_EQ(decoder.decodeIncoming(0x55), DecodeOutcome::NoFrame);
    line.feed({0x01, 0x02});
    EXPECT_EQ(decoder.decodeIncoming(kStartByte), DecodeOutcome::NoFrame);
}

TEST_F(ReplyDecoderTest, AFailingRefreshIsDroppedAndDecodingGoesOn) {
    events.refreshThrows = true;
    EXPECT_EQ(deliverStatus(Status{}), DecodeOutcome::Decoded);
    EXPECT_EQ(deliver(test::replyHeader(1, cmd::ReadRegister, 55, 4)), DecodeOutcome::Decoded);
    EXPECT_EQ(state().BoardCopy.timeZone, 4);
}

TEST_F(ReplyDecoderTest, AFailedBlockReadOrAVanishedDeviceLosesTheLink) {
    test::FaultyPort faulty(line);
    Line faultyIo(faulty, tick, 100);
    ReplyDecoder faultyDecoder(faultyIo, ring, board, main);
    faulty.failBlockReads = true;
    const Bytes frame = test::replyFrame(1, cmd::ReadClock, Bytes(7, 0));
    line.feed(Bytes(frame.begin() + 1, frame.end()));
    EXPECT_EQ(faultyDecoder.decodeIncoming(frame.front()), DecodeOutcome::LinkLost);

    line.setGone();
    EXPECT_EQ(decoder.decodeIncoming(kStartByte), DecodeOutcome::LinkLost);
}

TEST_F(ReplyDecoderTest, AStopDuringABlockReadLeavesTheStateAsItWas) {
    test::FaultyPort port(line);
    std::stop_source stopping;
    Line stoppingIo(port, tick, 100);
    stoppingIo.setStopToken(stopping.get_token());
    port.onBlockRead = [&] { stopping.request_stop(); };
    ReplyDecoder stoppingDecoder(stoppingIo, ring, board, main);
    board.lock()->BoardCopy.displayFormats[0] = 5;
    const Bytes frame = test::replyFrame(
        1, cmd::LayoutFrame, Bytes{1, 2, 0, 0, 0, 0, 0, 0, 4, 3, 0x06, 0x5B, 0x4F, 0x66});
    line.feed(Bytes(frame.begin() + 1, frame.end()));
    EXPECT_EQ(stoppingDecoder.decodeIncoming(frame.front()), DecodeOutcome::Stopped);
    const BoardData s = state();
    EXPECT_EQ(s.BoardCopy.displayFormats[0], 5) << "not overwritten by a cut-short block";
    EXPECT_EQ(s.UserFieldCount, 0);
}

TEST(CurrentMainText, IsEmptyForAnEntryPastTheTable) {
    BoardData data;
    data.MainFieldTexts[8] = "0.013";
    data.CurrentMainItem = 8;
    EXPECT_EQ(currentMainText(data), "0.013");
    data.CurrentMainItem = 17;
    EXPECT_EQ(currentMainText(data), "");
    data.CurrentMainItem = 18;
    EXPECT_EQ(currentMainText(data), "");
    data.CurrentMainItem = 255;
    EXPECT_EQ(currentMainText(data), "");
}

}  // namespace
}  // namespace horalux::link
