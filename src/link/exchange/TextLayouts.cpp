#include "link/exchange/TextLayouts.h"

#include <algorithm>
#include <charconv>

#include "link/wire/HexText.h"

namespace horalux::link {

const MainFieldLayout* findMainFieldLayout(std::uint8_t view) {
    const auto* it = std::find_if(kMainFieldLayouts.begin(), kMainFieldLayouts.end(),
                                  [view](const MainFieldLayout& row) { return row.view == view; });
    return it == kMainFieldLayouts.end() ? nullptr : &*it;
}

std::optional<std::string_view> findLayout(std::span<const CodeLayout> table, std::uint8_t code) {
    const auto it = std::find_if(table.begin(), table.end(),
                                 [code](const CodeLayout& row) { return row.code == code; });
    if (it == table.end()) {
        return std::nullopt;
    }
    return it->layout;
}

void LayoutValue::setDecimal(int value, int minDigits) {
    char* out = chars_.data();
    char* const end = chars_.data() + chars_.size();
    if (value < 0) {
        *out++ = '-';
    }
    const unsigned magnitude =
        value < 0 ? 0U - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    std::array<char, 12> digits{};
    const auto [last, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
    const auto count = static_cast<int>(last - digits.data());
    for (int pad = count; pad < minDigits && out < end; ++pad) {
        *out++ = '0';
    }
    out = std::copy(digits.data(), last, out);
    size_ = static_cast<std::size_t>(out - chars_.data());
}

void LayoutValue::setHex(std::uint8_t value) {
    const auto digits = hexDigits(value);
    chars_[0] = digits[0];
    chars_[1] = digits[1];
    size_ = 2;
}

void LayoutValue::setDigits(std::span<const std::uint8_t> bytes) {
    char* out = chars_.data();
    for (const std::uint8_t b : bytes) {
        out = std::to_chars(out, chars_.data() + chars_.size(), b).ptr;
    }
    size_ = static_cast<std::size_t>(out - chars_.data());
}

namespace {

const LayoutValue* placeholder(char name, const LayoutValues& values) {
    switch (name) {
        case 'h':
            return &values.hour;
        case 'm':
            return &values.minute;
        case 'D':
            return &values.day;
        case 'M':
            return &values.month;
        case 'Y':
            return &values.year;
        case 'P':
            return &values.pressure;
        case 'U':
            return &values.humidity;
        case 'R':
            return &values.radiation;
        case 'T':
            return &values.temperature;
        case 'A':
            return &values.absTemperature;
        case 'H':
            return &values.hundredths;
        default:
            return nullptr;
    }
}

}  // namespace

void expandLayout(std::string_view layout, const LayoutValues& values, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i] == '{' && i + 2 < layout.size() && layout[i + 2] == '}') {
            if (const LayoutValue* value = placeholder(layout[i + 1], values)) {
                out.append(value->view());
                i += 2;
                continue;
            }
        }
        out.push_back(layout[i]);
    }
}

void cutToCharacters(std::string& text, std::size_t characters) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Continuation bytes of UTF-8 are 10xxxxxx; every other byte starts a character.
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0U) != 0x80U) {
            if (seen == characters) {
                text.resize(i);
                return;
            }
            ++seen;
        }
    }
}

}  // namespace horalux::link
