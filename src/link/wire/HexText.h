#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace horalux::link {

// A byte as two upper-case hexadecimal digits.
constexpr std::array<char, 2> hexDigits(std::uint8_t byte) {
    constexpr char kHex[] = "0123456789ABCDEF";
    return {kHex[byte >> 4], kHex[byte & 0x0F]};
}

// Appends each byte as two upper-case hexadecimal digits and a space ("55 E0 "), the way the
// exchange log shows the line.
inline void appendHexBytes(std::span<const std::uint8_t> bytes, std::string& out) {
    for (const std::uint8_t b : bytes) {
        const auto digits = hexDigits(b);
        out.push_back(digits[0]);
        out.push_back(digits[1]);
        out.push_back(' ');
    }
}

}  // namespace horalux::link
