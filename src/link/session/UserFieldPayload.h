#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace horalux::link {

// The data block of a user-field write: for each field in use (up to the first length 0, at
// most 32), its text encoded to segment bytes, cut or padded with blanks to the field's length.
std::vector<std::uint8_t> buildUserFieldPayload(std::span<const std::string> texts,
                                                std::span<const std::uint8_t, 32> lengths);

// The sum of the field lengths up to the first 0 (at most 32 fields): the number of segment
// bytes the user-field read asks for, before it is cut to its low 8 bits.
std::size_t userFieldTotalLength(std::span<const std::uint8_t, 32> lengths);

// The edit box's check of a field text, shared with everything else that takes one from a user.
// A character may go in when a digit row can show it; a "." lights the point of a digit rather
// than taking a position, so it does not count towards the field's digits.
bool isUserFieldKey(char32_t key);
bool takesDigitPosition(char32_t key);

// The digit positions `text` takes on the board: a dot shares the position of the digit before
// it, and one with no digit before it (at the start, after another dot) takes one of its own.
std::size_t userFieldPositions(std::string_view text);

// The most characters a field of `digits` positions can show: each digit with its point lit.
std::size_t userFieldShownLength(std::size_t digits);

enum class FieldTextFault { None, Character, Length };
// Whether `text` (UTF-8) fits a field of `digits` positions: only field characters, taking no
// more positions than the field has (as the text is sent, so nothing is cut).
FieldTextFault checkUserFieldText(std::string_view text, std::size_t digits);

}  // namespace horalux::link
