#include "platform/net/tls/TlsContext.h"

#include <openssl/err.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace horalux::platform {
namespace {

// The key is our identity to the server: anyone else who can read it can be us.
bool keyKeptPrivate(const std::string& file, std::string& cause) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        cause = file + ": " + std::strerror(errno);
        return false;
    }
    if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        cause = file +
                ": the private key is readable by others than its owner; make it "
                "readable by its owner alone (chmod 600)";
        return false;
    }
    return true;
}

// A file the library would only call unreadable is named with the system's reason.
bool readable(const std::string& file, std::string& cause) {
    if (::access(file.c_str(), R_OK) != 0) {
        cause = file + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// What is wrong with a file's content, from the library's latest error.
std::string contentProblem(const std::string& file, const std::string& expected) {
    return file + ": not " + expected + " (" + libraryError("unreadable") + ")";
}

}  // namespace

std::string libraryError(const std::string& otherwise) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return otherwise;
    }
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : otherwise;
}

SslContext makeClientContext(const TlsSettings& settings, std::string& cause) {
    ERR_clear_error();
    SslContext context(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) {
        cause = libraryError("the TLS library could not be set up");
        return nullptr;
    }
    if (settings.caFile.empty()) {
        if (SSL_CTX_set_default_verify_paths(context.get()) != 1) {
            cause = "the system's trusted authorities: " + libraryError("cannot be read");
            return nullptr;
        }
    } else if (!readable(settings.caFile, cause)) {
        return nullptr;
    } else if (SSL_CTX_load_verify_locations(context.get(), settings.caFile.c_str(), nullptr) !=
               1) {
        cause = contentProblem(settings.caFile, "a file of certificates (PEM)");
        return nullptr;
    }
    if (settings.certFile.empty() != settings.keyFile.empty()) {
        cause = settings.certFile.empty() ? "a private key needs its certificate"
                                          : "a certificate needs its private key";
        return nullptr;
    }
    if (settings.certFile.empty()) {
        return context;
    }
    // An exposed key is refused before anything else is tried with it.
    if (!keyKeptPrivate(settings.keyFile, cause)) {
        return nullptr;
    }
    if (!readable(settings.certFile, cause) || !readable(settings.keyFile, cause)) {
        return nullptr;
    }
    if (SSL_CTX_use_certificate_chain_file(context.get(), settings.certFile.c_str()) != 1) {
        cause = contentProblem(settings.certFile, "a certificate (PEM)");
        return nullptr;
    }
    const bool keyTaken =
        SSL_CTX_use_PrivateKey_file(context.get(), settings.keyFile.c_str(), SSL_FILETYPE_PEM) == 1;
    if (!keyTaken && ERR_GET_REASON(ERR_peek_last_error()) != X509_R_KEY_VALUES_MISMATCH) {
        cause = contentProblem(settings.keyFile, "a private key (PEM)");
        return nullptr;
    }
    if (!keyTaken || SSL_CTX_check_private_key(context.get()) != 1) {
        ERR_clear_error();
        cause = settings.keyFile + ": not the private key of " + settings.certFile;
        return nullptr;
    }
    return context;
}

}  // namespace horalux::platform
