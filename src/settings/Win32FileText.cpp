#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/Win32ErrorText.h"
#include "settings/FileLinks.h"
#include "settings/FileText.h"

namespace horalux::settings {
namespace {

std::string errorText(DWORD error) {
    return platform::win32ErrorText(error);
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes now and reports whether the system took the close.
    bool close() {
        const bool closed = !valid() || CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

// A file where a folder of the path should be: the file asked for cannot be missing then, and
// loading it as missing would pass zeros on as if they had been read.
bool fileStandsForAFolder(const std::filesystem::path& path) {
    std::error_code ec;
    for (auto folder = path.parent_path(); !folder.empty() && folder != folder.parent_path();
         folder = folder.parent_path()) {
        if (std::filesystem::exists(folder, ec)) {
            return !std::filesystem::is_directory(folder, ec);
        }
    }
    return false;
}

}  // namespace

TextFile readTextFile(const std::filesystem::path& path, std::size_t maxSize) {
    auto unusable = [](std::string reason) {
        return TextFile{TextFile::Unusable, {}, std::move(reason)};
    };
    const std::string tooLarge = "larger than " + std::to_string(maxSize) + " bytes";
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND && fileStandsForAFolder(path)) {
            return unusable("Not a directory");
        }
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return TextFile{};
        }
        // A folder opens only with backup semantics: plain opens of one are refused. The texts
        // are the ones the POSIX side gives.
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            return unusable("Is a directory");
        }
        return unusable(errorText(error));
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        return unusable("not a regular file");
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) == 0) {
        return unusable(errorText(GetLastError()));
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > maxSize) {
        return unusable(tooLarge);
    }
    std::string content;
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) == 0) {
            return unusable(errorText(GetLastError()));
        }
        if (got == 0) {
            return {TextFile::Read, std::move(content), {}};
        }
        content.append(buffer, got);
        if (content.size() > maxSize) {  // grew while being read
            return unusable(tooLarge);
        }
    }
}

// A temporary file beside the target, flushed to disk, then moved over the old one with
// write-through: the old file stays whole until the new one is complete.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                         AtLink atLink) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target = atLink == AtLink::Follow ? resolveLink(path) : path;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::filesystem::path temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temporary =
            folder / (L"." + target.filename().wstring() + L".tmp-" +
                      std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++));
        created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        error = created != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    Handle file(created);
    if (!file.valid()) {
        throw FileError(path, errorText(error));
    }
    auto fail = [&](DWORD failure) {
        file.close();
        DeleteFileW(temporary.c_str());
        throw FileError(path, errorText(failure));
    };
    std::string_view left = content;
    while (!left.empty()) {
        DWORD put = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(left.size(), 1U << 20U));
        if (WriteFile(file.get(), left.data(), chunk, &put, nullptr) == 0) {
            fail(GetLastError());
        }
        left.remove_prefix(put);
    }
    if (FlushFileBuffers(file.get()) == 0) {
        fail(GetLastError());
    }
    if (!file.close()) {
        fail(GetLastError());
    }
    if (MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        fail(GetLastError());
    }
}

}  // namespace horalux::settings
