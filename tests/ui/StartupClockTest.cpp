// The start-up time check against a time server of the test's own on the loopback interface.
#include "ui/StartupClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../timesync/LoopbackUdpServer.h"
#include "support/FakeSystemClock.h"
#include "support/FakeTick.h"

namespace horalux::ui {
namespace {

// 2040-01-01 00:00:00 UTC.
constexpr timesync::NtpTimestamp kNewYear2040{123010304U, 0};

struct Case {
    const char* name;
    bool disciplined;  // the system's time service keeps the clock
    bool refuseSet;    // the system refuses to set the clock
    std::size_t sets;  // attempts to set the clock
    const char* word;  // status panel 2
    std::vector<std::string> messages;
};

TEST(StartupClock, TheServerIsAskedButTheClockIsSteppedOnlyWithoutATimeServiceAndRefusalIsTold) {
    const Case cases[] = {
        {"no time service: set", false, false, 1, "задано", {}},
        {"time service keeps the clock: left alone", true, false, 0, "сверено", {}},
        {"set refused: told once",
         false,
         true,
         1,
         "отказ",
         {std::string(timesync::kSetClockFailedText)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LoopbackUdpServer server;
        server.serveOneRequest([](const std::vector<std::uint8_t>& request, auto& s) {
            s.reply(test::makeSntpReply(request, kNewYear2040));
        });
        test::FakeSystemClock clock;
        clock.refuseSet = c.refuseSet;
        test::FakeTick tick;
        timesync::SntpOptions options;
        options.port = server.port();
        options.timeoutMs = 10000;
        std::vector<std::string> messages;
        const StartupClockReport report = synchronizeSystemClock(
            true, "127.0.0.1", clock, tick,
            [&](std::string_view text) { messages.emplace_back(text); }, options,
            [&] { return c.disciplined; });
        server.finish();
        EXPECT_EQ(clock.sets.size(), c.sets);
        EXPECT_EQ(report.word.toStdString(), c.word);
        EXPECT_TRUE(report.detail.contains(QStringLiteral("127.0.0.1")));
        EXPECT_EQ(messages, c.messages);
    }
}

TEST(StartupClock, SwitchedOffAsksNoServerAndSaysNothing) {
    test::FakeSystemClock clock;
    test::FakeTick tick;
    bool asked = false;
    const StartupClockReport report = synchronizeSystemClock(
        false, "127.0.0.1", clock, tick, [&](std::string_view) { asked = true; }, {},
        [&] { return asked = true; });
    EXPECT_FALSE(asked);
    EXPECT_TRUE(report.word.isEmpty());
}

}  // namespace
}  // namespace horalux::ui
