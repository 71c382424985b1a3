#include "link/session/UserFieldPayload.h"

#include <algorithm>

#include "link/exchange/SegmentCode.h"

namespace horalux::link {

std::size_t userFieldTotalLength(std::span<const std::uint8_t, 32> lengths) {
    std::size_t total = 0;
    for (const std::uint8_t length : lengths) {
        if (length == 0) {
            break;
        }
        total += length;
    }
    return total;
}

std::vector<std::uint8_t> buildUserFieldPayload(std::span<const std::string> texts,
                                                std::span<const std::uint8_t, 32> lengths) {
    std::vector<std::uint8_t> payload;
    for (std::size_t i = 0; i < lengths.size() && lengths[i] != 0; ++i) {
        const std::vector<std::uint8_t> encoded =
            i < texts.size() ? encodeFieldText(texts[i]) : std::vector<std::uint8_t>{};
        const std::size_t keep = std::min<std::size_t>(encoded.size(), lengths[i]);
        payload.insert(payload.end(), encoded.begin(), encoded.begin() + static_cast<long>(keep));
        payload.insert(payload.end(), lengths[i] - keep, std::uint8_t{0});
    }
    return payload;
}

}  // namespace horalux::link

namespace horalux::link {

bool isUserFieldKey(char32_t key) {
    return key <= 0x7F && isFieldTextChar(static_cast<char>(key));
}

bool takesDigitPosition(char32_t key) {
    return key != U'.';
}

std::size_t userFieldPositions(std::string_view text) {
    std::size_t positions = 0;
    char previous = '\0';
    for (const char c : text) {
        if (c != '.' || positions == 0 || previous == '.') {
            ++positions;
        }
        previous = c;
    }
    return positions;
}

std::size_t userFieldShownLength(std::size_t digits) {
    return 2 * digits;
}

FieldTextFault checkUserFieldText(std::string_view text, std::size_t digits) {
    for (const char c : text) {
        // A byte of a multi-byte UTF-8 character is above 0x7F and refused with it.
        if (!isUserFieldKey(static_cast<char32_t>(static_cast<unsigned char>(c)))) {
            return FieldTextFault::Character;
        }
    }
    return userFieldPositions(text) > digits ? FieldTextFault::Length : FieldTextFault::None;
}

}  // namespace horalux::link
