// The companion and the network port against the stand-in board behind a real ser2net on the
// loopback interface.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/PortOpener.h"
#include "platform/Tick.h"
#include "support/BoardProcess.h"
#include "support/CommandRun.h"
#include "support/Ser2netProcess.h"

namespace horalux::test {
namespace {

constexpr int kWatchdogMs = 20000;

using CliRun = CommandRun;

std::string cliCommand(const std::string& port, const std::string& args) {
    // Quoted for the shell: a name may hold a newline.
    return std::string(HORALUX_CLI_PATH) + " --port '" + port + "' --delay 0 " + args + " 2>&1";
}

CliRun cli(const std::string& port, const std::string& args) {
    return finishCommand(::popen(cliCommand(port, args).c_str(), "r"));
}

// The stand-in board with its --verbose log in a file of its own.
class LoggedBoard {
  public:
    explicit LoggedBoard(std::vector<std::string> args = {}) {
        char pattern[] = "/tmp/horalux-board-log-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd >= 0) {
            ::close(fd);
        }
        log_ = pattern;
        args.push_back("--verbose");
        process_ = std::make_unique<BoardProcess>(args, log_);
        device_ = process_->devicePath();
    }
    ~LoggedBoard() {
        process_.reset();
        std::remove(log_.c_str());
    }
    const std::string& device() const { return device_; }
    std::string log() const {
        std::ifstream in(log_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Every byte the board received, as hex text, in order.
    std::string received() const {
        std::istringstream in(log());
        std::string all;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("line in: ", 0) == 0) {
                all += (all.empty() ? "" : " ") + line.substr(9);
            }
        }
        return all;
    }
    // Waits until the log holds `text` `times` times; false after the watchdog.
    bool waitForLog(const std::string& text, int times = 1) const {
        const std::int64_t deadline = platform::monotonicMs() + kWatchdogMs;
        while (platform::monotonicMs() < deadline) {
            const std::string now = log();
            int seen = 0;
            for (std::size_t at = now.find(text); at != std::string::npos;
                 at = now.find(text, at + 1)) {
                ++seen;
            }
            if (seen >= times) {
                return true;
            }
            const timespec ms{0, 5'000'000};
            nanosleep(&ms, nullptr);
        }
        return false;
    }

  private:
    std::string log_;
    std::unique_ptr<BoardProcess> process_;
    std::string device_;
};

enum class Kind { Tcp, Rfc2217 };

std::string nameOf(const Ser2netProcess& server, Kind kind) {
    return kind == Kind::Tcp ? server.tcpName() : server.rfc2217Name();
}

TEST(NetworkPorts, ReadsAndWritesReachTheBoardByteForByteAsOnALocalPort) {
    struct Case {
        const char* what;
        Kind kind;
        std::string command;
    };
    const Case cases[] = {
        {"full register read, raw TCP", Kind::Tcp, "--speed 115200 read-registers"},
        {"full register read, RFC 2217", Kind::Rfc2217, "--speed 115200 read-registers"},
        {"field write, raw TCP", Kind::Tcp, "--speed 115200 write-field 2 12.34"},
        {"field write, RFC 2217", Kind::Rfc2217, "--speed 115200 write-field 2 12.34"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoggedBoard local;
        const CliRun direct = cli(local.device(), c.command);
        ASSERT_EQ(direct.status, 0) << direct.output;

        LoggedBoard remote;
        Ser2netProcess server(remote.device(), 115200);
        const CliRun through = cli(nameOf(server, c.kind), c.command);
        EXPECT_EQ(through.status, 0) << through.output;
        EXPECT_EQ(through.output, direct.output);
        EXPECT_FALSE(remote.received().empty());
        EXPECT_EQ(remote.received(), local.received());
    }
}

TEST(NetworkPorts, ClockWriteToAllBoardsCrossesRfc2217WithItsFfBytesSingle) {
    LoggedBoard board;
    Ser2netProcess server(board.device());
    const CliRun run = cli(server.rfc2217Name(), "--address 255 sync-time");
    EXPECT_EQ(run.status, 0) << run.output;
    // Address 255 goes on the wire doubled; a lone FF there would have been taken by the
    // server as a Telnet command and the frame spoilt.
    EXPECT_NE(board.log().find("request to 255: command"), std::string::npos) << board.log();
    EXPECT_NE(board.received().find(" FF "), std::string::npos) << board.received();
    EXPECT_EQ(board.received().find("FF FF"), std::string::npos) << board.received();
}

TEST(NetworkPorts, TheSpeedSetOverRfc2217ReachesTheBoardsLine) {
    LoggedBoard board;
    Ser2netProcess server(board.device(), 9600);
    platform::PortOpener opener;
    auto port = opener.open(server.rfc2217Name(), 9600);
    ASSERT_NE(port, nullptr) << opener.lastFailureCause();
    port->setSpeed(19200);  // a speed change in the connection dialog
    EXPECT_EQ(port->speed(), 19200U);
    EXPECT_TRUE(board.waitForLog("line speed 19200 bit/s")) << board.log();
    // The companion sets its speed on opening, as on a local port.
    port.reset();
    const CliRun run = cli(server.rfc2217Name(), "--speed 115200 sync-time");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(board.waitForLog("line speed 115200 bit/s")) << board.log();
}

TEST(NetworkPorts, ADeviceServerStoppedMidReadEndsTheCompanionWithStatus1AndOneMessage) {
    for (const Kind kind : {Kind::Tcp, Kind::Rfc2217}) {
        SCOPED_TRACE(kind == Kind::Tcp ? "raw TCP" : "RFC 2217");
        LoggedBoard board({"--line-timing"});
        Ser2netProcess server(board.device());
        FILE* pipe = ::popen(cliCommand(nameOf(server, kind), "read-registers").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        ASSERT_TRUE(board.waitForLog("request to", 3)) << board.log();
        server.stop();
        const CliRun run = finishCommand(pipe);
        EXPECT_EQ(run.status, 1) << run.output;
        std::istringstream lines(run.output);
        int errorLines = 0;
        int downLines = 0;
        for (std::string line; std::getline(lines, line);) {
            errorLines += line.find("Error reading port") != std::string::npos ? 1 : 0;
            downLines += line.find("the line to the board is down") != std::string::npos ? 1 : 0;
        }
        // As an unplugged adapter: the failed read, then the link down, each said once.
        EXPECT_EQ(errorLines, 1) << run.output;
        EXPECT_EQ(downLines, 1) << run.output;
    }
}

TEST(NetworkPorts, PortsThatCannotBeHadGiveErrorOpeningPortWithTheCause) {
    LoggedBoard board;
    Ser2netProcess server(board.device());
    // The device server serves one client at a time: this one holds both its ports' device.
    platform::PortOpener holder;
    auto held = holder.open(server.rfc2217Name(), 9600);
    ASSERT_NE(held, nullptr) << holder.lastFailureCause();
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(freeLoopbackPort());
    struct Case {
        std::string port;
        std::string failure;  // the line after "Error opening port"
    };
    const Case cases[] = {
        {refused, refused + ": connection refused"},
        {"rfc2217://no-such-board.invalid:4001",
         "rfc2217://no-such-board.invalid:4001: host not found"},
        {server.rfc2217Name(), server.rfc2217Name() + ": in use by another program"},
        {server.tcpName(), server.tcpName() + ": in use by another program"},
        // A newline in the name would split the message: the name is quoted instead.
        {"tty\nUSB9", R"("/dev/tty\nUSB9": no such device)"},
        {"tcp://board:4001\n", R"("tcp://board:4001\n": not a network address)"},
    };
    for (const Case& c : cases) {
        const CliRun run = cli(c.port, "sync-time");
        EXPECT_EQ(run.status, 1) << c.port;
        EXPECT_NE(run.output.find("Error opening port\n" + c.failure), std::string::npos)
            << run.output;
    }
}

}  // namespace
}  // namespace horalux::test
