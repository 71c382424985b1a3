#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace horalux::fuzz {

// A file in the temporary folder, named after the process, holding the fuzzer's bytes; removed
// again when it goes out of scope.
class ScratchFile {
  public:
    ScratchFile(const char* stem, const char* extension, std::span<const std::uint8_t> bytes);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace horalux::fuzz
