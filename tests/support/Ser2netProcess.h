#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "support/ChildProcess.h"

namespace horalux::test {

// TLS on both ports: the server's key and certificate, and for mutual TLS the folder of the
// clients it takes (AUTHDIR/USER/allowed_certs, USER the client certificate's common name).
struct Ser2netTls {
    std::string key{};
    std::string cert{};
    std::string clientAuthDir{};  // empty: no client certificate asked
};

// A configuration of the test's own (the README's, say), listening on these two loopback ports.
struct Ser2netConfig {
    std::string text;
    std::uint16_t rawPort = 0;
    std::uint16_t telnetPort = 0;
};

// A device server for a test: ser2net run in the foreground on the loopback interface in front
// of one device (the stand-in board's pseudo-terminal), with a configuration file of its own in
// a temporary folder. It serves the device on two free TCP ports: one raw, one Telnet with the
// COM-PORT-OPTION. Nothing is written outside that folder (no lock or pid files).
class Ser2netProcess {
  public:
    // Starts ser2net and waits until both ports listen. Throws std::runtime_error when it cannot
    // start or does not listen within 10 s. `speed` is the line speed ser2net sets when a
    // client connects.
    explicit Ser2netProcess(const std::string& device, std::uint32_t speed = 9600,
                            const std::optional<Ser2netTls>& tls = std::nullopt);
    // ser2net with `config` as it stands; it is taken as up once both of its ports listen.
    explicit Ser2netProcess(const Ser2netConfig& config);
    ~Ser2netProcess();
    Ser2netProcess(const Ser2netProcess&) = delete;
    Ser2netProcess& operator=(const Ser2netProcess&) = delete;

    std::string tcpName() const {
        return std::string(tls_ ? "tcp+tls" : "tcp") + "://127.0.0.1:" + std::to_string(rawPort_);
    }
    std::string rfc2217Name() const {
        return std::string(tls_ ? "rfc2217+tls" : "rfc2217") +
               "://127.0.0.1:" + std::to_string(telnetPort_);
    }
    std::uint16_t rawPort() const { return rawPort_; }

    // Stops ser2net (SIGKILL: gone at once, as a device server that lost power or network)
    // and reaps it. The ports then refuse connections.
    void stop();

  private:
    // Writes the configuration into a fresh temporary folder, starts ser2net on it and waits
    // until rawPort_ and telnetPort_ listen.
    void start(const std::string& text);

    std::filesystem::path dir_;
    std::optional<ChildProcess> process_;
    std::uint16_t rawPort_ = 0;
    std::uint16_t telnetPort_ = 0;
    bool tls_ = false;
};

// A TCP port on 127.0.0.1 free at the time of the call.
std::uint16_t freeLoopbackPort();

}  // namespace horalux::test
