#include "platform/Win32ErrorText.h"

#include <cctype>

namespace horalux::platform {

std::string win32ErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text),
        0, nullptr);
    std::string out = length > 0 && text != nullptr ? std::string(text, length)
                                                    : "system error " + std::to_string(error);
    LocalFree(text);
    // The system's texts end in ".\r\n"; the callers put them inside a line of their own.
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == '.' || out.back() == ' ')) {
        out.pop_back();
    }
    if (!out.empty()) {
        out.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(out.front())));
    }
    return out;
}

}  // namespace horalux::platform
