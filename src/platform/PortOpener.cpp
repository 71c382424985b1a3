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
    return portKindOf(name).open({name, speed, *devices_, networkTimeouts_, lastFailure_, &tls_});
}

std::unique_ptr<SerialDeviceOpener> makePortOpener(const TlsSettings& tls) {
    auto opener = std::make_unique<PortOpener>();
    opener->setTlsSettings(tls);
    return opener;
}

}  // namespace horalux::platform
