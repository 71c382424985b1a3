#include "link/wire/PortAccess.h"

#include <gtest/gtest.h>

#include "platform/PortOpener.h"
#include "platform/PosixSerialPort.h"
#include "support/FakeTick.h"
#include "support/MemoryLine.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

TEST(LineErrorText, OnlyASingleKnownFlagHasAText) {
    EXPECT_EQ(lineErrorText(0x0001), " Входной буфер полон, приём невозможен");
    EXPECT_EQ(lineErrorText(0x0002), " Входной буфер переполнен, Потеря байтов ");
    EXPECT_EQ(lineErrorText(0x0010), "Нарушен обмен данными ");
    EXPECT_EQ(lineErrorText(0x8000), " Неподдерживаемый режим ");
    EXPECT_EQ(lineErrorText(0x0003), "");
    EXPECT_EQ(lineErrorText(0x0000), "");
    EXPECT_EQ(lineErrorText(0x0020), "");
}

class NoDevice final : public platform::SerialDeviceOpener {
  public:
    std::unique_ptr<platform::SerialPort> open(const std::string&, std::uint32_t) override {
        return nullptr;
    }
};

class OneLine final : public platform::SerialDeviceOpener {
  public:
    explicit OneLine(std::unique_ptr<test::MemoryLine> line) : line_(std::move(line)) {}
    std::unique_ptr<platform::SerialPort> open(const std::string&, std::uint32_t speed) override {
        line_->setSpeed(speed);
        return std::move(line_);
    }

  private:
    std::unique_ptr<test::MemoryLine> line_;
};

TEST(OpenPort, MissingDeviceShowsErrorOpeningPortAndGivesNoPort) {
    NoDevice opener;
    test::RecordingPrompts prompts;
    EXPECT_EQ(OpenPort(opener, "ttyS99", 9600, prompts), nullptr);
    EXPECT_EQ(prompts.said(), std::vector<std::string>{"error: Error opening port"});
}

TEST(OpenPort, MissingSerialDeviceShowsErrorOpeningPortAndTheCause) {
    platform::PosixSerialOpener opener;
    test::RecordingPrompts prompts;
    EXPECT_EQ(OpenPort(opener, "/dev/horalux-no-such-device", 9600, prompts), nullptr);
    EXPECT_EQ(OpenPort(opener, "horalux-no-such-device", 9600, prompts), nullptr);
    EXPECT_EQ(prompts.said(),
              (std::vector<std::string>{
                  "error: Error opening port\n/dev/horalux-no-such-device: no such device",
                  "error: Error opening port\n/dev/horalux-no-such-device: no such device"}));
}

TEST(OpenPort, TheProgramsOpenerChoosesByTheNameAndNamesTheCauseOfANetworkPortsFailure) {
    struct Case {
        std::string name;
        bool opened;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"tcp://board.invalid:4001",
         false,
         {"error: Error opening port\ntcp://board.invalid:4001: host not found"}},
        {"RFC2217://[fd00::7:4002",
         false,
         {"error: Error opening port\nRFC2217://[fd00::7:4002: not a network address; write "
          "rfc2217://HOST:PORT, tcp://HOST:PORT, rfc2217+tls://HOST:PORT or tcp+tls://HOST:PORT "
          "(an IPv6 address in brackets)"}},
        {"ttyUSB0", true, {}},
        {"/tmp/tcp://board", true, {}},  // a path is a local device whatever it holds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OneLine devices(std::make_unique<test::MemoryLine>());
        platform::PortOpener opener(devices);
        test::RecordingPrompts prompts;
        EXPECT_EQ(OpenPort(opener, c.name, 9600, prompts) != nullptr, c.opened);
        EXPECT_EQ(prompts.said(), c.said);
    }
}

// Only what every port has; the serial line's own calls keep their defaults.
class BareLine final : public platform::SerialPort {
  public:
    platform::IoResult read(std::uint8_t*, std::size_t) override { return {}; }
    platform::IoResult write(const std::uint8_t*, std::size_t length) override {
        return {length, platform::IoStatus::Ok};
    }
    void purge() override {}
    void close() override {}
};

TEST(OpenPort, APortWithoutASerialLineReportsNoErrorsAndGoesByTheSpeedItIsGiven) {
    class Opener final : public platform::SerialDeviceOpener {
      public:
        std::unique_ptr<platform::SerialPort> open(const std::string&,
                                                   std::uint32_t speed) override {
            auto port = std::make_unique<BareLine>();
            port->setSpeed(speed);
            return port;
        }
    } opener;
    test::RecordingPrompts prompts;
    auto port = OpenPort(opener, "bare", 9600, prompts);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(prompts.said().empty());
    EXPECT_NO_THROW(SetPortSpeed(*port, 115200));
    EXPECT_EQ(port->speed(), 115200U);
    EXPECT_DOUBLE_EQ(postWriteWaitMs(100, port->speed()), 100.0 + 100000.0 / 115200.0);
}

TEST(OpenPort, PurgesAndChecksErrorsOfTheOpenedPort) {
    auto line = std::make_unique<test::MemoryLine>();
    test::MemoryLine* raw = line.get();
    line->feed({1, 2, 3});
    OneLine opener(std::move(line));
    test::RecordingPrompts prompts;
    auto port = OpenPort(opener, "x", 115200, prompts);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(raw->pending(), 0U);
    EXPECT_EQ(port->speed(), 115200U);
    EXPECT_TRUE(prompts.said().empty());
}

TEST(CheckPortErrors, ShowsConnectionErrorOnlyWhenTheQueryFails) {
    test::MemoryLine line;
    test::RecordingPrompts prompts;
    line.setErrors({true, platform::line_error::Parity});
    EXPECT_EQ(CheckPortErrors(line, prompts).flags, platform::line_error::Parity);
    EXPECT_TRUE(prompts.said().empty());
    line.setErrors({false, 0});
    CheckPortErrors(line, prompts);
    EXPECT_EQ(prompts.said(), std::vector<std::string>{"error: Ошибка соединения"});
}

TEST(PostWriteWait, EndsAtTheFirstTickPastDelayPlusByteTime) {
    struct Case {
        std::uint32_t delay, speed, expectedElapsed;
    };
    const Case cases[] = {{50, 115200, 51}, {100, 9600, 111}, {100, 115200, 101}};
    for (const Case& c : cases) {
        test::FakeTick tick(0xFFFFFFF0U);  // across the wrap of the tick
        const std::uint32_t t0 = tick.nowMs();
        PostWriteWait(tick, postWriteWaitMs(c.delay, c.speed), {});
        EXPECT_EQ(tick.nowMs() - t0, c.expectedElapsed) << c.delay << "/" << c.speed;
    }
}

TEST(PostWriteWait, ReturnsEarlyWhenStopIsRequested) {
    test::FakeTick tick;
    std::stop_source stop;
    int dispatched = 0;
    PostWriteWait(
        tick, 110.4,
        [&] {
            ++dispatched;
            stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(dispatched, 1);
}

}  // namespace
}  // namespace horalux::link
