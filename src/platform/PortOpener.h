#pragma once

#include <memory>
#include <string>

#include "platform/PosixSerialPort.h"
#include "platform/SerialPort.h"

namespace horalux::platform {

// The program's opener: chooses the kind of port from its name (see PortKind). Local devices
// go to the serial opener. Network ports are refused for now, with the cause
// "NAME: network ports are not supported yet".
class PortOpener final : public SerialDeviceOpener {
  public:
    PortOpener() : devices_(&serialDevices_) {}
    // Local devices go to `devices` instead of the system's serial devices.
    explicit PortOpener(SerialDeviceOpener& devices) : devices_(&devices) {}

    std::unique_ptr<SerialPort> open(const std::string& name, std::uint32_t speed) override;
    std::string lastFailureCause() const override { return lastFailure_; }

  private:
    PosixSerialOpener serialDevices_;
    SerialDeviceOpener* devices_;
    std::string lastFailure_;
};

}  // namespace horalux::platform
