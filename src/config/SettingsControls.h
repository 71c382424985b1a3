#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/RegisterMap.h"

namespace horalux::config {

// The controls of the remote settings window that hold settings, and the register each one
// feeds. Encoding and decoding both read these tables; the window finds its widgets by the same
// names.

// A list whose chosen position is the register's value.
struct PositionList {
    std::string_view name;
    std::uint8_t reg;
    std::string_view label;
};

inline constexpr std::size_t kUserScreenCount = 32;
inline constexpr int kUserScreenMaxLength = 16;

inline constexpr PositionList kDisplayTimeLists[] = {
    {"ComboBox1", displayTimeRegister(0), "Время экспозиции Времени"},
    {"ComboBox2", displayTimeRegister(1), "Время экспозиции Даты"},
    {"ComboBox3", displayTimeRegister(2), "Время экспозиции Года"},
    {"ComboBox7", displayTimeRegister(6), "Время экспозиции Давления"},
    {"ComboBox8", displayTimeRegister(7), "Время экспозиции Влажности"},
    {"ComboBox9", displayTimeRegister(8), "Время экспозиции Радиации"},
};
inline constexpr int kDisplayTimeMax = 49;

inline constexpr PositionList kByteLists[] = {
    {"ComboBox50", kAddressRegister, "Адрес Табло"},
    {"ComboBox58", 61, "Свободные регистры: S6"},
    {"ComboBox60", 80, "Свободные регистры: SE"},
};

// Temperature display time (position of the first list) plus ten times its format (position
// of the second).
struct TemperatureLists {
    std::string_view time;
    std::string_view format;
    std::uint8_t reg;
    std::string_view label;
};
inline constexpr TemperatureLists kTemperatureLists[] = {
    {"ComboBox4", "ComboBox61", displayTimeRegister(3), "Температура 1"},
    {"ComboBox5", "ComboBox62", displayTimeRegister(4), "Температура 2"},
    {"ComboBox6", "ComboBox63", displayTimeRegister(5), "Температура 3"},
};
inline constexpr int kTemperatureTimeMax = 9;
inline constexpr int kTemperatureFormatMax = 5;

// Display-format lists, by kind (index into displayFormats, register 216 + kind).
inline constexpr std::array<std::string_view, 8> kFormatLists = {
    "ComboBox10", "ComboBox44", "ComboBox45", "ComboBox46",
    "ComboBox47", "ComboBox48", "ComboBox49", "ComboBox43",
};
inline constexpr std::array<std::string_view, 8> kFormatLabels = {
    "Вид",      "Температура 1", "Температура 2", "Температура 3",
    "Давление", "Влажность",     "Радиация",      "Дата",
};

inline constexpr std::string_view kTimeZoneList = "ComboBox51";
inline constexpr std::string_view kTimeZoneLabel = "Часовой пояс";
inline constexpr int kTimeZoneFallbackPosition = 30;  // the item 3.0

inline constexpr PositionList kPercentLists[] = {
    {"ComboBox52", 67, "Громкость звучания"},
    {"ComboBox53", 68, "Уровень пониженной яркости"},
    {"ComboBox54", 69, "Уровень нормальной яркости"},
};

// Lists whose chosen item's text is a signed number.
inline constexpr PositionList kLevelLists[] = {
    {"ComboBox55", 56, "Нижний уровень"},
    {"ComboBox56", 78, "Верхний уровень"},
};
inline constexpr int kLevelLimit = 99;
inline constexpr std::string_view kCorrectionList = "ComboBox57";
inline constexpr std::string_view kCorrectionLabel = "Суточная коррекция времени";
inline constexpr int kCorrectionLimit = 59;

// A time of day: the picker's time when the box is checked, else off (hour 25).
struct TimeControls {
    std::string_view picker;
    std::string_view checkBox;
    std::uint8_t reg;  // high half: BCD hour; the next register the BCD minute
    int defaultHour;
    std::string_view label;
};
inline constexpr TimeControls kTimeControls[] = {
    {"DateTimePicker1", "CheckBox1", 57, 18, "Время включения пониженной яркости"},
    {"DateTimePicker2", "CheckBox2", 59, 9, "Время выключения пониженной яркости"},
    {"DateTimePicker3", "CheckBox12", 62, 9, "Мелодия 1"},
    {"DateTimePicker4", "CheckBox3", 64, 18, "Мелодия 2"},
};
inline constexpr std::uint16_t kTimeOff = 0x2500;

struct FlagBox {
    std::string_view name;
    std::uint8_t bit;
    std::string_view caption;
};
inline constexpr FlagBox kModeBoxes[] = {
    {"CheckBox4", 0x80, "Ведущий"},       {"CheckBox11", 0x40, "Радиация"},
    {"CheckBox10", 0x20, "Влажность"},    {"CheckBox9", 0x10, "Давление"},
    {"CheckBox8", 0x08, "Температура 3"}, {"CheckBox7", 0x04, "Температура 2"},
    {"CheckBox6", 0x02, "Температура 1"}, {"CheckBox5", 0x01, "Время, дата"},
};
inline constexpr FlagBox kSignalBoxes[] = {
    {"CheckBox29", 0x80, "Сигнал хх:00"},
    {"CheckBox30", 0x40, "Сигнал хх:15"},
    {"CheckBox31", 0x20, "Сигнал хх:30"},
    {"CheckBox32", 0x10, "Сигнал хх:45"},
    {"CheckBox33", 0x08, "Сигнал датчика радиации"},
    {"CheckBox34", 0x04, "Переход на летнее время"},
    {"CheckBox35", 0x02, "115200/9600"},
    {"CheckBox36", 0x01, "Полный \"slave\""},
};

// The user-field length list of field k + 1: "cb0" … "cb18", "Cb19" … "Cb31", on the tab of this
// name, each list labelled with its field's number.
inline constexpr std::string_view kUserScreensLabel = "Польз. экраны";
inline std::string userScreenListName(std::size_t k) {
    return (k < 19 ? "cb" : "Cb") + std::to_string(k);
}

}  // namespace horalux::config
