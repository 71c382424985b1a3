#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemClock.h"

namespace horalux::timesync {

// Seconds the board's clock is ahead of the PC's (behind when negative), to the second.
std::int64_t boardAheadSeconds(const platform::LocalDateTime& board, platform::LocalDateTime pc);
// How far the board's clock is from the PC's, to the second.
std::string differenceText(const platform::LocalDateTime& board, platform::LocalDateTime pc);

}  // namespace horalux::timesync
