// horalux-cli run as a program against the stand-in board over a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/BoardProcess.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string output;  // standard output and error together
};

class CliAgainstBoard : public ::testing::Test {
  protected:
    void start(const std::vector<std::string>& boardArgs = {}) {
        board_ = std::make_unique<BoardProcess>(boardArgs);
        device_ = board_->devicePath();
    }
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("horalux-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    CliRun cli(const std::string& args) {
        const std::string command = std::string(HORALUX_CLI_PATH) + " --port " + device_ +
                                    " --speed 115200 --delay 0 " + args + " 2>&1";
        CliRun run;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return run;
        }
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            run.output.append(buffer, got);
        }
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }
    static std::string line(const std::string& output, const std::string& prefix) {
        std::istringstream in(output);
        for (std::string l; std::getline(in, l);) {
            if (l.rfind(prefix, 0) == 0) {
                return l;
            }
        }
        return {};
    }

    std::unique_ptr<BoardProcess> board_;
    std::string device_;
    fs::path dir_;
};

TEST_F(CliAgainstBoard, ReadsTheRegistersAndWritesBackAFileWithOneChange) {
    start();
    const CliRun read = cli("read-registers --out " + (dir_ / "board.txt").string());
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(std::count(read.output.begin(), read.output.end(), '\n'), 70);
    EXPECT_NE(line(read.output, "76 address "), "");
    ASSERT_TRUE(fs::exists(dir_ / "board.cs"));

    std::string text;
    {
        std::ifstream in(dir_ / "board.cs");
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    text = std::regex_replace(text, std::regex("\ns3=[0-9]+"), "\ns3=9");
    std::ofstream(dir_ / "board.cs") << text;

    const CliRun write = cli("write-registers " + (dir_ / "board.cs").string());
    ASSERT_EQ(write.status, 0) << write.output;
    const CliRun again = cli("read-registers");
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(line(again.output, "67 "), "67 volume 9");
    // Nothing else moved.
    const std::string before = std::regex_replace(read.output, std::regex("67 volume [0-9]+"), "");
    const std::string after = std::regex_replace(again.output, std::regex("67 volume [0-9]+"), "");
    EXPECT_EQ(before, after);
}

TEST_F(CliAgainstBoard, SetsTheBoardClockAndReadsItBack) {
    start();
    ASSERT_EQ(cli("sync-time").status, 0);
    const CliRun time = cli("read-time");
    ASSERT_EQ(time.status, 0) << time.output;
    EXPECT_TRUE(std::regex_search(time.output, std::regex("time: .*[0-9][0-9].[0-9][0-9]")))
        << time.output;
    EXPECT_TRUE(std::regex_search(time.output, std::regex("year: *20[0-9][0-9]"))) << time.output;
}

TEST_F(CliAgainstBoard, WritesAUserFieldAndReadsItBack) {
    start();
    const CliRun write = cli("write-field 1 -1.5");
    ASSERT_EQ(write.status, 0) << write.output;
    const CliRun read = cli("read-fields");
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(line(read.output, "1: "), "1: -1.5 ");

    EXPECT_EQ(cli("write-field 1 12345").status, 2);  // longer than the field
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
    EXPECT_NE(line(monitor.output, "sensor "), "") << monitor.output;

    ASSERT_EQ(cli("set-mode slave").status, 0);
    EXPECT_EQ(line(cli("read-registers").output, "77 "), "77 modeFlags 0");
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
    EXPECT_NE(missing.output.find("Error opening port"), std::string::npos);
    EXPECT_EQ(cli("no-such-command").status, 2);
    EXPECT_EQ(cli("--address 255 read-fields").status, 2);  // nobody would answer
}

}  // namespace
}  // namespace horalux::test
