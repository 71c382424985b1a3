// libFuzzer's entry; HORALUX_FUZZ_HARNESS names the harness this target runs.
#include <cstddef>
#include <cstdint>

#include "fuzz/Harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    horalux::fuzz::HORALUX_FUZZ_HARNESS(std::span<const std::uint8_t>(data, size));
    return 0;
}
