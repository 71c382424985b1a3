// How well the companion sets a board's clock, and how long its time and field commands take,
// against a wire-timed stand-in board at 9600 bit/s with the default pause after each frame.
// The clock's offset is measured at the board: its --verbose log says, for each clock write,
// how far the time the write carries is off the PC clock when the frame's last byte arrives.
// Plain timing, one run each; it prints the figures and the goals, and asserts nothing.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/BoardProcess.h"
#include "support/CommandRun.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSyncRuns = 8;

// Seconds the command took; negative when it failed.
double timed(const std::string& device, const std::string& command) {
    const auto t0 = std::chrono::steady_clock::now();
    const horalux::test::CommandRun run = horalux::test::runCommand(
        std::string(HORALUX_CLI_PATH) + " --port " + device + " " + command);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    if (run.status != 0) {
        std::fprintf(stderr, "%s failed:\n%s", command.c_str(), run.output.c_str());
        return -1;
    }
    return took.count();
}

// The offsets the board's log gives for its clock writes, in ms (board minus PC).
std::vector<long> clockOffsets(const fs::path& log) {
    std::ifstream in(log);
    std::vector<long> offsets;
    const std::string mark = "  clock set ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(mark, 0) == 0) {
            offsets.push_back(std::strtol(line.c_str() + mark.size(), nullptr, 10));
        }
    }
    return offsets;
}

}  // namespace

int main() {
    const fs::path log =
        fs::temp_directory_path() / ("horalux-clock-bench-" + std::to_string(::getpid()) + ".log");
    int status = 0;
    {
        horalux::test::BoardProcess board({"--speed", "9600", "--line-timing", "--verbose"},
                                          log.string());
        const std::string device = board.devicePath();

        std::printf(
            "sync-time, %d runs, then keep-time's first write, at 9600 bit/s: the board's "
            "clock against the PC's at the write's last byte (goal: within 50 ms)\n",
            kSyncRuns);
        for (int i = 0; i < kSyncRuns; ++i) {
            if (timed(device, "sync-time") < 0) {
                status = 1;
            }
            // Runs spread over the second, so that every phase of the PC clock is tried.
            std::this_thread::sleep_for(std::chrono::milliseconds(137));
        }
        // keep-time writes on connecting, by the same write as sync-time.
        const horalux::test::CommandRun kept =
            horalux::test::runCommand("timeout -s INT 4 " + std::string(HORALUX_CLI_PATH) +
                                      " --port " + device + " keep-time --trust-pc-clock");
        if (kept.output.find("time written to board 1") == std::string::npos) {
            std::fprintf(stderr, "keep-time wrote nothing:\n%s", kept.output.c_str());
            status = 1;
        }
        long worst = 0;
        for (const long offset : clockOffsets(log)) {
            std::printf("  board - PC: %+ld ms\n", offset);
            worst = std::max(worst, offset < 0 ? -offset : offset);
        }
        std::printf("  largest: %ld ms\n", worst);

        struct Command {
            const char* line;
            double goalS;
        };
        const Command commands[] = {
            {"read-time", 1.0},
            {"read-fields", 3.0},
            {"write-field 1 12", 3.0},
        };
        std::printf("command times at 9600 bit/s, default pause (process start included)\n");
        for (const Command& c : commands) {
            const double s = timed(device, c.line);
            if (s < 0) {
                status = 1;
                continue;
            }
            std::printf("  %-18s %.2f s (goal: at most %.0f s)\n", c.line, s, c.goalS);
        }
    }
    fs::remove(log);
    return status;
}
