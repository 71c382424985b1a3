// Only the conversions are tested: setting the machine's clock is never done in a test.
#include "platform/PosixSystemClock.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/ZoneGuard.h"

namespace horalux::platform {
namespace {

using test::ZoneGuard;

// 2024-06-01 12:00:00.750 UTC and 2024-01-15 12:00:00 UTC.
constexpr timespec kSummerNoon{1717243200, 750000000};
constexpr timespec kWinterNoon{1705320000, 0};

TEST(PosixSystemClock, ReadsLocalTimeAndBiasUnderTheZoneRules) {
    struct Case {
        const char* zone;
        timespec instant;
        LocalDateTime local;
        int bias;
    };
    const Case cases[] = {
        {"UTC0", kSummerNoon, {2024, 6, 1, 12, 0, 0, 750}, 0},
        {"MSK-3", kSummerNoon, {2024, 6, 1, 15, 0, 0, 750}, -180},
        {"CET-1CEST,M3.5.0,M10.5.0/3", kSummerNoon, {2024, 6, 1, 14, 0, 0, 750}, -120},
        {"CET-1CEST,M3.5.0,M10.5.0/3", kWinterNoon, {2024, 1, 15, 13, 0, 0, 0}, -60},
        {"EST5EDT,M3.2.0,M11.1.0", kWinterNoon, {2024, 1, 15, 7, 0, 0, 0}, 300},
    };
    for (const Case& c : cases) {
        ZoneGuard zone(c.zone);
        EXPECT_EQ(localDateTimeAt(c.instant), c.local) << c.zone;
        EXPECT_EQ(biasMinutesAt(c.instant), c.bias) << c.zone;
        const std::optional<timespec> back = instantOfLocal(c.local);
        ASSERT_TRUE(back) << c.zone;
        EXPECT_EQ(back->tv_sec, c.instant.tv_sec) << c.zone;
        EXPECT_EQ(back->tv_nsec, c.instant.tv_nsec) << c.zone;
    }
}

TEST(PosixSystemClock, RefusesFieldsOutOfRangeInsteadOfRollingThemOver) {
    ZoneGuard zone("UTC0");
    for (const LocalDateTime& bad :
         {LocalDateTime{2024, 13, 1, 0, 0, 0, 0}, LocalDateTime{2024, 0, 1, 0, 0, 0, 0},
          LocalDateTime{2024, 1, 32, 0, 0, 0, 0}, LocalDateTime{2024, 1, 1, 24, 0, 0, 0},
          LocalDateTime{2024, 1, 1, 0, 60, 0, 0}, LocalDateTime{2024, 1, 1, 0, 0, 60, 0},
          LocalDateTime{2024, 1, 1, 0, 0, 0, 1000}, LocalDateTime{2024, 1, 1, 0, 0, 0, -1}}) {
        EXPECT_FALSE(instantOfLocal(bad)) << bad.month << "/" << bad.day << " " << bad.hour;
    }
    const std::optional<timespec> lastSecondBefore1970 =
        instantOfLocal(LocalDateTime{1969, 12, 31, 23, 59, 59, 0});
    ASSERT_TRUE(lastSecondBefore1970);
    EXPECT_EQ(lastSecondBefore1970->tv_sec, -1);
}

}  // namespace
}  // namespace horalux::platform
