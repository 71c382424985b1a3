#include "settings/SettingsPath.h"

#include "settings/SettingsFolders.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace horalux::settings {

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
