#include "board/BoardClock.h"

#include <cmath>

#include "platform/Tick.h"
#include "timesync/CivilTime.h"

namespace horalux::board {

void BoardClock::set(const platform::LocalDateTime& time, std::uint32_t nowMs) {
    baseMs_ = timesync::epochMsOf(time);
    baseTick_ = nowMs;
}

platform::LocalDateTime BoardClock::at(std::uint32_t nowMs) const {
    const std::uint32_t elapsed = platform::elapsedMs(baseTick_, nowMs);
    if (rate_ == 1.0) {
        return timesync::dateTimeOfEpochMs(baseMs_ + elapsed);
    }
    return timesync::dateTimeOfEpochMs(baseMs_ +
                                       static_cast<std::int64_t>(std::llround(elapsed * rate_)));
}

}  // namespace horalux::board
