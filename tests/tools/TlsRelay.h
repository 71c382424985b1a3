#pragma once

// A TLS server played by a test on 127.0.0.1: it takes one client with its own certificate and
// relays the clear bytes to a plain TCP port (a man in the middle in front of a device
// server), or, with no port to relay to, only answers the handshake.
#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace horalux::test {

class TlsRelay {
  public:
    // `maxVersion` bounds the TLS versions it speaks (TLS1_1_VERSION: an outdated server).
    TlsRelay(const std::string& cert, const std::string& key, std::uint16_t relayTo,
             int maxVersion = 0);
    ~TlsRelay();
    TlsRelay(const TlsRelay&) = delete;
    TlsRelay& operator=(const TlsRelay&) = delete;
    std::string name(const char* scheme) const {
        return std::string(scheme) + "127.0.0.1:" + std::to_string(port_);
    }

  private:
    void serve();
    void relay(SSL* ssl, int client);

    SSL_CTX* context_ = nullptr;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::uint16_t relayTo_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace horalux::test
