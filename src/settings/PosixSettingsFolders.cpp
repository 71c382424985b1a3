#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "settings/SettingsFolders.h"
#include "settings/SettingsPath.h"

namespace horalux::settings {

bool folderWritable(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// A program installed system-wide keeps per-user settings even when run by root, who could write
// beside it: one user's settings in /usr/bin would be every user's.
bool systemFolder(const std::filesystem::path& folder) {
    for (const char* name : {"/usr", "/opt", "/bin", "/sbin"}) {
        const std::filesystem::path prefix(name);
        const auto reached =
            std::mismatch(folder.begin(), folder.end(), prefix.begin(), prefix.end()).second;
        if (reached == prefix.end()) {
            return true;
        }
    }
    return false;
}

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

ConfigFolders configFoldersFromEnvironment() {
    return {environment("XDG_CONFIG_HOME"), environment("HOME")};
}

std::filesystem::path currentProgramPath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path("horalux") : path;
}

}  // namespace horalux::settings
