#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace horalux::settings {

// A file that could not be saved; the message names the file and the reason.
class FileError : public std::runtime_error {
  public:
    FileError(std::filesystem::path path, const std::string& reason);
    const std::filesystem::path& path() const noexcept { return path_; }

  private:
    std::filesystem::path path_;
};

// A file that exists but could not be read; the message names the file and the reason.
class FileReadError : public std::runtime_error {
  public:
    FileReadError(std::filesystem::path path, const std::string& reason);
    const std::filesystem::path& path() const noexcept { return path_; }

  private:
    std::filesystem::path path_;
};

// Text files larger than this are not ours: they are ignored rather than read into memory.
inline constexpr std::size_t kMaxTextFileSize = 1024 * 1024;

struct TextFile {
    enum Status { Read, Missing, Unusable };
    Status status = Missing;
    std::string content;  // empty unless Read
    std::string reason;   // why it is Unusable, as the system or the size limit says
};

// The whole content of a regular file of at most `maxSize` bytes. Unusable: the file exists but
// cannot be read, is not a regular file or is larger.
TextFile readTextFile(const std::filesystem::path& path, std::size_t maxSize = kMaxTextFileSize);

// What a save does with a symbolic link at its path: writes its target (the user's own link to
// the file kept elsewhere), or replaces the link itself with a new file (a file the program
// makes in a folder of its own, which a link must not redirect elsewhere).
enum class AtLink { Follow, Replace };

// Replaces the file's content as one step: writes a temporary file in the same folder, flushes
// it to disk and renames it over the old one, so a failure (full disk, read-only folder) leaves
// the old file whole. A symbolic link is followed and its target replaced, or with
// AtLink::Replace replaced itself. An existing regular file's permissions are kept. Throws
// FileError naming `path`.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                         AtLink atLink = AtLink::Follow);

}  // namespace horalux::settings
