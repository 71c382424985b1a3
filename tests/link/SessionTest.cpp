#include "link/session/Session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <latch>
#include <string>
#include <thread>

#include "config/RegisterFile.h"
#include "link/wire/Commands.h"
#include "support/BoardProcess.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

// The owner's handlers: counts what reaches it and drops a failed request so the ring goes on.
class Owner final : public ExchangeEvents {
  public:
    bool onRequestFailed(std::unique_ptr<BoardRequest> copy) override {
        ++failures;
        if (session != nullptr) {
            session->connection().dropFailedRequest(std::move(copy));
        }
        return true;
    }
    void onLinkDown() override { ++linkDowns; }

    Session* session = nullptr;
    int failures = 0;
    int linkDowns = 0;
};

std::string savedImage(const std::string& name, const config::RegisterImage& image) {
    const auto path =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".cs");
    config::saveRegisterFile(path, image);
    return path.string();
}

config::RegisterImage imageWith(std::uint8_t timeZone, std::uint8_t upperLevel) {
    config::RegisterImage image;
    image.timeZone = timeZone;
    image.upperLevel = upperLevel;
    return image;
}

// What one session read from its board, on a main side of its own.
struct Reading {
    config::RegisterImage registers;
    bool drained = false;
    int failures = 0;
};

TEST(Sessions, TwoSessionsOnTwoBoardsReadAtOnceEachItsOwnBoard) {
    const config::RegisterImage imageA = imageWith(2, 11);
    const config::RegisterImage imageB = imageWith(5, 22);
    test::BoardProcess boardA({"--registers", savedImage("session-a", imageA)});
    test::BoardProcess boardB({"--registers", savedImage("session-b", imageB)});
    const std::string devices[2] = {boardA.devicePath(), boardB.devicePath()};

    // Each session is built, served and ended on a thread of its own, as a program with one
    // main side per port would; both reads are under way together.
    Reading readings[2];
    std::latch bothConnected(2);
    auto readThrough = [&](int which) {
        test::RecordingPrompts prompts;
        Owner owner;
        Session session({.events = &owner, .prompts = &prompts, .settings = {.DelayTime = 0}});
        owner.session = &session;
        const bool connected =
            static_cast<bool>(session.connection().connect(devices[which], 115200));
        bothConnected.arrive_and_wait();
        if (!connected) {
            return;
        }
        session.operations().ReadAllRegisters();
        readings[which].drained = session.operations().WaitForRing(60000);
        readings[which].registers = session.board().snapshot().BoardCopy;
        readings[which].failures = owner.failures;
    };
    std::thread first(readThrough, 0);
    std::thread second(readThrough, 1);
    first.join();
    second.join();

    EXPECT_TRUE(readings[0].drained);
    EXPECT_TRUE(readings[1].drained);
    EXPECT_EQ(readings[0].failures + readings[1].failures, 0);
    EXPECT_EQ(readings[0].registers.timeZone, imageA.timeZone);
    EXPECT_EQ(readings[0].registers.upperLevel, imageA.upperLevel);
    EXPECT_EQ(readings[1].registers.timeZone, imageB.timeZone);
    EXPECT_EQ(readings[1].registers.upperLevel, imageB.upperLevel);
}

// A session built before the view that answers it (the windows' root builds it first), then
// attached, detached, and ended with the stop flag as Ctrl+C does.
TEST(Sessions, ASessionPassesTheExchangeToItsAttachedViewAndEndsItsWaitsOnTheStopFlag) {
    test::BoardProcess board({"--address", "1"});  // nobody at address 9
    test::RecordingPrompts prompts;
    std::atomic<bool> stop{false};
    Session session({.prompts = &prompts, .stop = &stop, .settings = {.DelayTime = 0}});
    ASSERT_TRUE(session.connection().connect(board.devicePath(), 115200));
    auto readFrom = [&](std::uint8_t address, std::uint8_t reg) {
        session.operations().setCurrentAddress(address);
        return session.operations().queue(1, 50, cmd::ReadRegister, reg, 0);
    };

    // No view yet: the request nobody answers is dropped, and the next one is served.
    ASSERT_TRUE(readFrom(9, 55));
    ASSERT_TRUE(readFrom(1, 78));
    EXPECT_TRUE(session.serveUntil([&] { return session.connection().ring()->empty(); }, 30000));
    EXPECT_TRUE(session.connection().running());

    Owner owner;
    owner.session = &session;
    session.attach(&owner, nullptr);
    ASSERT_TRUE(readFrom(9, 55));
    EXPECT_TRUE(session.serveUntil([&] { return owner.failures == 1; }, 30000));
    session.attach(nullptr, nullptr);
    ASSERT_TRUE(readFrom(9, 55));
    EXPECT_TRUE(session.serveUntil([&] { return session.connection().ring()->empty(); }, 30000));
    EXPECT_EQ(owner.failures, 1) << "a detached view hears nothing more";

    // Set from a signal handler in the companion: the wait under way ends at once, the
    // exchange with it.
    session.operations().setCurrentAddress(1);
    ASSERT_TRUE(session.operations().ReadAllRegisters());
    stop = true;
    EXPECT_FALSE(session.operations().WaitForRing(60000));
    EXPECT_FALSE(session.connection().running());
    EXPECT_TRUE(session.connection().isOpen()) << "the owner closes the port";
}

}  // namespace
}  // namespace horalux::link

namespace horalux::link {
namespace {

TEST(Sessions, ASessionsOwnOpenerChecksTlsPortsByItsSettings) {
    // A key others may read is refused before any connection: it shows the settings' key file
    // reached the opener the session made.
    const auto key =
        std::filesystem::temp_directory_path() / ("horalux-key-" + std::to_string(::getpid()));
    { std::ofstream(key) << "not used"; }
    std::filesystem::permissions(key, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::owner_write |
                                          std::filesystem::perms::group_read);
    test::RecordingPrompts prompts;
    settings::ProgramSettings settings;
    settings.TlsCertFile = "/nonexistent/me.pem";
    settings.TlsKeyFile = key.string();
    Session session({.prompts = &prompts, .settings = settings});
    EXPECT_FALSE(session.connection().connect("tcp+tls://127.0.0.1:9", 9600));
    std::filesystem::remove(key);
    EXPECT_EQ(prompts.said(),
              std::vector<std::string>{
                  "error: Error opening port\ntcp+tls://127.0.0.1:9: " + key.string() +
                  ": the private key is readable by others than its owner; "
                  "make it readable by its owner alone (chmod 600)"});
}

}  // namespace
}  // namespace horalux::link
