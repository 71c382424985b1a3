#include "platform/PortOpener.h"

#include "platform/PortKind.h"
#include "platform/SerialDevice.h"

namespace horalux::platform {

PortOpener::PortOpener()
    : ownDevices_(std::make_unique<LocalSerialOpener>()), devices_(ownDevices_.get()) {}

PortOpener::PortOpener(SerialDeviceOpener& devices) : devices_(&devices) {}

PortOpener::~PortOpener() = default;

std::unique_ptr<SerialPort> PortOpener::open(const std::string& name, std::uint32_t speed) {
    lastFailure_.clear();
    return portKindOf(name).open({name, speed, *devices_, networkTimeouts_, lastFailure_});
}

std::unique_ptr<SerialDeviceOpener> makePortOpener() {
    return std::make_unique<PortOpener>();
}

}  // namespace horalux::platform
