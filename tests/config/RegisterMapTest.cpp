#include "config/RegisterMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "config/WritePlan.h"

namespace horalux::config {
namespace {

RegisterImage sampleImage() {
    RegisterImage image;
    for (std::size_t i = 0; i < image.displayTimes.size(); ++i) {
        image.displayTimes[i] = static_cast<std::uint8_t>(i + 1);
    }
    image.timeZone = 0x83;
    image.lowerLevel = 0xFF;
    image.dimStart = 0x1830;
    image.dimEnd = 0x0900;
    image.freeS6 = 6;
    image.alarm1 = 0x0705;
    image.alarm2 = 0x2500;
    image.signalFlags = 0xA5;
    image.volume = 3;
    image.dimLevel = 1;
    image.normalLevel = 0;
    image.address = 10;
    image.modeFlags = 0x81;
    image.upperLevel = 0x63;
    image.freeSE = 0xEE;
    image.dailyCorrection = 0x8005;
    for (std::size_t i = 0; i < image.displayFormats.size(); ++i) {
        image.displayFormats[i] = static_cast<std::uint8_t>(i % 6);
    }
    for (std::size_t i = 0; i < image.userScreens.size(); ++i) {
        image.userScreens[i] = static_cast<std::uint8_t>(i < 3 ? 4 + i : 0);
    }
    return image;
}

TEST(RegisterMap, CoversSeventyDistinctRegistersAndTheReadListInOrder) {
    std::set<int> numbers;
    for (const RegisterEntry& entry : kRegisterMap) {
        numbers.insert(entry.number);
        EXPECT_EQ(findRegister(entry.number), &entry);
    }
    EXPECT_EQ(numbers.size(), 70u);
    for (int unmapped : {0, 37, 39, 53, 70, 75, 79, 83, 215}) {
        EXPECT_EQ(findRegister(static_cast<std::uint8_t>(unmapped)), nullptr) << unmapped;
    }
    EXPECT_EQ(kReadList.front(), 38);
    EXPECT_EQ(kReadList[8], 54);
    EXPECT_EQ(kReadList[9], 55);
    EXPECT_EQ(kReadList[24], 76);
    EXPECT_EQ(kReadList[27], 79);
    EXPECT_EQ(kReadList[31], 216);
    EXPECT_EQ(kReadList.back(), 255);
    EXPECT_TRUE(std::ranges::is_sorted(kReadList));
}

TEST(RegisterMap, StoresWordHalvesKeepingTheOtherHalfAndIgnoresUnmappedRegisters) {
    RegisterImage image;
    image.dimStart = 0x1234;
    EXPECT_TRUE(storeRegister(image, 57, 0xAB));
    EXPECT_EQ(image.dimStart, 0xAB34);
    EXPECT_TRUE(storeRegister(image, 58, 0xCD));
    EXPECT_EQ(image.dimStart, 0xABCD);
    EXPECT_TRUE(storeRegister(image, 82, 0x05));
    EXPECT_TRUE(storeRegister(image, 81, 0x80));
    EXPECT_EQ(image.dailyCorrection, 0x8005);
    EXPECT_TRUE(storeRegister(image, 46, 7));
    EXPECT_EQ(image.displayTimes[4], 7);
    EXPECT_TRUE(storeRegister(image, 255, 16));
    EXPECT_EQ(image.userScreens[31], 16);

    const RegisterImage before = image;
    for (int unmapped : {37, 39, 79, 100}) {
        EXPECT_FALSE(storeRegister(image, static_cast<std::uint8_t>(unmapped), 0x55));
        EXPECT_EQ(readRegister(image, static_cast<std::uint8_t>(unmapped)), std::nullopt);
    }
    EXPECT_EQ(image, before);
}

TEST(RegisterMap, RawRegisterBytesRoundTripTheImage) {
    const RegisterImage image = sampleImage();
    const auto bytes = toRegisterBytes(image);
    EXPECT_EQ(bytes[38], 1);
    EXPECT_EQ(bytes[54], 9);
    EXPECT_EQ(bytes[57], 0x18);
    EXPECT_EQ(bytes[58], 0x30);
    EXPECT_EQ(bytes[76], 10);
    EXPECT_EQ(bytes[79], 0);
    EXPECT_EQ(bytes[226], 6);
    EXPECT_EQ(fromRegisterBytes(bytes), image);
}

TEST(WritePlan, UnchangedImageWritesNothing) {
    const RegisterImage image = sampleImage();
    EXPECT_TRUE(makeWritePlan(image, image).empty());
    EXPECT_FALSE(addressDiffers(image, image));
}

TEST(WritePlan, ChangedDimStartHourWritesRegister57Only) {
    const RegisterImage board = sampleImage();
    RegisterImage edit = board;
    edit.dimStart = 0x1930;
    EXPECT_EQ(makeWritePlan(edit, board), (std::vector<RegisterWrite>{{57, 0x19, 0x18}}));
}

TEST(WritePlan, AddressChangeIsLeftToTheCallerAndOtherChangesComeInBoardOrder) {
    const RegisterImage board = sampleImage();
    RegisterImage edit = board;
    edit.address = 11;
    EXPECT_TRUE(makeWritePlan(edit, board).empty());
    EXPECT_TRUE(addressDiffers(edit, board));

    edit.modeFlags = 0;
    edit.userScreens[0] = 9;
    edit.lowerLevel = 0;
    edit.volume = 0;
    edit.timeZone = 0;
    edit.displayTimes[8] = 0;
    edit.dailyCorrection = 0x0005;
    std::vector<std::uint8_t> order;
    for (const RegisterWrite& w : makeWritePlan(edit, board)) {
        order.push_back(w.number);
    }
    EXPECT_EQ(order, (std::vector<std::uint8_t>{54, 55, 67, 56, 81, 224, 77}));
    EXPECT_EQ(kWriteOrder.size(), 69u);
    EXPECT_EQ(std::ranges::count(kWriteOrder, kAddressRegister), 0);
}

// The board takes the writes in this order: display times, the single settings, display formats,
// user-field lengths, the mode flags last.
const std::vector<std::uint8_t> kBoardWriteOrder = [] {
    std::vector<std::uint8_t> order = {38, 40, 42, 44, 46, 48, 50, 52, 54,
                                       55, 67, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 68, 69,
                                       56, 78, 80, 81, 82};
    for (unsigned r = 216; r <= 255; ++r) {
        order.push_back(static_cast<std::uint8_t>(r));
    }
    order.push_back(77);
    return order;
}();

TEST(WritePlan, EachOfThe69PositionsWritesItsOwnRegisterAloneAndAllComeInTheBoardsOrder) {
    ASSERT_EQ(kBoardWriteOrder.size(), 69U);
    const RegisterImage board = sampleImage();
    RegisterImage everything = board;
    for (const std::uint8_t number : kBoardWriteOrder) {
        SCOPED_TRACE(int{number});
        const std::uint8_t held = *readRegister(board, number);
        const auto changed = static_cast<std::uint8_t>(held ^ 0x5A);
        RegisterImage edit = board;
        ASSERT_TRUE(storeRegister(edit, number, changed));
        EXPECT_EQ(makeWritePlan(edit, board),
                  (std::vector<RegisterWrite>{{number, changed, held}}));
        storeRegister(everything, number, changed);
    }
    std::vector<std::uint8_t> order;
    for (const RegisterWrite& w : makeWritePlan(everything, board)) {
        order.push_back(w.number);
    }
    EXPECT_EQ(order, kBoardWriteOrder);
}

}  // namespace
}  // namespace horalux::config
