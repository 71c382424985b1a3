#include "platform/net/NetworkPortKinds.h"

#include <vector>

#include "platform/PortNameText.h"
#include "platform/net/NetAddress.h"
#include "platform/net/NetworkPort.h"
#include "platform/net/RawLayer.h"
#include "platform/net/Rfc2217Layer.h"
#include "platform/net/TcpConnection.h"

namespace horalux::platform {
namespace {

constexpr std::string_view kDeviceServersPort = "device server's port";

void fail(const PortOpenRequest& request, const std::string& cause) {
    request.failure = shownPortName(request.name) + ": " + cause;
}

// "tcp://HOST:PORT, rfc2217://HOST:PORT or ...": the forms of every kind with an address.
std::string networkForms() {
    std::vector<std::string_view> forms;
    for (const PortKind* kind : portKinds()) {
        if (!kind->prefix.empty()) {
            forms.push_back(kind->usageForm);
        }
    }
    std::string text;
    for (std::size_t i = 0; i < forms.size(); ++i) {
        text += i == 0 ? "" : i + 1 == forms.size() ? " or " : ", ";
        text += forms[i];
    }
    return text;
}

bool wellFormedAddress(const std::string& name) {
    return parseNetAddress(name).has_value();
}

template <class Layer>
std::unique_ptr<SerialPort> openOverTcp(const PortOpenRequest& request) {
    std::unique_ptr<BytePipe> pipe = connectToPortHost(request);
    if (!pipe) {
        return nullptr;
    }
    return openOverPipe(request, std::move(pipe), std::make_unique<Layer>());
}

// A TLS port takes the Telnet negotiation for a broken handshake and hangs up without a word.
std::unique_ptr<SerialPort> openRfc2217(const PortOpenRequest& request) {
    std::unique_ptr<SerialPort> port = openOverTcp<Rfc2217Layer>(request);
    constexpr std::string_view kSilentClose = "closed the connection during set-up";
    if (!port && request.failure.ends_with(kSilentClose)) {
        request.failure += " (is it a TLS port? then rfc2217+tls://)";
    }
    return port;
}

}  // namespace

std::unique_ptr<BytePipe> connectToPortHost(const PortOpenRequest& request) {
    const std::optional<NetAddress> address = parseNetAddress(request.name);
    if (!address) {
        fail(request,
             "not a network address; write " + networkForms() + " (an IPv6 address in brackets)");
        return nullptr;
    }
    std::string cause;
    std::unique_ptr<TcpConnection> connection =
        TcpConnection::connect(*address, request.network.connectMs, cause);
    if (!connection) {
        fail(request, cause);
    }
    return connection;
}

std::unique_ptr<SerialPort> openOverPipe(const PortOpenRequest& request,
                                         std::unique_ptr<BytePipe> pipe,
                                         std::unique_ptr<LineLayer> layer) {
    std::string cause;
    std::unique_ptr<SerialPort> port =
        NetworkPort::open(std::move(pipe), std::move(layer), request.speed, request.network, cause);
    if (!port) {
        fail(request, cause);
    }
    return port;
}

constinit const PortKind kRfc2217PortKind{
    .prefix = "rfc2217://",
    .remembered = true,
    .listMark = "",
    .usageGroup = kDeviceServersPort,
    .usageForm = "rfc2217://HOST:PORT",
    .offerable = wellFormedAddress,
    .open = openRfc2217,
};

constinit const PortKind kTcpPortKind{
    .prefix = "tcp://",
    .remembered = true,
    .listMark = "",
    .usageGroup = kDeviceServersPort,
    .usageForm = "tcp://HOST:PORT",
    .offerable = wellFormedAddress,
    .open = openOverTcp<RawLayer>,
};

}  // namespace horalux::platform
