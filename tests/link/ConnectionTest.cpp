#include "link/session/Session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>

#include "ExchangeDoubles.h"
#include "link/wire/Commands.h"
#include "support/FakeSystemClock.h"
#include "support/MemoryLine.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

using namespace std::chrono_literals;

// An in-memory line as the connection's port, which the test can make vanish once while the
// exchange thread reads it.
class TestPort final : public test::ForwardingPort {
  public:
    TestPort(test::MemoryLine& line, std::atomic<bool>& vanish)
        : ForwardingPort(line), vanish_(vanish) {}
    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        if (vanish_.exchange(false)) {
            return {0, platform::IoStatus::Gone};
        }
        return ForwardingPort::read(buffer, length);
    }
    platform::IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override {
        if (vanish_.exchange(false)) {
            return {0, platform::IoStatus::Gone};
        }
        return ForwardingPort::readSome(buffer, capacity);
    }

  private:
    std::atomic<bool>& vanish_;
};

// Hands out in-memory lines by name; the test keeps the lines, the connection the ports.
class LineOpener final : public platform::SerialDeviceOpener {
  public:
    std::unique_ptr<platform::SerialPort> open(const std::string& name,
                                               std::uint32_t speed) override {
        ++opens;
        auto found = lines.find(name);
        if (found == lines.end()) {
            return nullptr;
        }
        found->second->setSpeed(speed);
        return std::make_unique<TestPort>(*found->second, vanish);
    }
    std::string lastFailureCause() const override { return "no such device"; }

    std::map<std::string, test::MemoryLine*> lines;
    std::atomic<bool> vanish{false};  // the next read of any line finds the device gone
    int opens = 0;
};

// The owner's handlers; a test says what each does.
class OwnerEvents final : public ExchangeEvents {
  public:
    bool onRequestFailed(std::unique_ptr<BoardRequest> copy) override {
        ++failures;
        if (onFailure) {
            onFailure(std::move(copy));
        }
        return true;
    }
    void onLinkDown() override {
        ++linkDowns;
        if (onDown) {
            onDown();
        }
    }

    std::function<void(std::unique_ptr<BoardRequest>)> onFailure;
    std::function<void()> onDown;
    int failures = 0;
    int linkDowns = 0;
};

// The test's thread is the main side: the session's loop runs the exchange thread's calls as
// the windows do, and settles the connection after each batch.
class ConnectionTest : public ::testing::Test {
  protected:
    ConnectionTest() {
        opener.lines["A"] = &lineA;
        opener.lines["B"] = &lineB;
    }
    void dispatch(std::uint32_t maxWaitMs) { session.serve(maxWaitMs); }
    // Serves the thread's calls until `done` holds; false when it did not within the limit
    // (far beyond what any step takes, so it only ends a test that would hang).
    bool serveUntil(const std::function<bool()>& done) { return session.serveUntil(done, 30000); }
    bool queueRead(std::uint8_t reg, std::int32_t tries) {
        return connection.operations().queue(tries, 10, cmd::ReadRegister, reg, 0);
    }
    // Answers every register read on the line with the value 7.
    static void answerReads(test::MemoryLine& line) {
        line.onWrite([&line](const std::vector<std::uint8_t>& frame) {
            const test::SentFrame sent = test::sentFrame(frame);
            if (sent.command == cmd::ReadRegister) {
                line.feed(test::replyHeader(sent.address, cmd::ReadRegister, sent.param1, 7));
            }
        });
    }

    platform::MonotonicTick tick;
    test::MemoryLine lineA{&tick};
    test::MemoryLine lineB{&tick};
    LineOpener opener;
    test::FakeSystemClock clock;
    test::RecordingPrompts prompts;
    OwnerEvents events;
    Session session{{.events = &events,
                     .prompts = &prompts,
                     .tick = &tick,
                     .clock = &clock,
                     .opener = &opener,
                     .settings = {.DelayTime = 1}}};
    Connection& connection = session.connection();
    BoardState& board = session.board();
};

TEST_F(ConnectionTest, AMissingPortIsReportedWithItsCauseAndNothingRuns) {
    const OpenResult result = connection.connect("nowhere", 9600);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.message, "Error opening port");
    EXPECT_EQ(result.cause, "no such device");
    EXPECT_EQ(prompts.said(),
              std::vector<std::string>{"error: Error opening port\nno such device"});
    EXPECT_FALSE(connection.isOpen());
    EXPECT_FALSE(connection.running());
    EXPECT_FALSE(queueRead(77, 3)) << "nothing is queued while no exchange runs";
}

TEST_F(ConnectionTest, ReconnectingKeepsTheSamePortAtANewSpeedAndClosesAnotherOne) {
    ASSERT_TRUE(connection.connect("A", 9600));
    EXPECT_TRUE(connection.running());
    ASSERT_TRUE(connection.connect("A", 115200));
    EXPECT_EQ(opener.opens, 1) << "the same port stays open";
    EXPECT_EQ(lineA.speed(), 115200U);
    EXPECT_FALSE(lineA.closed());
    ASSERT_TRUE(connection.connect("B", 9600));
    EXPECT_TRUE(lineA.closed());
    EXPECT_GE(lineA.purges(), 1) << "purged before it was closed";
    EXPECT_EQ(connection.portName(), "B");
    connection.close();
    EXPECT_TRUE(lineB.closed());
    EXPECT_FALSE(connection.isOpen());
}

// What the owner does from inside a handler of the exchange thread. None of it may wait for
// the thread, which waits for the handler.
struct HandlerCase {
    const char* name;
    std::function<void(Connection&)> act;
    bool runningAfter;
    bool openAfter;
};

const std::vector<HandlerCase> kHandlerCases = {
    {"stops the exchange", [](Connection& c) { c.stop(); }, false, true},
    {"closes the port", [](Connection& c) { c.close(); }, false, false},
    {"reconnects to the same port", [](Connection& c) { c.connect("A", 9600); }, true, true},
    {"reconnects at another speed", [](Connection& c) { c.connect("A", 115200); }, true, true},
    {"opens another port", [](Connection& c) { c.connect("B", 9600); }, true, true},
};

TEST_F(ConnectionTest, TheFailedRequestHandlerMayStopCloseOrReconnectWithoutDeadlock) {
    for (const HandlerCase& c : kHandlerCases) {
        SCOPED_TRACE(c.name);
        lineA.onWrite(nullptr);
        ASSERT_TRUE(connection.connect("A", 9600));
        events.failures = 0;
        events.onFailure = [&](std::unique_ptr<BoardRequest>) { c.act(connection); };
        ASSERT_TRUE(queueRead(77, 1));
        ASSERT_TRUE(serveUntil([&] { return events.failures == 1; }));
        EXPECT_EQ(connection.running(), c.runningAfter);
        EXPECT_EQ(connection.isOpen(), c.openAfter);
        if (c.runningAfter) {
            // The new exchange serves its own fresh ring.
            events.onFailure = nullptr;
            answerReads(lineA);
            answerReads(lineB);
            ASSERT_TRUE(queueRead(78, 3));
            ASSERT_TRUE(serveUntil([&] { return connection.ring()->empty(); }));
            EXPECT_EQ(board.snapshot().BoardCopy.upperLevel, 7);
        }
        EXPECT_EQ(events.failures, 1);
        connection.close();
    }
}

TEST_F(ConnectionTest, TheLineGoingDownIsToldOnceAndItsHandlerMayReconnect) {
    for (const HandlerCase& c : kHandlerCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(connection.connect("A", 9600));
        events.linkDowns = 0;
        events.onDown = [&] {
            EXPECT_TRUE(connection.linkDown());
            EXPECT_FALSE(connection.running());
            c.act(connection);
        };
        ASSERT_TRUE(queueRead(77, 3));
        opener.vanish = true;
        ASSERT_TRUE(serveUntil([&] { return events.linkDowns > 0; }));
        EXPECT_EQ(connection.running(), c.runningAfter);
        EXPECT_EQ(connection.isOpen(), c.openAfter);
        // Long enough for any second report to have come.
        for (int i = 0; i < 20; ++i) {
            dispatch(10);
        }
        EXPECT_EQ(events.linkDowns, 1);
        connection.close();
    }
}

TEST_F(ConnectionTest, AWaitForTheRingEndsAtOnceWhenTheLineGoesDown) {
    ASSERT_TRUE(connection.connect("A", 9600));
    connection.operations().ReadAllRegisters();
    opener.vanish = true;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.operations().WaitForRing(60000));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 30s) << "not the whole minute";
    EXPECT_EQ(events.linkDowns, 1);
    EXPECT_FALSE(queueRead(77, 3)) << "nothing goes onto a ring nobody serves";
}

}  // namespace
}  // namespace horalux::link
