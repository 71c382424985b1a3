#pragma once

#include <cstdint>

namespace horalux::platform {

// A socket as the system hands it out: a descriptor on POSIX, a SOCKET handle (pointer-sized and
// unsigned) under Winsock.
#if defined(_WIN32)
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket kNoSocket = ~NativeSocket{0};
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
#endif

}  // namespace horalux::platform
