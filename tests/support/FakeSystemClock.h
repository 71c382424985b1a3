#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/SystemClock.h"
#include "platform/Tick.h"

namespace horalux::test {

// A PC clock that stands still at `time` (or runs on from it with a tick, within its day) and
// records every attempt to set it.
class FakeSystemClock final : public platform::SystemClock {
  public:
    platform::LocalDateTime time;
    std::optional<int> bias = 0;
    bool refuseSet = false;
    std::vector<std::int64_t> sets;  // Unix milliseconds (UTC)

    // From now on the clock runs with `tick`.
    void runWith(platform::Tick& tick) {
        tick_ = &tick;
        since_ = tick.nowMs();
    }

    platform::LocalDateTime now() override {
        if (tick_ == nullptr) {
            return time;
        }
        const std::int64_t dayMs = ((time.hour * 60LL + time.minute) * 60 + time.second) * 1000 +
                                   time.millisecond + platform::elapsedMs(since_, tick_->nowMs());
        platform::LocalDateTime t = time;
        t.hour = static_cast<int>(dayMs / 3600000 % 24);
        t.minute = static_cast<int>(dayMs / 60000 % 60);
        t.second = static_cast<int>(dayMs / 1000 % 60);
        t.millisecond = static_cast<int>(dayMs % 1000);
        return t;
    }
    std::optional<int> biasMinutes() override { return bias; }
    bool setUtc(std::int64_t unixMs) override {
        sets.push_back(unixMs);
        return !refuseSet;
    }

  private:
    platform::Tick* tick_ = nullptr;
    std::uint32_t since_ = 0;
};

}  // namespace horalux::test
