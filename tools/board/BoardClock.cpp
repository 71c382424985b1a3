#include "board/BoardClock.h"

#include "platform/Tick.h"
#include "timesync/CivilTime.h"

namespace horalux::board {

void BoardClock::set(const platform::LocalDateTime& time, std::uint32_t nowMs) {
    baseMs_ = timesync::epochMsOf(time);
    baseTick_ = nowMs;
}

platform::LocalDateTime BoardClock::at(std::uint32_t nowMs) const {
    return timesync::dateTimeOfEpochMs(baseMs_ + platform::elapsedMs(baseTick_, nowMs));
}

}  // namespace horalux::board
