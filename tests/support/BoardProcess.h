#pragma once

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace horalux::test {

// The stand-in board program run as a child process for a test. The path of the program comes
// from the compile definition HORALUX_BOARD_PATH of the test target.
class BoardProcess {
  public:
    // Starts the board with these arguments. Throws std::runtime_error when it cannot start.
    // With `logPath`, the board's standard error (its --verbose log) goes to that file.
    explicit BoardProcess(const std::vector<std::string>& args = {},
                          const std::string& logPath = {});

    // The device path the board printed as its first line; waits for it up to 10 s. Throws
    // std::runtime_error when the board ends or stays silent without printing one.
    const std::string& devicePath();

    // Sends SIGTERM and waits for the board to end; returns its exit status (-1 when a signal
    // ended it).
    int stop() { return process_.stop(SIGTERM); }
    // Waits up to timeoutMs for the board to end by itself; its exit status, or nothing.
    std::optional<int> waitForExit(int timeoutMs) { return process_.waitForExit(timeoutMs); }

  private:
    static std::vector<std::string> commandLine(const std::vector<std::string>& args);

    ChildProcess process_;
    std::string path_;
};

}  // namespace horalux::test
