#include "platform/net/tls/TlsPipe.h"

namespace horalux::platform {

bool tlsAvailable() {
    return false;
}

// This build has no TLS library (the Windows one): a TLS port is named, and refused.
std::unique_ptr<BytePipe> startTls(std::unique_ptr<BytePipe> inner, const std::string&,
                                   const TlsSettings&, std::uint32_t,
                                   std::shared_ptr<TlsAfterword>, std::string& cause) {
    inner->close();
    cause = "TLS ports are not available in this build";
    return nullptr;
}

}  // namespace horalux::platform
