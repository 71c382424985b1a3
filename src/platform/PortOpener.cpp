#include "platform/PortOpener.h"

#include "platform/PortKind.h"

namespace horalux::platform {

std::unique_ptr<SerialPort> PortOpener::open(const std::string& name, std::uint32_t speed) {
    switch (portKindOf(name)) {
        case PortKind::Device: {
            auto port = devices_->open(name, speed);
            lastFailure_ = port ? std::string() : devices_->lastFailureCause();
            return port;
        }
        case PortKind::Tcp:
        case PortKind::Rfc2217:
            break;
    }
    lastFailure_ = name + ": network ports are not supported yet";
    return nullptr;
}

}  // namespace horalux::platform
