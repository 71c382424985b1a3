#include "platform/net/tls/TlsPipe.h"

namespace horalux::platform {

bool tlsAvailable() {
    return false;
}

// This build has no TLS library (the Windows one): a TLS port is named, and refused.
std::unique_ptr<BytePipe> startTls(const std::function<std::unique_ptr<BytePipe>()>&,
                                   const std::string&, const TlsSettings&, std::uint32_t,
                                   std::shared_ptr<TlsAfterword>, std::string& cause) {
    cause = "TLS ports are not available in this build";
    return nullptr;
}

}  // namespace horalux::platform
