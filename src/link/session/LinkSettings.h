#pragma once

#include <cstdint>
#include <string>

#include "platform/PortNaming.h"
#include "platform/net/tls/TlsSettings.h"
#include "settings/LogItems.h"
#include "settings/ProgramSettings.h"

namespace horalux::link {

// What a session on one line needs to know, and no more: the owners without windows (the
// companion, the keepers, the bridge) fill this and never the windows' settings.
struct LinkSettings {
    std::string port{platform::kDefaultPortName};
    std::uint32_t speed = 9600;
    std::uint8_t address = 1;
    std::uint32_t delayMs = 100;  // added to the pause after each written frame
    platform::TlsSettings tls{};  // for TLS ports
    settings::LogForm log{};      // the parts of a line of the exchange log

    friend bool operator==(const LinkSettings&, const LinkSettings&) = default;
};

// The session's starting values for a link; the window-only values keep their defaults.
settings::ProgramSettings sessionStart(const LinkSettings& link);

}  // namespace horalux::link
