#pragma once

#include "platform/PortKind.h"

namespace horalux::platform {

// "rfc2217+tls://HOST:PORT" and "tcp+tls://HOST:PORT": TLS to the device server, the server's
// certificate checked for HOST, then RFC 2217 or the line's bytes as they are.
extern const PortKind kRfc2217TlsPortKind;
extern const PortKind kTcpTlsPortKind;

}  // namespace horalux::platform
