#include "BrokerTlsCheck.h"

#include <memory>

#include "platform/net/TcpConnection.h"
#include "platform/net/tls/TlsPipe.h"

namespace horalux::bridge {
namespace {

constexpr std::uint32_t kConnectMs = 5000;
constexpr std::uint32_t kHandshakeMs = 5000;

}  // namespace

std::string brokerTlsProblem(const BrokerSettings& broker, const std::string& otherwise) {
    std::string cause;
    platform::TlsSettings settings;
    settings.caFile = broker.caFile;
    const auto pipe = platform::startTls(
        [&]() -> std::unique_ptr<platform::BytePipe> {
            std::string connectCause;
            return platform::TcpConnection::connect({broker.host, broker.port}, kConnectMs,
                                                    connectCause);
        },
        broker.host, settings, kHandshakeMs, std::make_shared<platform::TlsAfterword>(), cause);
    if (pipe || cause.empty()) {
        return otherwise;
    }
    // The check's words are for device servers; here the server is the broker.
    constexpr std::string_view kServer = "the device server";
    for (std::size_t at = cause.find(kServer); at != std::string::npos;
         at = cause.find(kServer, at)) {
        cause.replace(at, kServer.size(), "the broker");
    }
    return cause;
}

}  // namespace horalux::bridge
