#include "link/wire/FrameIo.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <stop_token>
#include <vector>

#include "support/FakeTick.h"
#include "support/MemoryLine.h"

namespace horalux::link {
namespace {

using test::FakeTick;
using Script = std::vector<std::optional<std::uint8_t>>;  // nullopt: a poll that times out

// Delivers a script of bytes and silences one poll at a time.
class ScriptedPort final : public platform::SerialPort {
  public:
    explicit ScriptedPort(Script script) : script_(script.begin(), script.end()) {}
    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        ++reads;
        platform::IoResult r;
        while (r.count < length && !script_.empty()) {
            const auto next = script_.front();
            script_.pop_front();
            if (!next) {
                break;
            }
            buffer[r.count++] = *next;
        }
        return r;
    }
    platform::IoResult write(const std::uint8_t*, std::size_t length) override {
        return {length, platform::IoStatus::Ok};
    }
    void purge() override {}
    platform::LineErrorState takeErrors() override { return {}; }
    void setSpeed(std::uint32_t) override {}
    std::uint32_t speed() const override { return 9600; }
    void close() override {}
    int reads = 0;

  private:
    std::deque<std::optional<std::uint8_t>> script_;
};

Script toScript(std::initializer_list<std::uint8_t> bytes) {
    return Script(bytes.begin(), bytes.end());
}

const std::array<std::uint8_t, 8> kReply = makeReplyHeader({1, 0, 0x74, 0x4D, 1});
const ReplyHeader kExpected{1, 0, 0x74, 0x4D, 1};

HuntResult hunt(Script script, std::uint8_t waking) {
    ScriptedPort port(std::move(script));
    FakeTick tick;
    Line line(port, tick, 100);
    return HuntReplyHeader(line, waking);
}

TEST(HuntReplyHeader, FindsTheWorkedExampleAfterPreambleByte) {
    const auto result =
        hunt(toScript({0x55, 0xE0, 0x01, 0x00, 0x74, 0x4D, 0x01, 0xA4, 0xA3}), 0x55);
    ASSERT_EQ(result.status, HuntStatus::Found);
    EXPECT_EQ(result.header, kExpected);
}

TEST(HuntReplyHeader, FindsAReplyHoweverItIsSplitAndWhateverPrecedesIt) {
    const std::vector<std::vector<std::uint8_t>> leaders = {{},
                                                            {0x55, 0x55, 0x55, 0x00},
                                                            {0xE0, 0x13, 0xE0, 0xE0, 0x01},
                                                            {0x12, 0xE0, 0x01, 0x00, 0x74}};
    for (const auto& leader : leaders) {
        for (std::size_t split = 0; split <= kReply.size(); ++split) {
            Script script(leader.begin(), leader.end());
            script.insert(script.end(), kReply.begin(), kReply.begin() + static_cast<long>(split));
            // a pause of nine empty polls stays below the ten that end a hunt
            script.insert(script.end(), 9, std::nullopt);
            script.insert(script.end(), kReply.begin() + static_cast<long>(split), kReply.end());
            const auto result = hunt(script, 0x00);
            ASSERT_EQ(result.status, HuntStatus::Found)
                << "leader " << leader.size() << " split " << split;
            EXPECT_EQ(result.header, kExpected);
        }
    }
}

TEST(HuntReplyHeader, WakingByteOpensTheWindowOnlyWhenItIsTheStartByte) {
    const Script rest(kReply.begin() + 1, kReply.end());
    EXPECT_EQ(hunt(rest, 0xE0).status, HuntStatus::Found);
    EXPECT_EQ(hunt(rest, 0x55).status, HuntStatus::Quiet);
}

TEST(HuntReplyHeader, SlidesOnWhenTheChecksumDoesNotMatch) {
    auto bad = toScript({0xE0, 0x01, 0x00, 0x74, 0x4D, 0x01, 0xA4, 0xA4});
    EXPECT_EQ(hunt(bad, 0).status, HuntStatus::Quiet);
    bad.insert(bad.end(), kReply.begin(), kReply.end());
    const auto result = hunt(bad, 0);
    ASSERT_EQ(result.status, HuntStatus::Found);
    EXPECT_EQ(result.header, kExpected);
}

TEST(HuntReplyHeader, TenEmptyPollsEndTheHuntEvenWithBytesBetweenThem) {
    Script script;
    for (int i = 0; i < 10; ++i) {
        script.push_back(0x55);
        script.push_back(std::nullopt);
    }
    script.insert(script.end(), kReply.begin(), kReply.end());
    ScriptedPort port(script);
    FakeTick tick;
    Line line(port, tick, 100);
    EXPECT_EQ(HuntReplyHeader(line, 0).status, HuntStatus::Quiet);
    EXPECT_EQ(port.reads, 20);
}

TEST(HuntReplyHeader, FailedPollsCountAsEmptyAndAreReported) {
    FakeTick tick;
    test::MemoryLine port(&tick);
    Line line(port, tick, 100);
    int reported = 0;
    line.setPollFailureHandler([&] { ++reported; });
    port.failNextRead(platform::IoStatus::Failed);
    EXPECT_EQ(HuntReplyHeader(line, 0).status, HuntStatus::Quiet);
    EXPECT_EQ(reported, 1);
}

TEST(HuntReplyHeader, GivesWayToDueWorkOnlyBetweenHeadersAndCarriesOnWhereItStopped) {
    // Noise, then a reply: the hunt gives way in the noise, never inside the started header
    // (the reply to a last try is awaited), and the next hunt finds the header.
    ScriptedPort port(Script(kReply.begin() + 1, kReply.end()));
    FakeTick tick;
    Line line(port, tick, 100);
    HuntWindow window;
    int asked = 0;
    const auto due = [&] { return ++asked > 0; };
    EXPECT_EQ(HuntReplyHeader(line, 0x99, &window, due).status, HuntStatus::GaveWay);
    EXPECT_EQ(port.reads, 0);
    EXPECT_EQ(HuntReplyHeader(line, 0x12, &window, due).status, HuntStatus::GaveWay);
    const auto found = HuntReplyHeader(line, 0xE0, &window, due);
    ASSERT_EQ(found.status, HuntStatus::Found);
    EXPECT_EQ(found.header, kExpected);
    EXPECT_EQ(asked, 2);

    // A line of endless start bytes holds the hunt only for a bounded number of bytes.
    ScriptedPort starts(Script(100, std::uint8_t{0xE0}));
    Line endless(starts, tick, 100);
    HuntWindow held;
    EXPECT_EQ(HuntReplyHeader(endless, 0xE0, &held, due).status, HuntStatus::GaveWay);
    EXPECT_LE(starts.reads, 16);
}

TEST(HuntReplyHeader, EndsAtOnceWhenTheDeviceIsGoneOrStopIsRequested) {
    FakeTick tick;
    test::MemoryLine port(&tick);
    Line line(port, tick, 100);
    port.setGone();
    EXPECT_EQ(HuntReplyHeader(line, 0xE0).status, HuntStatus::Gone);

    test::MemoryLine noisy(&tick);
    noisy.feed(std::vector<std::uint8_t>(10000, 0x55));
    Line stopping(noisy, tick, 100);
    std::stop_source stop;
    stopping.setStopToken(stop.get_token());
    stop.request_stop();
    EXPECT_EQ(HuntReplyHeader(stopping, 0x55).status, HuntStatus::Stopped);
}

TEST(ReadReplyData, KeepsAGoodBlockAndZeroesOneThatFailsItsChecksum) {
    FakeTick tick;
    test::MemoryLine port(&tick);
    Line line(port, tick, 100);
    ReplyData buffer{};
    port.feed({0x10, 0x20, 0x30, 0x60});
    EXPECT_TRUE(ReadReplyData(line, 3, buffer));
    EXPECT_EQ(buffer[0], 0x10);
    EXPECT_EQ(buffer[3], 0x60);

    port.feed({0x10, 0x20, 0x30, 0x61});
    EXPECT_FALSE(ReadReplyData(line, 3, buffer));
    EXPECT_EQ(buffer[0], 0x00);
    EXPECT_EQ(buffer[3], 0x00);
}

TEST(ReadReplyData, MissingBytesReadAsZero) {
    FakeTick tick;
    test::MemoryLine port(&tick);
    Line line(port, tick, 100);
    ReplyData buffer{};
    buffer.fill(0xAA);
    port.feed({0x00, 0x00});  // two bytes of three data bytes and the sum: all zeros add up
    EXPECT_TRUE(ReadReplyData(line, 3, buffer));
    EXPECT_EQ(buffer[2], 0x00);
    EXPECT_EQ(buffer[200], 0x00);
}

TEST(ReadReplyData, RaisesErrorReadingPortOrDeviceGone) {
    FakeTick tick;
    test::MemoryLine port(&tick);
    Line line(port, tick, 100);
    ReplyData buffer{};
    port.failNextRead(platform::IoStatus::Failed);
    EXPECT_THROW(ReadReplyData(line, 3, buffer), platform::PortError);
    port.failNextRead(platform::IoStatus::Gone);
    EXPECT_THROW(ReadReplyData(line, 3, buffer), platform::DeviceGone);
}

TEST(SendFrame, WritesLogsAndWaitsAfterTheFrame) {
    FakeTick tick(5000);
    test::MemoryLine port(&tick);
    port.setSpeed(9600);
    Line line(port, tick, 100);
    std::vector<std::size_t> logged;
    line.setLog([&](LogDirection, std::span<const std::uint8_t> b) { logged.push_back(b.size()); });
    int dispatched = 0;
    line.setDispatch([&] { ++dispatched; });
    RequestFrameBuilder builder;
    const std::vector<std::uint8_t> data{1, 2, 3};
    SendFrame(line, builder, 3, 0x00, 0, 3, std::span<const std::uint8_t>(data));
    ASSERT_EQ(port.writes().size(), 1U);
    EXPECT_EQ(port.writes()[0].size(), 114U);
    EXPECT_EQ(logged, std::vector<std::size_t>{114});
    EXPECT_GT(dispatched, 0);
    // 114 bytes take 118.75 ms on the wire; the pause counts from then: first tick past 110.4.
    EXPECT_EQ(tick.nowMs() - 5000, 119U + 111U);
}

// Reports written bytes as queued in the driver until the fake tick reaches drainedAt.
class QueuedOutputLine final : public platform::SerialPort {
  public:
    QueuedOutputLine(FakeTick& tick, std::uint32_t drainedAt) : tick_(tick), at_(drainedAt) {}
    platform::IoResult read(std::uint8_t*, std::size_t) override { return {}; }
    platform::IoResult write(const std::uint8_t*, std::size_t length) override {
        return {length, platform::IoStatus::Ok};
    }
    std::size_t outputQueued() override { return tick_.nowMs() < at_ ? 1 : 0; }
    void purge() override {}
    platform::LineErrorState takeErrors() override { return {}; }
    void setSpeed(std::uint32_t) override {}
    std::uint32_t speed() const override { return 115200; }
    void close() override {}

  private:
    FakeTick& tick_;
    std::uint32_t at_;
};

TEST(SendFrame, ThePauseStartsWhenTheDriverHasSentTheFrameAndAStopEndsTheWait) {
    FakeTick tick(5000);
    QueuedOutputLine port(tick, 5300);  // a driver far slower than the wire
    Line line(port, tick, 100);
    RequestFrameBuilder builder;
    SendFrame(line, builder, 1, 0x74, 77, 0);
    EXPECT_EQ(tick.nowMs(), 5300U + 101U) << "the pause of 100.87 ms after the queue emptied";

    QueuedOutputLine stalled(tick, 0xFFFFFFF0U);  // a queue that does not move
    Line stalledLine(stalled, tick, 100);
    std::stop_source stop;
    stalledLine.setStopToken(stop.get_token());
    stalledLine.setDispatch([&] {
        if (tick.nowMs() >= 5600) {
            stop.request_stop();
        }
    });
    SendFrame(stalledLine, builder, 1, 0x74, 77, 0);
    EXPECT_LE(tick.nowMs(), 5605U);
}

}  // namespace
}  // namespace horalux::link
