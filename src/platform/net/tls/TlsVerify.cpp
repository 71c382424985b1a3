#include "platform/net/tls/TlsVerify.h"

#include <arpa/inet.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

namespace horalux::platform {
namespace {

// The connection's own slot for its owner's data (the library reserves index 0 for it).
constexpr int kOwnerSlot = 0;

std::string nameText(const X509_NAME* name) {
    if (name == nullptr) {
        return "(none)";
    }
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string whenText(const ASN1_TIME* time) {
    std::tm tm{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) {
        return "an unreadable date";
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

std::string addressText(const ASN1_OCTET_STRING* ip) {
    const int length = ASN1_STRING_length(ip);
    char text[INET6_ADDRSTRLEN] = "";
    if ((length != 4 && length != 16) ||
        inet_ntop(length == 4 ? AF_INET : AF_INET6, ASN1_STRING_get0_data(ip), text, sizeof text) ==
            nullptr) {
        return "an unreadable address";
    }
    return text;
}

// The names a certificate is for: its DNS names and addresses, else its common name.
std::string heldNames(X509* cert) {
    std::string names;
    auto add = [&names](const std::string& name) {
        names += names.empty() ? "" : ", ";
        names += name;
    };
    auto* alt =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alt != nullptr && i < sk_GENERAL_NAME_num(alt); ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(alt, i);
        if (entry->type == GEN_DNS) {
            const ASN1_STRING* dns = entry->d.dNSName;
            add(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                            static_cast<std::size_t>(ASN1_STRING_length(dns))));
        } else if (entry->type == GEN_IPADD) {
            add(addressText(entry->d.iPAddress));
        }
    }
    GENERAL_NAMES_free(alt);
    if (names.empty()) {
        const int at = X509_NAME_get_index_by_NID(X509_get_subject_name(cert), NID_commonName, -1);
        if (at >= 0) {
            const ASN1_STRING* cn =
                X509_NAME_ENTRY_get_data(X509_NAME_get_entry(X509_get_subject_name(cert), at));
            unsigned char* utf8 = nullptr;
            const int length = ASN1_STRING_to_UTF8(&utf8, cn);
            if (length >= 0) {
                add(std::string(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(length)));
                OPENSSL_free(utf8);
            }
        }
    }
    return names.empty() ? "no name" : names;
}

Sha256 digestOf(X509* cert) {
    Sha256 digest{};
    unsigned int length = 0;
    X509_digest(cert, EVP_sha256(), digest.data(), &length);
    return digest;
}

// Errors that say only that no trusted authority vouches for the certificate, or that it is
// for another name: a pin that matches answers both.
bool pinAnswers(int error) {
    switch (error) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
        case X509_V_ERR_INVALID_CA:
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool ServerCheck::attach(SSL* ssl) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    // An address is checked as an address, a name as a name (and told to the server, which
    // may serve several).
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str()) != 1) {
        if (X509_VERIFY_PARAM_set1_host(param, host_.c_str(), host_.size()) != 1 ||
            SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(host_.c_str())) != 1) {
            return false;
        }
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    }
    SSL_set_ex_data(ssl, kOwnerSlot, this);
    SSL_set_verify(ssl, SSL_VERIFY_PEER, &ServerCheck::onFinding);
    return true;
}

int ServerCheck::onFinding(int ok, X509_STORE_CTX* store) {
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check = static_cast<ServerCheck*>(SSL_get_ex_data(ssl, kOwnerSlot));
    return check->judge(ok, store);
}

int ServerCheck::judge(int ok, X509_STORE_CTX* store) {
    X509* server = X509_STORE_CTX_get0_cert(store);
    if (pin_) {
        // A pin names the one certificate: no other is taken, whoever vouches for it.
        const Sha256 digest = digestOf(server);
        if (digest != *pin_) {
            refusal_ = "the device server's certificate is not the pinned one (its digest is " +
                       pinText(digest) + ")";
            return 0;
        }
        if (ok == 1 || pinAnswers(X509_STORE_CTX_get_error(store))) {
            return 1;
        }
    }
    if (ok == 1) {
        return 1;
    }
    const int error = X509_STORE_CTX_get_error(store);
    X509* at = X509_STORE_CTX_get_current_cert(store);
    if (at == nullptr) {
        at = server;
    }
    const std::string which =
        at == server ? "the device server's certificate"
                     : "the certificate of its authority " + nameText(X509_get_subject_name(at));
    switch (error) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            refusal_ = which + " expired on " + whenText(X509_get0_notAfter(at));
            break;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            refusal_ = which + " is not valid before " + whenText(X509_get0_notBefore(at));
            break;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            refusal_ = "the device server's certificate is for " + heldNames(server) +
                       ", not for " + host_;
            break;
        default:
            if (pinAnswers(error)) {
                refusal_ = "the device server's certificate is not trusted (subject " +
                           nameText(X509_get_subject_name(server)) + ", issuer " +
                           nameText(X509_get_issuer_name(server)) +
                           "): trust its authority with a CA file, or pin the certificate";
            } else {
                refusal_ = which + " was refused: " + X509_verify_cert_error_string(error);
            }
    }
    return 0;
}

}  // namespace horalux::platform
