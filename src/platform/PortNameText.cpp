#include "platform/PortNameText.h"

#include <algorithm>

namespace horalux::platform {
namespace {

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::string shownPortName(std::string_view name) {
    if (std::none_of(name.begin(), name.end(), isControl)) {
        return std::string(name);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            // Once quoted, these two are escaped too, so the quoted name reads back one way.
            case '"':
            case '\\':
                out += '\\';
                out += c;
                break;
            default:
                if (isControl(c)) {
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace horalux::platform
