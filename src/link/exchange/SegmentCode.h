#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace horalux::link {

// Seven-segment bytes: bits 0..6 light segments a..g, bit 7 the decimal point.
inline constexpr std::uint8_t kDecimalPoint = 0x80;
inline constexpr std::array<std::pair<char, std::uint8_t>, 13> kSegmentCodes{{
    {'0', 0x3F},
    {'1', 0x06},
    {'2', 0x5B},
    {'3', 0x4F},
    {'4', 0x66},
    {'5', 0x6D},
    {'6', 0x7D},
    {'7', 0x07},
    {'8', 0x7F},
    {'9', 0x6F},
    {'-', 0x40},
    {'_', 0x08},
    {' ', 0x00},
}};

// One or two characters: the digit's character (a space for a pattern outside the table), then
// "." when the point is lit.
std::string decodeSegmentCode(std::uint8_t code);
// The same, appended to `out` (no allocation once `out` has room).
void appendSegmentCode(std::uint8_t code, std::string& out);

// Whether a character may stand in a user-field text (digits, "-", "_", space, ".").
bool isFieldTextChar(char c);

// Text to segment bytes: a dot lights the point of the byte before it; a leading dot or a
// second dot in a row gets a blank digit of its own. A character outside the table encodes as a
// blank digit.
std::vector<std::uint8_t> encodeFieldText(std::string_view text);

// A temperature sensor's "no reading".
inline constexpr std::uint8_t kNoSensorReading = 0x80;
// Two's complement, except that kNoSensorReading reads as 0, as the board shows it.
int decodeSignedByte(std::uint8_t byte);

}  // namespace horalux::link
