#pragma once

#include <openssl/ssl.h>

#include <optional>
#include <string>

#include "platform/net/tls/TlsPin.h"

namespace horalux::platform {

// How the device server's certificate is checked on one connection, and why it failed: set on
// the connection before its handshake (the library calls back with each finding).
class ServerCheck {
  public:
    // `host` is the name or address the port names: the certificate must hold it, unless it is
    // the pinned one.
    ServerCheck(std::string host, std::optional<Sha256> pin) : host_(std::move(host)), pin_(pin) {}
    ServerCheck(const ServerCheck&) = delete;
    ServerCheck& operator=(const ServerCheck&) = delete;

    // Asks for the check on `ssl`; false when the library could not take the host.
    bool attach(SSL* ssl);
    // Why the certificate was refused, in words; empty when it was not.
    const std::string& refusal() const { return refusal_; }

  private:
    static int onFinding(int ok, X509_STORE_CTX* store);
    int judge(int ok, X509_STORE_CTX* store);

    std::string host_;
    std::optional<Sha256> pin_;
    std::string refusal_;
};

}  // namespace horalux::platform
