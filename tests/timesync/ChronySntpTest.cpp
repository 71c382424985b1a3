// Exchanges with a real NTP server: chronyd on loopback, started with -x so it never touches
// the machine's clock, and queried with a fake PC clock so this test never does either.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Tick.h"
#include "support/FakeSystemClock.h"
#include "support/LoopbackUdp.h"
#include "timesync/CivilTime.h"
#include "timesync/SntpClient.h"

extern char** environ;

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
        std::vector<std::string> args = {kChronyd, "-x", "-d", "-f", conf};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = dir_ + "/chronyd.log";
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        if (posix_spawn(&pid_, kChronyd, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    ~ChronyServer() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::uint16_t port() const { return port_; }
    bool running() {
        if (pid_ <= 0 || exited_) {
            return false;
        }
        exited_ = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
        return !exited_;
    }
    std::string log() const {
        std::ifstream in(dir_ + "/chronyd.log");
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    std::uint16_t port_;
    std::string dir_;
    pid_t pid_ = -1;
    bool exited_ = false;
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
