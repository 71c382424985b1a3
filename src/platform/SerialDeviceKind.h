#pragma once

#include "platform/PortKind.h"

namespace horalux::platform {

// A local serial device: a name in /dev (ttyUSB0) or a path; COM3 on Windows.
extern const PortKind kSerialDevicePortKind;

}  // namespace horalux::platform
