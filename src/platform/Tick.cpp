#include "platform/Tick.h"

#include <time.h>

#include <cerrno>

namespace horalux::platform {

std::uint32_t MonotonicTick::nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000U +
                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000U;
    return static_cast<std::uint32_t>(ms);
}

void MonotonicTick::sleepMs(std::uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000U), static_cast<long>(ms % 1000U) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace horalux::platform
