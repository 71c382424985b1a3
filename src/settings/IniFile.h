#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace horalux::settings {

// A sections-and-keys text file held in memory. Section and key names match without regard to
// case; sections, keys and comments that are not touched stay where they were. Written lines
// have the form key=value, without a byte-order mark.
class IniFile {
  public:
    IniFile();
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;

    // Reads the file; a missing, unreadable or oversized file reads as empty. Content that is
    // not well formed gives what could be read: NUL bytes are dropped and a section line
    // without its closing bracket is closed.
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

    std::string text() const;
    // Writes the whole file as one step (see writeFileAtomically); throws FileError.
    void save(const std::filesystem::path& path) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace horalux::settings
