#include <windows.h>

#include "platform/Tick.h"

namespace horalux::platform {

std::int64_t monotonicNs() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    const std::int64_t ticks = count.QuadPart;
    // Whole seconds and the rest apart, so the product cannot overflow.
    return ticks / frequency * 1'000'000'000 + ticks % frequency * 1'000'000'000 / frequency;
}

std::uint32_t MonotonicTick::nowMs() {
    // Not GetTickCount: it moves in steps of the system timer's default tick (about 15.6 ms)
    // even while the timer is raised to 1 ms, which would make every measured wait as coarse.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(monotonicMs()));
}

void MonotonicTick::sleepMs(std::uint32_t ms) {
    Sleep(ms);
}

}  // namespace horalux::platform
