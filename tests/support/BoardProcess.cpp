#include "support/BoardProcess.h"

#include "platform/Tick.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#ifndef HORALUX_BOARD_PATH
#error "HORALUX_BOARD_PATH must name the horalux-board program"
#endif

extern char** environ;

namespace horalux::test {

namespace {

constexpr int kFirstLineTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;

}  // namespace

BoardProcess::BoardProcess(const std::vector<std::string>& args, const std::string& logPath) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe for the board");
    }
    std::vector<std::string> argv{HORALUX_BOARD_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv) {
        cargv.push_back(a.data());
    }
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!logPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    const int rc = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv[0]);
    }
    stdout_ = out[0];
}

BoardProcess::~BoardProcess() {
    stop();
    if (stdout_ >= 0) {
        ::close(stdout_);
    }
}

const std::string& BoardProcess::devicePath() {
    if (!path_.empty()) {
        return path_;
    }
    const long long deadline = platform::monotonicMs() + kFirstLineTimeoutMs;
    std::string line;
    for (;;) {
        const long long left = deadline - platform::monotonicMs();
        pollfd pfd{stdout_, POLLIN, 0};
        const int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            throw std::runtime_error("the board printed no device path in time");
        }
        char c = 0;
        const ssize_t got = ::read(stdout_, &c, 1);
        if (got <= 0) {
            throw std::runtime_error("the board ended without printing a device path");
        }
        if (c == '\n') {
            break;
        }
        line.push_back(c);
    }
    path_ = line;
    return path_;
}

std::optional<int> BoardProcess::waitForExit(int timeoutMs) {
    const long long deadline = platform::monotonicMs() + timeoutMs;
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

int BoardProcess::stop() {
    if (pid_ <= 0) {
        return -1;
    }
    if (!status_) {
        ::kill(pid_, SIGTERM);
        if (!waitForExit(kStopTimeoutMs)) {
            ::kill(pid_, SIGKILL);
            int raw = 0;
            ::waitpid(pid_, &raw, 0);
            status_ = -1;
        }
    }
    return *status_;
}

}  // namespace horalux::test
