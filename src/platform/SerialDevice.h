#pragma once

// The local serial device of the platform being built, under one set of names for the code that
// opens ports by name: LocalSerialOpener, serialDevicePath, serialDeviceExists.
#if defined(_WIN32)
#include "platform/Win32SerialPort.h"
namespace horalux::platform {
using LocalSerialOpener = Win32SerialOpener;
}  // namespace horalux::platform
#else
#include "platform/PosixSerialPort.h"
namespace horalux::platform {
using LocalSerialOpener = PosixSerialOpener;
}  // namespace horalux::platform
#endif
