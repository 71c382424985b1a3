#include "platform/PortOpener.h"

#include "platform/PortKind.h"
#include "platform/net/NetworkPort.h"

namespace horalux::platform {

std::unique_ptr<SerialPort> PortOpener::open(const std::string& name, std::uint32_t speed) {
    std::unique_ptr<SerialPort> port;
    if (portKindOf(name) == PortKind::Device) {
        port = devices_->open(name, speed);
        lastFailure_ = port ? std::string() : devices_->lastFailureCause();
    } else {
        lastFailure_.clear();
        port = NetworkPort::open(name, speed, &lastFailure_, networkTimeouts_);
    }
    return port;
}

}  // namespace horalux::platform
