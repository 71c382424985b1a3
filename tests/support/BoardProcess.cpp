#include "support/BoardProcess.h"

#include <stdexcept>

namespace horalux::test {

namespace {
constexpr int kFirstLineTimeoutMs = 10000;
}  // namespace

std::vector<std::string> BoardProcess::commandLine(const std::vector<std::string>& args) {
    std::vector<std::string> argv{HORALUX_BOARD_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

BoardProcess::BoardProcess(const std::vector<std::string>& args, const std::string& logPath)
    : process_(commandLine(args), ChildProcess::Output::PipeStdout, logPath) {}

const std::string& BoardProcess::devicePath() {
    if (path_.empty()) {
        const auto line = process_.waitForLine("", kFirstLineTimeoutMs);
        if (!line) {
            throw std::runtime_error("the board ended or printed no device path in time");
        }
        path_ = *line;
    }
    return path_;
}

}  // namespace horalux::test
