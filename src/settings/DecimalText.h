#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace horalux::settings {

// A decimal integer with optional sign and surrounding blanks; nothing for anything else,
// including values outside 32 bits. Files and windows read their numbers with it.
std::optional<std::int32_t> parseInteger(std::string_view text);

}  // namespace horalux::settings
