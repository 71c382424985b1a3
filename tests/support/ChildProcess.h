#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace horalux::test {

// A program run by a test as a child process: the one place the tests start, read and end
// processes (the stand-in board, ser2net, chronyd, the companion).
class ChildProcess {
  public:
    enum class Output {
        Pipe,        // standard output and error through one pipe, read by waitForLine
        PipeStdout,  // standard output through the pipe; error to `logPath`, else inherited
        LogFile,     // standard output and error both to `logPath`
    };
    // Starts argv[0] with the arguments. Throws std::runtime_error when it cannot start.
    ChildProcess(const std::vector<std::string>& argv, Output output,
                 const std::string& logPath = {});
    // Ends the child (SIGTERM, then SIGKILL if it lingers) and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next line of the piped output holding `part`, reading on after the last line taken;
    // nothing when the child ends or stays silent for timeoutMs first.
    std::optional<std::string> waitForLine(const std::string& part, int timeoutMs);
    // All the piped output read so far.
    const std::string& output() const { return output_; }

    // Sends the signal and waits for the end (SIGKILL after timeoutMs); the exit status, -1 when
    // a signal ended it.
    int stop(int signal, int timeoutMs = 5000);
    // Waits up to timeoutMs for the child to end by itself; its exit status, or nothing.
    std::optional<int> waitForExit(int timeoutMs);
    // Whether the child still runs.
    bool running();

  private:
    pid_t pid_ = -1;
    int pipe_ = -1;
    std::string output_;
    std::size_t taken_ = 0;
    std::optional<int> status_;
};

}  // namespace horalux::test
