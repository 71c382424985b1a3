// What the exchange log says a frame meant, and the forms of a log line.
#include "link/exchange/FrameMeaning.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/exchange/ExchangeRecord.h"
#include "link/wire/Commands.h"
#include "timesync/BoardTime.h"

namespace horalux::link {
namespace {

TEST(FrameMeaning, AWrittenRequestFrameIsTheCommandWithItsParameters) {
    const std::vector<std::uint8_t> fields(12, 0x3F);
    const auto clock = timesync::makeBoardTimePayload({2026, 12, 7, 14, 3, 27, 512});
    const struct {
        const char* name;
        std::vector<std::uint8_t> frame;
        std::string meaning;
    } cases[] = {
        {"register read",
         [] {
             RequestFrameBuilder b;
             auto f = b.plain(1, cmd::ReadRegister, 76, 0);
             return std::vector<std::uint8_t>(f.begin(), f.end());
         }(),
         "чтение регистра 76"},
        {"register write",
         [] {
             RequestFrameBuilder b;
             auto f = b.plain(1, cmd::WriteRegister, 67, 5);
             return std::vector<std::uint8_t>(f.begin(), f.end());
         }(),
         "запись регистра 67 := 5"},
        {"clock write",
         [&] {
             RequestFrameBuilder b;
             auto f = b.withBlock(1, cmd::WriteClock, clock);
             return std::vector<std::uint8_t>(f.begin(), f.end());
         }(),
         "запись часов 14:03:27 07.12.2026"},
        {"user-field write",
         [&] {
             RequestFrameBuilder b;
             auto f = b.withBlock(255, cmd::WriteUserFields, fields);
             return std::vector<std::uint8_t>(f.begin(), f.end());
         }(),
         "запись полей пользователя, 12 байт"},
        {"clock read",
         [] {
             RequestFrameBuilder b;
             auto f = b.plain(1, cmd::ReadClock, 0, 7);
             return std::vector<std::uint8_t>(f.begin(), f.end());
         }(),
         "чтение часов"},
        {"a frame cut short",
         [] {
             RequestFrameBuilder b;
             auto f = b.plain(1, cmd::ReadRegister, 76, 0);
             return std::vector<std::uint8_t>(f.begin(), f.end() - 1);
         }(),
         ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeRequestFrame(c.frame), c.meaning) << c.name;
    }
}

TEST(FrameMeaning, AFailedRequestIsNamedInTheCompanionsEnglishAndInTheWindowsRussian) {
    struct Case {
        const char* name;
        std::uint8_t address, command, param1, param2;
        const char* english;
        const char* russian;
    };
    const Case cases[] = {
        {"a register read names its register", 1, cmd::ReadRegister, 77, 0,
         "register read 77 (74 4D 00) to board 1", "чтение регистра 77 (74 4D 00), табло 1"},
        {"a clock write names no register", 9, cmd::WriteClock, 0, 7,
         "clock write (70 00 07) to board 9", "запись часов (70 00 07), табло 9"},
        {"an unknown command is a request by its bytes", 254, 0x41, 1, 2,
         "request (41 01 02) to board 254", "команда (41 01 02), табло 254"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describeRequest(c.address, c.command, c.param1, c.param2), c.english) << c.name;
        EXPECT_EQ(describeRequestInRussian(c.address, c.command, c.param1, c.param2), c.russian)
            << c.name;
    }
}

TEST(FrameMeaning, ARepliesMeaningIsWhatWasTakenFromIt) {
    EXPECT_EQ(describeReplyHeader({
                  1,
                  0,
                  cmd::ReadRegister,
                  76,
                  1,
              }),
              "регистр 76 = 1");
    EXPECT_EQ(describeReplyHeader({1, 0, cmd::WriteRegister, 67, 5}),
              "запись регистра подтверждена");
    EXPECT_EQ(describeReplyHeader({1, 0, 0x41, 0, 0}), "ответ с кодом 0x41");
    EXPECT_EQ(describeStatusFrame("12-30"), "статусный кадр: мастер, основное поле «12-30»");
    const std::string fields[] = {"12.34", "-5_0"};
    EXPECT_EQ(describeUserFields(fields), "поля пользователя: 0 «12.34», 1 «-5_0»");
    EXPECT_EQ(describeClockReply(std::nullopt), "часы табло: блок не время");
}

TEST(LogLine, EachItemAddsItsPartAndThePlainLineStaysAsItWas) {
    TStrMsg record =
        makeExchangeRecord(ExchangeBytes{.head = {.direction = LogDirection::Read},
                                         .bytes = std::vector<std::uint8_t>{0x5A, 0x01, 0xFF},
                                         .meaning = "регистр 76 = 1"});
    record.Head.timeMs = ((14 * 60 + 3) * 60 + 27) * 1000 + 512;
    const struct {
        LogForm form;
        const char* line;
    } cases[] = {
        {{}, "3 5A 01 FF "},
        {{.time = true}, "14:03:27.512 3 5A 01 FF "},
        {{.direction = true}, "< 3 5A 01 FF "},
        {{.meaning = true}, "3 5A 01 FF | регистр 76 = 1"},
        {{.time = true, .direction = true, .meaning = true},
         "14:03:27.512 < 3 5A 01 FF | регистр 76 = 1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatLogLine(record, c.form), c.line);
    }
    const TStrMsg idle = makeExchangeRecord(std::span<const std::uint8_t>{});
    EXPECT_EQ(formatLogLine(idle, {.direction = true, .meaning = true}), "< 0 ")
        << "a poll with no byte has no meaning";
    EXPECT_EQ(formatLogLine(idle, {.time = true}), "--:--:--.--- 0 ") << "no clock: no time";
}

}  // namespace
}  // namespace horalux::link
