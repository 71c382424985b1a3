#include "platform/net/tls/TlsPortKinds.h"

#include "platform/PortNameText.h"
#include "platform/net/NetAddress.h"
#include "platform/net/NetworkPortKinds.h"
#include "platform/net/RawLayer.h"
#include "platform/net/Rfc2217Layer.h"
#include "platform/net/tls/TlsPipe.h"

namespace horalux::platform {
namespace {

// Put before a TLS port's name in the port list: "🔒 ".
constexpr std::string_view kLock = "\xF0\x9F\x94\x92 ";

bool wellFormedAddress(const std::string& name) {
    return parseNetAddress(name).has_value();
}

template <class Layer>
std::unique_ptr<SerialPort> openOverTls(const PortOpenRequest& request) {
    if (!tlsAvailable()) {
        request.failure =
            shownPortName(request.name) + ": TLS ports are not available in this build";
        return nullptr;
    }
    const std::optional<NetAddress> address = parseNetAddress(request.name);
    if (!address) {
        // Not an address: the step that connects says so in the words every kind uses.
        (void)connectToPortHost(request);
        return nullptr;
    }
    const TlsSettings none;
    const TlsSettings& settings = request.tls != nullptr ? *request.tls : none;
    auto afterword = std::make_shared<TlsAfterword>();
    std::string cause;
    std::unique_ptr<BytePipe> pipe =
        startTls([&request] { return connectToPortHost(request); }, address->host, settings,
                 request.network.setupMs, afterword, cause);
    if (!pipe) {
        if (!cause.empty()) {
            request.failure = shownPortName(request.name) + ": " + cause;
        }
        return nullptr;
    }
    std::unique_ptr<SerialPort> port =
        openOverPipe(request, std::move(pipe), std::make_unique<Layer>());
    if (!port && !afterword->cause.empty()) {
        request.failure = shownPortName(request.name) + ": " + afterword->cause;
    }
    return port;
}

}  // namespace

constinit const PortKind kRfc2217TlsPortKind{
    .prefix = "rfc2217+tls://",
    .remembered = true,
    .listMark = kLock,
    .usageGroup = "device server's port over TLS",
    .usageForm = "rfc2217+tls://HOST:PORT",
    .offerable = wellFormedAddress,
    .open = openOverTls<Rfc2217Layer>,
};

constinit const PortKind kTcpTlsPortKind{
    .prefix = "tcp+tls://",
    .remembered = true,
    .listMark = kLock,
    .usageGroup = "device server's port over TLS",
    .usageForm = "tcp+tls://HOST:PORT",
    .offerable = wellFormedAddress,
    .open = openOverTls<RawLayer>,
};

}  // namespace horalux::platform
