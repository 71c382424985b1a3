#pragma once

#include <string>

namespace horalux::platform {

// What the TLS library's failures mean, in the words of "Error opening port".

// Whether the server's alert (the library's reason code) is about the certificate we showed.
bool isAlertOnOurCertificate(int reason);

// The server did not take us: with a certificate it refused it, without one it wanted one.
std::string refusedOurCertificate(bool haveCertificate);

// Why a handshake failed: the server's certificate's `refusal` when our check gave one, else
// what the library's `reason` says.
std::string handshakeFailure(int reason, const std::string& refusal, bool haveCertificate);

}  // namespace horalux::platform
