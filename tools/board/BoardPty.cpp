#include "board/BoardPty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/PosixSerialPort.h"

namespace horalux::board {

namespace {

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

BoardPty::BoardPty() {
    controller_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (controller_ < 0) {
        throw systemError("cannot create a pseudo-terminal");
    }
    char name[128] = {};
    if (grantpt(controller_) != 0 || unlockpt(controller_) != 0 ||
        ptsname_r(controller_, name, sizeof name) != 0) {
        const auto error = systemError("cannot prepare the pseudo-terminal");
        closeLine();
        throw error;
    }
    path_ = name;
    device_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device_ < 0) {
        const auto error = systemError("cannot open " + path_);
        closeLine();
        throw error;
    }
    // Raw from the start: an echoing device would send the boards' own frames back to them
    // before a program has set the line up.
    termios tio{};
    if (tcgetattr(device_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(device_, TCSANOW, &tio);
    }
}

BoardPty::~BoardPty() {
    closeLine();
    removeLink();
}

void BoardPty::makeLink(const std::string& linkPath) {
    if (::symlink(path_.c_str(), linkPath.c_str()) != 0) {
        struct stat st {};
        if (errno != EEXIST || ::lstat(linkPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) ||
            ::unlink(linkPath.c_str()) != 0 || ::symlink(path_.c_str(), linkPath.c_str()) != 0) {
            throw systemError("cannot make the link " + linkPath);
        }
    }
    link_ = linkPath;
}

void BoardPty::removeLink() {
    if (link_.empty()) {
        return;
    }
    char target[256] = {};
    const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
    if (n > 0 && path_ == std::string(target, static_cast<std::size_t>(n))) {
        ::unlink(link_.c_str());
    }
    link_.clear();
}

BoardLine::Wait BoardPty::wait(std::int64_t timeoutNs, bool forBytes, const sigset_t& signalMask) {
    const timespec timeout{static_cast<time_t>(timeoutNs / 1'000'000'000),
                           static_cast<long>(timeoutNs % 1'000'000'000)};
    // Without POLLIN the poll still reports a hang-up or an error.
    pollfd pfd{controller_, static_cast<short>(forBytes ? POLLIN : 0), 0};
    const int ready = ppoll(&pfd, open() ? 1 : 0, &timeout, &signalMask);
    if (ready <= 0) {
        return Wait::Quiet;
    }
    return (pfd.revents & POLLIN) != 0 ? Wait::Ready : Wait::Failed;
}

std::size_t BoardPty::read(std::span<std::uint8_t> buffer) {
    if (controller_ < 0) {
        return 0;
    }
    const ssize_t got = ::read(controller_, buffer.data(), buffer.size());
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::size_t BoardPty::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (controller_ >= 0 && done < bytes.size()) {
        const ssize_t put = ::write(controller_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // the device's input queue is full: nobody is reading
        }
    }
    return done;
}

std::size_t BoardPty::unread() const {
    int count = 0;
    if (device_ < 0 || ioctl(device_, FIONREAD, &count) != 0 || count < 0) {
        return 0;
    }
    return static_cast<std::size_t>(count);
}

void BoardPty::closeLine() {
    if (device_ >= 0) {
        ::close(device_);
        device_ = -1;
    }
    if (controller_ >= 0) {
        ::close(controller_);
        controller_ = -1;
    }
}

std::uint32_t BoardPty::lineSpeed() const {
    termios tio{};
    if (device_ < 0 || tcgetattr(device_, &tio) != 0) {
        return 0;
    }
    return platform::bitsPerSecondOf(cfgetospeed(&tio));
}

void BoardPty::releaseStaleExclusive() {
    int exclusive = 0;
    if (device_ < 0 || ioctl(device_, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) {
        return;
    }
    // A program that has the device open holds its lock; only without one is the mode stale.
    if (flock(device_, LOCK_EX | LOCK_NB) == 0) {
        ioctl(device_, TIOCNXCL);
        flock(device_, LOCK_UN);
    }
}

}  // namespace horalux::board
