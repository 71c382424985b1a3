#include "settings/IniFile.h"

#include <cstddef>
#include <vector>

#include "settings/DecimalText.h"
#include "settings/FileText.h"

namespace horalux::settings {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
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

// What one line of the file says. NUL bytes are read past and a section line without its
// closing bracket is taken as closed, so damaged content still gives what can be read.
struct Meaning {
    enum Kind { Other, Section, Key };
    Kind kind = Other;
    std::string name;   // section or key
    std::string value;  // of a key
};

Meaning meaningOf(std::string_view raw, bool firstLine) {
    if (firstLine && raw.starts_with(kByteOrderMark)) {
        raw.remove_prefix(kByteOrderMark.size());
    }
    std::string clean;
    clean.reserve(raw.size());
    for (char c : raw) {
        if (c != '\0') {
            clean += c;
        }
    }
    const std::string_view body = trim(clean);
    if (body.empty() || body.front() == ';' || body.front() == '#') {
        return {};
    }
    if (body.front() == '[') {
        const std::string_view inside = body.substr(1, body.find(']') - 1);
        return {Meaning::Section, std::string(trim(inside)), {}};
    }
    const std::size_t equals = body.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    return {Meaning::Key, std::string(trim(body.substr(0, equals))),
            std::string(trim(body.substr(equals + 1)))};
}

}  // namespace

// The file is kept as its lines, each with its own line end, exactly as read: a write replaces
// the value on one key's line or adds lines, and every other byte stays as it was.
struct IniFile::Impl {
    std::vector<std::string> lines;  // each with its "\n" or "\r\n"; the last may have none

    std::string_view body(std::size_t i) const {
        std::string_view line = lines[i];
        if (line.ends_with('\n')) {
            line.remove_suffix(1);
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
        }
        return line;
    }
    std::string_view ending(std::size_t i) const {
        return std::string_view(lines[i]).substr(body(i).size());
    }
    Meaning meaning(std::size_t i) const { return meaningOf(body(i), i == 0); }

    // Where a key is read from: its last line in any section of that name (names match without
    // regard to case, and a section may appear more than once).
    std::optional<std::size_t> find(std::string_view section, std::string_view key) const {
        std::optional<std::size_t> found;
        bool inSection = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Meaning m = meaning(i);
            if (m.kind == Meaning::Section) {
                inSection = sameName(m.name, section);
            } else if (inSection && m.kind == Meaning::Key && sameName(m.name, key)) {
                found = i;
            }
        }
        return found;
    }

    // Where a new key of the section goes: after the last key of its first appearance, or after
    // its heading; nothing when the file has no such section.
    std::optional<std::size_t> placeFor(std::string_view section) const {
        std::optional<std::size_t> place;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Meaning m = meaning(i);
            if (m.kind == Meaning::Section) {
                if (place) {
                    break;
                }
                if (sameName(m.name, section)) {
                    place = i + 1;
                }
            } else if (place && m.kind == Meaning::Key) {
                place = i + 1;
            }
        }
        return place;
    }

    // Added lines end as the file's own lines do.
    std::string lineEnd() const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!ending(i).empty()) {
                return std::string(ending(i));
            }
        }
        return "\n";
    }

    void insert(std::size_t at, std::string text) {
        const std::string end = lineEnd();
        if (at > 0 && ending(at - 1).empty()) {
            lines[at - 1] += end;  // the file's last line had no line end
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), text + end);
    }
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

IniFile IniFile::load(const std::filesystem::path& path) {
    const TextFile file = readTextFile(path);
    return fromText(file.content);
}

IniFile IniFile::fromText(std::string_view text) {
    IniFile file;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t size = end == std::string_view::npos ? text.size() : end + 1;
        file.impl_->lines.emplace_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return file;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const std::optional<std::size_t> line = impl_->find(section, key);
    if (!line) {
        return std::nullopt;
    }
    return impl_->meaning(*line).value;
}

bool IniFile::hasSection(std::string_view section) const {
    return impl_->placeFor(section).has_value();
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
    return parseInteger(*found).value_or(fallback);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string text = oneLine(value);
    Impl& file = *impl_;
    if (const std::optional<std::size_t> at = file.find(section, key)) {
        if (file.meaning(*at).value == trim(text)) {
            return;  // already there: the line keeps its spacing
        }
        // The key's own spelling and the spacing around "=" stay; the value and what follows
        // it on the line are replaced.
        const std::string_view line = file.body(*at);
        std::size_t start = line.find('=') + 1;
        while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) {
            ++start;
        }
        file.lines[*at] = std::string(line.substr(0, start)) + text + std::string(file.ending(*at));
        return;
    }
    const std::string entry = oneLine(key) + "=" + text;
    if (const std::optional<std::size_t> at = file.placeFor(section)) {
        file.insert(*at, entry);
        return;
    }
    if (!file.lines.empty() && !trim(file.body(file.lines.size() - 1)).empty()) {
        file.insert(file.lines.size(), "");  // a blank line between sections
    }
    file.insert(file.lines.size(), "[" + oneLine(section) + "]");
    file.insert(file.lines.size(), entry);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int64_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

void IniFile::erase(std::string_view section, std::string_view key) {
    Impl& file = *impl_;
    while (const std::optional<std::size_t> at = file.find(section, key)) {
        file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(*at));
    }
}

std::string IniFile::text() const {
    std::string out;
    for (const std::string& line : impl_->lines) {
        out += line;
    }
    return out;
}

void IniFile::save(const std::filesystem::path& path, AtLink atLink) const {
    writeFileAtomically(path, text(), atLink);
}

}  // namespace horalux::settings
