#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "platform/net/tls/TlsSettings.h"

namespace horalux::platform {

struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextFree>;

// The library's set-up for connections to device servers: TLS 1.2 at least, the authorities
// trusted and our own certificate. Empty, with the cause (naming the file), when a file cannot
// be used; a private key that others than its owner may read is refused.
SslContext makeClientContext(const TlsSettings& settings, std::string& cause);

// The library's latest error, in words (or `otherwise` when it has none), and clears it.
std::string libraryError(const std::string& otherwise);

}  // namespace horalux::platform
