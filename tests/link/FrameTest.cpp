#include "link/wire/Frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace horalux::link {
namespace {

std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> s) {
    return {s.begin(), s.end()};
}

TEST(FrameSum, FoldsHighAndLowBytesOfTheSum) {
    struct Case {
        std::vector<std::uint8_t> covered;
        std::uint8_t first, second;
    };
    const Case cases[] = {
        {{0xFF}, 0xFF, 0xFF},              // 0x00FF
        {{0x80, 0x80}, 0x01, 0x00},        // 0x0100
        {{0xFF, 0xFF, 0x01}, 0x00, 0xFF},  // 0x01FF
        {{0xE0, 0x00, 0x01, 0x74, 0x4D, 0x00}, 0xA3, 0xA2},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer = c.covered;
        buffer.resize(c.covered.size() + 2);
        FrameSum(buffer, 0, c.covered.size() - 1, SumForm::Folded, c.covered.size());
        EXPECT_EQ(buffer[c.covered.size()], c.first);
        EXPECT_EQ(buffer[c.covered.size() + 1], c.second);
    }
}

TEST(FrameSum, ShortFormKeepsTheLowByteAndEmptyRangeSumsToZero) {
    std::vector<std::uint8_t> buffer{0xFF, 0x9A, 0x00, 0x55};
    FrameSum(buffer, 0, 1, SumForm::Short, 2);  // 0x199
    EXPECT_EQ(buffer[2], 0x99);
    FrameSum(buffer, 3, 2, SumForm::Folded, 0);
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_EQ(buffer[1], 0x00);
}

TEST(RequestFrame, PlainRegisterReadIsExactly109Bytes) {
    RequestFrameBuilder builder;
    const auto frame = bytes(builder.plain(1, 0x74, 0x4D, 0));
    std::vector<std::uint8_t> expected(100, 0x55);
    for (std::uint8_t b : std::initializer_list<std::uint8_t>{0x00, 0xE0, 0x00, 0x01, 0x74, 0x4D,
                                                              0x00, 0xA3, 0xA2}) {
        expected.push_back(b);
    }
    EXPECT_EQ(frame, expected);
}

TEST(RequestFrame, BlockFrameCarriesExtraZeroAndSameHeaderChecksum) {
    RequestFrameBuilder builder;
    const std::vector<std::uint8_t> data{0x07, 0x05, 0x09, 0x08, 0x01, 0x03, 0x09};
    const auto plain = bytes(builder.plain(1, 0x70, 0, 7));
    const auto frame = bytes(builder.withBlock(1, 0x70, data));
    ASSERT_EQ(frame.size(), 118U);
    EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + 100, frame.begin() + 104),
              (std::vector<std::uint8_t>{0x00, 0x00, 0xE0, 0x00}));
    EXPECT_EQ(frame[104], 1);
    EXPECT_EQ(frame[105], 0x70);
    EXPECT_EQ(frame[106], 0);
    EXPECT_EQ(frame[107], 7);
    EXPECT_EQ(frame[108], plain[107]);
    EXPECT_EQ(frame[109], plain[108]);
    EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + 110, frame.begin() + 117), data);
    EXPECT_EQ(frame[117], 0x2A);  // 7+5+9+8+1+3+9
}

TEST(RequestFrame, BlockLengthAbove255SplitsIntoBothParams) {
    RequestFrameBuilder builder;
    const std::vector<std::uint8_t> data(300, 0x01);
    const auto frame = builder.withBlock(2, 0x00, data);
    ASSERT_EQ(frame.size(), 411U);
    EXPECT_EQ(frame[106], 1);
    EXPECT_EQ(frame[107], 44);
    EXPECT_EQ(frame[410], 44);  // 300 mod 256
}

TEST(RequestFrame, RefusesABlockLargerThanTheTransmitBuffer) {
    RequestFrameBuilder builder;
    const std::vector<std::uint8_t> data(kMaxRequestBlock + 1, 0);
    EXPECT_THROW(builder.withBlock(1, 0, data), std::length_error);
}

TEST(ReplyHeader, BuiltHeaderIsRecognisedAndAnyAlteredByteIsNot) {
    const auto header = makeReplyHeader({1, 0, 0x74, 0x4D, 1});
    EXPECT_EQ(header,
              (std::array<std::uint8_t, 8>{0xE0, 0x01, 0x00, 0x74, 0x4D, 0x01, 0xA4, 0xA3}));
    EXPECT_TRUE(isReplyHeader(header));
    for (std::size_t i = 0; i < header.size(); ++i) {
        auto altered = header;
        altered[i] ^= 0x10;
        EXPECT_FALSE(isReplyHeader(altered)) << "byte " << i;
    }
}

}  // namespace
}  // namespace horalux::link
