// Exchanges with a real NTP server: chronyd on loopback, started with -x so it never touches
// the machine's clock, and queried with a fake PC clock so this test never does either.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/Tick.h"
#include "support/ChildProcess.h"
#include "support/FakeSystemClock.h"
#include "support/LoopbackSockets.h"
#include "timesync/CivilTime.h"
#include "timesync/SntpClient.h"

namespace horalux::timesync {
namespace {

constexpr const char* kChronyd = "/usr/sbin/chronyd";

// A UDP port on 127.0.0.1 that nothing is bound to right now.
std::uint16_t freeLoopbackPort() {
    std::uint16_t port = 0;
    ::close(test::boundLoopbackSocket(&port));
    return port;
}

// chronyd in the foreground with a configuration of its own in a temporary folder.
class ChronyServer {
  public:
    ChronyServer() : port_(freeLoopbackPort()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "horalux-chrony-XXXXXX");
        dir_ = ::mkdtemp(pattern.data());
        // chronyd running as root drops to its own user, which must still write here.
        ::chmod(dir_.c_str(), 0777);
        const std::string conf = dir_ + "/chrony.conf";
        std::ofstream(conf) << "local stratum 1\n"
                            << "bindaddress 127.0.0.1\n"
                            << "port " << port_ << "\n"
                            << "cmdport 0\n"
                            << "pidfile " << dir_ << "/chronyd.pid\n"
                            << "driftfile " << dir_ << "/chrony.drift\n"
                            << "allow 127.0.0.1\n";
        process_.emplace(std::vector<std::string>{kChronyd, "-x", "-d", "-f", conf},
                         test::ChildProcess::Output::LogFile, dir_ + "/chronyd.log");
    }

    ~ChronyServer() {
        process_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::uint16_t port() const { return port_; }
    bool running() { return process_ && process_->running(); }
    std::string log() const {
        std::ifstream in(dir_ + "/chronyd.log");
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    std::uint16_t port_;
    std::string dir_;
    std::optional<test::ChildProcess> process_;
};

TEST(ChronySntp, RealServerSetsTheFakeClockToTodaysDate) {
    if (::access(kChronyd, X_OK) != 0) {
        GTEST_SKIP() << "chronyd is not installed (" << kChronyd << ")";
    }
    ChronyServer chrony;
    platform::MonotonicTick tick;
    test::FakeSystemClock clock;
    clock.time = {1970, 1, 2, 3, 4, 5, 0};  // a PC clock far off must not matter
    clock.bias = -60;

    SntpOptions options;
    options.port = chrony.port();
    options.timeoutMs = 250;
    // Until it has bound its port the daemon refuses or stays silent; bounded retries.
    bool answered = false;
    for (int attempt = 0; attempt < 80 && !answered; ++attempt) {
        if (!chrony.running()) {
            GTEST_SKIP() << "chronyd cannot run here:\n" << chrony.log();
        }
        answered = querySntpServer("127.0.0.1", clock, tick, options).ok();
        if (!answered) {
            tick.sleepMs(100);
        }
    }
    ASSERT_TRUE(answered) << "chronyd never gave a usable answer:\n" << chrony.log();

    std::vector<std::string> messages;
    options.timeoutMs = 5000;
    EXPECT_TRUE(SinhrSisDate(
        true, "localhost", clock, tick, [&](std::string_view text) { messages.emplace_back(text); },
        options));
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(clock.sets.size(), 1U);

    // Only the date is compared (within a day either way, for runs around midnight).
    const auto realDays = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())
                              .time_since_epoch()
                              .count();
    const std::int64_t setDays = floorDiv(clock.sets.front(), 86400000);
    EXPECT_LE(std::abs(setDays - realDays), 1) << clock.sets.front();
}

}  // namespace
}  // namespace horalux::timesync
