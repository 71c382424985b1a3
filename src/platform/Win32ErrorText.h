#pragma once

#include <windows.h>

#include <string>

namespace horalux::platform {

// The system's own text for an error code, on one line, starting in lower case so that it reads
// inside a message of ours ("COM3: the parameter is incorrect").
std::string win32ErrorText(DWORD error);

}  // namespace horalux::platform
