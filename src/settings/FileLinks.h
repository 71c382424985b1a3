#pragma once

#include <filesystem>

namespace horalux::settings {

// The file `path` finally names, its symbolic links followed one by one, so that saving through
// a link replaces its target and keeps the link.
std::filesystem::path resolveLink(const std::filesystem::path& path);

}  // namespace horalux::settings
