#include "config/RegisterFile.h"
#include "fuzz/Harnesses.h"
#include "fuzz/ScratchFile.h"

namespace horalux::fuzz {

void registerFile(std::span<const std::uint8_t> bytes) {
    ScratchFile file("horalux-fuzz-registers", ".cs", bytes);
    config::RegisterImage current{};
    (void)config::loadRegisterFile(file.path(), current);
}

}  // namespace horalux::fuzz
