#include "config/Codec.h"

#include <gtest/gtest.h>

namespace horalux::config {
namespace {

TEST(Codec, ToBcdPacksTensAndUnits) {
    EXPECT_EQ(ToBcd(0), 0x00);
    EXPECT_EQ(ToBcd(7), 0x07);
    EXPECT_EQ(ToBcd(25), 0x25);
    EXPECT_EQ(ToBcd(59), 0x59);
    EXPECT_EQ(ToBcd(99), 0x99);
}

TEST(Codec, BcdTimeReadsHourAndMinuteAndRefusesOffAndNonDigits) {
    EXPECT_EQ(bcdTime(0x0730), (std::pair{7, 30}));
    EXPECT_EQ(bcdTime(0x2359), (std::pair{23, 59}));
    EXPECT_EQ(bcdTime(0x2500), std::nullopt);  // hour 25: off
    EXPECT_EQ(bcdTime(0x0A00), std::nullopt);
    EXPECT_EQ(bcdTime(0x0760), std::nullopt);
    EXPECT_EQ(fromBcd(0x59), 59);
    EXPECT_EQ(fromBcd(0x5A), std::nullopt);
}

}  // namespace
}  // namespace horalux::config
