#include <gtest/gtest.h>

#include "platform/net/tls/TlsPin.h"

namespace horalux::platform {
namespace {

// The digest of the byte string 00 01 … 1f, as the three forms write it.
constexpr const char* kHex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

Sha256 counting() {
    Sha256 digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(i);
    }
    return digest;
}

TEST(TlsPin, ReadsTheDigestInHexWithOrWithoutColonsOrInBase64AndWritesItBackInHex) {
    const std::string colons =
        "00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F:10:11:12:13:14:15:16:17:18:19:1A:1B:1C:"
        "1D:1E:1F";
    for (const std::string& text :
         {std::string("SHA256:") + kHex, "sha256:" + colons,
          std::string("SHA256:AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="),
          std::string("SHA256:AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8"),
          // The line of openssl x509 -noout -fingerprint -sha256, of OpenSSL 3 and of 1.1.
          "sha256 Fingerprint=" + colons, "SHA256 Fingerprint=" + colons}) {
        SCOPED_TRACE(text);
        const std::optional<Sha256> pin = parsePin(text);
        ASSERT_TRUE(pin.has_value());
        EXPECT_EQ(*pin, counting());
    }
    EXPECT_EQ(pinText(counting()), std::string("SHA256:") + kHex);
}

TEST(TlsPin, RefusesAnythingButA32ByteSha256Digest) {
    for (const std::string& text : {
             std::string(kHex),                                     // no scheme
             std::string("SHA1:") + kHex,                           // another digest
             std::string("SHA256:") + std::string(kHex).substr(2),  // 31 bytes
             std::string("SHA256:") + kHex + "00",                  // 33 bytes
             std::string("SHA256:") + std::string(kHex).replace(0, 1, "g"),
             std::string("SHA256:AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh9="),  // bits left over
             std::string("SHA256:AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh"),    // short
             std::string("SHA256:"),
             "sha1 Fingerprint=" + std::string(kHex),  // another digest
             std::string("sha256 Fingerprint=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8="),
         }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parsePin(text).has_value());
    }
}

}  // namespace
}  // namespace horalux::platform
