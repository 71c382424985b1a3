#include "link/exchange/SegmentCode.h"

#include <algorithm>

namespace horalux::link {
namespace {

constexpr std::uint8_t kPatternMask = 0x7F;

char characterOf(std::uint8_t pattern) {
    const auto* it = std::find_if(kSegmentCodes.begin(), kSegmentCodes.end(),
                                  [pattern](const auto& entry) { return entry.second == pattern; });
    return it == kSegmentCodes.end() ? ' ' : it->first;
}

std::uint8_t codeOf(char c) {
    const auto* it = std::find_if(kSegmentCodes.begin(), kSegmentCodes.end(),
                                  [c](const auto& entry) { return entry.first == c; });
    return it == kSegmentCodes.end() ? std::uint8_t{0x00} : it->second;
}

}  // namespace

void appendSegmentCode(std::uint8_t code, std::string& out) {
    out.push_back(characterOf(code & kPatternMask));
    if ((code & kDecimalPoint) != 0) {
        out.push_back('.');
    }
}

std::string decodeSegmentCode(std::uint8_t code) {
    std::string text;
    appendSegmentCode(code, text);
    return text;
}

bool isFieldTextChar(char c) {
    return c == '.' || std::any_of(kSegmentCodes.begin(), kSegmentCodes.end(),
                                   [c](const auto& entry) { return entry.first == c; });
}

std::vector<std::uint8_t> encodeFieldText(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() + 1);
    char previous = '\0';
    for (const char c : text) {
        if (c == '.') {
            // A dot lights the point of the digit before it; with no digit of its own to
            // light (at the start, or after another dot) it gets a blank one.
            if (bytes.empty() || previous == '.') {
                bytes.push_back(0x00);
            }
            bytes.back() |= kDecimalPoint;
        } else {
            bytes.push_back(codeOf(c));
        }
        previous = c;
    }
    return bytes;
}

int decodeSignedByte(std::uint8_t byte) {
    if (byte == kNoSensorReading) {
        return 0;
    }
    return byte < 0x80 ? static_cast<int>(byte) : static_cast<int>(byte) - 256;
}

}  // namespace horalux::link
