#include "support/MosquittoProcess.h"

#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/Tick.h"
#include "support/CommandRun.h"
#include "support/Ser2netProcess.h"

namespace horalux::test {
namespace {

constexpr const char* kMosquitto = "/usr/sbin/mosquitto";
constexpr int kListenTimeoutMs = 10000;

void run(const std::string& commandLine) {
    const CommandRun done = runCommand(commandLine);
    if (done.status != 0) {
        throw std::runtime_error(commandLine + " failed: " + done.output);
    }
}

}  // namespace

MosquittoProcess::MosquittoProcess(const Options& options) {
    char pattern[] = "/tmp/horalux-mosquitto-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    dir_ = pattern;
    port_ = freeLoopbackPort();
    const std::string d = dir_.string();
    std::ofstream config(dir_ / "mosquitto.conf");
    config << "persistence false\n"
           << "log_dest file " << d << "/mosquitto.log\n"
           << "log_type all\n"
           << "per_listener_settings false\n";
    // Started as root, mosquitto becomes this user: its own would not reach the test's folder.
    if (const passwd* me = ::getpwuid(::getuid()); me != nullptr) {
        config << "user " << me->pw_name << "\n";
    }
    if (options.user.empty()) {
        config << "allow_anonymous true\n";
    } else {
        run("mosquitto_passwd -c -b " + d + "/passwd '" + options.user + "' '" + options.password +
            "'");
        config << "allow_anonymous false\npassword_file " << d << "/passwd\n";
    }
    config << "listener " << port_ << " 127.0.0.1\n";
    if (options.tls) {
        do {
            tlsPort_ = freeLoopbackPort();
        } while (tlsPort_ == port_);
        // A CA of the test's own, and the broker's certificate for 127.0.0.1 signed by it.
        run("cd " + d +
            " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=horalux-test-ca "
            "-keyout ca.key -out ca.crt 2>/dev/null"
            " && openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key "
            "-out server.csr 2>/dev/null"
            " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
            " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
            "-days 2 -extfile san.ext -out server.crt 2>/dev/null");
        config << "listener " << tlsPort_ << " 127.0.0.1\n"
               << "cafile " << d << "/ca.crt\ncertfile " << d << "/server.crt\nkeyfile " << d
               << "/server.key\n";
    }
    config.close();
    try {
        start();
    } catch (const std::runtime_error&) {
        std::filesystem::remove_all(dir_);
        throw;
    }
}

MosquittoProcess::~MosquittoProcess() {
    kill();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void MosquittoProcess::kill() {
    if (process_) {
        process_->stop(SIGKILL);
        process_.reset();
    }
}

void MosquittoProcess::start() {
    const std::size_t opened = logCount("Opening ipv4 listen socket");
    const std::size_t wanted = opened + (tlsPort_ != 0 ? 2 : 1);
    process_.emplace(std::vector<std::string>{kMosquitto, "-c", (dir_ / "mosquitto.conf").string()},
                     ChildProcess::Output::LogFile, (dir_ / "stderr.log").string());
    const std::int64_t deadline = platform::monotonicMs() + kListenTimeoutMs;
    while (logCount("Opening ipv4 listen socket") < wanted) {
        if (!process_->running() || platform::monotonicMs() > deadline) {
            kill();
            throw std::runtime_error("mosquitto does not listen; see " + dir_.string());
        }
        const timespec ms{0, 5'000'000};
        nanosleep(&ms, nullptr);
    }
}

std::size_t MosquittoProcess::logCount(const std::string& part) const {
    std::ifstream log(dir_ / "mosquitto.log");
    std::size_t count = 0;
    for (std::string line; std::getline(log, line);) {
        count += line.find(part) != std::string::npos ? 1U : 0U;
    }
    return count;
}

}  // namespace horalux::test
