#pragma once

#include <openssl/ssl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace horalux::test {

// A certificate and its private key as files (the key readable by its owner alone).
struct CertFiles {
    std::string cert;
    std::string key;
};

// What a test certificate says: its subject's common name, the names it holds, and its days of
// validity counted from now (negative: in the past).
struct CertShape {
    std::string commonName{};
    std::vector<std::string> dnsNames{};
    std::vector<std::string> ipAddresses{};
    int fromDay = -1;
    int toDay = 30;
};

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};

// A certificate authority made for a test, in a folder of its own: it issues certificates for
// servers and clients as files beside its own.
class TestAuthority {
  public:
    // Makes the authority's key and self-signed certificate, `name` its common name and file.
    TestAuthority(std::filesystem::path dir, const std::string& name);
    const std::string& certFile() const { return certFile_; }
    // Issues a certificate by `shape`, written as FILE.crt and FILE.key in the folder.
    CertFiles issue(const std::string& file, const CertShape& shape) const;
    // A certificate signed by its own key.
    static CertFiles selfSigned(const std::filesystem::path& dir, const std::string& file,
                                const CertShape& shape);

  private:
    std::filesystem::path dir_;
    std::unique_ptr<EVP_PKEY, KeyFree> key_;
    std::unique_ptr<X509, CertFree> cert_;
    std::string certFile_;
};

// The pin of a certificate file: "SHA256:" and its digest in hex.
std::string pinOf(const std::string& certFile);

// Links `certFile` into `dir` under its subject's hash, as the library looks certificates up
// in a folder of them.
void linkByHash(const std::string& certFile, const std::filesystem::path& dir);

}  // namespace horalux::test
