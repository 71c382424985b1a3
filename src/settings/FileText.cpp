#include "settings/FileText.h"

#include <system_error>
#include <utility>

#include "settings/FileLinks.h"

namespace horalux::settings {

FileError::FileError(std::filesystem::path path, const std::string& reason)
    : std::runtime_error("Cannot save file \"" + path.string() + "\": " + reason),
      path_(std::move(path)) {}

FileReadError::FileReadError(std::filesystem::path path, const std::string& reason)
    : std::runtime_error("Cannot read file \"" + path.string() + "\": " + reason),
      path_(std::move(path)) {}

std::filesystem::path resolveLink(const std::filesystem::path& path) {
    // Followed link by link rather than canonicalised: a link whose target does not exist yet
    // must still be written through, not replaced by a regular file.
    std::filesystem::path current = path;
    std::error_code error;
    for (int depth = 0; depth < 40; ++depth) {
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error))) {
            return current;
        }
        std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return current;
        }
        current = target.is_relative() ? current.parent_path() / target : target;
    }
    return current;
}

}  // namespace horalux::settings
