#include "link/session/LinkSettings.h"

namespace horalux::link {

settings::ProgramSettings sessionStart(const LinkSettings& link) {
    settings::ProgramSettings s;
    s.ComPort = link.port;
    s.ComSpeed = static_cast<std::int32_t>(link.speed);
    s.sysnum = link.address;
    s.DelayTime = static_cast<std::int32_t>(link.delayMs);
    s.TlsCaFile = link.tls.caFile;
    s.TlsPin = link.tls.pin;
    s.TlsCertFile = link.tls.certFile;
    s.TlsKeyFile = link.tls.keyFile;
    s.Log = link.log;
    return s;
}

}  // namespace horalux::link
