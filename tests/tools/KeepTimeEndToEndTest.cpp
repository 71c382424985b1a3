// horalux-cli keep-time run as a program against stand-in boards on pseudo-terminals. Every
// wait is for a line the program or a board writes; the deadline only ends a test that failed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/BoardProcess.h"
#include "support/ChildProcess.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = 60000;

// keep-time as a child process, its standard output and error read line by line.
class KeepTimeProcess {
  public:
    explicit KeepTimeProcess(std::vector<std::string> args)
        : process_(withProgram(std::move(args)), ChildProcess::Output::Pipe) {}

    // The next line holding `part`, reading on from the line after the last one found; empty
    // when the program ends first.
    std::string waitFor(const std::string& part) {
        return process_.waitForLine(part, kDeadlineMs).value_or("");
    }
    // SIGTERM, then the exit status (-1 when a signal ended it).
    int terminate() { return process_.stop(SIGTERM); }
    const std::string& text() const { return process_.output(); }

  private:
    static std::vector<std::string> withProgram(std::vector<std::string> args) {
        args.insert(args.begin(), HORALUX_CLI_PATH);
        return args;
    }

    ChildProcess process_;
};

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

class KeepTime : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("horalux-keep-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // keep-time on `port` at the fast speed, trusting the PC clock (this machine's need not
    // be synchronised).
    static std::vector<std::string> keepTime(const std::string& port,
                                             const std::vector<std::string>& options,
                                             const std::string& address = "1") {
        std::vector<std::string> args{
            "--port", port,        "--speed", "115200",    "--delay",
            "0",      "--address", address,   "keep-time", "--trust-pc-clock"};
        args.insert(args.end(), options.begin(), options.end());
        return args;
    }

    fs::path dir_;
};

TEST_F(KeepTime, WritesTheTimeOnConnectingAndAgainAfterAShortPeriod) {
    for (const std::string address : {"1", "255"}) {
        SCOPED_TRACE("address " + address);
        const fs::path log = dir_ / ("board-" + address + ".log");
        BoardProcess board({"--verbose"}, log.string());
        KeepTimeProcess keeper(keepTime(board.devicePath(), {"--period", "2s"}, address));
        const std::string whom = address == "1" ? "board 1" : "all boards";
        ASSERT_NE(keeper.waitFor("connected to " + board.devicePath()), "") << keeper.text();
        ASSERT_NE(keeper.waitFor("time written to " + whom + " (on connecting)"), "")
            << keeper.text();
        ASSERT_NE(keeper.waitFor("time written to " + whom + " (every 2 s)"), "") << keeper.text();
        EXPECT_EQ(keeper.terminate(), 143);
        EXPECT_GE(occurrences(fileText(log), "request to " + address + ": command 70 'p'"), 2U);
    }
}

TEST_F(KeepTime, ADriftingBoardIsCorrectedOnceItsClockIsOffPastTheLimit) {
    // Gains two seconds every second; the clock is looked at every 2 s, a quarter of the period.
    BoardProcess board({"--clock-rate", "3"});
    KeepTimeProcess keeper(keepTime(board.devicePath(), {"--period", "8s", "--offset-limit", "2"}));
    ASSERT_NE(keeper.waitFor("(on connecting)"), "") << keeper.text();
    const std::string corrected = keeper.waitFor("time written to board 1 (off by more than 2 s)");
    ASSERT_NE(corrected, "") << keeper.text();
    EXPECT_NE(corrected.find("s ahead)"), std::string::npos) << corrected;
    EXPECT_EQ(keeper.terminate(), 143);
}

TEST_F(KeepTime, ABoardHangingUpAfterEachWriteIsLookedAtOnReopeningNotWrittenAgain) {
    const fs::path path = dir_ / "line";
    // The clock read and the clock write on connecting, then the line is closed.
    BoardProcess first({"--hangup-after", "2"});
    fs::create_symlink(first.devicePath(), path);
    KeepTimeProcess keeper(keepTime(path.string(), {"--period", "1h"}));
    ASSERT_NE(keeper.waitFor("time written to board 1 (on connecting)"), "") << keeper.text();
    ASSERT_NE(keeper.waitFor("the line to " + path.string() + " is lost; reopening it"), "")
        << keeper.text();

    // Another adapter plugged in: the same path now leads to another board, whose clock is off.
    const fs::path log = dir_ / "second.log";
    BoardProcess second({"--verbose", "--clock-rate", "1000"}, log.string());
    const fs::path moved = dir_ / "line.new";
    fs::create_symlink(second.devicePath(), moved);
    fs::rename(moved, path);

    ASSERT_NE(keeper.waitFor("reopened " + path.string()), "") << keeper.text();
    ASSERT_NE(keeper.waitFor("time written to board 1 (off by more than 2 s)"), "")
        << keeper.text();
    EXPECT_EQ(keeper.terminate(), 143);
    EXPECT_EQ(occurrences(keeper.text(), "(on connecting)"), 1U) << keeper.text();
    EXPECT_GE(occurrences(fileText(log), "request to 1: command 70 'p'"), 1U);
}

TEST_F(KeepTime, ABoardThatNeverAnswersTheClockReadIsWrittenAllTheSame) {
    const fs::path log = dir_ / "board.log";
    BoardProcess board({"--verbose", "--deaf-clock"}, log.string());
    KeepTimeProcess keeper(keepTime(board.devicePath(), {"--period", "1h"}));
    ASSERT_NE(keeper.waitFor("board 1 did not answer the clock read"), "") << keeper.text();
    const std::string written = keeper.waitFor("time written to board 1 (on connecting)");
    ASSERT_NE(written, "") << keeper.text();
    EXPECT_NE(written.find("its clock was not read"), std::string::npos) << written;
    EXPECT_EQ(keeper.terminate(), 143);
    EXPECT_GE(occurrences(fileText(log), "request to 1: command 70 'p'"), 1U);
}

}  // namespace
}  // namespace horalux::test
