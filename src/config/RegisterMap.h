#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "config/RegisterImage.h"

namespace horalux::config {

// Which field of a RegisterImage a register carries.
enum class Field : std::uint8_t {
    DisplayTimes,
    TimeZone,
    LowerLevel,
    DimStart,
    DimEnd,
    FreeS6,
    Alarm1,
    Alarm2,
    SignalFlags,
    Volume,
    DimLevel,
    NormalLevel,
    Address,
    ModeFlags,
    UpperLevel,
    FreeSE,
    DailyCorrection,
    DisplayFormats,
    UserScreens,
};

// Which part of its field a register holds: a whole byte, or the high or low half of a word.
enum class Half : std::uint8_t { Byte, High, Low };

struct RegisterEntry {
    std::uint8_t number = 0;
    Field field = Field::DisplayTimes;
    std::uint8_t index = 0;  // item of an array field; 0 for the others
    Half half = Half::Byte;
};

namespace detail {

struct FieldRun {
    Field field;
    std::uint8_t first;  // register of item 0 (or of the high half of a word)
    std::uint8_t count;  // items of an array field, 1 otherwise
    std::uint8_t stride;
    bool word;
};

// The map in its compact form: one row per field. Display-time item i is register 38 + 2i,
// the number the board is read from; writes use the same number.
inline constexpr FieldRun kFieldRuns[] = {
    {Field::DisplayTimes, 38, 9, 2, false},   {Field::TimeZone, 55, 1, 1, false},
    {Field::LowerLevel, 56, 1, 1, false},     {Field::DimStart, 57, 1, 1, true},
    {Field::DimEnd, 59, 1, 1, true},          {Field::FreeS6, 61, 1, 1, false},
    {Field::Alarm1, 62, 1, 1, true},          {Field::Alarm2, 64, 1, 1, true},
    {Field::SignalFlags, 66, 1, 1, false},    {Field::Volume, 67, 1, 1, false},
    {Field::DimLevel, 68, 1, 1, false},       {Field::NormalLevel, 69, 1, 1, false},
    {Field::Address, 76, 1, 1, false},        {Field::ModeFlags, 77, 1, 1, false},
    {Field::UpperLevel, 78, 1, 1, false},     {Field::FreeSE, 80, 1, 1, false},
    {Field::DailyCorrection, 81, 1, 1, true}, {Field::DisplayFormats, 216, 8, 1, false},
    {Field::UserScreens, 224, 32, 1, false},
};

constexpr std::size_t registerCount() {
    std::size_t n = 0;
    for (const FieldRun& run : kFieldRuns) {
        n += run.word ? 2u : run.count;
    }
    return n;
}

}  // namespace detail

inline constexpr std::size_t kMappedRegisterCount = detail::registerCount();  // 70

// Every register that carries a field, in field order.
inline constexpr std::array<RegisterEntry, kMappedRegisterCount> kRegisterMap = [] {
    std::array<RegisterEntry, kMappedRegisterCount> map{};
    std::size_t n = 0;
    for (const detail::FieldRun& run : detail::kFieldRuns) {
        if (run.word) {
            map[n++] = {run.first, run.field, 0, Half::High};
            map[n++] = {static_cast<std::uint8_t>(run.first + 1), run.field, 0, Half::Low};
            continue;
        }
        for (std::uint8_t i = 0; i < run.count; ++i) {
            map[n++] = {static_cast<std::uint8_t>(run.first + i * run.stride), run.field, i,
                        Half::Byte};
        }
    }
    return map;
}();

inline constexpr std::uint8_t kTimeZoneRegister = 55;
inline constexpr std::uint8_t kSignalFlagsRegister = 66;
inline constexpr std::uint8_t kAddressRegister = 76;
inline constexpr std::uint8_t kModeFlagsRegister = 77;
inline constexpr std::uint8_t kDisplayFormatsRegister = 216;  // 216..223
inline constexpr std::uint8_t kDateFormatRegister = 223;      // the last display format
inline constexpr std::uint8_t kUserScreensRegister = 224;     // 224..255
// The bit of the mode register that makes a board time master.
inline constexpr std::uint8_t kMasterBit = 0x80;
constexpr std::uint8_t displayTimeRegister(std::size_t item) {
    return static_cast<std::uint8_t>(38 + 2 * item);
}

// The registers a full read requests, in order: the display times, 55..69, 76..82 (79 carries
// no field; its reply is ignored), 216..223, 224..255.
inline constexpr std::size_t kReadListLength = 71;
extern const std::array<std::uint8_t, kReadListLength> kReadList;

// The map entry of a register; nullptr for a register that carries no field.
const RegisterEntry* findRegister(std::uint8_t number);

// The byte an image holds for one register (a word's half); nothing for unmapped registers.
std::optional<std::uint8_t> readRegister(const RegisterImage& image, std::uint8_t number);

// Stores one register's byte: a high register sets the word's high byte and keeps the low one,
// a low register the reverse. Returns false, changing nothing, for unmapped registers.
bool storeRegister(RegisterImage& image, std::uint8_t number, std::uint8_t value);

// All 256 registers as the board holds them; registers without a field read 0.
std::array<std::uint8_t, 256> toRegisterBytes(const RegisterImage& image);
RegisterImage fromRegisterBytes(std::span<const std::uint8_t, 256> bytes);

}  // namespace horalux::config
