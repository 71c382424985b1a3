#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace horalux::config {

// Percentage lists "10%" … "100%": item k (0..8) is code k + 1, "100%" is code 0.
inline constexpr std::array<std::uint8_t, 10> PercentCodes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0};

// Time-zone list: item i is the offset (i - 24) half hours, -12.0 … 13.0. A code holds the whole
// hours in bits 0..5, the minus sign in bit 6 and an extra half hour in bit 7.
inline constexpr std::size_t kTimeZoneCount = 51;
inline constexpr std::array<std::uint8_t, kTimeZoneCount> TimeZoneCodes = [] {
    std::array<std::uint8_t, kTimeZoneCount> codes{};
    for (int i = 0; i < static_cast<int>(kTimeZoneCount); ++i) {
        const int halfHours = i - 24;
        const int magnitude = halfHours < 0 ? -halfHours : halfHours;
        codes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(
            magnitude / 2 + (halfHours < 0 ? 0x40 : 0) + (magnitude % 2 != 0 ? 0x80 : 0));
    }
    return codes;
}();

// The minutes a time-zone code shifts the board's own clock by for what it shows.
constexpr int timeZoneShiftMinutes(std::uint8_t code) {
    const int minutes = (code & 0x3F) * 60 + ((code & 0x80) != 0 ? 30 : 0);
    return (code & 0x40) != 0 ? -minutes : minutes;
}

// The text of time-zone item i with one decimal place: "-12.0", "0.5", with the user's separator.
std::string timeZoneItemText(std::size_t item, char decimalSeparator);

// One item of a display-format list: its code and the text shown (which begins with the code).
struct DisplayFormatItem {
    std::uint8_t code;
    std::string_view text;
};

inline constexpr std::size_t kDisplayFormatKinds = 8;

// The items of display-format kind 0..7 (index into RegisterImage::displayFormats).
std::span<const DisplayFormatItem> displayFormatItems(std::size_t kind);

// Converts between a position in the list of display-format `kind` and its code: with toCode a
// position to a code, else a code to a position. Nothing when the kind, the position or the
// code has no item (code 1 belongs to no list).
std::optional<int> CountPos(int kind, int value, bool toCode);

}  // namespace horalux::config
