#include "timesync/ClockDifference.h"

#include "timesync/CivilTime.h"

namespace horalux::timesync {

// The board keeps whole seconds, so the PC clock is compared to the second too.
std::int64_t boardAheadSeconds(const platform::LocalDateTime& board, platform::LocalDateTime pc) {
    pc.millisecond = 0;
    return (epochMsOf(board) - epochMsOf(pc)) / 1000;
}

std::string differenceText(const platform::LocalDateTime& board, platform::LocalDateTime pc) {
    const std::int64_t seconds = boardAheadSeconds(board, pc);
    if (seconds == 0) {
        return "none (the board is within a second of the PC)";
    }
    const std::int64_t size = seconds < 0 ? -seconds : seconds;
    return (seconds > 0 ? "+" : "-") + std::to_string(size) + " s (the board is " +
           std::to_string(size) + " s " + (seconds > 0 ? "ahead)" : "behind)");
}

}  // namespace horalux::timesync
