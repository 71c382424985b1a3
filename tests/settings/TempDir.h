#pragma once

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace horalux::test {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
  public:
    TempDir() {
        const auto base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate = base / ("horalux-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = candidate;
            }
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

#ifdef _WIN32
// No tmpfs to mount under Windows: the tests that need one skip.
class SmallTmpfs {
  public:
    explicit SmallTmpfs(const char* = nullptr) {}
    bool available() const { return false; }
    std::string reason() const { return "not on Windows"; }
    const std::filesystem::path& path() const { return dir_.path(); }
    bool makeReadOnly() { return false; }

  private:
    TempDir dir_;
};
#else
// A tiny tmpfs mounted on a temporary folder, to make a full disk or a read-only folder happen
// for real (root ignores permission bits). available() is false where mounting is not allowed.
class SmallTmpfs {
  public:
    explicit SmallTmpfs(const char* options = "size=16k") {
        mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options) == 0;
        if (!mounted_) {
            reason_ = std::strerror(errno);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    ~SmallTmpfs() {
        if (mounted_) {
            ::umount2(dir_.path().c_str(), MNT_DETACH);
        }
    }
    bool available() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    const std::filesystem::path& path() const { return dir_.path(); }
    bool makeReadOnly() {
        return ::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    TempDir dir_;
    bool mounted_ = false;
    std::string reason_;
};
#endif

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace horalux::test
