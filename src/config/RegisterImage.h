#pragma once

#include <array>
#include <cstdint>

namespace horalux::config {

// The board's setting registers as one record; words are two registers, high byte first.
struct RegisterImage {
    std::array<std::uint8_t, 9> displayTimes{};    // items: time, date, year, t1..t3, p, h, rad
    std::uint8_t timeZone = 0;                     // 55
    std::uint8_t lowerLevel = 0;                   // 56, signed
    std::uint16_t dimStart = 0;                    // 57 hi / 58 lo, BCD hour and minute
    std::uint16_t dimEnd = 0;                      // 59 / 60
    std::uint8_t freeS6 = 0;                       // 61
    std::uint16_t alarm1 = 0;                      // 62 / 63
    std::uint16_t alarm2 = 0;                      // 64 / 65
    std::uint8_t signalFlags = 0;                  // 66
    std::uint8_t volume = 0;                       // 67
    std::uint8_t dimLevel = 0;                     // 68
    std::uint8_t normalLevel = 0;                  // 69
    std::uint8_t address = 0;                      // 76
    std::uint8_t modeFlags = 0;                    // 77
    std::uint8_t upperLevel = 0;                   // 78, signed
    std::uint8_t freeSE = 0;                       // 80
    std::uint16_t dailyCorrection = 0;             // 81 / 82, sign and magnitude
    std::array<std::uint8_t, 8> displayFormats{};  // 216..223
    std::array<std::uint8_t, 32> userScreens{};    // 224..255

    friend bool operator==(const RegisterImage&, const RegisterImage&) = default;
};

}  // namespace horalux::config
