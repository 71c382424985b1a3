#include "link/exchange/SegmentCode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace horalux::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SegmentCode, EncodesFieldTextsWithPointsOnTheDigitBefore) {
    const struct {
        std::string text;
        Bytes bytes;
    } cases[] = {
        {"12.5", {0x06, 0xDB, 0x6D}},
        {".5", {0x80, 0x6D}},
        {"1..2", {0x86, 0x80, 0x5B}},
        {"-_ ", {0x40, 0x08, 0x00}},
        {"0123456789", {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F}},
        {"..", {0x80, 0x80}},
        {"", {}},
        {"1+", {0x06, 0x00}},  // outside the table: a blank digit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeFieldText(c.text), c.bytes) << c.text;
    }
}

TEST(SegmentCode, DecodesBytesToACharacterAndAnOptionalPoint) {
    const struct {
        std::uint8_t code;
        std::string text;
    } cases[] = {
        {0x3F, "0"}, {0x6F, "9"}, {0xBF, "0."}, {0x80, " ."}, {0x00, " "},
        {0x40, "-"}, {0x08, "_"}, {0x01, " "},  {0xFF, "8."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeSegmentCode(c.code), c.text) << int{c.code};
    }
}

TEST(SegmentCode, DecodingUndoesEncodingOfEveryTableCharacter) {
    const std::string text = "0.1-2_3 45.6789";
    std::string decoded;
    for (const std::uint8_t b : encodeFieldText(text)) {
        appendSegmentCode(b, decoded);
    }
    EXPECT_EQ(decoded, text);
}

TEST(SegmentCode, ReadsSignedBytesWithTheNoReadingByteAsZero) {
    const struct {
        std::uint8_t byte;
        int value;
    } cases[] = {{0x00, 0},    {0x05, 5},   {0x7F, 127}, {0x80, 0},
                 {0x81, -127}, {0xF6, -10}, {0xFF, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(decodeSignedByte(c.byte), c.value) << int{c.byte};
    }
}

TEST(SegmentCode, AcceptsOnlyTheCharactersADigitCanShow) {
    for (const char c : std::string("0123456789-_ .")) {
        EXPECT_TRUE(isFieldTextChar(c)) << c;
    }
    for (const char c : std::string("a+Z,\t")) {
        EXPECT_FALSE(isFieldTextChar(c)) << c;
    }
}

}  // namespace
}  // namespace horalux::link
