#include "config/RegisterFileCheck.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "config/RegisterFile.h"
#include "platform/PortNameText.h"
#include "settings/FileText.h"

namespace horalux::config {
namespace {

std::string_view trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// What the section holds for one key: how often it appears and its last value.
struct Found {
    int count = 0;
    std::string_view value;
};

std::optional<std::uint32_t> wholeNumber(std::string_view text, std::uint32_t max) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

// A value from the file as it may be shown: control bytes (an escape sequence would act on the
// terminal that shows the message) and bytes that are not UTF-8 as \xNN, everything else as it
// stands.
std::string shown(std::string_view value) {
    std::string out;
    while (!value.empty()) {
        const std::size_t length = platform::utf8SequenceLength(value);
        const auto b = static_cast<unsigned char>(value.front());
        if (length == 0 || b < 0x20 || b == 0x7F) {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            value.remove_prefix(1);
        } else {
            out += value.substr(0, length);
            value.remove_prefix(length);
        }
    }
    return out;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

RegisterFileCheck checkRegisterFile(std::string_view text, const RegisterImage& current) {
    // Editors on some systems start a UTF-8 file with a byte-order mark; it is no part of the
    // first line.
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::array<Found, kRegisterKeys.size()> found{};
    bool sectionSeen = false;
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        sameName(trim(line.substr(1, close - 1)), kRegisterSection);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view name = trim(line.substr(0, equals));
        for (std::size_t k = 0; k < kRegisterKeys.size(); ++k) {
            if (sameName(name, kRegisterKeys[k].name)) {
                ++found[k].count;
                found[k].value = trim(line.substr(equals + 1));
            }
        }
    }
    if (!sectionSeen) {
        return {std::nullopt, "the file has no section [registers]"};
    }
    RegisterImage image;
    image.modeFlags = current.modeFlags;
    for (std::size_t k = 0; k < kRegisterKeys.size(); ++k) {
        const RegisterKey& key = kRegisterKeys[k];
        const std::string name(key.name);
        if (found[k].count == 0) {
            return {std::nullopt, "key " + name + " is missing"};
        }
        if (found[k].count > 1) {
            return {std::nullopt,
                    "key " + name + " appears " + std::to_string(found[k].count) + " times"};
        }
        const std::uint32_t max = key.word ? 65535 : 255;
        const auto value = wholeNumber(found[k].value, max);
        if (!value) {
            return {std::nullopt, "key " + name + "=" + shown(found[k].value) +
                                      " is not a whole number from 0 to " + std::to_string(max)};
        }
        storeRegisterKey(image, key, *value);
    }
    return {image, {}};
}

RegisterFileCheck readRegisterFileWhole(const std::filesystem::path& path) {
    const settings::TextFile file = settings::readTextFile(path);
    if (file.status != settings::TextFile::Read) {
        RegisterFileCheck unread;
        unread.problem =
            file.status == settings::TextFile::Missing ? std::strerror(ENOENT) : file.reason;
        unread.unreadable = true;
        return unread;
    }
    return checkRegisterFile(file.content, {});
}

}  // namespace horalux::config
