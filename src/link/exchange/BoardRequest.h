#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace horalux::link {

// The PC's local time (epoch milliseconds) read at a tick; a clock write carrying one has its
// payload made anew from it when it is sent.
struct ClockReading {
    std::int64_t localMs = 0;
    std::uint32_t tickMs = 0;

    friend bool operator==(const ClockReading&, const ClockReading&) = default;
};

// One queued request to a board.
struct BoardRequest {
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    std::uint8_t param1 = 0;
    std::uint8_t param2 = 0;
    std::int32_t triesLeft = 0;
    std::uint32_t nextSendTick = 0;   // due tick of the next send; wraps with the tick
    std::uint32_t retryInterval = 0;  // ms from one send to the next while unanswered
    std::optional<std::vector<std::uint8_t>> data;  // block to send; none: a frame without one
    bool failed = false;                            // tries used up and reported
    bool expectsReply = false;  // tries > 0 and not to all boards; fixed when built
    // A clock write: sent so that its last byte ends on the whole second it carries, which
    // also keeps a retry from carrying the time of the first try.
    std::optional<ClockReading> clock;

    friend bool operator==(const BoardRequest&, const BoardRequest&) = default;
};

// Tries the main side gives a failed request it keeps going.
inline constexpr std::int32_t kReviveTries = 5;

}  // namespace horalux::link
