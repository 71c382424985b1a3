#include "platform/Tick.h"

#include <time.h>

#include <cerrno>

namespace horalux::platform {

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::uint32_t MonotonicTick::nowMs() {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(monotonicMs()));
}

void MonotonicTick::sleepMs(std::uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000U), static_cast<long>(ms % 1000U) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace horalux::platform
