#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <system_error>

#include "settings/SettingsFolders.h"
#include "settings/SettingsPath.h"

namespace horalux::settings {
namespace {

std::wstring environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

std::wstring lowered(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

bool under(const std::filesystem::path& folder, const std::wstring& base) {
    if (base.empty()) {
        return false;
    }
    const std::filesystem::path full = lowered(std::filesystem::absolute(folder).wstring());
    const std::filesystem::path prefix = lowered(base);
    const auto reached =
        std::mismatch(full.begin(), full.end(), prefix.begin(), prefix.end()).second;
    return reached == prefix.end();
}

}  // namespace

// Tried by creating a file: the folder's access rules, not its read-only flag, decide.
bool folderWritable(const std::filesystem::path& folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        return false;
    }
    const std::filesystem::path probe =
        folder / (L".horalux-probe-" + std::to_wstring(GetCurrentProcessId()));
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// Under Program Files an administrator could write beside the program, and every user would
// then share one settings file.
bool systemFolder(const std::filesystem::path& folder) {
    return under(folder, environment(L"ProgramFiles")) ||
           under(folder, environment(L"ProgramFiles(x86)")) ||
           under(folder, environment(L"ProgramW6432"));
}

// The user's application-data folder stands where Linux has the configuration folder.
ConfigFolders configFoldersFromEnvironment() {
    return {std::filesystem::path(environment(L"APPDATA")).string(),
            std::filesystem::path(environment(L"USERPROFILE")).string()};
}

std::filesystem::path currentProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::filesystem::path("horalux");
        }
        if (length < path.size()) {
            path.resize(length);
            return std::filesystem::path(path);
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace horalux::settings
