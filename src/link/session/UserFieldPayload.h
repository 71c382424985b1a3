#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace horalux::link {

// The data block of a user-field write: for each field in use (up to the first length 0, at
// most 32), its text encoded to segment bytes, cut or padded with blanks to the field's length.
std::vector<std::uint8_t> buildUserFieldPayload(std::span<const std::string> texts,
                                                std::span<const std::uint8_t, 32> lengths);

// The sum of the field lengths up to the first 0 (at most 32 fields): the number of segment
// bytes the user-field read asks for, before it is cut to its low 8 bits.
std::size_t userFieldTotalLength(std::span<const std::uint8_t, 32> lengths);

}  // namespace horalux::link
