// keep-time on a list of boards, on a scripted line of several boards with time the test drives.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <utility>

#include "link/keeper/TimeKeeper.h"
#include "support/FakeTick.h"
#include "timesync/CivilTime.h"

namespace horalux::link {
namespace {

constexpr std::uint32_t kStart = 1000;
constexpr std::int64_t kPcBaseMs = 1'700'000'000'000;
constexpr std::uint8_t kAll = 255;

constexpr std::uint32_t s(std::uint32_t seconds) {
    return seconds * 1000;
}

class TickClock final : public platform::SystemClock {
  public:
    explicit TickClock(platform::Tick& tick) : tick_(tick) {}
    std::int64_t epochMs() { return kPcBaseMs + (tick_.nowMs() - kStart); }
    platform::LocalDateTime now() override { return timesync::dateTimeOfEpochMs(epochMs()); }
    std::optional<int> biasMinutes() override { return 0; }
    bool setUtc(std::int64_t) override { return false; }

  private:
    platform::Tick& tick_;
};

// A board of the line: how far its clock is off the PC's (nothing: no valid time), whether it
// answers, and a step of its clock at a given time.
struct ScriptedBoard {
    std::optional<std::int64_t> offMs = 0;
    bool silent = false;
    std::optional<std::pair<std::uint32_t, std::int64_t>> stepAt;  // at, new offset
};
ScriptedBoard off(std::int64_t ms) {
    return {ms, false, std::nullopt};
}
ScriptedBoard noValidTime() {
    return {std::nullopt, false, std::nullopt};
}
ScriptedBoard silent() {
    return {0, true, std::nullopt};
}
ScriptedBoard stepping(std::uint32_t at, std::int64_t ms) {
    return {0, false, std::make_pair(at, ms)};
}

class ScriptedLineOfBoards final : public KeptLine {
  public:
    ScriptedLineOfBoards(test::FakeTick& tick, TickClock& pc, std::atomic<bool>& stop,
                         std::map<std::uint8_t, ScriptedBoard> boards, std::uint32_t stopAt)
        : tick_(tick), pc_(pc), stop_(stop), boards_(std::move(boards)), stopAt_(stopAt) {}

    std::vector<std::pair<std::uint32_t, std::uint8_t>> writes;  // (at, address) taken
    std::vector<std::uint8_t> reads;
    bool open_ = false;

    std::optional<std::string> open() override {
        open_ = true;
        return std::nullopt;
    }
    void close() override { open_ = false; }
    Outcome writeTime(std::uint8_t address) override {
        if (address == kAll) {
            for (auto& [a, board] : boards_) {
                board.offMs = 0;
            }
        } else if (boards_.at(address).silent) {
            return Outcome::NoAnswer;
        } else {
            boards_.at(address).offMs = 0;
        }
        writes.emplace_back(at(), address);
        return Outcome::Done;
    }
    Reading readClock(std::uint8_t address) override {
        ScriptedBoard& board = boards_.at(address);
        if (board.stepAt && at() >= board.stepAt->first) {
            board.offMs = board.stepAt->second;
            board.stepAt.reset();
        }
        if (board.silent) {
            return {Outcome::NoAnswer, std::nullopt};
        }
        reads.push_back(address);
        if (!board.offMs) {
            return {Outcome::Done, std::nullopt};
        }
        return {Outcome::Done, timesync::dateTimeOfEpochMs(pc_.epochMs() + *board.offMs)};
    }
    void serve(std::uint32_t ms) override {
        tick_.set(kStart + std::min(at() + ms, stopAt_));
        stop_ = stop_ || at() >= stopAt_;
    }
    bool lost() const override { return !open_; }

  private:
    std::uint32_t at() const { return tick_.nowMs() - kStart; }

    test::FakeTick& tick_;
    TickClock& pc_;
    std::atomic<bool>& stop_;
    std::map<std::uint8_t, ScriptedBoard> boards_;
    std::uint32_t stopAt_;
};

using Writes = std::vector<std::pair<std::uint32_t, std::uint8_t>>;

TEST(KeepingAList, OnlyTheBoardsFoundOffAreWrittenAndAllAtOnceWhenEveryOneIs) {
    struct Case {
        const char* behaviour;
        std::map<std::uint8_t, ScriptedBoard> boards;
        std::uint32_t stopAt;
        Writes writes;
        const char* said;
    };
    const Case cases[] = {
        {"on connecting, the board off and the one without a valid time",
         {{3, off(0)}, {77, off(5500)}, {200, noValidTime()}},
         s(30),
         {{0, 77}, {0, 200}},
         "time written to board 77 (on connecting); difference found +5 s"},
        {"every board off: one write to all boards",
         {{3, off(5500)}, {77, off(-4500)}, {200, off(3500)}},
         s(30),
         {{0, kAll}},
         "time written to all boards (on connecting; every board of the list was off)"},
        {"all on time: nothing written, and said so",
         {{3, off(0)}, {77, off(400)}},
         s(30),
         {},
         "the clocks of all 2 boards are within a second of the PC's; nothing written"},
        {"between periods only past the limit, at the next look",
         {{3, stepping(s(300), 1500)}, {77, stepping(s(300), 3500)}},
         s(3000),
         {{s(300), 77}},
         "time written to board 77 (off by more than 2 s); difference found +3 s"},
        {"at the period a second off is put right too",
         {{3, stepping(s(300), 1500)}, {77, off(0)}},
         s(3700),
         {{s(3600), 3}},
         "time written to board 3 (every 1 h); difference found +1 s"},
        {"a silent board is tried at the period, and said once",
         {{3, off(0)}, {77, silent()}},
         s(3700),
         {},
         "board 77 did not answer the clock write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        test::FakeTick tick{kStart};
        TickClock pc{tick};
        std::atomic<bool> stop{false};
        ScriptedLineOfBoards line(tick, pc, stop, c.boards, c.stopAt);
        std::ostringstream err;
        KeepTimeSettings settings;
        settings.periodS = 3600;
        settings.trustPcClock = true;
        for (const auto& [address, board] : c.boards) {
            settings.addresses.push_back(address);
        }
        settings.port = "ttyUSB0";
        TimeKeeper keeper(settings, {line, tick, pc, [] { return true; }, err, stop});
        keeper.run();
        EXPECT_EQ(line.writes, c.writes) << err.str();
        EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
        const std::string text = err.str();
        EXPECT_EQ(text.find("did not answer the clock read"),
                  text.rfind("did not answer the clock read"))
            << "a silent board is told once";
    }
}

}  // namespace
}  // namespace horalux::link
