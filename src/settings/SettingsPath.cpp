#include "settings/SettingsPath.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace horalux::settings {

namespace {

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

std::filesystem::path settingsFilePath(const std::filesystem::path& programPath,
                                       const ConfigFolders& folders) {
    std::filesystem::path beside = programPath;
    beside.replace_extension(".ini");
    std::filesystem::path programFolder = beside.parent_path();
    if (programFolder.empty()) {
        programFolder = ".";
    }
    if (!systemFolder(programFolder) && folderWritable(programFolder)) {
        return beside;
    }
    std::filesystem::path base;
    if (std::filesystem::path xdg = folders.xdgConfigHome; xdg.is_absolute()) {
        base = xdg;
    } else if (!folders.home.empty()) {
        base = std::filesystem::path(folders.home) / ".config";
    } else {
        return beside;  // nowhere better; saving will report the problem
    }
    const std::filesystem::path folder = base / "horalux";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return folder / beside.filename();
}

}  // namespace horalux::settings
