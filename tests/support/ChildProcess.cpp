#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/Tick.h"

extern char** environ;

namespace horalux::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Output output,
                           const std::string& logPath) {
    if (argv.empty()) {
        throw std::runtime_error("no program to start");
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cargv;
    for (std::string& a : args) {
        cargv.push_back(a.data());
    }
    cargv.push_back(nullptr);

    int out[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != Output::LogFile) {
        if (::pipe2(out, O_CLOEXEC) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            throw std::runtime_error("cannot make a pipe for " + argv[0]);
        }
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (output == Output::Pipe) {
            posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        } else if (!logPath.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    const int rc = posix_spawn(&pid_, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out[1] >= 0) {
        ::close(out[1]);
    }
    pipe_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        if (pipe_ >= 0) {
            ::close(pipe_);
        }
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

ChildProcess::~ChildProcess() {
    stop(SIGTERM);
    if (pipe_ >= 0) {
        ::close(pipe_);
    }
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& part, int timeoutMs) {
    const std::int64_t deadline = platform::monotonicMs() + timeoutMs;
    for (;;) {
        for (std::size_t end = 0; (end = output_.find('\n', taken_)) != std::string::npos;) {
            std::string line = output_.substr(taken_, end - taken_);
            taken_ = end + 1;
            if (line.find(part) != std::string::npos) {
                return line;
            }
        }
        if (pipe_ < 0) {
            return std::nullopt;
        }
        const std::int64_t left = deadline - platform::monotonicMs();
        pollfd pfd{pipe_, POLLIN, 0};
        const int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return std::nullopt;
        }
        char buffer[1024];
        const ssize_t got = ::read(pipe_, buffer, sizeof buffer);
        if (got <= 0) {
            return std::nullopt;
        }
        output_.append(buffer, static_cast<std::size_t>(got));
    }
}

std::optional<int> ChildProcess::waitForExit(int timeoutMs) {
    const std::int64_t deadline = platform::monotonicMs() + timeoutMs;
    while (!status_ && pid_ > 0) {
        int raw = 0;
        const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            break;
        }
        if (done < 0 || platform::monotonicMs() >= deadline) {
            break;
        }
        const timespec pause{0, 10'000'000};
        nanosleep(&pause, nullptr);
    }
    return status_;
}

bool ChildProcess::running() {
    return pid_ > 0 && !waitForExit(0);
}

int ChildProcess::stop(int signal, int timeoutMs) {
    if (pid_ <= 0) {
        return -1;
    }
    if (!status_) {
        ::kill(pid_, signal);
        if (!waitForExit(timeoutMs)) {
            ::kill(pid_, SIGKILL);
            int raw = 0;
            while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
            }
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        }
    }
    return *status_;
}

}  // namespace horalux::test
