#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/SerialPort.h"
#include "platform/net/NetworkTimeouts.h"
#include "platform/net/tls/TlsSettings.h"

namespace horalux::platform {

// What opening a port by name is given.
struct PortOpenRequest {
    const std::string& name;
    std::uint32_t speed = 0;
    SerialDeviceOpener& devices;       // the local serial devices (tests hand in in-memory lines)
    const NetworkTimeouts& network;    // how long a device server is waited for
    std::string& failure;              // set, as one line naming the port, when it cannot be had
    const TlsSettings* tls = nullptr;  // what a TLS port checks the server by; none: defaults
};

// One kind of port: a row of the table of kinds (PortKind.cpp), defined beside its code.
// Everything above the platform goes by these rows and the port's name alone.
struct PortKind {
    // How its names begin, in any case as schemes go ("tcp://"); empty: any name no other kind
    // claims.
    std::string_view prefix;
    // Remembered in the settings file once it connected (key NetworkPorts) and offered again
    // by its name after the ports the system lists; otherwise the system's enumeration offers
    // it.
    bool remembered = false;
    // Put before the name where the port list shows it by its name (a lock for an encrypted
    // line, say); empty for none.
    std::string_view listMark;
    // How usage texts describe it: the group it is listed in ("serial port") and its form
    // ("tcp://HOST:PORT").
    std::string_view usageGroup;
    std::string_view usageForm;
    // Whether a name of this kind can be offered though no enumeration lists it.
    bool (*offerable)(const std::string& name) = nullptr;
    // Opens it; nullptr with `request.failure` set when it cannot be had. Throws PortError when
    // the line cannot be set as asked.
    std::unique_ptr<SerialPort> (*open)(const PortOpenRequest& request) = nullptr;
};

// Every kind, in the order names are matched; the last claims every other name.
std::span<const PortKind* const> portKinds();

// The kind of a port name.
const PortKind& portKindOf(std::string_view name);

// Whether `name` begins with `prefix`, letters in any case.
bool hasPortPrefix(std::string_view name, std::string_view prefix);

// Whether a port no enumeration lists can still be offered by its name: a local device that
// exists (a pseudo-terminal, a link), or a well-formed network address (whether its server
// answers shows only when it is opened).
bool unlistedPortExists(const std::string& name);

}  // namespace horalux::platform
