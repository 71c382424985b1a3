#include "platform/PosixSerialPort.h"

#include "platform/PortNameText.h"
#include "platform/Tick.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace horalux::platform {
namespace {

// The name of a group, or its number when the system knows no name for it.
std::string groupName(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->gr_name;
    }
    return std::to_string(gid);
}

bool isGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

}  // namespace

std::string serialDevicePath(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    return "/dev/" + name;
}

bool serialDeviceExists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(serialDevicePath(name), ec);
}

namespace {
constexpr std::pair<std::uint32_t, speed_t> kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},        {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},        {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},      {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},  {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
}  // namespace

speed_t speedConstant(std::uint32_t bitsPerSecond) {
    for (const auto& [bps, constant] : kSpeeds) {
        if (bps == bitsPerSecond) {
            return constant;
        }
    }
    return B0;
}

std::uint32_t bitsPerSecondOf(speed_t constant) {
    for (const auto& [bps, c] : kSpeeds) {
        if (c == constant) {
            return bps;
        }
    }
    return 0;
}

namespace {

// The message stays "Error setting port state"; the speed and the device's reason follow it on a
// line of their own.
PortError speedRefused(std::uint32_t bitsPerSecond, int error) {
    return PortError("Error setting port state\n" + std::to_string(bitsPerSecond) + " bit/s: " +
                     (error == 0 ? std::string("not a speed this port supports")
                                 : std::string(std::strerror(error))));
}

}  // namespace

std::string serialOpenFailureText(const std::string& path, int error) {
    const std::string shown = shownPortName(path);
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return shown + ": no such device";
        case EBUSY:
        case EWOULDBLOCK:
            return shown + ": in use by another program";
        case ENOTTY:
        case EISDIR:
            return shown + ": not a serial device";
        case EACCES:
        case EPERM: {
            struct stat info {};
            std::string group = "dialout";
            if (::stat(path.c_str(), &info) == 0) {
                if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
                    return shown + ": permission denied; no group may use the device: ask the " +
                           "administrator for access";
                }
                group = groupName(info.st_gid);
            }
            return shown + ": permission denied; the device belongs to the group " + group +
                   ": join it with \"sudo usermod -aG " + group +
                   " $USER\", then log out and in again";
        }
        default:
            return shown + ": " + std::strerror(error);
    }
}

std::unique_ptr<PosixSerialPort> PosixSerialPort::open(const std::string& name, std::uint32_t speed,
                                                       std::string* failure) {
    const std::string path = serialDevicePath(name);
    auto failWith = [&](int fd, std::string text) {
        if (fd >= 0) {
            ::close(fd);
        }
        if (failure != nullptr) {
            *failure = std::move(text);
        }
        return nullptr;
    };
    auto fail = [&](int fd, int error) { return failWith(fd, serialOpenFailureText(path, error)); };
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail(-1, errno);
    }
    if (!isatty(fd)) {
        return fail(fd, ENOTTY);
    }
    // The terminal this program runs in (as /dev/tty or by its own name) is no board's line,
    // and made raw it would be left unusable to the user.
    if (tcgetsid(fd) != -1) {
        return failWith(fd, shownPortName(path) +
                                ": this is the terminal the program runs in, not a serial port");
    }
    // TIOCEXCL keeps other users out but not root; the lock keeps out every program that
    // opens ports the way this one does, whoever runs it.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(fd, EBUSY);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        return fail(fd, errno);
    }
    std::unique_ptr<PosixSerialPort> port(new PosixSerialPort(fd));
    // What the device was set to before: put back at close, so that whatever uses it next finds
    // it as it was.
    port->haveOriginal_ = tcgetattr(fd, &port->original_) == 0;
    port->applySettings(speed);
    return port;
}

PosixSerialPort::~PosixSerialPort() {
    close();
}

void PosixSerialPort::applySettings(std::uint32_t bitsPerSecond) {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        throw PortError("Error setting port state");
    }
    const speed_t constant = speedConstant(bitsPerSecond);
    if (constant == B0) {
        throw speedRefused(bitsPerSecond, 0);
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, constant) != 0 || cfsetospeed(&tio, constant) != 0 ||
        tcsetattr(fd_, TCSANOW, &tio) != 0) {
        throw speedRefused(bitsPerSecond, errno);
    }
    settings_ = tio;
    speed_ = bitsPerSecond;
}

IoResult PosixSerialPort::read(std::uint8_t* buffer, std::size_t length) {
    IoResult result;
    if (fd_ < 0) {
        result.status = IoStatus::Failed;
        return result;
    }
    const std::int64_t deadline =
        monotonicMs() + static_cast<std::int64_t>(length) * kReadTimeoutPerByteMs;
    while (result.count < length) {
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            break;
        }
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.status = IoStatus::Failed;
            return result;
        }
        if (ready == 0) {
            break;
        }
        const ssize_t got = ::read(fd_, buffer + result.count, length - result.count);
        if (got > 0) {
            result.count += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        // A read of 0 after readiness, or an I/O error, is a hang-up: the other end is gone.
        if (got == 0 || isGoneError(errno) || (pfd.revents & (POLLHUP | POLLERR)) != 0) {
            result.status = IoStatus::Gone;
        } else {
            result.status = IoStatus::Failed;
        }
        return result;
    }
    return result;
}

IoResult PosixSerialPort::readSome(std::uint8_t* buffer, std::size_t capacity) {
    return readSomeWithin(buffer, capacity, kReadTimeoutPerByteMs);
}

IoResult PosixSerialPort::readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                         std::uint32_t waitMs) {
    IoResult result;
    if (fd_ < 0) {
        result.status = IoStatus::Failed;
        return result;
    }
    if (capacity == 0) {
        return result;
    }
    const std::int64_t deadline = monotonicMs() + waitMs;
    bool polledReady = false;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, capacity);
        if (got > 0) {
            result.count = static_cast<std::size_t>(got);
            return result;
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            result.status = isGoneError(errno) ? IoStatus::Gone : IoStatus::Failed;
            return result;
        }
        if (got == 0 && polledReady) {
            // Readable yet nothing to read: the other end hung up.
            result.status = IoStatus::Gone;
            return result;
        }
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            return result;
        }
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            result.status = IoStatus::Failed;
            return result;
        }
        if (ready == 0) {
            return result;
        }
        polledReady = ready > 0;
    }
}

std::size_t PosixSerialPort::outputQueued() {
    int queued = 0;
    if (fd_ < 0 || ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) {
        return 0;
    }
    return static_cast<std::size_t>(queued);
}

IoResult PosixSerialPort::write(const std::uint8_t* data, std::size_t length) {
    IoResult result;
    while (fd_ >= 0 && result.count < length) {
        const ssize_t put = ::write(fd_, data + result.count, length - result.count);
        if (put > 0) {
            result.count += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno == EAGAIN) {
            // The driver's queue is full; wait until it takes more.
            pollfd pfd{fd_, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) > 0 && (pfd.revents & POLLOUT) != 0) {
                continue;
            }
        }
        result.status = (put < 0 && isGoneError(errno)) ? IoStatus::Gone : IoStatus::Failed;
        return result;
    }
    if (fd_ < 0) {
        result.status = IoStatus::Failed;
    }
    return result;
}

void PosixSerialPort::purge() {
    if (fd_ >= 0) {
        tcflush(fd_, TCIOFLUSH);
    }
}

LineErrorState PosixSerialPort::takeErrors() {
    LineErrorState state;
    if (fd_ < 0) {
        state.queryOk = false;
        return state;
    }
    serial_icounter_struct icount{};
    if (ioctl(fd_, TIOCGICOUNT, &icount) != 0) {
        // Pseudo-terminals and some adapters keep no counters: they report no errors.
        return state;
    }
    const Counters now{icount.frame, icount.overrun, icount.parity, icount.brk, icount.buf_overrun};
    if (haveCounters_) {
        if (now.bufOverrun != counters_.bufOverrun)
            state.flags |= line_error::ReceiveQueueFull;
        if (now.overrun != counters_.overrun)
            state.flags |= line_error::Overrun;
        if (now.parity != counters_.parity)
            state.flags |= line_error::Parity;
        if (now.frame != counters_.frame)
            state.flags |= line_error::Framing;
        if (now.brk != counters_.brk)
            state.flags |= line_error::Break;
    }
    counters_ = now;
    haveCounters_ = true;
    return state;
}

void PosixSerialPort::setSpeed(std::uint32_t bitsPerSecond) {
    const speed_t constant = speedConstant(bitsPerSecond);
    termios tio = settings_;
    if (fd_ < 0) {
        throw PortError("Error setting port state");
    }
    if (constant == B0) {
        throw speedRefused(bitsPerSecond, 0);
    }
    if (cfsetispeed(&tio, constant) != 0 || cfsetospeed(&tio, constant) != 0 ||
        tcsetattr(fd_, TCSANOW, &tio) != 0) {
        throw speedRefused(bitsPerSecond, errno);
    }
    settings_ = tio;
    speed_ = bitsPerSecond;
}

void PosixSerialPort::close() {
    if (fd_ >= 0) {
        // The exclusive mode belongs to the device, not to this descriptor: it would outlive the
        // close while anything else (such as the stand-in board) still holds the device open.
        ioctl(fd_, TIOCNXCL);
        if (haveOriginal_) {
            tcsetattr(fd_, TCSANOW, &original_);
        }
        ::close(fd_);  // also releases the lock
        fd_ = -1;
    }
}

}  // namespace horalux::platform
