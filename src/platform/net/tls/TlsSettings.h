#pragma once

#include <string>

namespace horalux::platform {

// What a TLS port checks the device server by, and shows it of us. Empty fields: the system's
// trusted authorities, no pin, no certificate of ours.
struct TlsSettings {
    std::string caFile{};    // authorities trusted instead of the system's (PEM)
    std::string pin{};       // "SHA256:" and the server certificate's digest, in hex or base64
    std::string certFile{};  // our certificate (PEM), for a server that asks for one
    std::string keyFile{};   // its private key (PEM), readable by its owner alone

    friend bool operator==(const TlsSettings&, const TlsSettings&) = default;
};

}  // namespace horalux::platform
