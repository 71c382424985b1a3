#include "link/session/PortLease.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace horalux::link {
namespace {

// Notes every call that reaches it.
class CountingPort final : public platform::SerialPort {
  public:
    platform::IoResult read(std::uint8_t*, std::size_t) override { return note("read", 1); }
    platform::IoResult readSome(std::uint8_t*, std::size_t) override { return note("readSome", 3); }
    platform::IoResult write(const std::uint8_t*, std::size_t length) override {
        return note("write", length);
    }
    std::size_t outputQueued() override {
        calls.push_back("outputQueued");
        return 9;
    }
    void purge() override { calls.push_back("purge"); }
    platform::LineErrorState takeErrors() override {
        calls.push_back("takeErrors");
        return {true, platform::line_error::Parity};
    }
    void setSpeed(std::uint32_t) override { calls.push_back("setSpeed"); }
    std::uint32_t speed() const override { return 115200; }
    void close() override { calls.push_back("close"); }

    std::vector<std::string> calls;

  private:
    platform::IoResult note(const char* name, std::size_t count) {
        calls.push_back(name);
        return {count, platform::IoStatus::Ok};
    }
};

TEST(PortLease, PassesEveryCallOnUntilRevokedThenReachesThePortNoMore) {
    struct Case {
        const char* name;
        std::function<bool(platform::SerialPort&)> callGivesThePortsAnswer;
    };
    std::uint8_t buffer[8] = {};
    const Case cases[] = {
        {"read", [&](auto& p) { return p.read(buffer, 1).count == 1; }},
        {"readSome", [&](auto& p) { return p.readSome(buffer, 8).count == 3; }},
        {"write", [&](auto& p) { return p.write(buffer, 5).count == 5; }},
        {"outputQueued", [](auto& p) { return p.outputQueued() == 9; }},
        {"purge", [](auto& p) { return p.purge(), true; }},
        {"takeErrors",
         [](auto& p) { return p.takeErrors().flags == platform::line_error::Parity; }},
        {"setSpeed", [](auto& p) { return p.setSpeed(9600), true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CountingPort port;
        PortLease lease(port);
        EXPECT_TRUE(c.callGivesThePortsAnswer(lease));
        EXPECT_EQ(port.calls, std::vector<std::string>{c.name});
        lease.revoke();
        c.callGivesThePortsAnswer(lease);
        EXPECT_EQ(port.calls.size(), 1U) << "nothing reaches the port after the revoke";
        EXPECT_EQ(lease.speed(), 115200U) << "the speed it had";
    }
    CountingPort port;
    PortLease lease(port);
    lease.close();
    EXPECT_TRUE(port.calls.empty()) << "the connection, not the thread, closes the port";
    lease.revoke();
    EXPECT_EQ(lease.read(buffer, 1).status, platform::IoStatus::Gone);
    EXPECT_EQ(lease.readSome(buffer, 8).status, platform::IoStatus::Gone);
    EXPECT_EQ(lease.write(buffer, 5).status, platform::IoStatus::Gone);
}

}  // namespace
}  // namespace horalux::link
