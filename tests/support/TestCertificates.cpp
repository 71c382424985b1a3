#include "support/TestCertificates.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace horalux::test {
namespace {

std::unique_ptr<EVP_PKEY, KeyFree> newKey() {
    std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
    if (!key) {
        throw std::runtime_error("cannot make a test key");
    }
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        throw std::runtime_error("cannot add a test certificate's extension " + value);
    }
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

std::unique_ptr<X509, CertFree> makeCert(const CertShape& shape, EVP_PKEY* key, X509* issuer,
                                         EVP_PKEY* issuerKey, bool authority) {
    static long serial = 1;
    std::unique_ptr<X509, CertFree> cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), static_cast<long>(shape.fromDay) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(shape.toDay) * 86400);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(shape.commonName.c_str()), -1,
                               -1, 0);
    X509* signer = issuer != nullptr ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    addExtension(cert.get(), signer, NID_basic_constraints,
                 authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    std::string alt;
    for (const std::string& dns : shape.dnsNames) {
        alt += (alt.empty() ? "DNS:" : ",DNS:") + dns;
    }
    for (const std::string& ip : shape.ipAddresses) {
        alt += (alt.empty() ? "IP:" : ",IP:") + ip;
    }
    if (!alt.empty()) {
        addExtension(cert.get(), signer, NID_subject_alt_name, alt);
    }
    if (X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) == 0) {
        throw std::runtime_error("cannot sign a test certificate");
    }
    return cert;
}

void writeCert(X509* cert, const std::string& file) {
    FILE* out = std::fopen(file.c_str(), "w");
    if (out == nullptr || PEM_write_X509(out, cert) != 1) {
        throw std::runtime_error("cannot write " + file);
    }
    std::fclose(out);
}

void writeKey(EVP_PKEY* key, const std::string& file) {
    FILE* out = std::fopen(file.c_str(), "w");
    if (out == nullptr ||
        PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw std::runtime_error("cannot write " + file);
    }
    std::fclose(out);
    ::chmod(file.c_str(), 0600);
}

std::unique_ptr<X509, CertFree> readCert(const std::string& file) {
    FILE* in = std::fopen(file.c_str(), "r");
    if (in == nullptr) {
        throw std::runtime_error("cannot read " + file);
    }
    std::unique_ptr<X509, CertFree> cert(PEM_read_X509(in, nullptr, nullptr, nullptr));
    std::fclose(in);
    if (!cert) {
        throw std::runtime_error("no certificate in " + file);
    }
    return cert;
}

}  // namespace

TestAuthority::TestAuthority(std::filesystem::path dir, const std::string& name)
    : dir_(std::move(dir)), key_(newKey()) {
    cert_ = makeCert({.commonName = name, .toDay = 365}, key_.get(), nullptr, nullptr, true);
    std::string file = name;
    std::replace(file.begin(), file.end(), ' ', '-');  // the companion's tests go by a shell
    certFile_ = (dir_ / (file + ".crt")).string();
    writeCert(cert_.get(), certFile_);
}

CertFiles TestAuthority::issue(const std::string& file, const CertShape& shape) const {
    auto key = newKey();
    auto cert = makeCert(shape, key.get(), cert_.get(), key_.get(), false);
    CertFiles files{(dir_ / (file + ".crt")).string(), (dir_ / (file + ".key")).string()};
    writeCert(cert.get(), files.cert);
    writeKey(key.get(), files.key);
    return files;
}

CertFiles TestAuthority::selfSigned(const std::filesystem::path& dir, const std::string& file,
                                    const CertShape& shape) {
    auto key = newKey();
    auto cert = makeCert(shape, key.get(), nullptr, nullptr, false);
    CertFiles files{(dir / (file + ".crt")).string(), (dir / (file + ".key")).string()};
    writeCert(cert.get(), files.cert);
    writeKey(key.get(), files.key);
    return files;
}

std::string pinOf(const std::string& certFile) {
    auto cert = readCert(certFile);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert.get(), EVP_sha256(), digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string pin = "SHA256:";
    for (unsigned int i = 0; i < length; ++i) {
        pin += kHex[digest[i] >> 4];
        pin += kHex[digest[i] & 0x0F];
    }
    return pin;
}

void linkByHash(const std::string& certFile, const std::filesystem::path& dir) {
    auto cert = readCert(certFile);
    char name[16];
    std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(cert.get()));
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(certFile, dir / name,
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace horalux::test
