#include "fuzz/ScratchFile.h"

#include <unistd.h>

#include <fstream>
#include <string>
#include <system_error>

namespace horalux::fuzz {

ScratchFile::ScratchFile(const char* stem, const char* extension,
                         std::span<const std::uint8_t> bytes)
    : path_(std::filesystem::temp_directory_path() /
            (std::string(stem) + "-" + std::to_string(::getpid()) + extension)) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScratchFile::~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

}  // namespace horalux::fuzz
