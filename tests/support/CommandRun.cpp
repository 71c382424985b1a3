#include "support/CommandRun.h"

#include <sys/wait.h>

namespace horalux::test {

CommandRun finishCommand(FILE* pipe) {
    CommandRun run;
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

CommandRun runCommand(const std::string& commandLine) {
    return finishCommand(::popen((commandLine + " 2>&1").c_str(), "r"));
}

}  // namespace horalux::test
