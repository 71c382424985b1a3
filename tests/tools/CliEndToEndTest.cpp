// horalux-cli run as a program against the stand-in board over a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "support/BoardProcess.h"
#include "support/ChildProcess.h"
#include "support/CommandRun.h"
#include "timesync/LoopbackUdpServer.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;

using CliRun = CommandRun;

class CliAgainstBoard : public ::testing::Test {
  public:
    void start(const std::vector<std::string>& boardArgs = {}, const std::string& log = {}) {
        board_ = std::make_unique<BoardProcess>(boardArgs, log);
        device_ = board_->devicePath();
    }
    // The requests the board's --verbose log at `log` shows, one "command XX 'c' params P1 P2"
    // each, from the `from`-th on.
    static std::vector<std::string> requestsIn(const fs::path& log, std::size_t from = 0) {
        std::ifstream in(log);
        std::vector<std::string> requests;
        for (std::string l; std::getline(in, l);) {
            const std::size_t at = l.find(": command ");
            if (l.rfind("request to ", 0) == 0 && at != std::string::npos) {
                requests.push_back(l.substr(at + 2, 27));
            }
        }
        requests.erase(requests.begin(), requests.begin() + static_cast<std::ptrdiff_t>(
                                                                std::min(from, requests.size())));
        return requests;
    }
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("horalux-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    CliRun cli(const std::string& args) {
        return run(std::string(HORALUX_CLI_PATH) + " --port " + device_ +
                   " --speed 115200 --delay 0 " + args);
    }
    static CliRun run(const std::string& commandLine) { return runCommand(commandLine); }
    static std::string line(const std::string& output, const std::string& prefix) {
        std::istringstream in(output);
        for (std::string l; std::getline(in, l);) {
            if (l.rfind(prefix, 0) == 0) {
                return l;
            }
        }
        return {};
    }

    // Whether `text` has the shape given: '9' stands for any digit, anything else for itself.
    // (No std::regex: it wakes a false GCC 12 alarm in the sanitizer build.)
    static bool shaped(const std::string& text, const std::string& shape) {
        return text.size() == shape.size() &&
               std::equal(shape.begin(), shape.end(), text.begin(), [](char s, char t) {
                   return s == '9' ? std::isdigit(static_cast<unsigned char>(t)) != 0 : s == t;
               });
    }
    // The register-file text with `key`'s value replaced.
    static std::string withKey(std::string text, const std::string& key, const std::string& value) {
        const std::size_t at = text.find("\n" + key + "=");
        if (at != std::string::npos) {
            const std::size_t from = at + key.size() + 2;
            text.replace(from, text.find('\n', from) - from, value);
        }
        return text;
    }
    // The output without the line that starts with `prefix`.
    static std::string without(const std::string& output, const std::string& prefix) {
        std::istringstream in(output);
        std::string rest;
        for (std::string l; std::getline(in, l);) {
            if (l.rfind(prefix, 0) != 0) {
                rest += l + "\n";
            }
        }
        return rest;
    }

    std::unique_ptr<BoardProcess> board_;
    std::string device_;
    fs::path dir_;
};

TEST_F(CliAgainstBoard, ReadsTheRegistersAndWritesBackAFileWithOneChange) {
    start();
    const CliRun read = cli("read-registers --out " + (dir_ / "board.txt").string());
    ASSERT_EQ(read.status, 0) << read.output;
    // 70 registers with a field, the five words on one line each, then the file written.
    EXPECT_EQ(std::count(read.output.begin(), read.output.end(), '\n'), 66);
    EXPECT_NE(line(read.output, "76 address "), "");
    EXPECT_EQ(line(read.output, "saved to "), "saved to " + (dir_ / "board.cs").string() +
                                                  " (for " + (dir_ / "board.txt").string() +
                                                  ": a register file's name ends in .cs)");
    const std::string alarm = line(read.output, "62 alarm1 ");
    EXPECT_TRUE(alarm == "62 alarm1 off" || shaped(alarm, "62 alarm1 99:99")) << read.output;
    ASSERT_TRUE(fs::exists(dir_ / "board.cs"));

    std::string text;
    {
        std::ifstream in(dir_ / "board.cs");
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    text = withKey(text, "s3", "9");
    std::ofstream(dir_ / "board.cs") << text;

    const CliRun write = cli("write-registers " + (dir_ / "board.cs").string());
    ASSERT_EQ(write.status, 0) << write.output;
    EXPECT_EQ(line(write.output, "wrote "), "wrote register 67, then the clock");
    const CliRun again = cli("read-registers");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(line(again.output, "67 "), "67 volume 9");
    // Nothing else moved.
    const std::string before = without(without(read.output, "67 volume "), "saved to ");
    const std::string after = without(again.output, "67 volume ");
    EXPECT_EQ(before, after);
}

TEST_F(CliAgainstBoard, SetsTheBoardClockAndReadsItBack) {
    start();
    const auto before = std::chrono::steady_clock::now();
    const CliRun sync = cli("sync-time");
    ASSERT_EQ(sync.status, 0) << sync.output;
    EXPECT_EQ(sync.output, "wrote the PC time into the board clock\n");
    // The time sent is taken as the write goes out; a loaded machine may still keep the reply
    // waiting, which read-time then sees as the board behind.
    const auto took =
        std::chrono::ceil<std::chrono::seconds>(std::chrono::steady_clock::now() - before);
    const CliRun time = cli("read-time");
    ASSERT_EQ(time.status, 0) << time.output;
    EXPECT_TRUE(shaped(line(time.output, "time: "), "time: 99:99:99")) << time.output;
    EXPECT_TRUE(shaped(line(time.output, "date: "), "date: 9999-99-99")) << time.output;
    // Set a moment ago from this very clock.
    const std::string difference = line(time.output, "difference to the PC clock: ");
    bool close = difference.find(": none") != std::string::npos ||
                 difference.find(": +1 s") != std::string::npos;
    for (std::int64_t behind = 1; behind <= 1 + took.count(); ++behind) {
        close =
            close || difference.find(": -" + std::to_string(behind) + " s") != std::string::npos;
    }
    EXPECT_TRUE(close) << time.output;
}

// Seconds since midnight of a "HH:MM:SS" after `prefix` in the line.
int secondOfDay(const std::string& line, std::size_t at) {
    return std::stoi(line.substr(at, 2)) * 3600 + std::stoi(line.substr(at + 3, 2)) * 60 +
           std::stoi(line.substr(at + 6, 2));
}

TEST_F(CliAgainstBoard, ReadTimeComparesTheBoardsOwnClockAndShowsTheZonedTimeApart) {
    start();
    ASSERT_EQ(cli("read-registers --out " + (dir_ / "base.cs").string()).status, 0);
    std::string text;
    {
        std::ifstream in(dir_ / "base.cs");
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::ofstream(dir_ / "zone.cs") << withKey(text, "s2", "2");  // time zone +2 hours
    start({"--registers", (dir_ / "zone.cs").string()});
    ASSERT_EQ(cli("sync-time").status, 0);
    const CliRun time = cli("read-time");
    ASSERT_EQ(time.status, 0) << time.output;
    // Written a moment ago from the PC clock: not two hours off.
    const std::string difference = line(time.output, "difference to the PC clock: ");
    const bool close = difference.find(": none") != std::string::npos ||
                       shaped(difference,
                              "difference to the PC clock: -9 s (the board is 9 s "
                              "behind)") ||
                       difference.find(": +1 s") != std::string::npos;
    EXPECT_TRUE(close) << time.output;
    const std::string own = line(time.output, "time: ");
    const std::string shown = line(time.output, "shown with the time zone +2.0: ");
    ASSERT_TRUE(shaped(own, "time: 99:99:99")) << time.output;
    ASSERT_TRUE(shaped(shown, "shown with the time zone +2.0: 99:99:99 9999-99-99")) << time.output;
    EXPECT_EQ(secondOfDay(shown, 31), (secondOfDay(own, 6) + 7200) % 86400) << time.output;
}

TEST_F(CliAgainstBoard, WritesAUserFieldAndReadsItBack) {
    start();
    const CliRun write = cli("write-field 1 -1.5");
    ASSERT_EQ(write.status, 0) << write.output;
    const CliRun read = cli("read-fields");
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(line(read.output, "1: "), "1: -1.5 ");

    EXPECT_EQ(cli("write-field 1 12345").status, 2);  // longer than the field
    EXPECT_EQ(cli("write-field 1 .1234").status, 2);  // a leading point takes a position
    EXPECT_EQ(cli("write-field 1 1a").status, 2);
    EXPECT_EQ(cli("write-field 30 1").status, 1);  // no such field on the board
}

TEST_F(CliAgainstBoard, SwitchesTheBoardBetweenMasterAndSlave) {
    start();
    ASSERT_EQ(cli("set-mode master").status, 0);
    EXPECT_EQ(line(cli("read-registers").output, "77 "), "77 modeFlags 128");
    const CliRun monitor = cli("monitor --seconds 3");
    EXPECT_EQ(monitor.status, 0);
    EXPECT_NE(line(monitor.output, "mode: master"), "") << monitor.output;
    EXPECT_NE(line(monitor.output, "temperature 1: "), "") << monitor.output;
    EXPECT_NE(line(monitor.output, "pressure: "), "") << monitor.output;

    ASSERT_EQ(cli("set-mode slave").status, 0);
    EXPECT_EQ(line(cli("read-registers").output, "77 "), "77 modeFlags 0");
}

TEST_F(CliAgainstBoard, SetsTheClockOfASlaveOnANoisyLine) {
    start({"--noise", "50"});
    const CliRun run = cli("sync-time");
    EXPECT_EQ(run.status, 0) << run.output;  // 0 only once the board acknowledged the write
}

TEST_F(CliAgainstBoard, ARequestWithoutAnswerEndsWithStatus1NamingIt) {
    start({"--mute", "1"});
    const CliRun run = cli("sync-time");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("no answer to clock write"), std::string::npos) << run.output;
}

TEST_F(CliAgainstBoard, MissingPortAndBadUsageGiveTheirStatuses) {
    device_ = (dir_ / "no-such-port").string();
    const CliRun missing = cli("sync-time");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("Error opening port\n" + device_ + ": no such device\n"),
              std::string::npos)
        << missing.output;
    // A usage error is its line and where the usage is, not the whole usage.
    const CliRun unknown = cli("no-such-command");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.output,
              "horalux-cli: unknown command no-such-command\n"
              "horalux-cli --help shows the usage, horalux-cli COMMAND --help one command's\n");
    const CliRun badField = cli("write-field x 1");
    EXPECT_EQ(badField.status, 2);
    EXPECT_EQ(line(badField.output, "usage: "), "usage: horalux-cli [OPTIONS] write-field N TEXT")
        << badField.output;
    // 255 is refused as what it is, and a command that takes a list says so.
    const CliRun all = cli("--address 255 read-fields");
    EXPECT_EQ(all.status, 2);  // nobody would answer
    EXPECT_EQ(all.output,
              "horalux-cli: read-fields reads from the board, and no board answers address 255 "
              "(all boards): give a board's own address\n");
    const CliRun mode = cli("--address 255 set-mode master");
    EXPECT_EQ(mode.status, 2);
    EXPECT_NE(mode.output.find("give a board's own address, or a list of them"), std::string::npos)
        << mode.output;
}

TEST_F(CliAgainstBoard, TheTimeAndFieldCommandsAskOnlyWhatTheyNeed) {
    const fs::path log = dir_ / "board.log";
    start({"--verbose"}, log.string());
    struct Case {
        const char* command;
        std::vector<std::string> requests;  // as the board's log shows them
    };
    const Case cases[] = {
        {"read-time", {"command 74 't' params 37 00", "command 73 's' params 00 07"}},
        // The field lengths up to the first 0 (three fields of 4, 4 and 6), then the fields.
        {"read-fields",
         {"command 74 't' params E0 00", "command 74 't' params E1 00",
          "command 74 't' params E2 00", "command 74 't' params E3 00",
          "command 60 '`' params 00 0E"}},
        {"sync-time", {"command 70 'p' params 00 07"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const std::size_t before = requestsIn(log).size();
        const CliRun run = cli(c.command);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(requestsIn(log, before), c.requests);
    }
    // The write sends the fields read, one changed.
    const std::size_t before = requestsIn(log).size();
    ASSERT_EQ(cli("write-field 2 42").status, 0);
    const std::vector<std::string> write = requestsIn(log, before);
    ASSERT_EQ(write.size(), 6U);
    EXPECT_EQ(write.back(), "command 00 '?' params 00 0E");
}

TEST_F(CliAgainstBoard, ABridgePrefixNoBrokerCouldServeEndsTheRunAsBadUsage) {
    start();
    // Refused before the broker is looked for; the time-out only ends a bridge that ran.
    for (const char* prefix : {"\"$(printf 'a\\001b')\"", "'$SYS'", "homeassistant/x"}) {
        const CliRun run =
            this->run("timeout 20 " + std::string(HORALUX_CLI_PATH) + " --port " + device_ +
                      " bridge --broker mqtt://127.0.0.1:9 --prefix " + prefix + " 2>&1");
        EXPECT_EQ(run.status, 2) << prefix << ": " << run.output;
        EXPECT_EQ(run.output.rfind("horalux-cli: --prefix ", 0), 0U) << run.output;
    }
}

TEST_F(CliAgainstBoard, WriteRegistersRefusesAFileThatIsNotWholeAndSendsNothing) {
    start();
    const CliRun before = cli("read-registers");
    ASSERT_EQ(before.status, 0) << before.output;
    struct Case {
        const char* what;
        std::string content;
        std::string says;
    };
    const Case cases[] = {
        {"empty", "", "the file has no section [registers]"},
        {"over 1 MiB", std::string(2 * 1024 * 1024, '\n'), "larger than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        std::ofstream(dir_ / "bad.cs", std::ios::binary) << c.content;
        const CliRun write = cli("write-registers " + (dir_ / "bad.cs").string());
        EXPECT_EQ(write.status, 2) << c.what << "\n" << write.output;
        EXPECT_NE(write.output.find(c.says), std::string::npos) << c.what << "\n" << write.output;
    }
    const CliRun missing = cli("write-registers " + (dir_ / "none.cs").string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.output.find("none.cs: No such file or directory"), std::string::npos)
        << missing.output;
    EXPECT_EQ(cli("read-registers").output, before.output);
}

TEST_F(CliAgainstBoard, TheBoardKeepsItsAddressUnlessSetAddressIsGiven) {
    start();
    ASSERT_EQ(cli("read-registers --out " + (dir_ / "b.cs").string()).status, 0);
    std::string text;
    {
        std::ifstream in(dir_ / "b.cs");
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::ofstream(dir_ / "b.cs") << withKey(text, "s0", "7");

    const CliRun kept = cli("write-registers " + (dir_ / "b.cs").string());
    ASSERT_EQ(kept.status, 0) << kept.output;
    EXPECT_EQ(line(kept.output, "wrote "), "wrote no registers, then the clock");
    EXPECT_EQ(line(cli("read-registers").output, "76 "), "76 address 1");

    const CliRun moved = cli("write-registers " + (dir_ / "b.cs").string() + " --set-address");
    ASSERT_EQ(moved.status, 0) << moved.output;
    EXPECT_EQ(line(moved.output, "wrote "),
              "wrote no registers, then the address (76, now 7), then the clock");
    EXPECT_EQ(line(cli("--address 7 read-registers").output, "76 "), "76 address 7");

    // 255 reaches every board and is answered by none: a board moved there would be lost.
    std::ofstream(dir_ / "b.cs") << withKey(text, "s0", "255");
    const CliRun stranded =
        cli("--address 7 write-registers " + (dir_ / "b.cs").string() + " --set-address");
    EXPECT_EQ(stranded.status, 2);
    EXPECT_NE(stranded.output.find("s0=255 cannot be a board's address"), std::string::npos)
        << stranded.output;
    EXPECT_EQ(line(cli("--address 7 read-registers").output, "76 "), "76 address 7");
}

TEST_F(CliAgainstBoard, AWholeReadGoesOnAsLongAsRepliesCome) {
    // Every register answered only at its second try, a second later: well over a minute.
    start({"--drop-first", "1"});
    const CliRun read = cli("read-registers");
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(line(read.output, "76 "), "76 address 1");
}

TEST_F(CliAgainstBoard, OutWritesThroughASymbolicLinkEvenWhenItsTargetIsMissing) {
    start();
    fs::create_symlink("kept.cs", dir_ / "link.cs");
    const CliRun read = cli("read-registers --out " + (dir_ / "link.cs").string());
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.cs"));
    EXPECT_TRUE(fs::is_regular_file(dir_ / "kept.cs"));
}

TEST_F(CliAgainstBoard, ThirtyTwoFieldsOfSixteenDigitsAreWrittenAndReadBack) {
    start();
    ASSERT_EQ(cli("read-registers --out " + (dir_ / "base.cs").string()).status, 0);
    std::string text;
    {
        std::ifstream in(dir_ / "base.cs");
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (int k = 0; k < 32; ++k) {
        text = withKey(text, "L00_" + std::to_string(k), "16");
    }
    std::ofstream(dir_ / "wide.cs") << text;
    start({"--registers", (dir_ / "wide.cs").string()});  // 512 digit positions in all
    ASSERT_EQ(cli("write-field 0 1234567890123456").status, 0);
    ASSERT_EQ(cli("write-field 31 6543210987654321").status, 0);
    const CliRun read = cli("read-fields");
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(line(read.output, "0: "), "0: 1234567890123456");
    EXPECT_EQ(line(read.output, "31: "), "31: 6543210987654321");
}

TEST_F(CliAgainstBoard, SetModeNeedsTheModeRegisterRead) {
    start({"--mute", "1"});
    const CliRun mute = cli("set-mode master");
    EXPECT_EQ(mute.status, 1);
    EXPECT_NE(mute.output.find("no answer to register read 77"), std::string::npos) << mute.output;
    EXPECT_EQ(cli("--address 255 set-mode master").status, 2);  // nobody would answer the read
}

TEST(CliPrograms, HelpAndVersionOnBothPrograms) {
    struct Case {
        std::string command;
        std::string starts;
    };
    const std::string cli = HORALUX_CLI_PATH;
    const std::string board = HORALUX_BOARD_PATH;
    const Case cases[] = {
        {cli + " --help", "usage: horalux-cli"},
        {cli + " -h", "usage: horalux-cli"},
        {cli + " monitor --help", "usage: horalux-cli"},
        {cli + " --version", "horalux-cli "},
        {cli + " --address 3 read-time --help", "usage: horalux-cli [OPTIONS] read-time\n"},
        {board + " --help", "usage: horalux-board"},
        {board + " -h", "usage: horalux-board"},
        {board + " --version", "horalux-board "},
    };
    for (const Case& c : cases) {
        const CliRun run = CliAgainstBoard::run(c.command);
        EXPECT_EQ(run.status, 0) << c.command << "\n" << run.output;
        EXPECT_EQ(run.output.rfind(c.starts, 0), 0U) << c.command << "\n" << run.output;
    }
}

TEST(CliSntp, AsksTheServerOnThePortGiven) {
    LoopbackUdpServer server;
    server.serveOneRequest([](const std::vector<std::uint8_t>& request, auto& s) {
        s.reply(makeSntpReply(request, timesync::NtpTimestamp{3926232000U, 3221225472U}));
    });
    const CliRun run = CliAgainstBoard::run("TZ=UTC0 " + std::string(HORALUX_CLI_PATH) +
                                            " sntp 127.0.0.1:" + std::to_string(server.port()));
    server.finish();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(CliAgainstBoard::line(run.output, "server time: "),
              "server time: 2024-06-01 12:00:00.750");
}

TEST(CliSntp, AnUnusableAnswerIsToldInEnglishWithItsCause) {
    LoopbackUdpServer server;
    server.serveOneRequest([](const std::vector<std::uint8_t>& request, auto& s) {
        std::vector<std::uint8_t> reply =
            makeSntpReply(request, timesync::NtpTimestamp{3926232000U, 3221225472U});
        reply[0] = static_cast<std::uint8_t>(reply[0] | 0xC0);  // leap indicator 3: unsynchronised
        s.reply(reply);
    });
    const std::string server127 = "127.0.0.1:" + std::to_string(server.port());
    const CliRun run = CliAgainstBoard::run(std::string(HORALUX_CLI_PATH) + " sntp " + server127);
    server.finish();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(run.output,
              "horalux-cli: could not get the time from the server 127.0.0.1\n"
              "horalux-cli: " +
                  server127 +
                  " answered, but with a time it marks as unusable (not "
                  "synchronised)\n");
}

// The companion started in the background with its output in a file.
class BackgroundCli {
  public:
    BackgroundCli(const std::string& args, const fs::path& output)
        : process_({"/bin/sh", "-c", std::string("exec ") + HORALUX_CLI_PATH + " " + args},
                   ChildProcess::Output::LogFile, output.string()) {}

    // Whether the program holds `device` open, waiting up to 10 s for it.
    bool holds(const std::string& device) const {
        for (int i = 0; i < 1000; ++i) {
            std::error_code ec;
            for (const auto& fd :
                 fs::directory_iterator("/proc/" + std::to_string(process_.pid()) + "/fd", ec)) {
                if (fs::read_symlink(fd.path(), ec) == fs::path(device)) {
                    return true;
                }
            }
            ::usleep(10000);
        }
        return false;
    }
    void signal(int number) const { ::kill(process_.pid(), number); }
    // Its exit status once it has ended, waiting at most 5 s; nothing when it goes on.
    std::optional<int> exitStatus() { return process_.waitForExit(5000); }

  private:
    ChildProcess process_;
};

TEST_F(CliAgainstBoard, CtrlCAndSigtermEndEveryCommandAtOnceLeavingNoFile) {
    start();
    struct Case {
        const char* args;
        int signal;
        int status;
    };
    const Case cases[] = {
        {"read-time", SIGINT, 130},          {"read-registers --out part.cs", SIGTERM, 143},
        {"sync-time", SIGTERM, 143},         {"monitor", SIGINT, 130},
        {"scan --speeds 9600", SIGINT, 130},
    };
    for (const Case& c : cases) {
        // A pause of 10 s after every frame: without the signal a command would run for minutes.
        BackgroundCli cli("--port " + device_ + " --delay 10000 " + c.args, dir_ / "out.txt");
        ASSERT_TRUE(cli.holds(device_)) << c.args;
        cli.signal(c.signal);
        EXPECT_EQ(cli.exitStatus(), c.status) << c.args;
        std::ifstream in(dir_ / "out.txt");
        const std::string output{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(output.find("horalux-cli:"), std::string::npos) << c.args << "\n" << output;
    }
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().filename(), "out.txt") << "left behind";
    }
    EXPECT_EQ(cli("read-time").status, 0) << "the port was closed and can be opened again";
}

TEST(CliSntp, CtrlCEndsTheWaitForASilentServer) {
    LoopbackUdpServer server;
    const fs::path output =
        fs::temp_directory_path() / ("horalux-cli-sntp-" + std::to_string(::getpid()));
    {
        BackgroundCli cli("sntp 127.0.0.1:" + std::to_string(server.port()), output);
        for (int i = 0; i < 1000 && !server.hasPendingDatagram(); ++i) {
            ::usleep(10000);
        }
        ASSERT_TRUE(server.hasPendingDatagram());
        cli.signal(SIGINT);
        EXPECT_EQ(cli.exitStatus(), 130);  // not after the 50 s of the server's time-out
    }
    fs::remove(output);
}

TEST_F(CliAgainstBoard, MonitorSaysOnceThatASlaveSendsNothingUnasked) {
    start();
    const CliRun slave = cli("monitor --seconds 4");
    EXPECT_EQ(slave.status, 0);
    EXPECT_EQ(std::count(slave.output.begin(), slave.output.end(), '\n'), 1) << slave.output;
    EXPECT_NE(slave.output.find("has sent no status frame for 3 s: it is not time master"),
              std::string::npos)
        << slave.output;
    EXPECT_NE(slave.output.find("set-mode master"), std::string::npos) << slave.output;

    // No board answers the all-boards address, so set-mode cannot be advised with it.
    const CliRun all = cli("--address 255 monitor --seconds 4");
    EXPECT_EQ(all.output.find("--address 255 set-mode"), std::string::npos) << all.output;
    EXPECT_NE(all.output.find("the board's own address"), std::string::npos) << all.output;

    start({"--master"});
    const CliRun master = cli("monitor --seconds 4");
    EXPECT_EQ(master.output.find("not time master"), std::string::npos) << master.output;
}

TEST_F(CliAgainstBoard, MonitorTimesAndDecodesTheLineAndLogsEveryLineToAFile) {
    start({"--master"});
    const fs::path log = dir_ / "line.log";
    const CliRun run = cli("monitor --seconds 2 --raw --time --decode --log " + log.string());
    EXPECT_EQ(run.status, 0) << run.output;
    // "line: 14:03:27.512 < 65 … | статусный кадр: мастер, основное поле «…»"
    const std::string status = line(run.output, "line: ");
    EXPECT_TRUE(shaped(status.substr(0, 21), "line: 99:99:99.999 < ")) << status;
    EXPECT_NE(run.output.find("| статусный кадр: мастер"), std::string::npos) << run.output;

    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
        lines.push_back(l);
    }
    ASSERT_FALSE(lines.empty());
    // The file holds every record, the empty polls too, in the same form.
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.ends_with(" < 0 "); }));
    EXPECT_NE(std::find(lines.begin(), lines.end(), status.substr(6)), lines.end()) << status;

    const fs::path unwritable = dir_ / "no such folder" / "line.log";
    const CliRun refused = cli("monitor --seconds 1 --log '" + unwritable.string() + "'");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("cannot write the log file " + unwritable.string() +
                                  ": No such file or directory"),
              std::string::npos)
        << refused.output;
}

TEST_F(CliAgainstBoard, MonitorNeitherLosesAnOldLogNorWaitsOnAFifoNorDiesOfAGoneReader) {
    // A port that cannot be opened leaves the old log as it was.
    const fs::path kept = dir_ / "kept.log";
    std::ofstream(kept) << "yesterday\n";
    device_ = (dir_ / "no-such-port").string();
    EXPECT_EQ(cli("monitor --seconds 1 --log " + kept.string()).status, 1);
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "yesterday\n");

    start({"--master"});
    const fs::path fifo = dir_ / "line.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // No reader: refused at once rather than waited on (timeout's 124 would tell a wait).
    const CliRun unread = run("timeout 20 " + std::string(HORALUX_CLI_PATH) + " --port " + device_ +
                              " monitor --seconds 2 --log " + fifo.string());
    EXPECT_EQ(unread.status, 1) << unread.output;
    EXPECT_NE(unread.output.find("cannot write the log file " + fifo.string() +
                                 ": it is a FIFO that no program reads"),
              std::string::npos)
        << unread.output;

    // A reader that takes a little and goes: an error and status 1, not SIGPIPE.
    const int readerFd =
        ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // there before the writer
    ASSERT_GE(readerFd, 0);
    std::thread reader([readerFd] {
        pollfd wait{readerFd, POLLIN, 0};
        char some[16];
        if (::poll(&wait, 1, 20000) == 1) {
            [[maybe_unused]] const auto got = ::read(readerFd, some, sizeof some);
        }
        ::close(readerFd);
    });
    const CliRun gone = cli("monitor --seconds 20 --log " + fifo.string());
    reader.join();
    EXPECT_EQ(gone.status, 1) << gone.output;
    EXPECT_NE(gone.output.find("cannot write the log file " + fifo.string() +
                               ": the program reading it has ended"),
              std::string::npos)
        << gone.output;

    // The same for standard output piped into a program that has ended.
    const fs::path status = dir_ / "status";
    run("{ " + std::string(HORALUX_CLI_PATH) + " --port " + device_ +
        " --speed 115200 --delay 0 monitor --raw --seconds 20; echo $? > " + status.string() +
        "; } | head -c 1");
    std::ifstream statusIn(status);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(statusIn), {}), "1\n");
}

TEST_F(CliAgainstBoard, RegisterFilesAreNamedAsUsedAndAnOutThatIsADeviceIsRefused) {
    start();
    ASSERT_EQ(cli("read-registers --out " + (dir_ / "mod.cs").string()).status, 0);
    const CliRun write = cli("write-registers " + (dir_ / "mod.txt").string());
    ASSERT_EQ(write.status, 0) << write.output;
    EXPECT_EQ(line(write.output, "read "), "read " + (dir_ / "mod.cs").string() + " (for " +
                                               (dir_ / "mod.txt").string() +
                                               ": a register file's name ends in .cs)");

    for (const std::string device : {"/dev/full", "/dev/null"}) {
        const CliRun out = cli("read-registers --out " + device);
        EXPECT_EQ(out.status, 2) << out.output;
        EXPECT_NE(out.output.find(device + " is a device, not a file; nothing was written"),
                  std::string::npos)
            << out.output;
        EXPECT_FALSE(fs::exists(device + ".cs"));
    }
}

TEST_F(CliAgainstBoard, ScanPrintsALinePerBoardAtItsSpeedAndFailsWhenNoneAnswers) {
    start({"--address", "77", "--address", "3", "--address", "200", "--master", "--speed", "115200",
           "--strict-speed"});
    const CliRun found = cli("scan --speeds 115200");
    EXPECT_EQ(found.status, 0) << found.output;
    EXPECT_EQ(std::count(found.output.begin(), found.output.end(), '\n'), 3) << found.output;
    EXPECT_NE(line(found.output, "$03/3    115200  slave   clock "), "") << found.output;
    EXPECT_NE(line(found.output, "$4D/77   115200  master  clock "), "") << found.output;
    EXPECT_NE(line(found.output, "$C8/200  115200  slave   clock "), "") << found.output;

    // The boards understand nothing sent at 9600.
    const CliRun none = cli("scan --speeds 9600 --addresses 70-80");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.output.find("no board answered on " + device_), std::string::npos)
        << none.output;
}

TEST_F(CliAgainstBoard, CtrlCStopsTheScanWithTheBoardsFoundPrinted) {
    start({"--address", "1"});
    const fs::path output = dir_ / "scan.txt";
    BackgroundCli cli("--port " + device_ + " --delay 200 scan --speeds 9600", output);
    std::string text;
    for (int i = 0; i < 2000 && text.find('\n') == std::string::npos; ++i) {
        ::usleep(10000);
        std::ifstream in(output);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_EQ(text.rfind("$01/1    9600    slave   clock ", 0), 0U) << text;
    cli.signal(SIGINT);
    EXPECT_EQ(cli.exitStatus(), 130);  // not after the 250 probes left
}

}  // namespace
}  // namespace horalux::test
