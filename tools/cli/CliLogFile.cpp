#include "CliLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace horalux::cli {
namespace {

#ifdef _WIN32
constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_TRUNC | O_BINARY;
#else
// Not blocking, so that a FIFO with no reader is an error at once instead of a wait for one.
constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC;
#endif

}  // namespace

CliLogFile::~CliLogFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool CliLogFile::open(const std::string& name) {
    fd_ = ::open(name.c_str(), kOpenFlags, 0666);
    if (fd_ < 0) {
#ifndef _WIN32
        if (errno == ENXIO) {
            problem_ = "it is a FIFO that no program reads";
            return false;
        }
#endif
        problem_ = std::strerror(errno);
        return false;
    }
#ifndef _WIN32
    // Once open, writes wait for a slow reader like any other file's.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        problem_ = std::strerror(errno);
        return false;
    }
#endif
    return true;
}

bool CliLogFile::writeLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto written = ::write(fd_, rest.data(), static_cast<unsigned>(rest.size()));
        if (written < 0) {
            // EINTR: only Ctrl+C and SIGTERM are caught, and they end the program at once.
            problem_ = errno == EPIPE ? "the program reading it has ended" : std::strerror(errno);
            return false;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace horalux::cli
