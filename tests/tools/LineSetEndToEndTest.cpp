// horalux-cli on lines of several boards, and on two lines at once, against the stand-in board.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "support/BoardProcess.h"
#include "support/ChildProcess.h"
#include "support/CommandRun.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The lines of `output` that start with `prefix`.
std::vector<std::string> linesOf(const std::string& output, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(output);
    for (std::string l; std::getline(in, l);) {
        if (l.rfind(prefix, 0) == 0) {
            found.push_back(l);
        }
    }
    return found;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string withKey(std::string text, const std::string& key, const std::string& value) {
    const std::size_t at = text.find("\n" + key + "=");
    if (at != std::string::npos) {
        const std::size_t from = at + key.size() + 2;
        text.replace(from, text.find('\n', from) - from, value);
    }
    return text;
}

class LineOfBoards : public ::testing::Test {
  public:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("horalux-lineset-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A stand-in line with boards at these addresses and any further arguments.
    std::string line(const std::vector<std::string>& addresses,
                     std::vector<std::string> more = {}) {
        for (const std::string& a : addresses) {
            more.insert(more.end(), {"--address", a});
        }
        boards_.push_back(std::make_unique<BoardProcess>(more));
        return boards_.back()->devicePath();
    }
    static CommandRun cli(const std::string& ports, const std::string& args) {
        return runCommand(std::string(HORALUX_CLI_PATH) + " " + ports +
                          " --speed 115200 --delay 0 " + args + " 2>&1");
    }
    static std::string key(const std::string& registerFile, const std::string& name) {
        const std::string text = readAll(registerFile);
        const std::size_t at = text.find("\n" + name + "=");
        return at == std::string::npos
                   ? std::string()
                   : text.substr(at + name.size() + 2,
                                 text.find('\n', at + 1) - at - name.size() - 2);
    }

    fs::path dir_;
    std::vector<std::unique_ptr<BoardProcess>> boards_;
};

TEST_F(LineOfBoards, BacksUpEveryBoardAndKeepsTheOldFileOfOneThatFallsSilentHalfWay) {
    // Board 200 answers five register reads, then nothing more.
    const std::string port =
        "--port " + line({"3", "77", "200"}, {"--mute", "200", "--mute-after", "5"});
    std::ofstream(dir_ / "board-200.cs") << "old\n";
    const CommandRun run =
        cli(port, "--address 3,77,200 read-registers --out-dir " + dir_.string());
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(linesOf(run.output, "$4D/77: 76 address ").front(), "$4D/77: 76 address 77");
    EXPECT_EQ(linesOf(run.output, "$03/3: saved to ").size(), 1U) << run.output;
    EXPECT_EQ(linesOf(run.output,
                      "3 boards: 2 done, 1 failed ($C8/200: no answer to register read"
                      " ")
                  .size(),
              1U)
        << run.output;
    EXPECT_EQ(key(dir_ / "board-003.cs", "s0"), "3");
    EXPECT_EQ(key(dir_ / "board-077.cs", "s0"), "77");
    EXPECT_EQ(readAll(dir_ / "board-200.cs"), "old\n") << "replaced by a read that did not end";
    // Each board matches its own backup.
    for (const auto& [address, file] : {std::pair{"3", "board-003.cs"}, {"77", "board-077.cs"}}) {
        const CommandRun same =
            cli(port, std::string("--address ") + address + " compare " + (dir_ / file).string());
        EXPECT_EQ(same.status, 0) << same.output;
    }
}

TEST_F(LineOfBoards, WritesOnlyWhatDiffersOnEachBoardAndComparesBoardByBoard) {
    const std::string port = "--port " + line({"3", "77"});
    ASSERT_EQ(cli(port, "--address 3 read-registers --out " + (dir_ / "b.cs").string()).status, 0);
    // The file of board 3 with another volume: for board 77 its address differs as well.
    std::ofstream(dir_ / "mod.cs") << withKey(readAll(dir_ / "b.cs"), "s3", "9");
    ASSERT_EQ(cli(port, "--address 3 write-registers " + (dir_ / "mod.cs").string()).status, 0);

    const CommandRun compare = cli(port, "--address 3,77 compare " + (dir_ / "mod.cs").string());
    EXPECT_EQ(compare.status, 1) << compare.output;
    EXPECT_EQ(linesOf(compare.output, "$03/3: the board matches the file").size(), 1U);
    const auto differing = linesOf(compare.output, "$4D/77: 67 ");
    ASSERT_EQ(differing.size(), 1U) << compare.output;
    EXPECT_EQ(differing.front().substr(0, 22), "$4D/77: 67   volume   ");
    EXPECT_EQ(linesOf(compare.output, "$4D/77: 1 register differs from the file").size(), 1U);
    EXPECT_EQ(
        linesOf(compare.output, "2 boards: 1 done, 1 differ ($4D/77: 1 register differs").size(),
        1U)
        << compare.output;

    const CommandRun write =
        cli(port, "--address 3,77 write-registers " + (dir_ / "mod.cs").string());
    EXPECT_EQ(write.status, 0) << write.output;
    EXPECT_EQ(linesOf(write.output, "$03/3: wrote no registers, then the clock").size(), 1U);
    EXPECT_EQ(linesOf(write.output, "$4D/77: wrote register 67, then the clock").size(), 1U)
        << write.output;
    EXPECT_EQ(linesOf(write.output, "2 boards: 2 done, 0 failed").size(), 1U);

    const CommandRun after = cli(port, "--address 3,77 compare " + (dir_ / "mod.cs").string());
    EXPECT_EQ(after.status, 0) << after.output;
    const CommandRun read = cli(port, "--address 77 read-registers");
    EXPECT_NE(read.output.find("\n76 address 77\n"), std::string::npos) << "the address moved";
}

TEST_F(LineOfBoards, AWriteThatDoesNotReadBackFailsTheBoard) {
    // Register 67 is acknowledged but never changes, as on a board whose firmware lacks it.
    const std::string port = "--port " + line({"3", "77"}, {"--stuck-register", "67"});
    ASSERT_EQ(cli(port, "--address 3 read-registers --out " + (dir_ / "b.cs").string()).status, 0);
    std::ofstream(dir_ / "mod.cs") << withKey(readAll(dir_ / "b.cs"), "s3", "9");
    const CommandRun write =
        cli(port, "--address 3,77 write-registers " + (dir_ / "mod.cs").string());
    EXPECT_EQ(write.status, 1) << write.output;
    EXPECT_EQ(linesOf(write.output, "$4D/77: register 67 reads back ").size(), 1U) << write.output;
    EXPECT_EQ(linesOf(write.output,
                      "2 boards: 0 done, 2 failed ($03/3: 1 written register does "
                      "not read back as written; $4D/77: 1 written register")
                  .size(),
              1U)
        << write.output;
}

TEST_F(LineOfBoards, CtrlCStopsTheRunAndReportsWhatWasDone) {
    // A pause after each frame: one board takes seconds, ample for the signal to land in the next.
    const std::string device = line({"3", "77", "200"}, {"--speed", "115200", "--line-timing"});
    ChildProcess cli({HORALUX_CLI_PATH, "--port", device, "--speed", "115200", "--delay", "30",
                      "--address", "3,77,200", "read-registers", "--out-dir", dir_.string()},
                     ChildProcess::Output::Pipe);
    ASSERT_TRUE(cli.waitForLine("$03/3: saved to", 60000));
    ::kill(cli.pid(), SIGINT);
    EXPECT_EQ(cli.waitForExit(5000), 130);
    ASSERT_TRUE(cli.waitForLine("3 boards:", 1000)) << cli.output();
    EXPECT_NE(cli.output().find("3 boards: 1 done, 0 failed, 2 not done"), std::string::npos)
        << cli.output();
    EXPECT_TRUE(fs::exists(dir_ / "board-003.cs"));
    EXPECT_FALSE(fs::exists(dir_ / "board-077.cs"));
}

TEST_F(LineOfBoards, WorksTwoLinesAtOnceEachInAFolderOfItsOwn) {
    const std::string first = line({"3", "77"});
    const std::string second = line({"3", "77"});
    std::ofstream(dir_ / "ports.txt") << "# two lines\n" << first << "\n\n" << second << "  # B\n";
    const CommandRun run =
        cli("--port @" + (dir_ / "ports.txt").string() + " --port /dev/nonexistent-port",
            "--address 3,77 read-registers --out-dir " + dir_.string());
    EXPECT_EQ(run.status, 1) << run.output;
    const auto folder = [](const std::string& device) {
        std::string name = device.substr(std::string("/dev/").size());
        std::replace(name.begin(), name.end(), '/', '_');  // pts/4: pts_4
        return name;
    };
    EXPECT_TRUE(fs::exists(dir_ / folder(first) / "board-003.cs"));
    EXPECT_TRUE(fs::exists(dir_ / folder(first) / "board-077.cs"));
    EXPECT_TRUE(fs::exists(dir_ / folder(second) / "board-003.cs"));
    EXPECT_TRUE(fs::exists(dir_ / folder(second) / "board-077.cs"));
    EXPECT_FALSE(fs::exists(dir_ / "nonexistent-port")) << "a folder for a port never opened";
    // Every line whole, and each one of a port and a board, a port, or the total.
    std::istringstream in(run.output);
    for (std::string l; std::getline(in, l);) {
        const bool ofLine = l.rfind(first + " ", 0) == 0 || l.rfind(second + " ", 0) == 0 ||
                            l.rfind(first + ": ", 0) == 0 || l.rfind(second + ": ", 0) == 0;
        EXPECT_TRUE(ofLine || l.rfind("/dev/nonexistent-port: ", 0) == 0 ||
                    l == "3 ports, 6 boards: 4 done, 2 failed")
            << l;
    }
    EXPECT_EQ(linesOf(run.output, first + " $4D/77: 76 address 77").size(), 1U) << run.output;
    EXPECT_EQ(linesOf(run.output, second + " $4D/77: 76 address 77").size(), 1U);
    EXPECT_EQ(linesOf(run.output, first + ": 2 boards: 2 done, 0 failed").size(), 1U);
    EXPECT_EQ(linesOf(run.output,
                      "/dev/nonexistent-port: 2 boards: 0 done, 2 failed "
                      "(/dev/nonexistent-port: no such device)")
                  .size(),
              1U)
        << run.output;
}

// A time master sends its status frame every second, and its layout frame with it now and then;
// each slave keeps registers and a field layout of its own.
TEST_F(LineOfBoards, ALinesMasterAndSlavesAreEachBackedUpComparedAndWrittenAsThemselves) {
    {
        const std::string plain = line({"1"});
        ASSERT_EQ(cli("--port " + plain, "read-registers --out " + (dir_ / "r.cs").string()).status,
                  0);
    }
    const std::string base = readAll(dir_ / "r.cs");
    struct Own {
        const char* address;
        const char* p0;  // the first display time: the status frame carries the master's
        const char* fields;
    };
    const Own boards[] = {{"1", "10", "4"}, {"5", "7", "2"}, {"6", "9", "3"}};
    std::vector<std::string> args = {"--master"};
    for (const Own& b : boards) {
        const fs::path file = dir_ / (std::string("start-") + b.address + ".cs");
        std::ofstream(file) << withKey(withKey(base, "p0", b.p0), "L00_0", b.fields);
        args.insert(args.end(), {"--registers", file.string()});
    }
    const std::string port = "--port " + line({"1", "5", "6"}, args);
    const fs::path backups = dir_ / "backups";
    const CommandRun backup =
        cli(port, "--address 1,5,6 read-registers --out-dir " + backups.string());
    ASSERT_EQ(backup.status, 0) << backup.output;
    for (const Own& b : boards) {
        const std::string file = (backups / ("board-00" + std::string(b.address) + ".cs")).string();
        EXPECT_EQ(key(file, "p0"), b.p0) << b.address;
        EXPECT_EQ(key(file, "L00_0"), b.fields) << b.address;
        const CommandRun same =
            cli(port, std::string("--address ") + b.address + " compare " + file);
        EXPECT_EQ(same.status, 0) << same.output;
    }
    // A write that changes the first display time reaches each board, master and slave alike.
    for (const Own& b : boards) {
        const fs::path changed = dir_ / (std::string("changed-") + b.address + ".cs");
        const std::string file = (backups / ("board-00" + std::string(b.address) + ".cs")).string();
        std::ofstream(changed) << withKey(readAll(file), "p0", "12");
        const CommandRun write = cli(
            port, std::string("--address ") + b.address + " write-registers " + changed.string());
        EXPECT_EQ(write.status, 0) << write.output;
        const fs::path after = dir_ / (std::string("after-") + b.address + ".cs");
        ASSERT_EQ(cli(port, std::string("--address ") + b.address + " read-registers --out " +
                                after.string())
                      .status,
                  0);
        EXPECT_EQ(key(after.string(), "p0"), "12") << b.address;
        EXPECT_EQ(key(after.string(), "L00_0"), b.fields) << b.address;
    }
}

TEST_F(LineOfBoards, TwoPortsWhoseFolderNamesCollideKeepBothBackups) {
    // Two lines reached by links whose names differ only in a character a folder name drops.
    fs::create_directories(dir_ / "run");
    const std::string colon = (dir_ / "run" / "a:b").string();
    const std::string underscore = (dir_ / "run" / "a_b").string();
    line({"1"}, {"--link", colon});
    line({"1"}, {"--link", underscore});
    const fs::path out = dir_ / "out";
    const CommandRun run = cli("--port '" + colon + "' --port '" + underscore + "'",
                               "--address 1 read-registers --out-dir " + out.string());
    EXPECT_EQ(run.status, 0) << run.output;
    std::string folder = (dir_ / "run" / "a_b").string();
    std::replace(folder.begin(), folder.end(), '/', '_');
    EXPECT_TRUE(fs::exists(out / folder / "board-001.cs")) << run.output;
    EXPECT_TRUE(fs::exists(out / (folder + "-2") / "board-001.cs")) << run.output;
    EXPECT_EQ(linesOf(run.output, colon + " $01/1: saved to " + (out / folder).string()).size(), 1U)
        << run.output;
    EXPECT_EQ(
        linesOf(run.output, underscore + " $01/1: saved to " + (out / (folder + "-2")).string())
            .size(),
        1U)
        << run.output;
}

TEST_F(LineOfBoards, ABoardFilePlantedAsALinkIsReplacedAndItsTargetLeftAlone) {
    const std::string port = line({"3", "77"});
    const fs::path out = dir_ / "out";
    fs::create_directories(out);
    std::ofstream(dir_ / "victim.txt") << "[mine]\nkept=1\n";
    fs::create_symlink("../victim.txt", out / "board-003.cs");
    const CommandRun run =
        cli("--port " + port, "--address 3,77 read-registers --out-dir " + out.string());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readAll(dir_ / "victim.txt"), "[mine]\nkept=1\n");
    EXPECT_FALSE(fs::is_symlink(out / "board-003.cs"));
    EXPECT_EQ(key((out / "board-003.cs").string(), "s0"), "3");
    EXPECT_EQ(key((out / "board-077.cs").string(), "s0"), "77");
}

TEST_F(LineOfBoards, CtrlCDuringAWriteNamesTheBoardLeftHalfWritten) {
    const std::string plain = line({"3"});
    ASSERT_EQ(
        cli("--port " + plain, "--address 3 read-registers --out " + (dir_ / "b.cs").string())
            .status,
        0);
    std::string changed = readAll(dir_ / "b.cs");
    for (const char* key : {"p0", "p1", "p2", "p6", "p7", "p8", "s3", "sa", "sb", "sd", "sf",
                            "L0_0", "L0_1", "L0_4", "L0_5", "L0_6"}) {
        changed = withKey(changed, key, "1");
    }
    std::ofstream(dir_ / "mod.cs") << changed;
    const fs::path log = dir_ / "board.log";
    // A pause after each frame: the writes take seconds, ample for the signal to land among them.
    boards_.push_back(std::make_unique<BoardProcess>(
        std::vector<std::string>{"--address", "3", "--address", "77", "--speed", "115200",
                                 "--line-timing", "--verbose"},
        log.string()));
    ChildProcess run(
        {HORALUX_CLI_PATH, "--port", boards_.back()->devicePath(), "--speed", "115200", "--delay",
         "30", "--address", "3,77", "write-registers", (dir_ / "mod.cs").string()},
        ChildProcess::Output::Pipe);
    ASSERT_TRUE(run.waitForLine("$03/3: wrote registers", 60000)) << run.output();
    const std::string write77 = "request to 77: command 72 'r'";
    for (int wait = 0; wait < 600 && occurrences(readAll(log), write77) < 5; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(run.pid(), SIGINT);
    EXPECT_EQ(run.waitForExit(5000), 130);
    ASSERT_TRUE(run.waitForLine("2 boards:", 1000)) << run.output();
    const std::size_t received = occurrences(readAll(log), write77);
    const std::regex said(
        R"(2 boards: 1 done, 0 failed, 1 not done \(\$4D/77: interrupted after (\d+) of 16 registers; it holds part of the file\))");
    std::smatch m;
    const std::string output = run.output();
    ASSERT_TRUE(std::regex_search(output, m, said)) << output;
    const std::size_t confirmed = std::stoul(m[1]);
    EXPECT_GE(confirmed, 4U);
    EXPECT_LE(confirmed, received);
}

}  // namespace
}  // namespace horalux::test
