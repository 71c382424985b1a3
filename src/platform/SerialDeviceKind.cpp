#include "platform/SerialDeviceKind.h"

#include "platform/PortNaming.h"
#include "platform/SerialDevice.h"

namespace horalux::platform {
namespace {

bool deviceExists(const std::string& name) {
    return serialDeviceExists(name);
}

std::unique_ptr<SerialPort> openDevice(const PortOpenRequest& request) {
    std::unique_ptr<SerialPort> port = request.devices.open(request.name, request.speed);
    if (!port) {
        request.failure = request.devices.lastFailureCause();
    }
    return port;
}

}  // namespace

constinit const PortKind kSerialDevicePortKind{
    .prefix = "",
    .remembered = false,
    .listMark = "",
    .usageGroup = "serial port",
    .usageForm = kPortNameForms,
    .offerable = deviceExists,
    .open = openDevice,
};

}  // namespace horalux::platform
