#pragma once

#include <cstdint>
#include <optional>
#include <utility>

// The number codes the line and the files share; no dependencies, so every layer can use them.
namespace horalux::config {

// Packed BCD of 0..99: tens in the high nibble, units in the low one (25 gives 0x25).
constexpr std::uint8_t ToBcd(int n) {
    return static_cast<std::uint8_t>(((n / 10) << 4) | (n % 10));
}

// The value of a packed BCD byte; nothing when a nibble is not a decimal digit.
constexpr std::optional<int> fromBcd(std::uint8_t byte) {
    const int tens = byte >> 4;
    const int units = byte & 0x0F;
    if (tens > 9 || units > 9) {
        return std::nullopt;
    }
    return tens * 10 + units;
}

// A time word (BCD hour in the high byte, BCD minute in the low one) as hour and minute; nothing
// for a digit above 9 or a time out of range, such as the hour 25 that means off.
constexpr std::optional<std::pair<int, int>> bcdTime(std::uint16_t word) {
    const auto hour = fromBcd(static_cast<std::uint8_t>(word >> 8));
    const auto minute = fromBcd(static_cast<std::uint8_t>(word & 0xFF));
    if (!hour || !minute || *hour > 23 || *minute > 59) {
        return std::nullopt;
    }
    return std::pair{*hour, *minute};
}

}  // namespace horalux::config
