#include "platform/PortNameText.h"

#include <algorithm>
#include <cstdint>

namespace horalux::platform {
namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint32_t low = 0;  // the least code point of that length: shorter forms are overlong
    std::uint32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, low = 0x80, code = lead & 0x1FU;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, low = 0x800, code = lead & 0x0FU;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, low = 0x10000, code = lead & 0x07U;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3FU);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < low || code > 0x10FFFF || surrogate ? 0 : length;
}

namespace {

bool needsQuotes(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0 || isControl(static_cast<unsigned char>(text.front()))) {
            return true;
        }
        text.remove_prefix(length);
    }
    return false;
}

}  // namespace

bool isUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

std::string quotedText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    while (!text.empty()) {
        const char c = text.front();
        const auto byte = static_cast<unsigned char>(c);
        const std::size_t length = utf8SequenceLength(text);
        if (length > 1) {
            out += text.substr(0, length);
            text.remove_prefix(length);
            continue;
        }
        text.remove_prefix(1);
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
            case '"':
            case '\\':
                out += '\\';
                out += c;
                break;
            default:
                if (length == 0 || isControl(byte)) {
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

std::string shownPortName(std::string_view name) {
    return needsQuotes(name) ? quotedText(name) : std::string(name);
}

std::string safePortWord(std::string_view port, std::string_view alsoKept) {
    for (const std::string_view head : {"/dev/", "\\\\.\\"}) {
        if (port.substr(0, head.size()) == head) {
            port.remove_prefix(head.size());
        }
    }
    std::string word;
    for (const char ch : port) {
        const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                           (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
        word += plain || alsoKept.find(ch) != std::string_view::npos ? ch : '_';
    }
    return word;
}

}  // namespace horalux::platform
