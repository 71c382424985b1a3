#pragma once

#include <memory>
#include <string>

#include "platform/SerialDevice.h"
#include "platform/SerialPort.h"
#include "platform/net/NetworkPort.h"

namespace horalux::platform {

// The program's opener: chooses the kind of port from its name (see PortKind). Local devices
// go to the serial opener, "tcp://" and "rfc2217://" names become network ports.
class PortOpener final : public SerialDeviceOpener {
  public:
    PortOpener() : devices_(&serialDevices_) {}
    // Local devices go to `devices` instead of the system's serial devices.
    explicit PortOpener(SerialDeviceOpener& devices) : devices_(&devices) {}
    // Network ports wait this long for the device server.
    void setNetworkTimeouts(const NetworkTimeouts& timeouts) { networkTimeouts_ = timeouts; }

    std::unique_ptr<SerialPort> open(const std::string& name, std::uint32_t speed) override;
    std::string lastFailureCause() const override { return lastFailure_; }

  private:
    LocalSerialOpener serialDevices_;
    SerialDeviceOpener* devices_;
    std::string lastFailure_;
    NetworkTimeouts networkTimeouts_;
};

}  // namespace horalux::platform
