#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/SystemClock.h"
#include "timesync/BoardTime.h"

namespace horalux::board {

// A board's own clock: set once, then running on the millisecond tick it is given, `rate` times
// as fast as the tick (a clock that gains or loses, to try out what corrects it).
class BoardClock {
  public:
    BoardClock(const platform::LocalDateTime& start, std::uint32_t nowMs, double rate = 1.0)
        : rate_(rate) {
        set(start, nowMs);
    }

    void set(const platform::LocalDateTime& time, std::uint32_t nowMs);
    platform::LocalDateTime at(std::uint32_t nowMs) const;

  private:
    std::int64_t baseMs_ = 0;  // local epoch milliseconds at baseTick_
    std::uint32_t baseTick_ = 0;
    double rate_ = 1.0;
};

}  // namespace horalux::board
