#include "timesync/SntpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "LoopbackUdpServer.h"
#include "support/FakeSystemClock.h"
#include "support/FakeTick.h"
#include "support/ZoneGuard.h"
#include "timesync/CivilTime.h"
#include "timesync/NtpPacket.h"

namespace horalux::timesync {
namespace {

using platform::LocalDateTime;

// The UTC instant of a date and time read as UTC, in Unix milliseconds.
std::int64_t utc(const LocalDateTime& time) {
    return epochMsOf(time);
}

// A reply to `request` that answers some other request.
std::vector<std::uint8_t> strangersReply(const std::vector<std::uint8_t>& request,
                                         const NtpTimestamp& transmit, std::uint8_t header = 0x24,
                                         std::uint8_t stratum = 2) {
    std::vector<std::uint8_t> reply = test::makeSntpReply(request, transmit, header, stratum);
    reply[kNtpOriginateOffset + 7] ^= 0xFF;
    return reply;
}

// 2024-06-01 12:00:00.750 UTC.
constexpr NtpTimestamp kNoon{3926232000U, 3221225472U};
// 2040-01-01 00:00:00 UTC, after the NTP seconds have wrapped.
constexpr NtpTimestamp kNewYear2040{123010304U, 0};

struct SntpClientTest : ::testing::Test {
    test::LoopbackUdpServer server;
    test::FakeSystemClock clock;
    test::FakeTick tick;
    std::vector<std::string> messages;
    SntpOptions options;

    SntpClientTest() {
        options.port = server.port();
        options.timeoutMs = 10000;
        options.nonce = [] { return 0x2A5A5AU; };
    }

    // Serves one request by answering with `transmit` from the server's own port.
    void answerWith(const NtpTimestamp& transmit, std::uint8_t stratum = 2) {
        server.serveOneRequest([=](const std::vector<std::uint8_t>& request, auto& s) {
            s.reply(test::makeSntpReply(request, transmit, 0x24, stratum));
        });
    }

    bool sync(const std::string& host = "127.0.0.1") {
        return static_cast<bool>(SinhrSisDate(
            true, host, clock, tick, [this](std::string_view text) { messages.emplace_back(text); },
            options));
    }
};

TEST_F(SntpClientTest, ServerNoonUtcSetsTheClockToNoonUtcOnAPcAtUtcPlusThree) {
    clock.time = {2024, 6, 1, 14, 59, 0, 123};
    clock.bias = -180;
    answerWith(kNoon);

    EXPECT_TRUE(sync());
    const std::vector<std::uint8_t> request = server.finish();

    ASSERT_EQ(request.size(), kNtpPacketSize);
    EXPECT_EQ(request[0], 0x1B);
    // The request carries the PC clock as UTC: 11:59:00.123.
    EXPECT_EQ(unixMsOfNtpTimestamp(readNtpTimestamp(request, kNtpTransmitOffset)), 1717243140123);
    EXPECT_EQ(clock.sets, std::vector<std::int64_t>{utc({2024, 6, 1, 12, 0, 0, 750})});
    EXPECT_TRUE(messages.empty());
}

TEST_F(SntpClientTest, IgnoresStrangersAndJunkUntilTheRealReplyComes) {
    clock.bias = 0;
    server.serveOneRequest([](const std::vector<std::uint8_t>& request, auto& s) {
        // A well-formed answer from another port never reaches the connected socket.
        s.replyFromOtherPort(test::makeSntpReply(request, kNewYear2040));
        const std::vector<std::uint8_t> junk(10, 0xAB);
        s.reply(junk);
        s.reply(strangersReply(request, kNewYear2040));
        s.reply(strangersReply(request, kNewYear2040, 0x24, 0));
        s.reply(test::makeSntpReply(request, kNoon));
    });

    EXPECT_TRUE(sync());
    server.finish();
    EXPECT_EQ(clock.sets, std::vector<std::int64_t>{utc({2024, 6, 1, 12, 0, 0, 750})});
}

TEST_F(SntpClientTest, ServerTimeIsRightWhateverEraThePcClockIsIn) {
    struct Case {
        const char* what;
        LocalDateTime pc;
        NtpTimestamp server;
        LocalDateTime expected;
    };
    const Case cases[] = {
        {"PC in 1970, server in 2024",
         {1970, 1, 1, 0, 0, 5, 0},
         kNoon,
         {2024, 6, 1, 12, 0, 0, 750}},
        {"PC in 1970, server after the rollover",
         {1970, 1, 1, 0, 0, 5, 0},
         kNewYear2040,
         {2040, 1, 1, 0, 0, 0, 0}},
        {"PC in 2040, server in 2040",
         {2040, 3, 1, 8, 0, 0, 0},
         kNewYear2040,
         {2040, 1, 1, 0, 0, 0, 0}},
        {"PC in 2040, server in 2024",
         {2040, 3, 1, 8, 0, 0, 0},
         kNoon,
         {2024, 6, 1, 12, 0, 0, 750}},
    };
    clock.bias = 0;
    for (const Case& c : cases) {
        test::LoopbackUdpServer caseServer;
        options.port = caseServer.port();
        clock.time = c.pc;
        clock.sets.clear();
        caseServer.serveOneRequest([&c](const std::vector<std::uint8_t>& request, auto& s) {
            s.reply(test::makeSntpReply(request, c.server));
        });
        EXPECT_TRUE(sync()) << c.what;
        caseServer.finish();
        EXPECT_EQ(clock.sets, std::vector<std::int64_t>{utc(c.expected)}) << c.what;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(SntpClientTest, SwitchedOffSendsNothingAndSaysNothing) {
    EXPECT_FALSE(SinhrSisDate(
        false, "127.0.0.1", clock, tick, [this](std::string_view t) { messages.emplace_back(t); },
        options));
    EXPECT_FALSE(server.hasPendingDatagram());
    EXPECT_TRUE(clock.sets.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(SntpClientTest, AStopDuringTheWaitSetsNothingAndSaysNothing) {
    const std::atomic<bool> stop{true};  // the program is ending
    options.stop = &stop;
    const ClockSync sync = SinhrSisDate(
        true, "127.0.0.1", clock, tick, [this](std::string_view t) { messages.emplace_back(t); },
        options, [] { return false; });
    EXPECT_EQ(sync.step, ClockStep::Stopped);
    EXPECT_TRUE(clock.sets.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(SntpClientTest, UnresolvableNameFailsAtLookupAndNamesTheServer) {
    const std::string host = "no-such-time-server.invalid";
    options.timeoutMs = kSntpTimeoutMs;  // never reached: the lookup fails first
    EXPECT_EQ(querySntpServer(host, clock, tick, options).failure, SntpFailure::Resolve);
    EXPECT_FALSE(sync(host));
    EXPECT_EQ(messages,
              std::vector<std::string>{"не удалось получить время с сервера " + host + "!"});
    EXPECT_TRUE(clock.sets.empty());
}

TEST_F(SntpClientTest, ALocalNameReachesTheServerAtItsIpv4AddressAndReservedNamesNeverDo) {
    clock.bias = 0;
    answerWith(kNoon);
    EXPECT_TRUE(sync("localhost"));
    server.finish();
    for (const char* bad : {"", "invalid", "TIME.INVALID.", "a.b.invalid"}) {
        EXPECT_EQ(querySntpServer(bad, clock, tick, options).failure, SntpFailure::Resolve) << bad;
    }
}

TEST_F(SntpClientTest, AnUnusableAnswerToOurRequestFailsAtOnce) {
    struct Case {
        const char* what;
        std::uint8_t header;
        std::uint8_t stratum;
        NtpTimestamp transmit;
    };
    const Case cases[] = {
        {"stratum 0", 0x24, 0, kNoon},
        {"leap indicator 3", 0xE4, 2, kNoon},
        {"transmit time 0", 0x24, 2, NtpTimestamp{}},
    };
    // The fake tick never moves: only a failure at the first answer can end the exchange.
    options.timeoutMs = kSntpTimeoutMs;
    for (const Case& c : cases) {
        test::LoopbackUdpServer caseServer;
        options.port = caseServer.port();
        caseServer.serveOneRequest([&c](const std::vector<std::uint8_t>& request, auto& s) {
            s.reply(strangersReply(request, kNoon, c.header, c.stratum));  // ignored
            s.reply(test::makeSntpReply(request, c.transmit, c.header, c.stratum));
        });
        const SntpResult result = querySntpServer("127.0.0.1", clock, tick, options);
        caseServer.finish();
        EXPECT_EQ(result.failure, SntpFailure::Unusable) << c.what;
    }
}

TEST_F(SntpClientTest, RepliesWithContradictingTimesAreRefused) {
    // The PC clock stands still, so the PC side of the round trip is 0.
    const std::uint32_t receivedSeconds[] = {
        kNoon.seconds + 1,  // received a second after it was sent
        kNoon.seconds - 1,  // a second on the server in no time on the PC: negative round trip
    };
    for (const std::uint32_t received : receivedSeconds) {
        test::LoopbackUdpServer caseServer;
        options.port = caseServer.port();
        caseServer.serveOneRequest([received](const std::vector<std::uint8_t>& request, auto& s) {
            std::vector<std::uint8_t> reply = test::makeSntpReply(request, kNoon);
            for (std::size_t i = 0; i < 4; ++i) {
                reply[kNtpReceiveOffset + i] = static_cast<std::uint8_t>(received >> (24 - 8 * i));
            }
            s.reply(reply);
        });
        EXPECT_EQ(querySntpServer("127.0.0.1", clock, tick, options).failure,
                  SntpFailure::Inconsistent)
            << received - kNoon.seconds;
        caseServer.finish();
    }
}

TEST_F(SntpClientTest, TimeOutIsCountedOnTheInjectedTick) {
    options.timeoutMs = 10000;
    server.serveOneRequest([this](const std::vector<std::uint8_t>& request, auto& s) {
        s.reply(strangersReply(request, kNoon));
        tick.advance(10000);
        s.reply(strangersReply(request, kNoon));
    });
    const SntpResult result = querySntpServer("127.0.0.1", clock, tick, options);
    server.finish();
    EXPECT_EQ(result.failure, SntpFailure::TimedOut);
    EXPECT_GE(result.ignoredDatagrams, 1) << "what came was no reply";
}

TEST_F(SntpClientTest, SetsTheClockFromUtcAndShowsLocalTimeAcrossDaylightSavingChanges) {
    const test::ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        const char* what;
        LocalDateTime server;  // UTC
        int pcBias;            // the bias the PC clock has before it is set
        LocalDateTime shown;   // local
    };
    const Case cases[] = {
        {"autumn, first 02:30 (summer time)",
         {2024, 10, 27, 0, 30, 0, 0},
         -120,
         {2024, 10, 27, 2, 30, 0, 0}},
        {"autumn, second 02:30 (standard time)",
         {2024, 10, 27, 1, 30, 0, 0},
         -120,
         {2024, 10, 27, 2, 30, 0, 0}},
        {"spring, before the change", {2024, 3, 31, 0, 30, 0, 0}, -60, {2024, 3, 31, 1, 30, 0, 0}},
        {"spring, after the change", {2024, 3, 31, 1, 30, 0, 0}, -60, {2024, 3, 31, 3, 30, 0, 0}},
    };
    for (const Case& c : cases) {
        test::LoopbackUdpServer caseServer;
        options.port = caseServer.port();
        clock.bias = c.pcBias;
        clock.time = dateTimeOfEpochMs(utc(c.server) - c.pcBias * 60000LL);
        clock.sets.clear();
        const NtpTimestamp transmit = ntpTimestampOfUnixMs(utc(c.server));
        caseServer.serveOneRequest([&](const std::vector<std::uint8_t>& request, auto& s) {
            s.reply(test::makeSntpReply(request, transmit));
        });
        EXPECT_TRUE(sync()) << c.what;
        caseServer.finish();
        EXPECT_EQ(clock.sets, std::vector<std::int64_t>{utc(c.server)}) << c.what;
        SntpResult result;
        result.serverUtcMs = utc(c.server);
        EXPECT_EQ(serverLocalTime(result), c.shown) << c.what;
    }
}

TEST_F(SntpClientTest, RefusalToSetTheClockIsReportedOnce) {
    clock.refuseSet = true;
    answerWith(kNoon);
    EXPECT_FALSE(sync());
    server.finish();
    EXPECT_EQ(clock.sets.size(), 1U);
    EXPECT_EQ(messages, std::vector<std::string>{std::string(kSetClockFailedText)});
}

TEST_F(SntpClientTest, UnreadableTimeZoneFailsBeforeSending) {
    clock.bias = std::nullopt;
    EXPECT_FALSE(sync());
    EXPECT_FALSE(server.hasPendingDatagram());
    EXPECT_EQ(messages, std::vector<std::string>{sntpFailureText("127.0.0.1")});
}

TEST_F(SntpClientTest, QueryReportsServerTimeAndOffsetWithoutSettingTheClock) {
    clock.time = {2024, 6, 1, 14, 59, 0, 0};  // 11:59:00 UTC
    clock.bias = -180;
    answerWith(kNoon);
    const SntpResult result = querySntpServer("127.0.0.1", clock, tick, options);
    server.finish();
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.serverUtcMs, 1717243200750);
    EXPECT_EQ(result.offsetMs, 60750);
    const test::ZoneGuard zone("MSK-3");
    EXPECT_EQ(serverLocalTime(result), (LocalDateTime{2024, 6, 1, 15, 0, 0, 750}));
    EXPECT_TRUE(clock.sets.empty());
}

}  // namespace
}  // namespace horalux::timesync
