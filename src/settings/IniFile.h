#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/FileText.h"

namespace horalux::settings {

// A sections-and-keys text file held in memory. Section and key names match without regard to
// case; a key given more than once, or in two sections of one name, reads from its last line.
// A write replaces the value on that line (the key's spelling and spacing stay) or adds a
// key=value line; every other byte of the file stays as it was, so a file that is not only
// ours (comments, other sections, a byte-order mark, damaged lines) survives our saves.
class IniFile {
  public:
    IniFile();
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;

    // Reads the file; a missing, unreadable or oversized file reads as empty. Content that is
    // not well formed gives what could be read: NUL bytes are read past and a section line
    // without its closing bracket is taken as closed.
    static IniFile load(const std::filesystem::path& path);
    static IniFile fromText(std::string_view text);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    bool hasSection(std::string_view section) const;

    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // A missing key and a value that is not an integer both give `fallback`.
    std::int32_t readInteger(std::string_view section, std::string_view key,
                             std::int32_t fallback) const;
    // Stored as an integer: 0 is false, any other integer true.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int64_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    // Removes every line of the key in every section of that name.
    void erase(std::string_view section, std::string_view key);

    std::string text() const;
    // Writes the whole file as one step (see writeFileAtomically); throws FileError.
    void save(const std::filesystem::path& path, AtLink atLink = AtLink::Follow) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace horalux::settings
