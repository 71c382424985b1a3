// The README's walk-through for a line of boards, run as it stands there: its commands and its
// ser2net configuration, against two lines of stand-in boards, the second behind ser2net.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/BoardProcess.h"
#include "support/CommandRun.h"
#include "support/Ser2netProcess.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;

std::string readme() {
    std::ifstream in(fs::path(HORALUX_SOURCE_DIR) / "README.md");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first indented block (four spaces, to the first line that is not) after the first line
// that begins with `lead`, without its indent.
std::vector<std::string> blockAfter(const std::string& text, const std::string& lead) {
    std::istringstream in(text);
    std::vector<std::string> block;
    bool found = false;
    for (std::string line; std::getline(in, line);) {
        if (!found) {
            found = line.rfind(lead, 0) == 0;
            continue;
        }
        const bool indented = line.rfind("    ", 0) == 0;
        if (indented) {
            block.push_back(line.substr(4));
        } else if (!block.empty()) {
            break;
        }
    }
    return block;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// Every address of the range in the walk-through would be asked for; an absent one costs its
// ten tries. The boards sit at addresses of the range, and the range is narrowed to them.
const std::vector<std::string> kBoards = {"--address", "3", "--address", "12", "--address", "30"};
const std::string kRange = "3,12,30";

TEST(ReadmeWalkThrough, ALineOfBoardsRunsAsWrittenWithTheReadmesSer2netConfiguration) {
    const std::string text = readme();
    const std::vector<std::string> config =
        blockAfter(text, "A ser2net (version 4) configuration for one board");
    const std::vector<std::string> steps = blockAfter(text, "A walk-through for a line at 9600");
    ASSERT_FALSE(config.empty()) << "the README's ser2net configuration";
    ASSERT_FALSE(steps.empty()) << "the README's walk-through";

    // The test runs at 115200 bit/s without the pause after each frame: the same steps, in
    // seconds rather than minutes.
    std::vector<std::string> boardArgs = kBoards;
    boardArgs.insert(boardArgs.end(), {"--speed", "115200"});
    BoardProcess local(boardArgs);
    BoardProcess remote(boardArgs);
    Ser2netConfig served;
    served.telnetPort = freeLoopbackPort();
    do {
        served.rawPort = freeLoopbackPort();
    } while (served.rawPort == served.telnetPort);
    for (std::string line : config) {
        replaceAll(line, "/dev/ttyUSB0", remote.devicePath());
        replaceAll(line, "9600n81", "115200n81");
        replaceAll(line, "tcp,4001", "tcp,127.0.0.1," + std::to_string(served.telnetPort));
        replaceAll(line, "tcp,4002", "tcp,127.0.0.1," + std::to_string(served.rawPort));
        served.text += line + "\n";
    }
    Ser2netProcess ser2net(served);

    char pattern[] = "/tmp/horalux-walk-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    int commands = 0;
    for (std::string step : steps) {
        if (step.rfind("horalux-cli ", 0) != 0) {
            continue;  // a comment
        }
        ++commands;
        replaceAll(step, "horalux-cli ",
                   std::string(HORALUX_CLI_PATH) + " --speed 115200 --delay 0 ");
        replaceAll(step, "--port ttyUSB0", "--port " + local.devicePath());
        replaceAll(step, "ds1:4001", "127.0.0.1:" + std::to_string(served.telnetPort));
        replaceAll(step, "ds1:4002", "127.0.0.1:" + std::to_string(served.rawPort));
        replaceAll(step, "--speeds 9600", "--speeds 115200");
        replaceAll(step, "--address 1-30", "--address " + kRange);
        const CommandRun run = runCommand("cd " + dir.string() + " && " + step);
        EXPECT_EQ(run.status, 0) << step << "\n" << run.output;
    }
    EXPECT_EQ(commands, 6);
    for (const char* file : {"board-003.cs", "board-012.cs", "board-030.cs"}) {
        EXPECT_TRUE(fs::exists(dir / "backup" / file)) << file;
    }
    EXPECT_TRUE(fs::exists(dir / "model.cs"));
    // The two lines' backups, each in its port's folder.
    const std::string localFolder = local.devicePath().substr(5);  // "pts/N" without "/dev/"
    EXPECT_TRUE(
        fs::exists(dir / "backup" / (localFolder.substr(0, 3) + "_" + localFolder.substr(4)) /
                   "board-030.cs"));
    EXPECT_TRUE(
        fs::exists(dir / "backup" / ("rfc2217___127.0.0.1_" + std::to_string(served.telnetPort)) /
                   "board-012.cs"));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace horalux::test
