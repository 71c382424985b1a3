#include "platform/net/tls/TlsPin.h"

#include <cctype>
#include <vector>

#include "platform/PortKind.h"

namespace horalux::platform {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::optional<Sha256> fromHex(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c != ':') {
            digits += c;
        }
    }
    Sha256 out{};
    if (digits.size() != out.size() * 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = hexValue(digits[2 * i]);
        const int low = hexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return out;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

std::optional<Sha256> fromBase64(std::string_view text) {
    while (!text.empty() && text.back() == '=') {
        text.remove_suffix(1);
    }
    // 32 bytes are 43 characters and two bits of padding, which must be zero.
    if (text.size() != 43) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint32_t bits = 0;
    int held = 0;
    for (const char c : text) {
        const int value = base64Value(c);
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> held));
            bits &= (1U << held) - 1;
        }
    }
    if (bytes.size() != 32 || bits != 0) {
        return std::nullopt;
    }
    Sha256 out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

}  // namespace

std::optional<Sha256> parsePin(std::string_view text) {
    constexpr std::string_view kScheme = "SHA256:";
    // As `openssl x509 -noout -fingerprint -sha256` prints it, pasted whole.
    constexpr std::string_view kOpenSslLine = "SHA256 Fingerprint=";
    if (hasPortPrefix(text, kOpenSslLine)) {
        text.remove_prefix(kOpenSslLine.size());
        return fromHex(text);
    }
    if (!hasPortPrefix(text, kScheme)) {
        return std::nullopt;
    }
    text.remove_prefix(kScheme.size());
    if (std::optional<Sha256> hex = fromHex(text)) {
        return hex;
    }
    return fromBase64(text);
}

std::string pinText(const Sha256& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "SHA256:";
    for (const std::uint8_t byte : digest) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

}  // namespace horalux::platform
