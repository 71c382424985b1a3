#include "platform/PortKind.h"

#include <algorithm>
#include <cctype>

#include "platform/SerialDevice.h"
#include "platform/net/NetAddress.h"

namespace horalux::platform {
namespace {

bool startsWithNoCase(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), name.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

PortKind portKindOf(std::string_view name) {
    if (startsWithNoCase(name, kTcpPrefix)) {
        return PortKind::Tcp;
    }
    if (startsWithNoCase(name, kRfc2217Prefix)) {
        return PortKind::Rfc2217;
    }
    return PortKind::Device;
}

bool unlistedPortExists(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    if (portKindOf(name) != PortKind::Device) {
        return parseNetAddress(name).has_value();
    }
    return serialDeviceExists(name);
}

}  // namespace horalux::platform
