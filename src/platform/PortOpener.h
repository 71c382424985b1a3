#pragma once

#include <memory>
#include <string>

#include "platform/SerialPort.h"
#include "platform/net/NetworkTimeouts.h"
#include "platform/net/tls/TlsSettings.h"

namespace horalux::platform {

// The program's opener: opens a port by the kind its name belongs to (PortKind.h). Its header
// names no system's own: the local devices are made in its source.
class PortOpener final : public SerialDeviceOpener {
  public:
    // Local devices are the system's serial devices.
    PortOpener();
    // Local devices go to `devices` instead.
    explicit PortOpener(SerialDeviceOpener& devices);
    ~PortOpener() override;
    PortOpener(const PortOpener&) = delete;
    PortOpener& operator=(const PortOpener&) = delete;
    // Network ports wait this long for the device server.
    void setNetworkTimeouts(const NetworkTimeouts& timeouts) { networkTimeouts_ = timeouts; }
    // TLS ports check their servers, and show themselves, by these.
    void setTlsSettings(const TlsSettings& tls) { tls_ = tls; }

    std::unique_ptr<SerialPort> open(const std::string& name, std::uint32_t speed) override;
    std::string lastFailureCause() const override { return lastFailure_; }

  private:
    std::unique_ptr<SerialDeviceOpener> ownDevices_;
    SerialDeviceOpener* devices_;
    std::string lastFailure_;
    NetworkTimeouts networkTimeouts_;
    TlsSettings tls_;
};

// The program's opener, for a holder that needs only the interface.
std::unique_ptr<SerialDeviceOpener> makePortOpener(const TlsSettings& tls = {});

}  // namespace horalux::platform
