#pragma once

#include <cstdint>

namespace horalux::platform {

// A 32-bit millisecond count that wraps at 2^32; every time-out and wait of the link uses it,
// so tests can replace it with a clock they drive themselves.
class Tick {
  public:
    virtual ~Tick() = default;
    virtual std::uint32_t nowMs() = 0;
    // Lets time pass while a caller waits; a fake tick simply advances.
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// The monotonic clock, for the few places that measure real time themselves (device time-outs,
// the stand-in board's wire): nanoseconds and milliseconds since an arbitrary start.
std::int64_t monotonicNs();
inline std::int64_t monotonicMs() {
    return monotonicNs() / 1'000'000;
}

// Milliseconds since an arbitrary start, taken from the monotonic clock.
class MonotonicTick final : public Tick {
  public:
    std::uint32_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;
};

// Milliseconds from `since` to `now`, correct across the wrap of the tick.
constexpr std::uint32_t elapsedMs(std::uint32_t since, std::uint32_t now) {
    return now - since;
}

// True once `now` has reached `due`; correct across the wrap as long as the two lie less than
// 2^31 ms (about 24 days) apart.
constexpr bool tickReached(std::uint32_t now, std::uint32_t due) {
    return static_cast<std::int32_t>(now - due) >= 0;
}

}  // namespace horalux::platform
