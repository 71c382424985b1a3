#include "link/session/BoardOperations.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "link/wire/Commands.h"
#include "support/FakeSystemClock.h"
#include "support/FakeTick.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

struct Sent {
    std::uint8_t address, command, param1, param2;
    std::int32_t tries;
    std::uint32_t interval;
    std::vector<std::uint8_t> data;

    friend bool operator==(const Sent&, const Sent&) = default;
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    return os << "{" << int{s.address} << " " << std::hex << int{s.command} << std::dec << " "
              << int{s.param1} << " " << int{s.param2} << " x" << s.tries << "}";
}

class CountingBusy final : public BusyIndicator {
  public:
    void ShowBusyState() override { ++shown; }
    int shown = 0;
};

// Each dispatch lets 10 ms pass and runs what the test wants to happen meanwhile.
class FakePump final : public MessagePump {
  public:
    explicit FakePump(test::FakeTick& tick) : tick_(tick) {}
    void dispatch(std::uint32_t) override {
        tick_.advance(10);
        ++dispatches;
        if (onDispatch) {
            onDispatch();
        }
    }
    std::function<void()> onDispatch;
    int dispatches = 0;

  private:
    test::FakeTick& tick_;
};

class BoardOperationsTest : public ::testing::Test {
  protected:
    BoardOperationsTest() { ops.attachRing(&ring); }

    // Takes everything queued so far out of the ring.
    std::vector<Sent> drain() {
        std::vector<Sent> out;
        while (BoardRequest* r = ring.current()) {
            out.push_back({r->address, r->command, r->param1, r->param2, r->triesLeft,
                           r->retryInterval, r->data.value_or(std::vector<std::uint8_t>{})});
            ring.advance();
        }
        return out;
    }
    void setImages(const config::RegisterImage& edit, const config::RegisterImage& boardCopy) {
        auto data = board.lock();
        data->EditCopy = edit;
        data->BoardCopy = boardCopy;
    }

    test::FakeTick tick;
    test::FakeSystemClock clock;
    test::RecordingPrompts prompts;
    BoardState board;
    CountingBusy busy;
    FakePump pump{tick};
    RequestRing ring;
    settings::ProgramSettings settings;
    BoardOperations ops{tick, clock, prompts, board, busy, pump, settings};
};

const std::vector<std::uint8_t> kMarch2009{0x07, 0x05, 0x09, 8, 0x01, 0x03, 0x09};

TEST_F(BoardOperationsTest, ClockWriteCarriesOneReadingOfThePcClock) {
    clock.time = {2009, 3, 1, 9, 5, 7, 999};
    ops.setCurrentAddress(4);
    ops.Sinkhr_date();
    EXPECT_EQ(drain(), (std::vector<Sent>{{4, cmd::WriteClock, 0, 7, 3, 1000, kMarch2009}}));
}

TEST_F(BoardOperationsTest, WritingAnUnchangedImageQueuesOnlyTheClockWrite) {
    config::RegisterImage image;
    image.address = 1;
    image.dimStart = 0x0705;
    setImages(image, image);
    clock.time = {2009, 3, 1, 9, 5, 7, 0};
    ops.WriteRegisters();
    EXPECT_FALSE(ops.RingIdle());
    EXPECT_EQ(drain(), (std::vector<Sent>{{1, cmd::WriteClock, 0, 7, 3, 1000, kMarch2009}}));
}

TEST_F(BoardOperationsTest, WritingChangedHalvesQueuesOnlyTheRegistersThatDiffer) {
    config::RegisterImage boardCopy;
    boardCopy.address = 1;
    config::RegisterImage edit = boardCopy;
    boardCopy.dimStart = 0x00FF;
    edit.dimStart = 0x01FF;
    edit.alarm1 = 0x0005;  // low half only
    edit.modeFlags = 0x81;
    setImages(edit, boardCopy);
    ops.WriteRegisters();
    const auto sent = drain();
    ASSERT_EQ(sent.size(), 4U);
    EXPECT_EQ(sent[0], (Sent{1, cmd::WriteRegister, 57, 0x01, 3, 3000, {}}));
    EXPECT_EQ(sent[1], (Sent{1, cmd::WriteRegister, 63, 0x05, 3, 3000, {}}));
    EXPECT_EQ(sent[2], (Sent{1, cmd::WriteRegister, 77, 0x81, 3, 3000, {}}));
    EXPECT_EQ(sent[3].command, cmd::WriteClock);
}

TEST_F(BoardOperationsTest, AddressChangeGoesOnceToTheOldAddressAndTheClockToTheNew) {
    config::RegisterImage boardCopy;
    boardCopy.address = 1;
    config::RegisterImage edit = boardCopy;
    edit.address = 10;
    setImages(edit, boardCopy);
    ops.setCurrentAddress(1);
    ops.WriteRegisters();
    const auto sent = drain();
    ASSERT_EQ(sent.size(), 2U);
    EXPECT_EQ(sent[0], (Sent{1, cmd::WriteRegister, 76, 10, 0, 3000, {}}));
    EXPECT_EQ(sent[1].address, 10);
    EXPECT_EQ(sent[1].command, cmd::WriteClock);
    EXPECT_EQ(ops.currentAddress(), 10);
    EXPECT_EQ(settings.sysnum, 10) << "the next start and the saved settings use it";
}

TEST_F(BoardOperationsTest, ReadingAllRegistersQueues71ReadsAndShowsTheBusyState) {
    ops.ReadAllRegisters();
    EXPECT_FALSE(ops.RingIdle());
    EXPECT_EQ(busy.shown, 1);
    const auto sent = drain();
    ASSERT_EQ(sent.size(), 71U);
    EXPECT_EQ(sent.front(), (Sent{1, cmd::ReadRegister, 38, 0, 10, 1000, {}}));
    EXPECT_EQ(sent.back().param1, 255);
}

TEST_F(BoardOperationsTest, WaitForRingEndsWhenTheRingDrainsOrAtTheLimitPlus300) {
    pump.onDispatch = [&] {
        if (pump.dispatches == 3) {
            ops.setRingIdle(true);
        }
    };
    ops.setRingIdle(false);
    EXPECT_TRUE(ops.WaitForRing(60000));
    EXPECT_EQ(pump.dispatches, 3);

    pump.onDispatch = nullptr;
    ops.setRingIdle(false);
    tick.set(0xFFFFF000U);  // the limit runs across the wrap of the tick
    const std::uint32_t t0 = tick.nowMs();
    EXPECT_FALSE(ops.WaitForRing(60000));
    const std::uint32_t waited = tick.nowMs() - t0;
    EXPECT_GT(waited, 60300U);
    EXPECT_LE(waited, 60310U);
}

TEST_F(BoardOperationsTest, AnEmptyRingReportSentBeforeTheLatestRequestsDoesNotEndTheWait) {
    ops.Sinkhr_date();
    ops.setRingIdle(true);  // a report from before the request was queued
    EXPECT_FALSE(ops.RingIdle());
    pump.onDispatch = [&] {
        ops.setRingIdle(true);
        if (pump.dispatches == 3) {
            drain();
            ops.setRingIdle(true);
        }
    };
    EXPECT_TRUE(ops.WaitForRing(60000));
    EXPECT_EQ(pump.dispatches, 3);
}

TEST_F(BoardOperationsTest, ModeSwitchUsesTheModeJustReadNotAnOlderOne) {
    board.lock()->BoardCopy.modeFlags = 0x80;  // from an earlier read
    ops.setRingIdle(true);
    pump.onDispatch = [&] {
        ops.setRingIdle(true);  // stale until the read has been answered
        if (pump.dispatches == 2) {
            ring.advance();  // the board answers the mode read
            board.lock()->BoardCopy.modeFlags = 0x05;
            ops.setRingIdle(true);
        }
    };
    ops.SetBoardMode(true);
    EXPECT_EQ(pump.dispatches, 2);
    EXPECT_EQ(drain(), (std::vector<Sent>{{1, cmd::WriteRegister, 77, 0x85, 3, 3000, {}}}));
}

TEST_F(BoardOperationsTest, BoardModeSwitchSetsOrClearsOnlyTheMasterBit) {
    struct Case {
        bool makeMaster;
        std::uint8_t mode;
        std::optional<std::uint8_t> written;
    };
    const Case cases[] = {{true, 0x05, 0x85},
                          {true, 0x85, std::nullopt},
                          {false, 0x85, 0x05},
                          {false, 0x05, std::nullopt}};
    for (const Case& c : cases) {
        board.lock()->BoardCopy.modeFlags = c.mode;
        board.StatusFrameSeen = !c.makeMaster;
        pump.onDispatch = [&] { ops.setRingIdle(true); };
        ops.SetBoardMode(c.makeMaster);
        EXPECT_EQ(board.StatusFrameSeen.load(), c.makeMaster);
        std::vector<Sent> expected{{1, cmd::ReadRegister, 77, 0, 3, 3000, {}}};
        if (c.written) {
            expected.push_back({1, cmd::WriteRegister, 77, *c.written, 3, 3000, {}});
        }
        EXPECT_EQ(drain(), expected) << int{c.mode} << " master " << c.makeMaster;
    }
}

TEST_F(BoardOperationsTest, MenuReadsQueueInTheirOrderWithTheBusyStateBetween) {
    ops.readTimeAndDate();
    EXPECT_EQ(drain(), (std::vector<Sent>{{1, cmd::ReadRegister, 223, 0, 3, 1000, {}},
                                          {1, cmd::ReadRegister, 55, 0, 3, 1000, {}},
                                          {1, cmd::ReadClock, 0, 7, 3, 1000, {}}}));
    EXPECT_EQ(busy.shown, 1);

    board.lock()->BoardCopy.userScreens.fill(16);  // 512 bytes: the length takes both bytes
    ops.readUserFields();
    const auto sent = drain();
    ASSERT_EQ(sent.size(), 33U);
    EXPECT_EQ(sent[0].param1, 224);
    EXPECT_EQ(sent[31].param1, 255);
    EXPECT_EQ(sent[32], (Sent{1, cmd::ReadUserFields, 2, 0, 3, 1000, {}}));
}

TEST_F(BoardOperationsTest, FieldWriteSendsEveryFieldInUseAtItsLength) {
    {
        auto data = board.lock();
        data->BoardCopy.userScreens[0] = 4;
        data->BoardCopy.userScreens[1] = 2;
        data->BoardCopy.userScreens[3] = 6;  // after the first 0: not in use
        data->UserFieldTexts[1] = "-5";
    }
    ops.writeUserField(0, "12");
    EXPECT_EQ(board.lock()->UserFieldTexts[0], "12");
    EXPECT_EQ(drain(),
              (std::vector<Sent>{
                  {1, cmd::WriteUserFields, 0, 6, 3, 1000, {0x06, 0x5B, 0x00, 0x00, 0x40, 0x6D}}}));
}

TEST_F(BoardOperationsTest, FieldWriteOver255BytesCarriesItsWholeLength) {
    board.lock()->BoardCopy.userScreens.fill(16);
    ops.writeUserField(0, "1");
    const auto sent = drain();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].param1, 2);
    EXPECT_EQ(sent[0].param2, 0);
    EXPECT_EQ(sent[0].data.size(), 512U);
}

TEST_F(BoardOperationsTest, NothingIsQueuedWithoutAnExchange) {
    ops.attachRing(nullptr);
    ops.ReadAllRegisters();
    ops.Sinkhr_date();
    ops.attachRing(&ring);
    EXPECT_TRUE(drain().empty());
}

// Each batch with its size: the ring takes it when exactly that much room is left, and refuses
// all of it, once, when one slot less is.
TEST_F(BoardOperationsTest, ABatchGoesInWholeOrNotAtAllAndARefusalIsToldOnce) {
    struct Case {
        const char* name;
        std::size_t size;
        std::function<bool(BoardOperations&)> run;
        std::uint8_t addressAfter = 1;
    };
    const Case cases[] = {
        {"read all registers", 71, [](BoardOperations& o) { return o.ReadAllRegisters(); }},
        {"read user fields", 33, [](BoardOperations& o) { return o.readUserFields(); }},
        {"read time and date", 3, [](BoardOperations& o) { return o.readTimeAndDate(); }},
        {"write with an address change", 3, [](BoardOperations& o) { return o.WriteRegisters(); },
         10},
    };
    config::RegisterImage boardCopy;
    boardCopy.address = 1;
    config::RegisterImage edit = boardCopy;
    edit.address = 10;
    edit.volume = 2;
    for (const Case& c : cases) {
        for (const std::size_t room : {c.size - 1, c.size}) {
            SCOPED_TRACE(std::string(c.name) + ", room " + std::to_string(room));
            drain();
            setImages(edit, boardCopy);
            settings.sysnum = 1;
            const std::size_t toldBefore = prompts.said().size();
            busy.shown = 0;
            while (ring.pendingCount() < RequestRing::kCapacity - room) {
                ASSERT_TRUE(QueueRequest(ring, tick, prompts, 1, 1000, 3, cmd::ReadClock, 0, 7));
            }
            const bool fits = room == c.size;
            EXPECT_EQ(c.run(ops), fits);
            EXPECT_EQ(ring.pendingCount(),
                      fits ? RequestRing::kCapacity : RequestRing::kCapacity - room);
            const std::vector<std::string> told = prompts.said();
            EXPECT_EQ(std::vector<std::string>(
                          told.begin() + static_cast<std::ptrdiff_t>(toldBefore), told.end()),
                      fits ? std::vector<std::string>{}
                           : std::vector<std::string>{"error: " + std::string(kRingFull)});
            EXPECT_EQ(settings.sysnum, fits ? c.addressAfter : 1)
                << "a refused write leaves the address alone";
            if (!fits) {
                EXPECT_EQ(busy.shown, 0);
            }
        }
    }
}

TEST_F(BoardOperationsTest, AWaitEndsAtOnceWhenNoExchangeServesTheRing) {
    ops.attachRing(nullptr);
    EXPECT_FALSE(ops.WaitForRing(60000));
    EXPECT_EQ(pump.dispatches, 0);

    ops.attachRing(&ring);
    ops.Sinkhr_date();
    pump.onDispatch = [&] {
        if (pump.dispatches == 2) {
            ops.attachRing(nullptr);  // the line went down
        }
    };
    EXPECT_FALSE(ops.WaitForRing(60000));
    EXPECT_EQ(pump.dispatches, 2);
    ops.Sinkhr_date();
    EXPECT_EQ(ring.pendingCount(), 1U) << "nothing more goes onto a ring nobody serves";
}

}  // namespace
}  // namespace horalux::link
