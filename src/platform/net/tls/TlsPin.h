#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace horalux::platform {

using Sha256 = std::array<std::uint8_t, 32>;

// A pin as written: "SHA256:" (any case) and the 32 bytes of the digest in hex (colons between
// the bytes allowed) or in base64, or the line OpenSSL prints ("sha256 Fingerprint=" and the
// hex with colons). Empty when it is not one.
std::optional<Sha256> parsePin(std::string_view text);

// What a pin that cannot be read is told: the form it must have.
inline constexpr std::string_view kPinForm =
    "SHA256: and the certificate's 32-byte digest in hex or base64, or the line openssl x509 "
    "-noout -fingerprint -sha256 prints";

// A digest as messages show it, in the form a pin is written ("SHA256:" and hex).
std::string pinText(const Sha256& digest);

}  // namespace horalux::platform
