#include "support/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace horalux::test {

PtyPair::PtyPair() {
    controller_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controller_ < 0 || grantpt(controller_) != 0 || unlockpt(controller_) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    char name[128] = {};
    if (ptsname_r(controller_, name, sizeof name) != 0) {
        throw std::runtime_error("cannot name the pseudo-terminal");
    }
    path_ = name;
    termios tio{};
    tcgetattr(controller_, &tio);
    cfmakeraw(&tio);
    tcsetattr(controller_, TCSANOW, &tio);
}

PtyPair::~PtyPair() {
    closeController();
}

void PtyPair::send(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t put = ::write(controller_, bytes, length);
        if (put <= 0) {
            throw std::runtime_error("write to pseudo-terminal failed");
        }
        bytes += put;
        length -= static_cast<std::size_t>(put);
    }
}

std::string PtyPair::receive(std::size_t length, int timeoutMs) {
    std::string out;
    while (out.size() < length) {
        pollfd pfd{controller_, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0) {
            break;
        }
        char buffer[4096];
        const ssize_t got =
            ::read(controller_, buffer, std::min(sizeof buffer, length - out.size()));
        if (got <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

void PtyPair::closeController() {
    if (controller_ >= 0) {
        ::close(controller_);
        controller_ = -1;
    }
}

}  // namespace horalux::test
