#include "timesync/BoardTime.h"

#include <gtest/gtest.h>

#include "timesync/CivilTime.h"

namespace horalux::timesync {
namespace {

platform::LocalDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return {y, mo, d, h, mi, s, ms};
}

TEST(BoardTimePayload, EncodesOneClockReadingAsBcdWithJulianWeekday) {
    struct Case {
        const char* what;
        platform::LocalDateTime time;
        BoardTimePayload expected;
    };
    const Case cases[] = {
        {"Sunday 1 March 2009 9:05:07",
         at(2009, 3, 1, 9, 5, 7),
         {0x07, 0x05, 0x09, 8, 0x01, 0x03, 0x09}},
        {"midnight", at(2024, 6, 3, 0, 0, 0), {0x00, 0x00, 0x00, 2, 0x03, 0x06, 0x24}},
        {"last second of a year",
         at(2023, 12, 31, 23, 59, 59),
         {0x59, 0x59, 0x23, 8, 0x31, 0x12, 0x23}},
        {"year 2000, a Saturday",
         at(2000, 1, 1, 12, 30, 45),
         {0x45, 0x30, 0x12, 7, 0x01, 0x01, 0x00}},
        {"leap day 2024, a Thursday",
         at(2024, 2, 29, 10, 0, 0),
         {0x00, 0x00, 0x10, 5, 0x29, 0x02, 0x24}},
        {"milliseconds are not sent",
         at(2099, 7, 14, 18, 40, 2, 999),
         {0x02, 0x40, 0x18, 3, 0x14, 0x07, 0x99}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(makeBoardTimePayload(c.time), c.expected) << c.what;
    }
}

TEST(ClockWriteTiming, WaitsSoThatTheLastByteEndsOnTheFirstWholeSecondItCanReach) {
    struct Case {
        const char* what;
        std::int64_t nowMs;
        double wireMs;
        std::int64_t secondMs;
        double waitMs;
    };
    const Case cases[] = {
        {"the frame ends within this second", 58'500, 122.9, 59'000, 377.1},
        {"the frame would end past the next second", 58'900, 122.9, 60'000, 977.1},
        {"on a whole second, the next one", 59'000, 122.9, 60'000, 877.1},
        {"ending exactly on one, at once", 58'877, 123.0, 59'000, 0.0},
        {"no wire time", 58'000, 0.0, 58'000, 0.0},
    };
    for (const Case& c : cases) {
        const ClockWriteTiming timing = alignClockWrite(c.nowMs, c.wireMs);
        EXPECT_EQ(timing.secondMs, c.secondMs) << c.what;
        EXPECT_NEAR(timing.waitMs, c.waitMs, 1e-6) << c.what;
        EXPECT_GE(timing.waitMs, 0.0) << c.what;
    }
}

TEST(JulianDayNumber, MatchesKnownDaysAndNumbersMondayAsZero) {
    EXPECT_EQ(julianDayNumber(2000, 1, 1), 2451545);
    EXPECT_EQ(julianDayNumber(1970, 1, 1), 2440588);
    EXPECT_EQ(julianDayNumber(2024, 3, 1) - julianDayNumber(2024, 2, 28), 2);  // leap year
    EXPECT_EQ(julianDayNumber(2100, 3, 1) - julianDayNumber(2100, 2, 28), 1);  // century, no leap
    EXPECT_EQ(julianDayNumber(2024, 6, 3) % 7, 0);                             // a Monday
}

TEST(CivilTime, AgreesWithJulianDaysAndRoundTripsAcrossEpochAndCenturies) {
    for (const auto& t :
         {at(1969, 12, 31, 23, 59, 59, 999), at(1970, 1, 1, 0, 0, 0), at(2000, 2, 29, 12, 0, 0, 1),
          at(2036, 2, 7, 6, 28, 16, 500), at(2100, 3, 1, 0, 0, 0), at(1900, 1, 1, 0, 0, 0)}) {
        EXPECT_EQ(daysFromCivil(t.year, t.month, t.day),
                  julianDayNumber(t.year, t.month, t.day) - 2440588);
        EXPECT_EQ(dateTimeOfEpochMs(epochMsOf(t)), t);
    }
    EXPECT_EQ(epochMsOf(at(1970, 1, 1, 0, 0, 1, 5)), 1005);
    EXPECT_EQ(epochMsOf(at(1969, 12, 31, 23, 59, 59, 999)), -1);
}

}  // namespace
}  // namespace horalux::timesync
