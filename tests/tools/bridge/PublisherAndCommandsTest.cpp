#include <gtest/gtest.h>

#include "BridgeCommands.h"
#include "LookRequests.h"
#include "RetainedPublisher.h"
#include "config/RegisterMap.h"
#include "link/exchange/SegmentCode.h"
#include "link/session/UserFieldPayload.h"
#include "support/FakeTick.h"

namespace horalux::bridge {
namespace {

using Sent = std::vector<Message>;

TEST(RetainedPublisher, SendsOnlyChangesAtMostOnceASecondTheLatestWinning) {
    test::FakeTick tick(0xFFFFFC00);  // the tick wraps during the test
    RetainedPublisher publisher(tick);
    publisher.set("t", "1");
    EXPECT_EQ(publisher.due(), (Sent{{"t", "1"}}));
    publisher.set("t", "1");
    EXPECT_EQ(publisher.due(), Sent{});  // unchanged
    EXPECT_EQ(publisher.nextDueInMs(), std::nullopt);

    tick.advance(300);
    publisher.set("t", "2");
    publisher.set("u", "a");  // another topic has its own second
    EXPECT_EQ(publisher.due(), (Sent{{"u", "a"}}));
    EXPECT_EQ(publisher.nextDueInMs(), 700U);
    tick.advance(400);
    publisher.set("t", "3");
    EXPECT_EQ(publisher.due(), Sent{});
    tick.advance(299);
    EXPECT_EQ(publisher.due(), Sent{});
    tick.advance(1);
    EXPECT_EQ(publisher.due(), (Sent{{"t", "3"}}));  // held, then sent as its second ends

    // Changed and changed back within the second: nothing to send.
    tick.advance(100);
    publisher.set("t", "4");
    publisher.set("t", "3");
    tick.advance(2000);
    EXPECT_EQ(publisher.due(), Sent{});

    // A new broker session gets every topic's latest value at once.
    publisher.set("u", "b");
    publisher.reconnected();
    EXPECT_EQ(publisher.due(), (Sent{{"t", "3"}, {"u", "b"}}));
    EXPECT_EQ(publisher.due(), Sent{});
}

TEST(UserFieldText, IsCheckedByThePositionsItTakesOnTheBoard) {
    struct Case {
        const char* text;
        std::size_t digits;
        link::FieldTextFault fault;
    };
    const Case cases[] = {
        {"12-4", 4, link::FieldTextFault::None},
        {"1.2.3.4.", 4, link::FieldTextFault::None},  // points take no digit
        {"12.34", 4, link::FieldTextFault::None},
        {".1234", 4, link::FieldTextFault::Length},   // a leading dot takes a position
        {"1..234", 4, link::FieldTextFault::Length},  // so does a second dot
        {"....", 4, link::FieldTextFault::None},
        {".....", 4, link::FieldTextFault::Length},
        {"", 4, link::FieldTextFault::None},
        {" _- ", 4, link::FieldTextFault::None},
        {"12345", 4, link::FieldTextFault::Length},
        {"12a", 4, link::FieldTextFault::Character},
        {"1+", 4, link::FieldTextFault::Character},
        {"1\n", 4, link::FieldTextFault::Character},
        {"°", 4, link::FieldTextFault::Character},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(link::checkUserFieldText(c.text, c.digits), c.fault) << c.text;
        // The count is the positions the text is sent in: nothing accepted is ever cut.
        if (c.fault != link::FieldTextFault::Character) {
            EXPECT_EQ(link::userFieldPositions(c.text), link::encodeFieldText(c.text).size())
                << c.text;
        }
    }
    EXPECT_EQ(link::checkUserFieldText(std::string(1 << 20, '.'), 4), link::FieldTextFault::Length);
}

TEST(LookBatches, ALookIsEveryRegisterInOrderInBatchesOfAboutASecondThenClockAndFields) {
    struct Case {
        std::uint32_t speed;
        bool withRegisters;
        std::size_t largestRegisterBatch;
    };
    const Case cases[] = {{9600, true, 4}, {115200, true, 48}, {1200, true, 1}, {9600, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        const auto batches = lookBatches(c.withRegisters, c.speed);
        std::vector<LookRequest> all;
        std::size_t largest = 0;
        for (const auto& batch : batches) {
            ASSERT_FALSE(batch.empty());
            if (batch.front().kind == LookRequest::Register) {
                largest = std::max(largest, batch.size());
            }
            all.insert(all.end(), batch.begin(), batch.end());
        }
        EXPECT_EQ(all, lookRequests(c.withRegisters));
        EXPECT_EQ(largest, c.largestRegisterBatch);
        // The clock and the fields go last, together, after every register has been read.
        EXPECT_EQ(batches.back(), (std::vector<LookRequest>{{LookRequest::Clock, 0},
                                                            {LookRequest::FieldValues, 0}}));
    }
    EXPECT_EQ(lookRequests(true).size(), config::kReadList.size() + 2);
}

TEST(BridgeCommands, GoodCommandsMapToTheirOperationAndBadOnesAreRefusedWithAReason) {
    const BoardTopics topics = lineNames("horalux", "node", "ttyUSB0").board(77);
    const std::vector<std::uint8_t> digits{4, 2};
    auto run = [&](std::string_view entity, std::string_view payload) {
        return commandOf(topics, topics.command(entity), payload, digits);
    };
    EXPECT_EQ(run("field_0", "12.34"), Command(WriteUserField{0, "12.34"}));
    EXPECT_EQ(run("field_1", "-_"), Command(WriteUserField{1, "-_"}));
    EXPECT_EQ(run("sync_time", "PRESS"), Command(SyncTime{}));
    EXPECT_EQ(run("mode", "master"), Command(SetMode{true}));
    EXPECT_EQ(run("mode", "slave"), Command(SetMode{false}));

    struct Bad {
        std::string_view entity, payload, reason;
    };
    const Bad bad[] = {
        {"field_1", "123", "longer than its 2 digit positions"},
        {"field_0", "12ab", "holds a character the board cannot show"},
        {"field_2", "1", "the board has no user field 2 (it has 2)"},
        {"field_99999999999999999999", "1", "unknown command topic"},
        {"field_01", "1", "unknown command topic"},
        {"field_-1", "1", "unknown command topic"},
        {"mode", "Master", "neither master nor slave"},
        {"sync_time", "", "is not a press"},
        {"reboot", "1", "unknown command"},
    };
    for (const Bad& b : bad) {
        const Command command = run(b.entity, b.payload);
        ASSERT_TRUE(std::holds_alternative<Refusal>(command)) << b.entity << " " << b.payload;
        EXPECT_NE(std::get<Refusal>(command).text.find(b.reason), std::string::npos)
            << std::get<Refusal>(command).text;
    }
    // Control characters in a refused payload do not reach the log line.
    const Command control = run("field_0", "1\n2");
    ASSERT_TRUE(std::holds_alternative<Refusal>(control));
    EXPECT_EQ(std::get<Refusal>(control).text.find('\n'), std::string::npos);
    // Nor do NUL, bytes that are not UTF-8, or half a character where a long text is cut: the
    // refusal goes to the error topic as well.
    const struct {
        std::string payload;
        std::string shown;
    } raw[] = {
        {std::string("1\0"
                     "2",
                     3),
         R"(mode: "1\x002" is neither)"},
        {"\xff\xfe", R"(mode: "\xff\xfe" is neither)"},
        {"\x1b[2J", R"(mode: "\x1b[2J" is neither)"},
        {std::string(39, 'a') + "ж" + "z", "mode: \"" + std::string(39, 'a') + "ж\"... is neither"},
    };
    for (const auto& r : raw) {
        const Command refused = run("mode", r.payload);
        ASSERT_TRUE(std::holds_alternative<Refusal>(refused));
        EXPECT_EQ(std::get<Refusal>(refused).text.rfind(r.shown, 0), 0U)
            << std::get<Refusal>(refused).text;
    }
    // Another board's topic is not this board's command.
    EXPECT_TRUE(std::holds_alternative<Refusal>(
        commandOf(topics, "horalux/node/ttyUSB0/7/mode/set", "master", digits)));
}

}  // namespace
}  // namespace horalux::bridge
