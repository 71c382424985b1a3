#include "support/Ser2netProcess.h"

#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/Tick.h"

namespace horalux::test {
namespace {

constexpr const char* kSer2net = "/usr/sbin/ser2net";
constexpr int kListenTimeoutMs = 10000;

// Whether something listens on 127.0.0.1:port, by the kernel's own table: a probe connection
// would take ser2net's only client slot for a moment.
bool listening(std::uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string local;
        std::string remote;
        std::string state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") {
            return true;
        }
    }
    return false;
}

void nap() {
    const timespec ms{0, 5'000'000};
    nanosleep(&ms, nullptr);
}

}  // namespace

std::uint16_t freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("no free TCP port on 127.0.0.1");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

Ser2netProcess::Ser2netProcess(const std::string& device, std::uint32_t speed,
                               const std::optional<Ser2netTls>& tls)
    : tls_(tls.has_value()) {
    rawPort_ = freeLoopbackPort();
    do {
        telnetPort_ = freeLoopbackPort();
    } while (telnetPort_ == rawPort_);
    const std::string line = "serialdev," + device + "," + std::to_string(speed) + "n81,local";
    std::string ssl;
    std::string options;
    if (tls) {
        ssl = "ssl(key=" + tls->key + ",cert=" + tls->cert +
              (tls->clientAuthDir.empty() ? "" : ",clientauth") + "),";
        if (!tls->clientAuthDir.empty()) {
            options = "  options:\n    authdir: " + tls->clientAuthDir + "\n";
        }
    }
    std::ostringstream text;
    text << "connection: &raw\n"
         << "  accepter: " << ssl << "tcp,127.0.0.1," << rawPort_ << "\n"
         << "  connector: " << line << "\n"
         << options << "connection: &telnet\n"
         << "  accepter: telnet(rfc2217)," << ssl << "tcp,127.0.0.1," << telnetPort_ << "\n"
         << "  connector: " << line << "\n"
         << options;
    start(text.str());
}

Ser2netProcess::Ser2netProcess(const Ser2netConfig& config)
    : rawPort_(config.rawPort), telnetPort_(config.telnetPort) {
    start(config.text);
}

void Ser2netProcess::start(const std::string& text) {
    char pattern[] = "/tmp/horalux-ser2net-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    dir_ = pattern;
    const std::filesystem::path config = dir_ / "ser2net.yaml";
    std::ofstream(config) << text;
    try {
        process_.emplace(std::vector<std::string>{kSer2net, "-n", "-u", "-c", config.string()},
                         ChildProcess::Output::LogFile, (dir_ / "ser2net.log").string());
    } catch (const std::runtime_error&) {
        std::filesystem::remove_all(dir_);
        throw;
    }
    const std::int64_t deadline = platform::monotonicMs() + kListenTimeoutMs;
    while (!(listening(rawPort_) && listening(telnetPort_))) {
        if (!process_->running() || platform::monotonicMs() > deadline) {
            stop();
            std::filesystem::remove_all(dir_);
            throw std::runtime_error("ser2net does not listen on its ports");
        }
        nap();
    }
}

Ser2netProcess::~Ser2netProcess() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void Ser2netProcess::stop() {
    if (process_) {
        process_->stop(SIGKILL);
        process_.reset();
    }
}

}  // namespace horalux::test
