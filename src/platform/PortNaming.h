#pragma once

#include <string_view>

namespace horalux::platform {

// How the platform's serial ports are named, for defaults and usage texts.
#if defined(_WIN32)
inline constexpr std::string_view kDefaultPortName = "COM1";
inline constexpr std::string_view kPortNameForms = "a COM port (COM3)";
#else
inline constexpr std::string_view kDefaultPortName = "ttyS0";
inline constexpr std::string_view kPortNameForms = "a name in /dev (ttyUSB0) or a path";
#endif

}  // namespace horalux::platform
