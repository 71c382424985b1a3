#include "timesync/SyncPeriod.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace horalux::timesync {
namespace {

using enum SyncPeriodChoice;

// Records what the period logic does to the timer and the board, in order.
class Recorder final : public PeriodTimer {
  public:
    std::vector<std::string> events;
    void start(std::uint32_t intervalMs) override {
        events.push_back("start " + std::to_string(intervalMs));
    }
    void stop() override { events.push_back("stop"); }
    void write() { events.push_back("write"); }
};

struct SyncPeriodTest : ::testing::Test {
    Recorder recorder;
    settings::ProgramSettings settings;
    SyncPeriod period{recorder, settings, [this] { recorder.write(); }};

    void load(SyncPeriodChoice choice) {
        settings.SyncPeriodChoice = static_cast<int>(choice);
        period.load();
    }

    std::vector<SyncPeriodChoice> checked() const {
        std::vector<SyncPeriodChoice> out;
        for (const auto item : {None, Minute, Hour, ThreeHours, Day}) {
            if (period.isChecked(item)) {
                out.push_back(item);
            }
        }
        return out;
    }
    std::vector<std::string> takeEvents() { return std::exchange(recorder.events, {}); }
};

TEST_F(SyncPeriodTest, LoadingSetsTheCheckMarkOnlyAndOutOfRangeValuesGiveTheDefault) {
    struct Case {
        int stored;
        SyncPeriodChoice expected;
    };
    for (const Case c : {Case{0, None}, Case{1, Minute}, Case{4, Day}, Case{5, Day}, Case{-1, Day},
                         Case{99, Day}}) {
        settings.SyncPeriodChoice = c.stored;
        period.load();
        EXPECT_EQ(checked(), std::vector{c.expected}) << c.stored;
        EXPECT_EQ(settings.SyncPeriodChoice, static_cast<int>(c.expected));
    }
    EXPECT_EQ(period.syncPeriodSeconds(), 0U);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(SyncPeriodTest, ChoosingAnotherItemLeavesOnlyItCheckedAndRestartsAtItsPeriod) {
    load(None);
    period.choosePeriod(Minute);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"stop", "start 60000"}));
    period.choosePeriod(Hour);
    EXPECT_EQ(checked(), std::vector{Hour});
    EXPECT_EQ(period.syncPeriodSeconds(), 3600U);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"stop", "start 3600000"}));
    period.choosePeriod(ThreeHours);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"stop", "start 10800000"}));
    period.choosePeriod(Day);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"stop", "start 86400000"}));
    EXPECT_EQ(settings.SyncPeriodChoice, 4);
}

TEST_F(SyncPeriodTest, ChoosingTheCheckedItemStopsPeriodicWritesButNotTheOnDemandOne) {
    load(Hour);
    period.applyRememberedChoice();
    takeEvents();
    period.choosePeriod(Hour);
    EXPECT_TRUE(checked().empty());
    EXPECT_EQ(period.syncPeriodSeconds(), 0U);
    EXPECT_EQ(period.syncPeriodChoice(), None);
    EXPECT_EQ(takeEvents(), std::vector<std::string>{"stop"});
    // Nothing checked: the stored choice is left as it was.
    EXPECT_EQ(settings.SyncPeriodChoice, 2);

    period.synchronizeNow();
    EXPECT_EQ(takeEvents(), std::vector<std::string>{"write"});
}

TEST_F(SyncPeriodTest, ApplyingTheRememberedChoiceStartsItsPeriodWithoutWriting) {
    struct Case {
        SyncPeriodChoice loaded;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {None, {"stop"}},
        {Minute, {"stop", "start 60000"}},
        {Day, {"stop", "start 86400000"}},
    };
    for (const Case& c : cases) {
        load(c.loaded);
        period.applyRememberedChoice();
        EXPECT_EQ(checked(), std::vector{c.loaded});
        EXPECT_EQ(takeEvents(), c.events);
        // A reconnection applies it again: same result, nothing toggled.
        period.applyRememberedChoice();
        EXPECT_EQ(checked(), std::vector{c.loaded});
        EXPECT_EQ(takeEvents(), c.events);
    }
}

TEST_F(SyncPeriodTest, OnDemandWriteRestartsARunningPeriodAndTicksWrite) {
    load(None);
    period.synchronizeNow();
    EXPECT_EQ(takeEvents(), std::vector<std::string>{"write"});  // no timer started

    period.choosePeriod(ThreeHours);
    takeEvents();
    period.synchronizeNow();
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"stop", "start 10800000", "write"}));
    period.onTimerTick();
    period.onTimerTick();
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"write", "write"}));
}

TEST_F(SyncPeriodTest, TheSubmenuItemIsNoPeriodChoice) {
    load(Hour);
    period.applyRememberedChoice();
    takeEvents();
    period.choosePeriod(None);
    EXPECT_EQ(checked(), std::vector{Hour});
    EXPECT_TRUE(recorder.events.empty());
}

// The choice in force follows the check marks (None when no period item is checked); the value
// saved is the checked item, or the value loaded from the file while none is checked.
TEST_F(SyncPeriodTest, TheChoiceInForceAndTheValueSavedKeepTheirOwnRules) {
    struct Case {
        const char* name;
        SyncPeriodChoice loaded;
        std::vector<SyncPeriodChoice> clicks;
        bool applyAfter;
        SyncPeriodChoice inForce;
        int saved;
    };
    const Case cases[] = {
        {"loaded as it stands", Hour, {}, false, Hour, 2},
        {"the submenu item loaded", None, {}, false, None, 0},
        {"another item chosen", Day, {Minute}, false, Minute, 1},
        {"the checked item unchecked", Day, {Day}, false, None, 4},
        {"unchecked, then applied again", Day, {Day}, true, None, 4},
        {"unchecked, then another chosen", Hour, {Hour, ThreeHours}, false, ThreeHours, 3},
        {"the submenu item after a choice", None, {Minute, Minute}, false, None, 0},
        {"another item chosen, then unchecked", Day, {Minute, Minute}, false, None, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.loaded);
        for (const SyncPeriodChoice click : c.clicks) {
            period.choosePeriod(click);
        }
        if (c.applyAfter) {
            period.applyRememberedChoice();
        }
        EXPECT_EQ(period.syncPeriodChoice(), c.inForce);
        EXPECT_EQ(period.syncPeriodSeconds(),
                  c.clicks.empty() && !c.applyAfter
                      ? 0U
                      : kSyncPeriodSeconds[static_cast<int>(c.inForce)]);
        EXPECT_EQ(settings.SyncPeriodChoice, c.saved);
    }
}

}  // namespace
}  // namespace horalux::timesync
