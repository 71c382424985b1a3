#include "platform/PortKind.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "platform/SerialDeviceKind.h"
#include "platform/net/NetworkPortKinds.h"
#include "platform/net/tls/TlsPortKinds.h"

namespace horalux::platform {
namespace {

// A new kind is a row here, defined in its own folder; the local device comes last.
constexpr const PortKind* kKinds[] = {
    &kRfc2217PortKind,
    &kTcpPortKind,
    &kRfc2217TlsPortKind,
    &kTcpTlsPortKind,
    &kSerialDevicePortKind,
};

}  // namespace

std::span<const PortKind* const> portKinds() {
    return kKinds;
}

bool hasPortPrefix(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), name.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

const PortKind& portKindOf(std::string_view name) {
    for (const PortKind* kind : kKinds) {
        if (hasPortPrefix(name, kind->prefix)) {
            return *kind;
        }
    }
    return *kKinds[std::size(kKinds) - 1];
}

bool unlistedPortExists(const std::string& name) {
    return !name.empty() && portKindOf(name).offerable(name);
}

}  // namespace horalux::platform
