#include "platform/net/tls/TlsFailures.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace horalux::platform {
namespace {

bool isVersionRefusal(int reason) {
    switch (reason) {
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
        case SSL_R_VERSION_TOO_LOW:
        case SSL_R_NO_PROTOCOLS_AVAILABLE:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool isAlertOnOurCertificate(int reason) {
    switch (reason) {
        case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
        case SSL_R_SSLV3_ALERT_CERTIFICATE_REVOKED:
        case SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE:
        case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
        case SSL_R_TLSV1_ALERT_ACCESS_DENIED:
        case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
            return true;
        default:
            return false;
    }
}

std::string refusedOurCertificate(bool haveCertificate) {
    return haveCertificate ? "the device server refused our certificate"
                           : "the device server asks for a client certificate, and none is set";
}

std::string handshakeFailure(int reason, const std::string& refusal, bool haveCertificate) {
    if (!refusal.empty()) {
        return refusal;
    }
    if (isVersionRefusal(reason)) {
        return "the device server offers only TLS versions older than 1.2, the oldest taken";
    }
    if (isAlertOnOurCertificate(reason)) {
        return refusedOurCertificate(haveCertificate);
    }
    if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
        reason == SSL_R_RECORD_LENGTH_MISMATCH) {
        return "the device server does not speak TLS on this port";
    }
    const char* text =
        ERR_reason_error_string(static_cast<unsigned long>(ERR_PACK(ERR_LIB_SSL, 0, reason)));
    return std::string("the TLS handshake failed: ") + (text != nullptr ? text : "unknown error");
}

}  // namespace horalux::platform
