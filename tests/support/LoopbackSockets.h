#pragma once

#include <cstdint>

namespace horalux::test {

// A UDP socket bound to 127.0.0.1 on a port the system picks; returns its descriptor and puts
// the port into `port`. Throws std::runtime_error when it cannot.
int boundLoopbackSocket(std::uint16_t* port);

// The same for TCP, listening.
int listeningLoopbackSocket(std::uint16_t* port);

}  // namespace horalux::test
