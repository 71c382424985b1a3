#include "config/SettingDifferences.h"

#include <gtest/gtest.h>

#include <functional>

namespace horalux::config {
namespace {

using Lines = std::vector<SettingDifference>;

// A board's settings as a register file would also hold them.
RegisterImage sample() {
    RegisterImage image;
    image.displayTimes = {10, 5, 5, 21, 22, 23, 5, 5, 0};
    image.timeZone = 0x03;
    image.volume = 5;
    image.dimStart = 0x2200;
    image.dimEnd = 0x0700;
    image.alarm1 = 0x0705;
    image.alarm2 = 0x2500;
    image.signalFlags = 0x81;
    image.address = 3;
    image.modeFlags = 0x80;
    image.displayFormats = {2, 2, 2, 2, 3, 2, 4, 3};
    image.userScreens[0] = 4;
    return image;
}

TEST(SettingDifferences, EachDifferingSettingIsNamedAndValuedAsTheSettingsWindowShowsIt) {
    struct Case {
        const char* name;
        std::function<void(RegisterImage&)> inFile;
        Lines expected;
    };
    const Case cases[] = {
        {"a percentage list shows its item",
         [](RegisterImage& f) { f.volume = 9; },
         {{"Громкость звучания", "50%", "90%"}}},
        {"a time is the picker's, or off when its box is unchecked",
         [](RegisterImage& f) { f.alarm1 = 0x2500; },
         {{"Мелодия 1", "07:05", "выключено"}}},
        {"a register of check boxes gives a line per box that differs",
         [](RegisterImage& f) { f.signalFlags = 0xC4; },
         {{"Сигнал хх:15", "не отмечено", "отмечено"},
          {"Переход на летнее время", "не отмечено", "отмечено"},
          {"Полный \"slave\"", "отмечено", "не отмечено"}}},
        {"a temperature shows its display time and its format",
         [](RegisterImage& f) { f.displayTimes[4] = 31; },
         {{"Температура 2", "время 2, формат 2", "время 1, формат 3"}}},
        {"the time zone is its item",
         [](RegisterImage& f) { f.timeZone = 0x83; },
         {{"Часовой пояс", "3.0", "3.5"}}},
        {"a user field's length is named by its tab and number",
         [](RegisterImage& f) { f.userScreens[4] = 8; },
         {{"Польз. экраны: 5", "нет", "8"}}},
        {"a display format is its item with the sample",
         [](RegisterImage& f) { f.displayFormats[7] = 5; },
         {{"Формат: Дата", "3 дд.мм", "5 дд_мм"}}},
        {"signed values keep their sign",
         [](RegisterImage& f) {
             f.lowerLevel = 0xFF;
             f.dailyCorrection = 0x8005;
         },
         {{"Нижний уровень", "0", "-1"}, {"Суточная коррекция времени", "0", "-5"}}},
        {"a value no item shows leaves the list without a choice",
         [](RegisterImage& f) { f.displayTimes[0] = 60; },
         {{"Время экспозиции Времени", "10", "не выбрано"}}},
        {"a board's address and mode are no difference",
         [](RegisterImage& f) {
             f.address = 9;
             f.modeFlags = 0;
         },
         {}},
    };
    for (const Case& c : cases) {
        RegisterImage file = sample();
        c.inFile(file);
        EXPECT_EQ(settingDifferences(sample(), file), c.expected) << c.name;
    }
}

TEST(SettingDifferences, ValuesShownAlikeOnBothSidesCarryTheRegistersValues) {
    RegisterImage board = sample();
    board.displayTimes[0] = 50;  // beyond the list's 49: no item is chosen
    RegisterImage file = sample();
    file.displayTimes[0] = 60;
    EXPECT_EQ(settingDifferences(board, file),
              (Lines{{"Время экспозиции Времени", "не выбрано (50)", "не выбрано (60)"}}));
}

TEST(SettingDifferences, TheTimeZoneTakesTheUsersDecimalSeparator) {
    RegisterImage file = sample();
    file.timeZone = 0x83;
    EXPECT_EQ(settingDifferences(sample(), file, ','), (Lines{{"Часовой пояс", "3,0", "3,5"}}));
}

}  // namespace
}  // namespace horalux::config
