#pragma once

#include <array>
#include <cstdint>

namespace horalux::board {

inline constexpr std::size_t kUserFieldCount = 32;
// A user field has at most this many digit positions.
inline constexpr std::size_t kMaxFieldDigits = 16;

// What the board's sensors read; fixed, so that what a program shows can be checked.
struct SensorReadings {
    std::array<std::int8_t, 3> temperature;  // whole degrees
    std::array<std::uint8_t, 3> hundredths;  // of a degree
    std::uint8_t pressure;                   // the two digits after 7: 45 reads 745
    std::uint8_t humidity;                   // percent
    std::array<std::uint8_t, 3> radiation;   // digits a, b, c of 0.abc
};

inline constexpr SensorReadings kSensorReadings{{21, -3, 5}, {50, 25, 7}, 45, 56, {0, 1, 3}};

struct RegisterValue {
    std::uint8_t number;
    std::uint8_t value;
};

// The settings a fresh board starts with; every other register holds 0, and the address and
// master registers are set from the command line.
// clang-format off
inline constexpr RegisterValue kStartRegisters[] = {
    // Display times of the main-field items in seconds: time, date, year; temperatures carry
    // the display time in the units and the format in the tens.
    {38, 10}, {40, 3}, {42, 2}, {44, 33}, {46, 22}, {48, 0}, {50, 3}, {52, 3}, {54, 2},
    // Time zone 0: the board clock starts at the PC's local time and the program adds the zone
    // to what it reads, so another zone would show the clock off by that much.
    {55, 0x00},
    {56, 0xFB},                  // lower trigger level -5
    {57, 0x22}, {58, 0x00},      // dim from 22:00
    {59, 0x07}, {60, 0x00},      // to 07:00
    {62, 0x07}, {63, 0x30},      // melody 1 at 07:30
    {64, 0x25}, {65, 0x00},      // melody 2 off
    {66, 0xA0},                  // signals at xx:00 and xx:30
    {67, 5}, {68, 3}, {69, 0},   // volume 50 %, dimmed 30 %, normal 100 %
    {78, 25},                    // upper trigger level
    {81, 0x00}, {82, 0x03},      // daily correction +3 s
    // Display formats: main view 5 (12-45), temperature 1 and 2, pressure, humidity,
    // radiation and date shown, temperature 3 off.
    {216, 5}, {217, 4}, {218, 3}, {219, 0}, {220, 4}, {221, 4}, {222, 4}, {223, 3},
    {224, 4}, {225, 4}, {226, 6},  // three user fields of 4, 4 and 6 digits
};
// clang-format on

using FieldSegments = std::array<std::uint8_t, kMaxFieldDigits>;

// The user fields' start texts as segment bytes: "12.34", "-5_0" and "123456".
inline constexpr FieldSegments kStartFields[] = {
    {0x06, 0xDB, 0x4F, 0x66},
    {0x40, 0x6D, 0x08, 0x3F},
    {0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D},
};

}  // namespace horalux::board
