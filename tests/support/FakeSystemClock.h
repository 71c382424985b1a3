#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/SystemClock.h"

namespace horalux::test {

// A PC clock that stands still at `time` and records every attempt to set it.
class FakeSystemClock final : public platform::SystemClock {
  public:
    platform::LocalDateTime time;
    std::optional<int> bias = 0;
    bool refuseSet = false;
    std::vector<std::int64_t> sets;  // Unix milliseconds (UTC)

    platform::LocalDateTime now() override { return time; }
    std::optional<int> biasMinutes() override { return bias; }
    bool setUtc(std::int64_t unixMs) override {
        sets.push_back(unixMs);
        return !refuseSet;
    }
};

}  // namespace horalux::test
