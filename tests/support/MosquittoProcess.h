#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "support/ChildProcess.h"

namespace horalux::test {

// An MQTT broker for a test: mosquitto on 127.0.0.1 with a configuration of its own in a
// temporary folder, on free ports: a plain listener and, when asked, a TLS one whose CA and
// server certificate the test makes with openssl. Nothing is kept across a restart (no
// persistence), as a broker that lost its retained messages.
class MosquittoProcess {
  public:
    struct Options {
        std::string user;  // empty: anonymous clients are let in
        std::string password;
        bool tls = false;
    };
    // Starts the broker and waits until it listens. Throws std::runtime_error when it cannot.
    explicit MosquittoProcess(const Options& options);
    ~MosquittoProcess();
    MosquittoProcess(const MosquittoProcess&) = delete;
    MosquittoProcess& operator=(const MosquittoProcess&) = delete;

    std::uint16_t port() const { return port_; }
    std::uint16_t tlsPort() const { return tlsPort_; }
    std::string caFile() const { return (dir_ / "ca.crt").string(); }
    const std::filesystem::path& dir() const { return dir_; }

    // Kills the broker at once (SIGKILL) / starts it again on the same ports.
    void kill();
    void start();

    // How many log lines of the broker hold `part` so far.
    std::size_t logCount(const std::string& part) const;

  private:
    std::filesystem::path dir_;
    std::optional<ChildProcess> process_;
    std::uint16_t port_ = 0;
    std::uint16_t tlsPort_ = 0;
};

}  // namespace horalux::test
