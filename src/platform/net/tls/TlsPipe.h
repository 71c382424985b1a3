#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/net/BytePipe.h"
#include "platform/net/tls/TlsSettings.h"

namespace horalux::platform {

// What a TLS pipe learns once its handshake is done that explains a failure later in the
// set-up: a server that asked for our certificate and then ends the connection before a byte
// of the line came has refused it (TLS 1.3 completes the handshake before the server judges
// us).
struct TlsAfterword {
    std::string cause;
};

// Whether this build has a TLS library (the Windows one has none).
bool tlsAvailable();

// Puts TLS over the pipe `connect` makes once the files of `settings` are found usable: the
// handshake within `handshakeMs`, the server's certificate checked for `host` (a name or an
// address). The pipe it returns carries the line's bytes encrypted. Empty, with the cause in
// words, when a file cannot be used or the handshake fails ("interrupted" at a signal), or
// with no cause when `connect` gave nothing. Where the build has no TLS library, always empty.
std::unique_ptr<BytePipe> startTls(const std::function<std::unique_ptr<BytePipe>()>& connect,
                                   const std::string& host, const TlsSettings& settings,
                                   std::uint32_t handshakeMs,
                                   std::shared_ptr<TlsAfterword> afterword, std::string& cause);

}  // namespace horalux::platform
