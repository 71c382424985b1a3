#pragma once

#include <filesystem>
#include <string>

namespace horalux::settings {

// Where per-user settings go when the program's own folder cannot be written.
struct ConfigFolders {
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME; used only when absolute
    std::string home;           // $HOME
};
ConfigFolders configFoldersFromEnvironment();

// The running program's file (/proc/self/exe); "horalux" in the working folder if unknown.
std::filesystem::path currentProgramPath();

// The settings file: named after the program file with ".ini", in the program's folder. When
// that folder cannot be written (a system-wide install) it is the same name in a "horalux"
// folder of the user's configuration folder, which is created; settings are not silently lost.
std::filesystem::path settingsFilePath(const std::filesystem::path& programPath,
                                       const ConfigFolders& folders);

}  // namespace horalux::settings
