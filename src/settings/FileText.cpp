#include "settings/FileText.h"

#include <utility>

namespace horalux::settings {

FileError::FileError(std::filesystem::path path, const std::string& reason)
    : std::runtime_error("Cannot save file \"" + path.string() + "\": " + reason),
      path_(std::move(path)) {}

FileReadError::FileReadError(std::filesystem::path path, const std::string& reason)
    : std::runtime_error("Cannot read file \"" + path.string() + "\": " + reason),
      path_(std::move(path)) {}

}  // namespace horalux::settings
