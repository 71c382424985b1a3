#pragma once

#include <string>
#include <vector>

namespace horalux::platform {

struct SystemSerialPort {
    std::string name;         // as in ttyUSB0
    std::string description;  // what the device calls itself, or its driver
};

// The serial ports the system knows, in name order: on Linux the ttys with a device under
// `sysfsTtyDir`, on Windows the ports the drivers entered in the registry (the folder unused). The
// windows and the companion both list ports through link::ListPorts, which starts from this list.
std::vector<SystemSerialPort> listSystemSerialPorts(
    const std::string& sysfsTtyDir = "/sys/class/tty");

}  // namespace horalux::platform
