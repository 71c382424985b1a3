#include "link/session/PortLoan.h"

#include "link/wire/PortAccess.h"

namespace horalux::link {

PortLoan::PortLoan(platform::SerialPort& port, std::unique_ptr<platform::SerialPort> owned)
    : owned_(std::move(owned)), port_(&port), speed_(port.speed()) {}

PortLoan::~PortLoan() {
    // What the job left unread is no reply to what the connection sends next.
    PurgePort(*port_);
    if (owned_) {
        owned_->close();
        return;
    }
    try {
        if (port_->speed() != speed_) {
            SetPortSpeed(*port_, speed_);
        }
    } catch (const platform::PortError&) {
        // The device took this speed before the loan; if it now refuses, the next connect says so.
    }
}

}  // namespace horalux::link
