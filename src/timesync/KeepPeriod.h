#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace horalux::timesync {

// A period as "60s", "15m", "1h" or "1d": whole seconds from 1 s to 7 days; nothing when the
// text is none of these.
std::optional<std::uint32_t> parseKeepPeriod(const std::string& text);
// "1 h", "90 s": a period as the messages name it.
std::string periodText(std::uint32_t seconds);

}  // namespace horalux::timesync
