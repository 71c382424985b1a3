#pragma once

#include <cstdint>
#include <memory>

#include "platform/SerialPort.h"

namespace horalux::link {

// A port lent for a job that needs the line to itself (a scan of the addresses), handed back
// as it was when the loan ends: the connection's own port gets its speed back, a port opened
// for the loan alone is closed. Nothing else may use the port meanwhile.
class PortLoan {
  public:
    // `owned`: the port was opened for the loan; nullptr: `port` is the connection's.
    PortLoan(platform::SerialPort& port, std::unique_ptr<platform::SerialPort> owned);
    ~PortLoan();
    PortLoan(const PortLoan&) = delete;
    PortLoan& operator=(const PortLoan&) = delete;

    platform::SerialPort& port() { return *port_; }

  private:
    std::unique_ptr<platform::SerialPort> owned_;
    platform::SerialPort* port_;
    std::uint32_t speed_;
};

}  // namespace horalux::link
