#include "timesync/NtpPacket.h"

#include <gtest/gtest.h>

#include <vector>

namespace horalux::timesync {
namespace {

// 2024-06-01 12:00:00.750 UTC.
constexpr std::int64_t kNoonUnixMs = 1717243200750;
constexpr NtpTimestamp kNoon{3926232000U, 3221225472U};

std::vector<std::uint8_t> goodReply(const NtpTimestamp& originate) {
    std::vector<std::uint8_t> reply(kNtpPacketSize, 0);
    reply[0] = 0x24;  // leap 0, version 4, mode 4
    reply[1] = 2;
    for (std::size_t i = 0; i < 4; ++i) {
        reply[kNtpOriginateOffset + i] =
            static_cast<std::uint8_t>(originate.seconds >> (24 - 8 * i));
        reply[kNtpOriginateOffset + 4 + i] =
            static_cast<std::uint8_t>(originate.fraction >> (24 - 8 * i));
    }
    reply[kNtpTransmitOffset] = 0xE9;
    return reply;
}

TEST(SntpReplyCheck, AcceptsOnlyWellFormedServerAnswersToOurRequest) {
    const NtpTimestamp sent{0xE9000000U, 0x12345678U};
    struct Case {
        const char* what;
        std::size_t size;
        int header;   // -1 keeps the good one
        int stratum;  // -1 keeps the good one
        bool clearTransmit;
        bool otherOriginate;
        SntpReplyCheck expected;
    };
    const Case cases[] = {
        {"good reply", 48, -1, -1, false, false, SntpReplyCheck::Usable},
        {"longer reply with extension", 68, -1, -1, false, false, SntpReplyCheck::Usable},
        {"version 1 server", 48, 0x0C, -1, false, false, SntpReplyCheck::Usable},
        {"leap second pending", 48, 0x64, -1, false, false, SntpReplyCheck::Usable},
        {"stratum 15", 48, -1, 15, false, false, SntpReplyCheck::Usable},
        {"47 bytes", 47, -1, -1, false, false, SntpReplyCheck::TooShort},
        {"empty", 0, -1, -1, false, false, SntpReplyCheck::TooShort},
        {"version 0", 48, 0x04, -1, false, false, SntpReplyCheck::BadVersion},
        {"version 5", 48, 0x2C, -1, false, false, SntpReplyCheck::BadVersion},
        {"client mode (our own request echoed)", 48, 0x1B, -1, false, false,
         SntpReplyCheck::NotServerMode},
        {"broadcast mode", 48, 0x25, -1, false, false, SntpReplyCheck::NotServerMode},
        {"leap indicator 3", 48, 0xE4, -1, false, false, SntpReplyCheck::Unsynchronised},
        {"stratum 0 (kiss-o'-death)", 48, -1, 0, false, false, SntpReplyCheck::BadStratum},
        {"stratum 16", 48, -1, 16, false, false, SntpReplyCheck::BadStratum},
        {"transmit timestamp 0", 48, -1, -1, true, false, SntpReplyCheck::NoTransmitTime},
        {"originate not ours", 48, -1, -1, false, true, SntpReplyCheck::NotOurRequest},
        {"stratum 0 to another request", 48, -1, 0, false, true, SntpReplyCheck::NotOurRequest},
        {"leap indicator 3 to another request", 48, 0xE4, -1, false, true,
         SntpReplyCheck::NotOurRequest},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> reply = goodReply(sent);
        if (c.header >= 0) {
            reply[0] = static_cast<std::uint8_t>(c.header);
        }
        if (c.stratum >= 0) {
            reply[1] = static_cast<std::uint8_t>(c.stratum);
        }
        if (c.clearTransmit) {
            reply[kNtpTransmitOffset] = 0;
        }
        if (c.otherOriginate) {
            reply[kNtpOriginateOffset + 7] ^= 0x01;
        }
        reply.resize(c.size);
        EXPECT_EQ(checkSntpReply(reply, sent), c.expected) << c.what;
    }
}

TEST(SntpRequest, CarriesHeaderAndTransmitTimeOnly) {
    const NtpPacket request = buildSntpRequest(kNoon);
    EXPECT_EQ(request[0], 0x1B);
    EXPECT_EQ(readNtpTimestamp(request, kNtpTransmitOffset), kNoon);
    for (std::size_t i = 1; i < kNtpTransmitOffset; ++i) {
        EXPECT_EQ(request[i], 0) << "byte " << i;
    }
}

TEST(NtpTimestamp, ConvertsUnixMillisecondsBothWaysAcrossEras) {
    struct Case {
        const char* what;
        std::int64_t unixMs;
        NtpTimestamp timestamp;
    };
    const Case cases[] = {
        {"noon and three quarters", kNoonUnixMs, kNoon},
        {"Unix epoch", 0, {2208988800U, 0}},
        {"last millisecond of era 0", 2085978495999, {0xFFFFFFFFU, 4290672329U}},
        {"first second of era 1", 2085978496000, {0, 0}},
        {"2040-01-01, after the rollover", 2208988800000, {123010304U, 0}},
        {"half a second before 1970", -500, {2208988799U, 2147483648U}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ntpTimestampOfUnixMs(c.unixMs), c.timestamp) << c.what;
        EXPECT_EQ(unixMsOfNtpTimestamp(c.timestamp), c.unixMs) << c.what;
    }
}

TEST(NtpTimestamp, NonceChangesOnlyBitsBelowTheMillisecond) {
    for (const std::int64_t ms : {kNoonUnixMs, kNoonUnixMs + 249, std::int64_t{2085978495999}}) {
        const NtpTimestamp plain = ntpTimestampOfUnixMs(ms, 0);
        const NtpTimestamp full = ntpTimestampOfUnixMs(ms, 0xFFFFFFFFU);
        const NtpTimestamp some = ntpTimestampOfUnixMs(ms, 0x0015A5A5U);
        EXPECT_NE(plain, full);
        EXPECT_NE(plain, some);
        EXPECT_EQ(full.seconds, plain.seconds);
        EXPECT_EQ(unixMsOfNtpTimestamp(full), ms);
        EXPECT_EQ(unixMsOfNtpTimestamp(some), ms);
    }
}

}  // namespace
}  // namespace horalux::timesync
