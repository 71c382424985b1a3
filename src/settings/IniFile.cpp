#include "settings/IniFile.h"

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include "config/Codec.h"
#include "settings/FileText.h"

namespace horalux::settings {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The parser would run an unclosed section name on into the next lines, and stops at a NUL;
// both are mended here so that the rest of the file is still read.
std::string repaired(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 16);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string clean;
        for (char c : line) {
            if (c != '\0') {
                clean += c;
            }
        }
        const std::string_view body = trim(clean);
        if (!body.empty() && body.front() == '[' && body.find(']') == std::string_view::npos) {
            clean = std::string(body) + "]";
        }
        result += clean;
        result += '\n';
    }
    return result;
}

// A value with a line break would add lines of its own to the file.
std::string oneLine(std::string_view text) {
    std::string result;
    for (char c : text) {
        if (c != '\r' && c != '\n' && c != '\0') {
            result += c;
        }
    }
    return result;
}

}  // namespace

struct IniFile::Impl {
    CSimpleIniA ini{/*a_bIsUtf8=*/true, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false};
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {
    impl_->ini.SetSpaces(false);
}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

IniFile IniFile::load(const std::filesystem::path& path) {
    const TextFile file = readTextFile(path);
    return fromText(file.content);
}

IniFile IniFile::fromText(std::string_view text) {
    IniFile file;
    const std::string clean = repaired(text);
    if (file.impl_->ini.LoadData(clean.data(), clean.size()) < 0) {
        file.impl_->ini.Reset();  // out of memory while parsing: start from nothing
    }
    return file;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const char* found =
        impl_->ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    if (found == nullptr) {
        return std::nullopt;
    }
    return std::string(found);
}

bool IniFile::hasSection(std::string_view section) const {
    return impl_->ini.GetSection(std::string(section).c_str()) != nullptr;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    std::optional<std::string> found = value(section, key);
    return found ? std::move(*found) : std::string(fallback);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
    const std::optional<std::string> found = value(section, key);
    if (!found) {
        return fallback;
    }
    return config::parseInteger(*found).value_or(fallback);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    impl_->ini.SetValue(oneLine(section).c_str(), oneLine(key).c_str(), oneLine(value).c_str());
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int64_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

std::string IniFile::text() const {
    std::string out;
    impl_->ini.Save(out, /*a_bAddSignature=*/false);
    return out;
}

void IniFile::save(const std::filesystem::path& path) const {
    writeFileAtomically(path, text());
}

}  // namespace horalux::settings
