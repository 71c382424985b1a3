#pragma once

#include <filesystem>

namespace horalux::settings {

// What settingsFilePath asks of the system about the program's folder.

// Whether the current user may create files in `folder`.
bool folderWritable(const std::filesystem::path& folder);

// Whether `folder` is where programs are installed for every user, so that settings beside a
// program there would be shared by all of them.
bool systemFolder(const std::filesystem::path& folder);

}  // namespace horalux::settings
