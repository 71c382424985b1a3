// The keep-time loop on a scripted line, with time the test drives: hours of keeping pass in
// no time at all and every write lands on a known millisecond.
#include "link/keeper/TimeKeeper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <sstream>

#include "support/FakeTick.h"
#include "timesync/CivilTime.h"
#include "timesync/KeepPeriod.h"

namespace horalux::link {
namespace {

constexpr std::uint32_t kStart = 1000;
constexpr std::int64_t kPcBaseMs = 1'700'000'000'000;  // the PC clock at kStart, whole seconds

// The PC clock runs with the tick.
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

// A board on a line, both scripted: a clock running `rate` times as fast as the PC's, a line
// lost at a given time or after each open or write, opens that fail, a board that keeps silent
// for a while or to clock reads, a clock that holds no valid time. Times are milliseconds from
// the start.
class ScriptedLine final : public KeptLine {
  public:
    ScriptedLine(test::FakeTick& tick, TickClock& pc, std::atomic<bool>& stop)
        : tick_(tick), pc_(pc), stop_(stop) {}

    double rate = 1.0;
    std::optional<std::uint32_t> loseAt;
    std::size_t firstFailingOpen = 0;      // opens from this one on take a failure while
    std::deque<std::string> openFailures;  // any are left, with these causes
    std::uint32_t silentUntil = 0;
    std::deque<std::uint32_t> upFor;           // how long each open line stays up; then for good
    bool dropAfterWrite = false;               // hangs up right after taking the time
    bool readSilent = false;                   // answers all but the clock read
    std::optional<std::uint32_t> powerLossAt;  // from then on no valid time until written
    bool deadClock = false;                    // never a valid time
    std::uint32_t stopAt = 3600 * 1000;

    std::vector<std::uint32_t> writes;
    std::vector<std::uint32_t> reads;
    std::vector<std::uint32_t> opens;
    bool open_ = false;

    std::optional<std::string> open() override {
        opens.push_back(at());
        if (opens.size() > firstFailingOpen && !openFailures.empty()) {
            std::string cause = openFailures.front();
            openFailures.pop_front();
            return cause;
        }
        open_ = true;
        if (!upFor.empty()) {
            loseAt = at() + upFor.front();
            upFor.pop_front();
        }
        return std::nullopt;
    }
    void close() override { open_ = false; }
    Outcome writeTime(std::uint8_t) override {
        if (const auto o = outcome(); o != Outcome::Done) {
            return o;
        }
        writes.push_back(at());
        boardSetMs_ = pc_.epochMs();
        boardSetAt_ = at();
        open_ = !dropAfterWrite;
        return Outcome::Done;
    }
    Reading readClock(std::uint8_t) override {
        Reading r{outcome(), std::nullopt};
        if (r.outcome == Outcome::Done && readSilent) {
            r.outcome = Outcome::NoAnswer;
        }
        const bool powerLost = powerLossAt && at() >= *powerLossAt && boardSetAt_ < *powerLossAt;
        if (r.outcome == Outcome::Done) {
            reads.push_back(at());
        }
        if (r.outcome == Outcome::Done && !deadClock && !powerLost) {
            r.clock = timesync::dateTimeOfEpochMs(boardSetMs_ +
                                                  std::llround((at() - boardSetAt_) * rate));
        }
        return r;
    }
    void serve(std::uint32_t ms) override {
        std::uint32_t until = std::min(at() + ms, stopAt);
        if (open_ && loseAt && *loseAt <= until) {
            until = *loseAt;
            open_ = false;  // the adapter is pulled out
            loseAt.reset();
        }
        tick_.set(kStart + until);
        stop_ = stop_ || at() >= stopAt;
    }
    bool lost() const override { return !open_; }

  private:
    std::uint32_t at() const { return tick_.nowMs() - kStart; }
    Outcome outcome() const {
        if (lost()) {
            return Outcome::Lost;
        }
        return at() < silentUntil ? Outcome::NoAnswer : Outcome::Done;
    }

    test::FakeTick& tick_;
    TickClock& pc_;
    std::atomic<bool>& stop_;
    std::int64_t boardSetMs_ = kPcBaseMs - 3000;  // three seconds behind at first
    std::uint32_t boardSetAt_ = 0;
};

struct Keeping : ::testing::Test {
    test::FakeTick tick{kStart};
    TickClock pc{tick};
    std::atomic<bool> stop{false};
    std::unique_ptr<ScriptedLine> line = std::make_unique<ScriptedLine>(tick, pc, stop);
    std::ostringstream err;
    std::function<bool()> synchronised = [] { return true; };

    // A fresh board and line at the start of time, for the next case of a table.
    void restart() {
        line = std::make_unique<ScriptedLine>(tick, pc, stop);
        tick.set(kStart);
        stop = false;
        err.str("");
    }
    void keep(std::uint32_t periodS, std::uint8_t address, bool trusted = false, bool writes = true,
              const std::string& port = "ttyUSB0") {
        KeepTimeSettings settings;
        settings.writes = writes;
        settings.periodS = periodS;
        settings.address = address;
        settings.trustPcClock = trusted;
        settings.port = port;
        TimeKeeper keeper(settings,
                          {*line, tick, pc, [this] { return synchronised(); }, err, stop});
        keeper.run();
        EXPECT_FALSE(line->open_) << "the port is left open";
    }
    std::size_t said(const std::string& part) const {
        std::size_t count = 0;
        for (std::size_t at = err.str().find(part); at != std::string::npos;
             at = err.str().find(part, at + 1)) {
            ++count;
        }
        return count;
    }
    std::uint32_t now() { return tick.nowMs() - kStart; }
};

using Times = std::vector<std::uint32_t>;
constexpr std::uint32_t s(std::uint32_t seconds) {
    return seconds * 1000;
}

TEST_F(Keeping, AllBoardsGetTheTimeOnConnectingAndEveryPeriodAndAreNeverRead) {
    line->stopAt = s(185);
    keep(60, 255);
    EXPECT_EQ(line->writes, (Times{0, s(60), s(120), s(180)}));
    EXPECT_TRUE(line->reads.empty());
    EXPECT_EQ(said("connected to ttyUSB0"), 1U);
    EXPECT_EQ(said("time written to all boards"), 4U);
    EXPECT_EQ(said("\n"), 5U) << err.str();  // nothing per poll
}

TEST_F(Keeping, AKeeperThatDoesNotWriteOnlyKeepsTheLineOpenAndReopensIt) {
    line->rate = 1.5;  // far off: a writing keeper would write at once
    line->upFor = {s(100)};
    line->stopAt = s(400);
    keep(60, 1, true, false);
    EXPECT_TRUE(line->writes.empty());
    EXPECT_TRUE(line->reads.empty());
    EXPECT_EQ(line->opens.size(), 2U);
    EXPECT_EQ(said("reopened ttyUSB0"), 1U) << err.str();
}

TEST_F(Keeping, OneBoardIsWrittenAgainOnlyOnceItsClockIsOffPastTheLimit) {
    struct Case {
        const char* behaviour;
        double rate;
        Times writes;
    };
    const Case cases[] = {
        {"a board keeping time is written only on connecting", 1.0, {0}},
        {"3 s gained a minute passes 2 s at every look", 1.05, {0, s(60), s(120), s(180), s(240)}},
        {"3 s lost a minute passes it too", 0.95, {0, s(60), s(120), s(180), s(240)}},
        {"1.2 s a minute passes 2 s only at the third look", 1.02, {0, s(180)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        restart();
        line->rate = c.rate;
        line->stopAt = s(299);
        keep(3600, 1);
        EXPECT_EQ(line->writes, c.writes);
        // One look a minute, and one read before each write to tell the difference found.
        EXPECT_EQ(line->reads.size(), 4 + c.writes.size());
        EXPECT_EQ(said("off by more than 2 s"), c.writes.size() - 1);
    }
}

TEST_F(Keeping, TheDifferenceFoundIsToldWithEachWrite) {
    line->stopAt = s(1);
    keep(3600, 1);
    EXPECT_EQ(said("time written to board 1 (on connecting); difference found -3 s (the board "
                   "is 3 s behind)"),
              1U)
        << err.str();
}

TEST_F(Keeping, ALostLineIsReopenedWithGrowingPausesAndWrittenOnlyWhenDue) {
    struct Case {
        const char* behaviour;
        std::uint32_t periodS;
        std::uint8_t address;
        double rate;
        Times writes;
    };
    const Case cases[] = {
        {"a board still on time is only looked at", 3600, 1, 1.0, {0}},
        {"a board found off on reopening is written at once", 3600, 1, 1.05, {0, s(61)}},
        {"all boards are not written before the period is out", 3600, 255, 1.0, {0}},
        {"a line down for longer than the period is written at once", 60, 255, 1.0, {0, s(61)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        restart();
        line->rate = c.rate;
        line->loseAt = s(30);
        line->firstFailingOpen = 1;
        line->openFailures = {"/dev/ttyUSB0: no such device", "/dev/ttyUSB0: no such device",
                              "/dev/ttyUSB0: no such device", "/dev/ttyUSB0: permission denied"};
        line->stopAt = s(62);
        keep(c.periodS, c.address);
        // Pauses of 1, 2, 4, 8 and 16 s after the loss at 30 s.
        EXPECT_EQ(line->opens, (Times{0, s(31), s(33), s(37), s(45), s(61)}));
        EXPECT_EQ(line->writes, c.writes);
        if (c.address == 1) {
            EXPECT_EQ(line->reads.back(), s(61)) << "the clock is looked at on reopening";
        }
        EXPECT_EQ(said("the line to ttyUSB0 is lost; reopening it in 1 s"), 1U) << err.str();
        // A cause is told when it changes, not at every try.
        EXPECT_EQ(said("cannot open ttyUSB0: /dev/ttyUSB0: no such device"), 1U);
        EXPECT_EQ(said("cannot open ttyUSB0: /dev/ttyUSB0: permission denied"), 1U);
        EXPECT_EQ(said("reopened ttyUSB0"), 1U);
    }
}

TEST_F(Keeping, ACauseThatNamesThePortAlreadyIsToldWithoutItTwice) {
    line->openFailures = {"rfc2217+tls://h:4003: connection refused",
                          "/dev/ttyUSB0: no such device"};
    line->stopAt = s(10);
    keep(3600, 1, false, true, "rfc2217+tls://h:4003");
    EXPECT_EQ(said("cannot open rfc2217+tls://h:4003: connection refused;"), 1U) << err.str();
    // A local device's path is more than the name it was given: it stays.
    EXPECT_EQ(said("cannot open rfc2217+tls://h:4003: /dev/ttyUSB0: no such device;"), 1U)
        << err.str();
}

TEST_F(Keeping, ALineThatKeepsDroppingSoonAfterOpeningIsReopenedWithGrowingPauses) {
    constexpr std::uint32_t kFlood = s(7);  // the exchange gives up on a flooded line
    struct Case {
        const char* behaviour;
        std::uint8_t address;
        std::deque<std::uint32_t> upFor;
        bool dropAfterWrite;
        Times opens;
    };
    const Case cases[] = {
        {"a board hanging up after each clock write is not written at each reopen",
         1,
         {},
         true,
         {0, s(1)}},
        {"a flooded line, one board",
         1,
         std::deque<std::uint32_t>(40, kFlood),
         false,
         {0, s(8), s(17), s(28), s(43), s(66), s(105), s(172), s(239)}},
        {"a flooded line, all boards",
         255,
         std::deque<std::uint32_t>(40, kFlood),
         false,
         {0, s(8), s(17), s(28), s(43), s(66), s(105), s(172), s(239)}},
        {"a line that stayed up two minutes starts again from 1 s",
         1,
         {kFlood, kFlood, kFlood, s(120), kFlood},
         false,
         {0, s(8), s(17), s(28), s(149), s(158)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        restart();
        line->upFor = c.upFor;
        line->dropAfterWrite = c.dropAfterWrite;
        line->stopAt = s(240);
        keep(3600, c.address);
        EXPECT_EQ(line->opens, c.opens);
        EXPECT_EQ(line->writes, (Times{0})) << err.str();
    }
}

TEST_F(Keeping, ABoardThatNeverAnswersTheClockReadIsStillWrittenAtOnceAndEveryPeriod) {
    line->readSilent = true;
    line->stopAt = s(190);
    keep(60, 1);
    EXPECT_EQ(line->writes, (Times{0, s(60), s(120), s(180)}));
    EXPECT_EQ(said("board 1 did not answer the clock read"), 1U) << err.str();
    EXPECT_EQ(said("its clock was not read"), 4U);
    EXPECT_EQ(said("answers the clock"), 0U) << "the write taken does not end the read's silence";
}

TEST_F(Keeping, AClockHoldingNoValidTimeIsWrittenAtOnceAndAtMostOncePerReopenPause) {
    struct Case {
        const char* behaviour;
        std::optional<std::uint32_t> powerLossAt;
        bool deadClock;
        bool dropAfterWrite;
        Times writes;
    };
    const Case cases[] = {
        {"a power loss at 100 s is found at the look at 120 s", s(100), false, false, {0, s(120)}},
        {"a clock that never keeps the time, on a line dropping after each write",
         std::nullopt,
         true,
         true,
         {0, s(1), s(3), s(7), s(15), s(31), s(63), s(123)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        restart();
        line->powerLossAt = c.powerLossAt;
        line->deadClock = c.deadClock;
        line->dropAfterWrite = c.dropAfterWrite;
        line->stopAt = s(150);
        keep(3600, 1);
        EXPECT_EQ(line->writes, c.writes) << err.str();
        EXPECT_EQ(said("(its clock held no valid time)\n"), c.writes.size() - 1);
    }
}

TEST(KeepTimeReopen, PausesDoubleFromOneSecondUpToAMinute) {
    const std::pair<unsigned, std::uint32_t> cases[] = {
        {0, s(1)}, {1, s(2)}, {4, s(16)}, {5, s(32)}, {6, s(60)}, {7, s(60)}, {1000, s(60)}};
    for (const auto& [failures, pause] : cases) {
        EXPECT_EQ(TimeKeeper::reopenPauseMs(failures), pause) << failures;
    }
}

TEST_F(Keeping, AnUnsynchronisedPcClockHoldsEveryWriteAndIsToldOnceAMinute) {
    struct Case {
        const char* behaviour;
        std::uint32_t syncedAt;
        bool trusted;
        std::size_t notices;
        std::uint32_t firstWrite;
    };
    const Case cases[] = {
        {"synchronised within the minute: one notice", s(30), false, 1, s(30)},
        {"two and a half minutes: a notice at the start and after each minute", s(150), false, 3,
         s(150)},
        {"--trust-pc-clock writes at once", s(150), true, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        restart();
        line->stopAt = s(170);
        synchronised = [&] { return now() >= c.syncedAt; };
        keep(3600, 1, c.trusted);
        ASSERT_FALSE(line->writes.empty());
        EXPECT_EQ(line->writes.front(), c.firstWrite);
        EXPECT_EQ(said("not synchronised"), c.notices) << err.str();
    }
}

TEST_F(Keeping, ASilentBoardIsToldOnceAndWrittenAtTheFirstLookAfterItAnswers) {
    line->silentUntil = s(200);
    line->stopAt = s(290);
    keep(3600, 1);
    // Asked again at every look, one a minute.
    EXPECT_EQ(line->writes, (Times{s(240)}));
    EXPECT_EQ(said("board 1 did not answer the clock read"), 1U) << err.str();
    EXPECT_EQ(said("board 1 did not answer the clock write"), 1U);
    EXPECT_EQ(said("board 1 answers the clock read again"), 1U);
    EXPECT_EQ(said("board 1 answers the clock write again"), 1U);
    EXPECT_EQ(said("(on connecting)"), 1U);
}

TEST(KeepTimePeriod, TakesSecondsMinutesHoursAndDays) {
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"60s", 60},
        {"1h", 3600},
        {"3h", 3 * 3600},
        {"1d", 86400},
        {"2s", 2},
        {"15m", 900},
        {"7d", 7 * 86400},
        {"", std::nullopt},
        {"60", std::nullopt},
        {"0s", std::nullopt},
        {"1w", std::nullopt},
        {"-1h", std::nullopt},
        {"h", std::nullopt},
        {"1.5h", std::nullopt},
        {"8d", std::nullopt},
        {"4294967296s", std::nullopt},
    };
    for (const auto& [text, seconds] : cases) {
        EXPECT_EQ(timesync::parseKeepPeriod(text), seconds) << text;
    }
}

}  // namespace
}  // namespace horalux::link
