#include "config/Codes.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace horalux::config {
namespace {

TEST(Codes, PercentItemsEncodeWithHundredAsZero) {
    EXPECT_EQ(PercentCodes[0], 1);  // "10%"
    EXPECT_EQ(PercentCodes[8], 9);  // "90%"
    EXPECT_EQ(PercentCodes[9], 0);  // "100%"
}

TEST(Codes, TimeZoneItemsAndCodesAgreeOnTheTellingRows) {
    struct Case {
        std::size_t item;
        const char* text;
        std::uint8_t code;
    };
    const Case cases[] = {{0, "-12.0", 0x4C}, {1, "-11.5", 0xCB}, {23, "-0.5", 0xC0},
                          {24, "0.0", 0x00},  {25, "0.5", 0x80},  {30, "3.0", 0x03},
                          {31, "3.5", 0x83},  {50, "13.0", 0x0D}};
    for (const Case& c : cases) {
        EXPECT_EQ(timeZoneItemText(c.item, '.'), c.text) << c.item;
        EXPECT_EQ(TimeZoneCodes[c.item], c.code) << c.item;
    }
    EXPECT_EQ(timeZoneItemText(31, ','), "3,5");
    EXPECT_EQ(timeZoneItemText(23, ','), "-0,5");
    // Every item reads as "%1.1f" of its offset in hours (the tests run in the C locale).
    for (std::size_t item = 0; item < kTimeZoneCount; ++item) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%1.1f", (static_cast<double>(item) - 24) / 2);
        EXPECT_EQ(timeZoneItemText(item, '.'), expected) << item;
    }
}

TEST(Codes, CountPosMapsPositionsAndCodesBothWaysAndRejectsCodesWithoutItem) {
    for (int kind = 0; kind < static_cast<int>(kDisplayFormatKinds); ++kind) {
        const auto items = displayFormatItems(static_cast<std::size_t>(kind));
        for (int p = 0; p < static_cast<int>(items.size()); ++p) {
            const auto code = CountPos(kind, p, true);
            ASSERT_TRUE(code.has_value());
            EXPECT_EQ(CountPos(kind, *code, false), p);
            EXPECT_EQ(items[static_cast<std::size_t>(p)].text.front(), '0' + *code);
        }
        EXPECT_EQ(CountPos(kind, 1, false), std::nullopt) << kind;
        EXPECT_EQ(CountPos(kind, static_cast<int>(items.size()), true), std::nullopt);
    }
    EXPECT_EQ(CountPos(0, 7, true), 8);
    EXPECT_EQ(CountPos(4, 3, false), 1);  // pressure "3 762"
    EXPECT_EQ(CountPos(6, 2, false), std::nullopt);
    EXPECT_EQ(CountPos(8, 0, true), std::nullopt);
    EXPECT_EQ(CountPos(-1, 0, true), std::nullopt);
}

}  // namespace
}  // namespace horalux::config
