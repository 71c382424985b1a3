#pragma once

#include <atomic>

#include "platform/Tick.h"

namespace horalux::test {

// A tick the test drives; sleeping advances it, so waits finish without real time passing.
class FakeTick final : public platform::Tick {
  public:
    explicit FakeTick(std::uint32_t start = 1000) : now_(start) {}
    std::uint32_t nowMs() override { return now_.load(); }
    void sleepMs(std::uint32_t ms) override { now_ += ms; }
    void advance(std::uint32_t ms) { now_ += ms; }
    void set(std::uint32_t ms) { now_ = ms; }

  private:
    std::atomic<std::uint32_t> now_;
};

}  // namespace horalux::test
