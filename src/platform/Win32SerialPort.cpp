#include "platform/Win32SerialPort.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>
#include <vector>

#include "platform/PortNameText.h"
#include "platform/Win32ErrorText.h"

namespace horalux::platform {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// What the driver says when the device was pulled out from under an open handle (a USB adapter
// unplugged). ERROR_OPERATION_ABORTED is not among them: a purge cancels a read that way.
bool isGoneError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_REMOVED || error == ERROR_GEN_FAILURE ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_INVALID_HANDLE;
}

std::string bareName(const std::string& name) {
    return name.starts_with(kDevicePrefix) ? name.substr(kDevicePrefix.size()) : name;
}

// The message stays "Error setting port state"; the speed and the device's reason follow it on a
// line of their own.
PortError speedRefused(std::uint32_t bitsPerSecond, DWORD error) {
    return PortError("Error setting port state\n" + std::to_string(bitsPerSecond) +
                     " bit/s: " + win32ErrorText(error));
}

// Windows' serial drivers refuse a second open of a port, but not every system that runs this
// build does (Wine lets two programs open the same COM port). A named object per port, which
// only one process can create, keeps out every program that opens ports the way this one does.
// nullptr when another process holds the port.
HANDLE claimPort(const std::string& name) {
    std::string key = "Local\\horalux-port-";
    for (const char c : bareName(name)) {
        key += c == '\\' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const HANDLE claim = CreateMutexA(nullptr, FALSE, key.c_str());
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        return nullptr;
    }
    // An object that cannot be created at all does not stop the open: the driver decides.
    return claim != nullptr ? claim : INVALID_HANDLE_VALUE;
}

}  // namespace

std::string serialDevicePath(const std::string& name) {
    if (name.find('\\') != std::string::npos || name.find('/') != std::string::npos) {
        return name;
    }
    return std::string(kDevicePrefix) + name;
}

bool serialDeviceExists(const std::string& name) {
    const std::string bare = bareName(name);
    if (bare.empty() || bare.find_first_of("\\/") != std::string::npos) {
        return false;
    }
    char target[1024];
    return QueryDosDeviceA(bare.c_str(), target, sizeof target) != 0;
}

std::string serialOpenFailureText(const std::string& name, DWORD error) {
    const std::string shown = shownPortName(name);
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
            return shown + ": no such device";
        // A COM port opened with no sharing refuses everyone else with "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return shown + ": in use by another program";
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return shown + ": not a serial device";
        default:
            return shown + ": " + win32ErrorText(error);
    }
}

std::unique_ptr<Win32SerialPort> Win32SerialPort::open(const std::string& name, std::uint32_t speed,
                                                       std::string* failure) {
    const std::string path = serialDevicePath(name);
    const HANDLE claim = claimPort(name);
    if (claim == nullptr) {
        if (failure != nullptr) {
            *failure = serialOpenFailureText(name, ERROR_SHARING_VIOLATION);
        }
        return nullptr;
    }
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (claim != INVALID_HANDLE_VALUE) {
            CloseHandle(claim);
        }
        if (failure != nullptr) {
            *failure = serialOpenFailureText(name, error);
        }
        return nullptr;
    }
    std::unique_ptr<Win32SerialPort> port(new Win32SerialPort(handle, claim));
    port->fineTimer_.emplace();
    DCB original{};
    original.DCBlength = sizeof original;
    if (GetCommState(handle, &original) == 0) {
        // A file or a pipe: no line settings to read.
        if (failure != nullptr) {
            *failure = shownPortName(name) + ": not a serial device";
        }
        return nullptr;
    }
    port->original_ = original;
    port->haveOriginal_ = true;
    port->applySettings(speed);
    if (!port->setReadTimeouts(kReadTimeoutPerByteMs, 0)) {
        throw PortError("Error setting port state");
    }
    port->purge();
    return port;
}

Win32SerialPort::~Win32SerialPort() {
    close();
}

void Win32SerialPort::applySettings(std::uint32_t bitsPerSecond) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(handle_, &dcb) == 0) {
        throw PortError("Error setting port state");
    }
    dcb.BaudRate = bitsPerSecond;
    dcb.fBinary = TRUE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.XonChar = 0;
    dcb.XoffChar = 0;
    dcb.fAbortOnError = FALSE;
    // No flow control, as on every other platform: a device left with CTS or XON/XOFF flow
    // by its last user would otherwise hold frames back.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (SetCommState(handle_, &dcb) == 0) {
        throw speedRefused(bitsPerSecond, GetLastError());
    }
    speed_ = bitsPerSecond;
}

bool Win32SerialPort::setReadTimeouts(DWORD perByteMs, DWORD firstByteMs) {
    if (timeoutsSet_ && perByteMs == perByteMs_ && firstByteMs == firstByteMs_) {
        return true;
    }
    COMMTIMEOUTS timeouts{};
    if (perByteMs > 0) {
        // The line's own reads: per requested byte, no interval, no constant part.
        timeouts.ReadTotalTimeoutMultiplier = perByteMs;
    } else if (firstByteMs > 0) {
        // A poll: returns as soon as anything has come, or after `firstByteMs` in silence.
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = firstByteMs;
    } else {
        // Takes what is there and returns at once.
        timeouts.ReadIntervalTimeout = MAXDWORD;
    }
    if (SetCommTimeouts(handle_, &timeouts) == 0) {
        timeoutsSet_ = false;
        return false;
    }
    perByteMs_ = perByteMs;
    firstByteMs_ = firstByteMs;
    timeoutsSet_ = true;
    return true;
}

IoResult Win32SerialPort::readWith(std::uint8_t* buffer, std::size_t length, DWORD perByteMs,
                                   DWORD firstByteMs) {
    IoResult result;
    if (handle_ == INVALID_HANDLE_VALUE || !setReadTimeouts(perByteMs, firstByteMs)) {
        result.status = IoStatus::Failed;
        return result;
    }
    if (length == 0) {
        return result;
    }
    DWORD got = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(length, MAXDWORD));
    if (ReadFile(handle_, buffer, wanted, &got, nullptr) == 0) {
        result.status = isGoneError(GetLastError()) ? IoStatus::Gone : IoStatus::Failed;
        return result;
    }
    result.count = got;
    return result;
}

IoResult Win32SerialPort::read(std::uint8_t* buffer, std::size_t length) {
    return readWith(buffer, length, kReadTimeoutPerByteMs, 0);
}

IoResult Win32SerialPort::readSome(std::uint8_t* buffer, std::size_t capacity) {
    return readSomeWithin(buffer, capacity, kReadTimeoutPerByteMs);
}

IoResult Win32SerialPort::readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                         std::uint32_t waitMs) {
    // MAXDWORD as the constant would mean "take what is there" to the driver, not a long wait.
    const DWORD wait = std::min<DWORD>(waitMs, MAXDWORD - 1);
    return readWith(buffer, capacity, 0, wait);
}

IoResult Win32SerialPort::write(const std::uint8_t* data, std::size_t length) {
    IoResult result;
    while (handle_ != INVALID_HANDLE_VALUE && result.count < length) {
        DWORD put = 0;
        const auto chunk =
            static_cast<DWORD>(std::min<std::size_t>(length - result.count, MAXDWORD));
        if (WriteFile(handle_, data + result.count, chunk, &put, nullptr) == 0) {
            result.status = isGoneError(GetLastError()) ? IoStatus::Gone : IoStatus::Failed;
            return result;
        }
        if (put == 0) {
            result.status = IoStatus::Failed;
            return result;
        }
        result.count += put;
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
        result.status = IoStatus::Failed;
    }
    return result;
}

std::size_t Win32SerialPort::outputQueued() {
    DWORD errors = 0;
    COMSTAT state{};
    if (handle_ == INVALID_HANDLE_VALUE || ClearCommError(handle_, &errors, &state) == 0) {
        return 0;
    }
    // Reading the queue clears the error flags too; keep them for the next error check.
    pendingErrors_ |= errors;
    return state.cbOutQue;
}

void Win32SerialPort::purge() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    }
}

LineErrorState Win32SerialPort::takeErrors() {
    LineErrorState state;
    DWORD errors = 0;
    COMSTAT status{};
    if (handle_ == INVALID_HANDLE_VALUE || ClearCommError(handle_, &errors, &status) == 0) {
        state.queryOk = false;
        return state;
    }
    // The driver's CE_ flags are the numbering line_error keeps.
    state.flags = static_cast<std::uint32_t>(errors | pendingErrors_);
    pendingErrors_ = 0;
    return state;
}

void Win32SerialPort::setSpeed(std::uint32_t bitsPerSecond) {
    if (handle_ == INVALID_HANDLE_VALUE) {
        throw PortError("Error setting port state");
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(handle_, &dcb) == 0) {
        throw PortError("Error setting port state");
    }
    dcb.BaudRate = bitsPerSecond;
    if (SetCommState(handle_, &dcb) == 0) {
        throw speedRefused(bitsPerSecond, GetLastError());
    }
    speed_ = bitsPerSecond;
}

void Win32SerialPort::close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        // Whatever uses the device next finds it as it was.
        if (haveOriginal_) {
            SetCommState(handle_, &original_);
        }
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    if (claim_ != nullptr && claim_ != INVALID_HANDLE_VALUE) {
        CloseHandle(claim_);
    }
    claim_ = nullptr;
    fineTimer_.reset();
}

}  // namespace horalux::platform
