#pragma once

#include <cstdint>

namespace horalux::platform {

// Time limits of a network port; tests shorten them.
struct NetworkTimeouts {
    std::uint32_t connectMs = 5000;
    // How long the device server may take to acknowledge a line setting.
    std::uint32_t setupMs = 3000;
    // How long a raw connection is watched after it is made: a device server that already
    // serves someone says so (or just closes) at once.
    std::uint32_t settleMs = 300;
};

}  // namespace horalux::platform
